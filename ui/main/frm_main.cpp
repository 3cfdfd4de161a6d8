// The main window: load and activation sequences, menus, toolbar, status bar,
// timers, polling switch, fault evaluation and the quit procedure.
#include "ui/main/frm_main.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "acquisition/qt_serial_port.h"
#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/memory_status.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "core/view_layout.h"
#include "core/user_settings.h"
#include "events/status_evaluation.h"
#include "events/auto_shutdown.h"
#include "ui/controls/state_diagram.h"
#include "ui/dialogs/frm_about.h"
#include "ui/dialogs/frm_auto_shut_down.h"
#include "ui/dialogs/frm_chg_pass.h"
#include "ui/dialogs/frm_remote_control.h"
#include "ui/dialogs/frm_remote_set.h"
#include "ui/dialogs/frm_logs.h"
#include "ui/dialogs/frm_par_set3.h"
#include "ui/dialogs/frm_paraset.h"
#include "ui/dialogs/frm_set_user.h"
#include "ui/dialogs/frm_set_warning.h"
#include "ui/dialogs/frm_sys_set.h"
#include "ui/dialogs/frm_view_event_log_db.h"
#include "ui/history/frm_history.h"
#include "ui/form_utils.h"
#include "ui/manual_opener.h"
#include "ui/main/device_selector.h"
#include "ui/main/main_alerts.h"
#include "ui/main/main_views.h"
#include "ui/main/plant_view.h"
#include "ui/main/service_panels.h"
#include "ui/main/state_view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QIcon>
#include <QLabel>
#include <QActionGroup>
#include <QLocale>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTime>
#include <QToolBar>
#include <cmath>

namespace vantoro {

namespace {

constexpr int DESIGN_WIDTH_TWIPS = 10455;
constexpr int DESIGN_HEIGHT_TWIPS = 8295;
// Below this the views stop being readable: meter captions and trend
// values are cut short.
constexpr int MIN_WIDTH_TWIPS = 11250;
constexpr int MIN_HEIGHT_TWIPS = 8250;
constexpr int TIMER_CLOCK_MS = 50;
constexpr int TIMER_BEEP_MS = 2000;
constexpr int TIMER_STATUS_MS = 10000;
constexpr int PARAMETER_EDITOR_PAUSE_MS = 500;

const QString mainSection = QStringLiteral("frmMain");
const char *const DESIGN_CAPTION = "Vantoro 光伏逆变器监控站";

double logicalDpi(const QWidget *w)
{
    const QScreen *screen = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

// One icon per image for the program's life: a new QIcon per call renders
// into new pixmap-cache entries, and the state light and the plug ask for
// theirs on every poll and tick.
QIcon iconFor(const QString &image)
{
    static QHash<QString, QIcon> icons;
    auto it = icons.constFind(image);
    if (it == icons.constEnd())
        it = icons.insert(image, QIcon(QStringLiteral(":/icons/%1.svg").arg(image)));
    return *it;
}

struct MenuItem { const char *name; const char *caption; bool availableAtStart; };
struct MenuDef { const char *name; const char *caption; std::initializer_list<MenuItem> items; };

// The menu bar as designed; separators are added where the groups change.
const MenuDef menuDefs[] = {
    {"mnuSys", "系统(&S)", {{"mnuSeleDev", "型号选择", false}, {"mnuSysSet", "系统设置", true},
                            {"mnuChgPass", "密码修改", false}, {"-", "", true},
                            {"mnuCommunication", "Communication", true}, {"mnuEnableSound", "EnableSound", true},
                            {"-", "", true}, {"mnuExit", "退出(&X)", true}}},
    {"mnuUseSet", "设置(&E)", {{"mnuUserInfo", "客户信息", true}, {"mnuSMTP", "邮件服务", true},
                               {"mnuSMS", "短信服务", false}, {"mnuSound", "告警设置", false},
                               {"-", "", true}, {"mnuParSet", "设备参数", true}}},
    {"mnuView", "查看(&V)", {{"mnuViewToolbar", "工具栏", true}, {"mnuViewStatusBar", "状态栏", true},
                             {"-", "", true}, {"mnuViewState", "状态图", true}, {"mnuViewMeter", "仪表视图", true},
                             {"mnuViewGrid", "参数详表", true}, {"mnuViewTrend", "曲线图", true},
                             {"mnuViewPlant", "电站总览", true},
                             {"-", "", true}, {"mnuEventLog", "系统事件", true}, {"mnuSysLog", "系统日志", true},
                             {"mnuHistory", "历史数据", true}}},
    {"mnuControl", "控制(&C)", {{"mnuRemoteControl", "遥控", true}, {"mnuRemoteSet", "遥调", true}}},
    {"mnuLanguages", "界面语言(&Languages)", {{"mnuLanguageCN", "中文", true}, {"mnuLanguageEN", "English", true}}},
    {"mnuHelp", "帮助(&H)", {{"mnuHelpContents", "内容(&C)", true}, {"mnuHelpAbout", "关于(&A)...", true}}},
};

struct ToolDef { const char *key; const char *image; const char *toolTip; };
// Toolbar entries in order; an empty key is a separator.
const ToolDef toolbarEntries[] = {
    {"viewstate", "viewstate", " 状态图 ( State View ) "},
    {"viewmeter", "meter", " 仪表视图( Meter View ) "},
    {"", "", ""},
    {"viewgrid", "viewgrid", " 参数详表 ( Detail )"},
    {"viewtrend", "viewtrend", " 曲线 ( Trend ) "},
    {"viewplant", "viewplant", " 电站 ( Plant ) "},
    {"plug", "plug", " 通讯 ( Communication) "},
    {"", "", ""},
    {"setup", "setup", " 系统设置 ( System Setup) "},
    {"syslog", "syslog", " 系统日志 ( System Logs ) "},
    {"eventlog", "eventlog", " 查看事件 ( View Events ) "},
    {"history", "history", " 历史数据 ( History ) "},
    {"stop", "stop", " Exit "},
    {"help", "help", "信息 ( Info )"},
};

struct PanelDef { const char *key; const char *toolTip; };
const PanelDef statusPanels[] = {
    {"status", "Status."}, {"txtDate", "Date"}, {"txtTime", ""}, {"speak", " 声告警开/关 "}, {"devState", "设备状态"},
};

const char *const viewKeys[] = {"viewstate", "viewgrid", "viewmeter", "viewtrend", "viewplant"};
const char *const viewMenus[] = {"mnuViewState", "mnuViewGrid", "mnuViewMeter", "mnuViewTrend", "mnuViewPlant"};

QString statusPlaceholder()
{
    return formText(mainSection, QStringLiteral("msgStatusReady"), QStringLiteral("Status."));
}

} // namespace

frmMain::frmMain(QWidget *parent, std::unique_ptr<SerialPort> port)
    : QMainWindow(parent)
    , m_line(std::make_unique<Line>(port ? std::move(port) : std::make_unique<QtSerialPort>()))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(DESIGN_CAPTION));
    setWindowIcon(iconFor(QStringLiteral("viewstate")));
    m_views = new MainViews(this);
    setCentralWidget(m_views);
    buildMenus();
    buildToolbar();
    buildStatusBar();
    buildTimers();
    m_logs = new frmLogs(this);
    setStatusSink(this);

    m_poller = std::make_unique<Poller>(*m_line, m_timerReloadData);
    m_poller->setHooks({[this](Device &device) { deviceCycle(device); },
                        [this](Device &device) {
                            if (&device == m_device)
                                showDeviceState();
                        },
                        [this] { checkComState(); },
                        [] { return isFormLoaded(QStringLiteral("frmRemote")); },
                        {}});
    connect(&m_timerReloadData, &QTimer::timeout, this, [this] { m_poller->reloadTick(); });
    connect(&stationBus(), &StationBus::pollingChanged, this, [this](bool on) {
        // Nothing is watched any more: a fault found before must not sound
        // for ever. The link alarm has its own rule.
        if (!on) {
            bFoundError = false;
            sErrorString.clear();
        }
    });
    // After the poller: the alarm state it shows at once asks for the link.
    m_alerts = new MainAlerts(*this);
    // The device the views show, beside the view buttons; hidden with one.
    m_selector = new DeviceSelector(stationBus(), m_toolbar);
    m_toolbar->insertWidget(m_toolButtons.value(QStringLiteral("plug")), m_selector);
    addAction(m_selector->nextAction());
    addAction(m_selector->previousAction());
    connect(m_selector, &DeviceSelector::selected, this, [this](const QString &id) { selectDevice(id); });
    connect(m_views->plantView(), &PlantView::deviceChosen, this, [this](const QString &id) { selectDevice(id); });
    connect(&stationBus(), &StationBus::devicesChanged, this, &frmMain::devicesPublished);
    new ServicePanels(*statusBar());

    // Load: design size and geometry first, then the stored position.
    setMinimumSize(twipsToPixels(MIN_WIDTH_TWIPS, this), twipsToPixels(MIN_HEIGHT_TWIPS, this));
    resize(twipsToPixels(DESIGN_WIDTH_TWIPS, this), twipsToPixels(DESIGN_HEIGHT_TWIPS, this));
    pauseMs(13);
    m_views->saveDesignGeometry();
    loadWindowPosition();
    m_line->load();
    selectDevice(QString());
    m_views->setupMeters();
    createStructure();
    setPicTrendBounds();
    setSpeaker();
    applyLanguage(this, sysSettings.languageIndex);
    action(QStringLiteral("mnuLanguages"))->setEnabled(sysSettings.debugMode != 0);
    myCaption = windowTitle();
    updateTitle();
    m_timerClock.start();
    checkComState();
}

frmMain::~frmMain()
{
    // An editor closed by the window's own end must not switch polling on.
    for (const QMetaObject::Connection &watch : std::as_const(m_editorWatches))
        disconnect(watch);
    setStatusSink(nullptr);
    m_timerReloadData.stop();
    m_timerBeep.stop();
    m_timerStatus.stop();
    m_timerClock.stop();
}

int frmMain::twipsToPixels(double twips, const QWidget *w)
{
    return vantoro::twipsToPixels(twips, logicalDpi(w));
}

double frmMain::pixelsToTwips(int pixels, const QWidget *w)
{
    return vantoro::pixelsToTwips(pixels, logicalDpi(w));
}

QAction *frmMain::action(const QString &name) const
{
    return m_actions.value(name);
}

void frmMain::buildMenus()
{
    for (const MenuDef &def : menuDefs) {
        QMenu *menu = menuBar()->addMenu(QString::fromUtf8(def.caption));
        menu->setObjectName(QString::fromLatin1(def.name));
        m_actions.insert(menu->objectName(), menu->menuAction());
        for (const MenuItem &item : def.items) {
            if (QLatin1String(item.name) == QLatin1String("-")) {
                menu->addSeparator();
                continue;
            }
            QAction *a = menu->addAction(QString::fromUtf8(item.caption));
            a->setObjectName(QString::fromLatin1(item.name));
            a->setEnabled(item.availableAtStart);
            m_actions.insert(a->objectName(), a);
        }
    }
    for (const char *name : {"mnuCommunication", "mnuEnableSound", "mnuViewToolbar", "mnuViewStatusBar", "mnuViewState",
                             "mnuViewMeter", "mnuViewGrid", "mnuViewTrend", "mnuViewPlant", "mnuLanguageCN", "mnuLanguageEN"})
        action(QString::fromLatin1(name))->setCheckable(true);
    action(QStringLiteral("mnuViewToolbar"))->setChecked(true);
    action(QStringLiteral("mnuViewStatusBar"))->setChecked(true);
    // One view shows at a time: the menu offers them as one choice.
    auto *views = new QActionGroup(this);
    views->setExclusive(true);
    for (const char *name : viewMenus)
        views->addAction(action(QString::fromLatin1(name)));
    // A greyed entry says why in its tool tip.
    for (QMenu *menu : menuBar()->findChildren<QMenu *>())
        menu->setToolTipsVisible(true);
    // The technicians' mode offers the dialogs that are kept from operators.
    if (sysSettings.debugMode != 0) {
        action(QStringLiteral("mnuChgPass"))->setEnabled(true);
        action(QStringLiteral("mnuSound"))->setEnabled(true);
    }

    auto on = [this](const char *name, auto handler) {
        connect(action(QString::fromLatin1(name)), &QAction::triggered, this, handler);
    };
    on("mnuSysSet", [this] { toolbarClick(QStringLiteral("setup")); });
    on("mnuChgPass", [this] { frmChgPass::showChgPass(this); });
    on("mnuUserInfo", [this] { frmSetUser::showSetUser(this); });
    on("mnuRemoteControl", [this] {
        if (m_device)
            frmRemoteControl::showRemoteControl(this, poller(), m_device->id(), [this] { refreshDisplay(); });
    });
    on("mnuRemoteSet", [this] {
        if (m_device)
            frmRemoteSet::showRemoteSet(this, port(), m_device->id(), m_device->name());
    });
    on("mnuHelpAbout", [this] { openAbout(); });
    on("mnuSound", [this] { frmSetWarning::showSetWarning(this, [this] { createStructure(); }); });
    on("mnuCommunication", [this] { toggleCommunicationMenu(); });
    on("mnuEnableSound", [this] { toggleSound(); });
    on("mnuExit", [this] { close(); });
    on("mnuParSet", [this] { openParameterEditor(); });
    on("mnuViewToolbar", [this] { toggleToolbarVisible(); });
    on("mnuViewStatusBar", [this] { toggleStatusBarVisible(); });
    on("mnuViewState", [this] { setViewMode(VIEW_STATE); });
    on("mnuViewMeter", [this] { setViewMode(VIEW_METER); });
    on("mnuViewGrid", [this] { setViewMode(VIEW_GRID); });
    on("mnuViewTrend", [this] { setViewMode(VIEW_TREND); });
    on("mnuViewPlant", [this] { setViewMode(VIEW_PLANT); });
    on("mnuEventLog", [this] { toolbarClick(QStringLiteral("eventlog")); });
    on("mnuHistory", [this] { toolbarClick(QStringLiteral("history")); });
    on("mnuSysLog", [this] { showSystemLog(); });
    on("mnuLanguageCN", [this] { applyLanguage(this, LANGUAGE_CHINESE); });
    on("mnuLanguageEN", [this] { applyLanguage(this, LANGUAGE_ENGLISH); });
    on("mnuHelpContents", [this] { openManual(); });
    on("mnuSMTP", [this] { openSystemSettings(QStringLiteral("pageMail")); });
    showUnavailableReasons();
}

void frmMain::showUnavailableReasons()
{
    static const struct { const char *name; const char *key; const char *builtIn; } reasons[] = {
        {"mnuSeleDev", "tipSeleDev", "本站只支持一种设备型号。"},
        {"mnuChgPass", "tipTechnician", "仅在维护（调试）模式下可用。"},
        {"mnuSound", "tipTechnician", "仅在维护（调试）模式下可用。"},
        {"mnuSMS", "tipSMS", "本站不发送短信；告警可通过邮件或 MQTT 发出。"},
        {"mnuRemoteControl", "tipRemoteControl", "遥控需要通讯协议版本 2（系统设置）。"},
    };
    for (const auto &reason : reasons) {
        QAction *entry = action(QString::fromLatin1(reason.name));
        entry->setToolTip(entry->isEnabled() ? QString()
                                             : formText(mainSection, QString::fromLatin1(reason.key),
                                                        QString::fromUtf8(reason.builtIn)));
    }
}

void frmMain::buildToolbar()
{
    m_toolbar = addToolBar(QStringLiteral("Tb1"));
    m_toolbar->setObjectName(QStringLiteral("Tb1"));
    m_toolbar->setMovable(false);
    // The View menu shows and hides the toolbar; the window's own toolbar
    // menu would only repeat it under an internal name.
    setContextMenuPolicy(Qt::NoContextMenu);
    m_toolbar->setIconSize(QSize(28, 28));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const ToolDef &def : toolbarEntries) {
        if (!*def.key) {
            m_toolbarEntries << m_toolbar->addSeparator();
            continue;
        }
        const QString key = QString::fromLatin1(def.key);
        QAction *a = m_toolbar->addAction(iconFor(QString::fromLatin1(def.image)), key);
        a->setObjectName(QStringLiteral("tb_") + key);
        a->setToolTip(QString::fromUtf8(def.toolTip));
        a->setData(key);
        m_toolButtons.insert(key, a);
        m_toolbarEntries << a;
        connect(a, &QAction::triggered, this, [this, key] { toolbarClick(key); });
    }
    // The "stop" button carries a caption beside its tool tip.
    m_toolButtons.value(QStringLiteral("stop"))->setText(QStringLiteral("退出"));
    for (const char *key : viewKeys)
        m_toolButtons.value(QString::fromLatin1(key))->setCheckable(true);
    m_toolButtons.value(QStringLiteral("plug"))->setCheckable(true);
}

void frmMain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("sbStatusBar"));
    bar->setSizeGripEnabled(true);
    for (const PanelDef &def : statusPanels) {
        auto *label = new QLabel(bar);
        const QString key = QString::fromLatin1(def.key);
        label->setObjectName(QStringLiteral("panel_") + key);
        label->setToolTip(QString::fromUtf8(def.toolTip));
        label->setContentsMargins(4, 0, 4, 0);
        m_panels.insert(key, label);
        if (key == QLatin1String("status"))
            bar->addWidget(label, 1);
        else
            bar->addPermanentWidget(label);
    }
    m_panels.value(QStringLiteral("status"))->setText(statusPlaceholder());
    // The technicians' test button: the plain record editor, debug mode only.
    m_command1 = new QPushButton(QStringLiteral("Cmd1 test"), bar);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setFlat(true);
    m_command1->hide();
    bar->addPermanentWidget(m_command1);
    connect(m_command1, &QPushButton::clicked, this, &frmMain::openRawParameterEditor);
    setPanelImage(QStringLiteral("devState"), QStringLiteral("bulble"));
    for (const char *key : {"speak", "devState"}) {
        m_panels.value(QString::fromLatin1(key))->installEventFilter(this);
        m_panels.value(QString::fromLatin1(key))->setCursor(Qt::PointingHandCursor);
    }
}

void frmMain::buildTimers()
{
    m_timerReloadData.setInterval(INITIAL_RELOAD_INTERVAL_MS);
    m_timerBeep.setInterval(TIMER_BEEP_MS);
    m_timerStatus.setInterval(TIMER_STATUS_MS);
    m_timerClock.setInterval(TIMER_CLOCK_MS);
    connect(&m_timerClock, &QTimer::timeout, this, &frmMain::timerClockTick);
    connect(&m_timerBeep, &QTimer::timeout, this, &frmMain::timerBeepTick);
    connect(&m_timerStatus, &QTimer::timeout, this, &frmMain::timerStatusTick);
}

void frmMain::setPanelImage(const QString &key, const QString &image)
{
    QLabel *label = m_panels.value(key);
    if (!label)
        return;
    if (m_panelImages.value(key) == image && !label->pixmap().isNull())
        return;
    m_panelImages.insert(key, image);
    label->setPixmap(iconFor(image).pixmap(QSize(16, 16)));
}

QString frmMain::panelImage(const QString &key) const
{
    return m_panelImages.value(key);
}

void frmMain::updateTitle()
{
    const DeviceRecord shown = m_device ? m_device->record() : DeviceRecord{};
    setWindowTitle(myCaption + QStringLiteral(" [") + shown.name + QStringLiteral(" - QZ") + shown.rating
                   + QStringLiteral("]"));
}

void frmMain::selectDevice(const QString &id)
{
    Device *chosen = m_line->device(id);
    if (!chosen)
        chosen = m_line->first();
    const bool changed = chosen != m_device;
    m_device = chosen;
    m_views->setDevice(m_device);
    if (m_device) {
        if (m_selector)
            m_selector->select(m_device->id());
        m_views->plantView()->setSelectedId(m_device->id());
    }
    if (!changed)
        return;
    if (m_device) {
        sErrorString = checkDevStatus(m_device->table());
        bFoundError = !sErrorString.isEmpty();
    }
    if (bFormLoaded) {
        m_views->setupMeters();
        createStructure();
        setPicTrendBounds();
        updateTitle();
        action(QStringLiteral("mnuRemoteControl"))->setEnabled(m_device && m_device->record().protocol == 2);
        showDeviceState();
        m_views->refreshViews();
        m_alerts->refreshStaleness();
    }
}

void frmMain::devicesPublished()
{
    QList<DeviceRecord> onLine;
    for (const auto &device : m_line->devices())
        onLine << device->record();
    // The line publishes its own list after each load: that one is no change.
    const auto stored = loadDevices();
    if (stored && *stored != onLine)
        reloadDevices();
}

void frmMain::reloadDevices()
{
    const QString shown = m_device ? m_device->id() : QString();
    // The views let go of the device first: a reload may remove it.
    m_device = nullptr;
    m_views->setDevice(nullptr);
    m_line->load();
    selectDevice(shown);
}

void frmMain::languageApplied(int language)
{
    for (int i = 0; i < m_toolbarEntries.size(); ++i) {
        const QString tip = langText(mainSection, QStringLiteral("tbButton%1").arg(i + 1), language);
        m_toolbarEntries[i]->setToolTip(QStringLiteral("  ") + tip + QStringLiteral("  "));
    }
    action(QStringLiteral("mnuLanguageEN"))->setChecked(language == LANGUAGE_ENGLISH);
    action(QStringLiteral("mnuLanguageCN"))->setChecked(language != LANGUAGE_ENGLISH);
    m_toolbar->setWindowTitle(action(QStringLiteral("mnuViewToolbar"))->text());
    m_toolButtons.value(QStringLiteral("stop"))->setText(formText(mainSection, QStringLiteral("tbStop"), QStringLiteral("退出")));
    for (const PanelDef &def : statusPanels) {
        const QString key = QString::fromLatin1(def.key);
        m_panels.value(key)->setToolTip(formText(mainSection, QStringLiteral("panel_") + key, QString::fromUtf8(def.toolTip)));
    }
    m_panels.value(QStringLiteral("speak"))->setToolTip(speakerToolTip());
    showUnavailableReasons();
    if (!m_timerStatus.isActive())
        m_panels.value(QStringLiteral("status"))->setText(statusPlaceholder());
    // The caption follows the language and is built from its parts each
    // time, so a missing language file never adds the suffix twice.
    if (!myCaption.isEmpty()) {
        myCaption = langText(mainSection, QStringLiteral("Caption"), language, QString::fromUtf8(DESIGN_CAPTION));
        if (myCaption == QLatin1String("Caption"))
            myCaption = QString::fromUtf8(DESIGN_CAPTION);
        updateTitle();
    }
    createStructure();
    m_alerts->languageApplied(language);
}

void frmMain::showStatus(const QString &text)
{
    m_timerStatus.stop();
    m_timerStatus.start();
    m_panels.value(QStringLiteral("status"))->setText(text);
}

void frmMain::runningLogChanged(const QString &line, bool replaced)
{
    if (m_logs)
        m_logs->runningLogChanged(line, replaced);
}

void frmMain::refreshDisplay()
{
    if (m_device) {
        sErrorString = checkDevStatus(m_device->table());
        bFoundError = !sErrorString.isEmpty();
    }
    showDeviceState();
    m_alerts->showAlarmState();
    m_views->refreshViews();
}

void frmMain::deviceCycle(Device &device)
{
    if (&device == m_device)
        refreshDisplay();
    else
        m_alerts->showAlarmState();
    if (device.rules().conclude(device.table(), device.id(), device.name()))
        frmAutoShutDown::showAutoShutDown(this);
}

void frmMain::showDeviceState()
{
    // Asleep is neither a fault nor a lost link; a fault the device flags
    // in its sleep still shows red.
    const bool asleep = m_device && m_device->link().sleep.asleep();
    QString image;
    if (m_device && !m_device->linkUp())
        image = asleep ? QStringLiteral("bulble_grey") : QStringLiteral("bulble_blue");
    else if (bFoundError)
        image = QStringLiteral("bulble_red");
    else
        image = asleep ? QStringLiteral("bulble_grey") : QStringLiteral("bulble");
    setPanelImage(QStringLiteral("devState"), image);
    m_views->stateView()->diagram()->setAsleep(asleep);
}

void frmMain::setViewMode(int iMode)
{
    sysSettings.viewmode = iMode;
    for (int i = 0; i < VIEW_COUNT; ++i) {
        m_toolButtons.value(QString::fromLatin1(viewKeys[i]))->setChecked(i == iMode);
        action(QString::fromLatin1(viewMenus[i]))->setChecked(i == iMode);
    }
    m_views->showView(iMode);
}

void frmMain::createStructure()
{
    m_views->createStructure();
}

void frmMain::checkWorkMode()
{
    m_views->checkWorkMode();
}

void frmMain::setPicTrendBounds()
{
    m_views->setPicTrendBounds();
}

QString frmMain::speakerToolTip() const
{
    const bool on = sysSettings.Soundenabled != 0;
    return formText(mainSection, QStringLiteral("panel_speak"), QStringLiteral("声告警开/关")).trimmed() + QStringLiteral(": ")
        + formText(mainSection, on ? QStringLiteral("msgSoundOn") : QStringLiteral("msgSoundOff"), on ? QStringLiteral("开") : QStringLiteral("关"));
}

void frmMain::setSpeaker()
{
    const bool on = sysSettings.Soundenabled != 0;
    setPanelImage(QStringLiteral("speak"), on ? QStringLiteral("speak") : QStringLiteral("speakx"));
    m_panels.value(QStringLiteral("speak"))->setToolTip(speakerToolTip());
    if (on)
        m_timerBeep.start();
    else
        m_timerBeep.stop();
    action(QStringLiteral("mnuEnableSound"))->setChecked(on);
}

void frmMain::checkComState()
{
    const bool on = m_timerReloadData.isActive();
    QAction *plug = m_toolButtons.value(QStringLiteral("plug"));
    plug->setIcon(iconFor(on ? QStringLiteral("plug") : QStringLiteral("plug2")));
    plug->setChecked(on);
    action(QStringLiteral("mnuCommunication"))->setChecked(on);
}

void frmMain::setComOpen(bool bOpen)
{
    m_poller->setComOpen(bOpen);
}

bool frmMain::queryData()
{
    return m_device && m_poller->queryData(*m_device);
}

void frmMain::autoStartPolling()
{
    m_poller->startPollingIfAutoStart();
    checkComState();
}

void frmMain::toolbarClick(const QString &key)
{
    if (key == QLatin1String("viewstate")) setViewMode(VIEW_STATE);
    else if (key == QLatin1String("viewmeter")) setViewMode(VIEW_METER);
    else if (key == QLatin1String("viewgrid")) setViewMode(VIEW_GRID);
    else if (key == QLatin1String("viewtrend")) setViewMode(VIEW_TREND);
    else if (key == QLatin1String("viewplant")) setViewMode(VIEW_PLANT);
    else if (key == QLatin1String("plug")) togglePlug();
    else if (key == QLatin1String("setup")) openSystemSettings();
    else if (key == QLatin1String("syslog")) showSystemLog();
    else if (key == QLatin1String("eventlog")) frmViewEventLogDb::showEventLog(this);
    else if (key == QLatin1String("history")) frmHistory::showHistory(this);
    else if (key == QLatin1String("stop")) close();
    else if (key == QLatin1String("help")) openAbout();
}

void frmMain::togglePlug()
{
    m_poller->togglePollingFromToolbar();
    checkComState();
}

void frmMain::toggleCommunicationMenu()
{
    m_poller->togglePollingFromMenu();
    checkComState();
}

void frmMain::toggleSound()
{
    sysSettings.Soundenabled = sysSettings.Soundenabled == 0 ? 1 : 0;
    setSpeaker();
    saveSystemSettings();
}

void frmMain::devStateClick()
{
    static const char *const images[] = {"bulble", "bulble_red", "bulble_blue"};
    setPanelImage(QStringLiteral("devState"), QString::fromLatin1(images[m_diagCounter]));
    m_diagCounter = (m_diagCounter + 1) % 3;
}

void frmMain::toggleToolbarVisible()
{
    m_toolbar->setVisible(action(QStringLiteral("mnuViewToolbar"))->isChecked());
    layoutPass();
}

void frmMain::toggleStatusBarVisible()
{
    statusBar()->setVisible(action(QStringLiteral("mnuViewStatusBar"))->isChecked());
    layoutPass();
}

void frmMain::showSystemLog()
{
    m_logs->showLogs();
}

bool frmMain::stopPollingForEditor()
{
    const bool wasPolling = m_timerReloadData.isActive();
    setBusyCursor(true);
    setComOpen(false);
    pauseMs(PARAMETER_EDITOR_PAUSE_MS);
    setBusyCursor(false);
    checkComState();
    return wasPolling;
}

void frmMain::resumePollingAfter(QWidget *editor, bool wasPolling)
{
    // An editor already open is already watched.
    if (!editor || editor->property("resumesPolling").isValid())
        return;
    editor->setProperty("resumesPolling", wasPolling);
    m_editorWatches << connect(editor, &QObject::destroyed, this, [this, wasPolling] {
        if (quitRequested)
            return;
        if (wasPolling && !m_timerReloadData.isActive()) {
            setComOpen(true);
            checkComState();
        }
        showStatus(formText(mainSection, m_timerReloadData.isActive() ? QStringLiteral("msgPollingResumed")
                                                                      : QStringLiteral("msgPollingStaysOff"),
                            QString()));
    });
}

// Dialogs open without an event loop of their own: a poll cycle that is
// waiting for its reply when one opens completes underneath, and the next
// ones keep running while it is open.
void frmMain::openWindowModal(QDialog *dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
}

void frmMain::openParameterEditor()
{
    if (raiseOpen<frmParSet3>())
        return;
    const bool wasPolling = stopPollingForEditor();
    auto *editor = new frmParSet3(this, [this] { setComOpen(false); });
    if (m_device)
        editor->showDevice(m_device->id(), m_device->record().rating);
    editor->onTablesChanged([this] { reloadTables(); });
    resumePollingAfter(editor, wasPolling);
    openWindowModal(editor);
}

void frmMain::openRawParameterEditor()
{
    const bool wasPolling = stopPollingForEditor();
    frmparaset *editor = frmparaset::showParaset(this);
    if (m_device)
        editor->showDevice(m_device->id(), m_device->record().rating);
    editor->onTablesChanged([this] { reloadTables(); });
    resumePollingAfter(editor, wasPolling);
}

void frmMain::reloadTables()
{
    // The alarms work on the in-memory tables: they take the written rows now.
    for (const auto &device : m_line->devices())
        device->loadTable();
    refreshDisplay();
}

void frmMain::openSystemSettings(const QString &page)
{
    if (raiseOpen<frmSysSet>())
        return;
    auto *dialog = new frmSysSet(this, [this] {
        reloadDevices();
        updateTitle();
        // The port or the device behind its name may have changed.
        m_poller->reopenPort();
    }, [this](int language) { applyLanguage(this, language); });
    dialog->setLineRelease(
        [this] {
            const bool wasPolling = m_timerReloadData.isActive();
            if (wasPolling)
                setComOpen(false);
            return wasPolling;
        },
        [this](bool wasPolling) {
            if (wasPolling && !quitRequested)
                setComOpen(true);
        });
    if (m_device)
        dialog->showDevice(m_device->id());
    dialog->showPage(page);
    openWindowModal(dialog);
}

void frmMain::openAbout()
{
    if (raiseOpen<frmAbout>())
        return;
    openWindowModal(new frmAbout(this));
}

void frmMain::openManual()
{
    openManualFile(findFileNoCase(appDir(), QStringLiteral("manual.pdf")), this);
}

void frmMain::timerClockTick()
{
    if (quitRequested) {
        // A shutdown in progress still saves on the way out; the quit asks
        // nothing once quitRequested is set.
        if (isVisible())
            close();
        QApplication::quit();
        return;
    }
    // The tick is frequent, the second is not: the memory figure is read, and
    // the panel repainted, only when the clock's text moves on.
    const QString time = clockTimeText(QTime::currentTime());
    if (time == m_clockTime)
        return;
    m_clockTime = time;
    // The station runs for months: the date panel follows the calendar.
    const QString date = datePanelText(QDate::currentDate(), sysSettings.languageIndex);
    if (date != m_panels.value(QStringLiteral("txtDate"))->text())
        m_panels.value(QStringLiteral("txtDate"))->setText(date);
    const QString text = clockPanelText(time, usedMemoryBytes());
    if (text != m_clockText) {
        m_clockText = text;
        m_panels.value(QStringLiteral("txtTime"))->setText(text);
    }
}

void frmMain::timerBeepTick()
{
    if (quitRequested) {
        m_timerBeep.stop();
        return;
    }
    if (m_alerts->alarmDue() && m_alerts->toneDue()) {
        ++m_beeps;
        alarmBeep(sysSettings.BeepFreq);
    }
}

void frmMain::timerStatusTick()
{
    m_timerStatus.stop();
    logStatus(statusPlaceholder(), true);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == m_panels.value(QStringLiteral("speak"))) {
            toggleSound();
            return true;
        }
        if (watched == m_panels.value(QStringLiteral("devState"))) {
            devStateClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::formActivate()
{
    m_views->show();
    setViewMode(sysSettings.viewmode);
    action(QStringLiteral("mnuLanguages"))->setVisible(sysSettings.debugMode > 0);
    action(QStringLiteral("mnuLanguageEN"))->setChecked(sysSettings.languageIndex == LANGUAGE_ENGLISH);
    action(QStringLiteral("mnuLanguageCN"))->setChecked(sysSettings.languageIndex != LANGUAGE_ENGLISH);
    action(QStringLiteral("mnuRemoteControl"))->setEnabled(m_device && m_device->record().protocol == 2);
    showUnavailableReasons();
    m_command1->setVisible(sysSettings.debugMode != 0);
    if (!bFormLoaded) {
        bFormLoaded = true;
        layoutPass();
    }
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        formActivate();
    }
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        formActivate();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutPass();
}

void frmMain::layoutPass()
{
    if (!bFormLoaded)
        return;
    const int minWidth = twipsToPixels(MIN_WIDTH_TWIPS, this);
    if (width() < minWidth) {
        resize(minWidth, height());
        return;
    }
    m_views->layoutViews();
}

void frmMain::loadWindowPosition()
{
    const double left = leadingNumber(userValue(UserKeys::MainLeft));
    const double top = leadingNumber(userValue(UserKeys::MainTop));
    const double width = leadingNumber(userValue(UserKeys::MainWidth));
    const double height = leadingNumber(userValue(UserKeys::MainHeight));
    // A size saved on a larger screen is brought within this one.
    QSize size(twipsToPixels(width, this), twipsToPixels(height, this));
    if (const QScreen *screen = this->screen())
        size = size.boundedTo(screen->availableSize());
    resize(size.expandedTo(minimumSize()));
    move(twipsToPixels(left, this), twipsToPixels(top, this));
}

void frmMain::saveWindowPosition()
{
    const QPoint pos = frameGeometry().topLeft();
    auto single = [](double v) { return QString::number(float(v)); };
    setUserValue(UserKeys::MainLeft, single(pixelsToTwips(pos.x(), this)));
    setUserValue(UserKeys::MainTop, single(pixelsToTwips(pos.y(), this)));
    setUserValue(UserKeys::MainWidth, single(pixelsToTwips(width(), this)));
    setUserValue(UserKeys::MainHeight, single(pixelsToTwips(height(), this)));
}

void frmMain::requestOperatingSystemQuit()
{
    m_osQuit = true;
    quitRequested = true;
    close();
}

bool frmMain::raiseForSecondInstance()
{
    if (!isVisible())
        return false;
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!quitRequested && sysSettings.debugMode == 0 && isVisible() && !m_osQuit) {
        const QString question = langText(mainSection, QStringLiteral("msgWillQuit")) + QStringLiteral("\r\n")
            + langText(mainSection, QStringLiteral("msgContinue"));
        if (!confirmYesNo(formText(mainSection, QStringLiteral("msgQuitTitle"), QStringLiteral("Info")), question)) {
            event->ignore();
            return;
        }
    }
    saveSystemSettings();
    m_line->saveValues();
    m_timerReloadData.stop();
    m_timerBeep.stop();
    m_timerStatus.stop();
    if (port().isOpen())
        port().close();

    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w != this && w->isVisible())
            w->close();
    }
    if (auto *viewer = findChild<frmViewEventLogDb *>())
        viewer->close();
    if (m_logs)
        m_logs->unload();
    if (windowState() == Qt::WindowNoState)
        saveWindowPosition();
    checkpointDatabase();
    quitRequested = true;
    event->accept();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace vantoro
