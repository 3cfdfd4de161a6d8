// The system settings dialog.
#include "ui/dialogs/frm_sys_set.h"

#include "plant/line.h"

#include "acquisition/line_address.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/event_log.h"
#include "ui/dialogs/devices_settings_page.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/dialogs/port_field.h"
#include "ui/dialogs/settings_page.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <algorithm>

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QColor>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("frmSysSet");
const char *const rates[] = {"300",   "600",   "1200",  "2400",  "4800",  "9600",  "14400",
                             "19200", "28800", "38400", "56000", "57600", "115200"};
const QString kDefaultDeviceName = QStringLiteral("PV-INV");

// Marks an entry added for a stored value its list lacks; it holds that value.
constexpr int KEPT_VALUE_ROLE = Qt::UserRole + 1;

// Adds and selects an entry for a stored value the list lacks, marked, so
// a save writes the value back unchanged unless the operator picks another.
void keepUnknownEntry(QComboBox *combo, const QString &shown, const QVariant &stored)
{
    const QString note = langText(kSection, QStringLiteral("msgKeptValue"));
    combo->addItem(shown + QStringLiteral("  ") + note, stored);
    const int index = combo->count() - 1;
    combo->setItemData(index, stored, KEPT_VALUE_ROLE);
    combo->setItemData(index, QColor(Qt::red), Qt::ForegroundRole);
    combo->setItemData(index, note, Qt::ToolTipRole);
    combo->setCurrentIndex(index);
}

// Selects the entry of a stored value (by its value, else its text); a
// value the list lacks gets a kept entry, and false.
bool pickEntry(QComboBox *combo, const QString &text)
{
    const int byValue = combo->findData(text);
    if (byValue >= 0 && !combo->itemData(byValue, KEPT_VALUE_ROLE).isValid()) {
        combo->setCurrentIndex(byValue);
        return true;
    }
    if (selectEntry(combo, text))
        return true;
    keepUnknownEntry(combo, text, text);
    return false;
}

// The stored value behind a kept entry when it is the one selected.
QVariant keptValue(const QComboBox *combo)
{
    return combo->currentData(KEPT_VALUE_ROLE);
}

// The stored value of the entry chosen: a kept value, the value behind an
// entry shown in words (parity, power rating), else the text itself.
QString entryText(const QComboBox *combo)
{
    const QVariant kept = keptValue(combo);
    if (kept.isValid())
        return kept.toString();
    const QVariant value = combo->currentData();
    return value.isValid() ? value.toString() : combo->currentText();
}

// "1K5" reads as "1.5 kW"; a code of another form shows as it is.
QString powerRatingText(const QString &code)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+)K(\\d*)$"));
    const QRegularExpressionMatch m = form.match(code);
    if (!m.hasMatch())
        return code;
    const QString decimals = m.captured(2);
    return m.captured(1) + (decimals.isEmpty() ? QString() : QLatin1Char('.') + decimals) + QStringLiteral(" kW");
}

QString parityText(QChar letter)
{
    static const char *const builtIn[] = {"None", "Space", "Mark", "Odd", "Even"};
    const int at = QString::fromLatin1(PARITY_LETTERS).indexOf(letter);
    return langText(kSection, QStringLiteral("parity") + letter, LANGUAGE_CURRENT,
                    QString::fromLatin1(at >= 0 ? builtIn[at] : ""));
}

} // namespace

frmSysSet::frmSysSet(QWidget *owner, std::function<void()> titleChanged, std::function<void(int)> languageChosen)
    : QDialog(owner)
    , m_titleChanged(std::move(titleChanged))
    , m_languageChosen(std::move(languageChosen))
    , m_playAlarm(alarmBeep)
{
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("设定"));
    if (const auto records = loadDevices(); records && !records->isEmpty())
        m_device = records->first();
    buildControls();

    setControls();
    loadValues();
    cmbSets(5)->setEnabled(isWinNT());
    applyLanguage(this, sysSettings.languageIndex);
    m_savedValues = fieldValues();
}

void frmSysSet::showDevice(const QString &id)
{
    const auto records = loadDevices();
    if (!records)
        return;
    for (const DeviceRecord &r : *records) {
        if (r.id == id)
            m_device = r;
    }
    loadValues();
    m_savedValues = fieldValues();
}

QStringList frmSysSet::fieldValues() const
{
    // Every field of every page, in widget order; the language is applied
    // at once and is never an unsaved edit.
    QStringList values;
    for (const QWidget *w : findChildren<QWidget *>()) {
        if (w == m_cmbLanguage)
            continue;
        if (const auto *combo = qobject_cast<const QComboBox *>(w))
            values << combo->currentText();
        else if (const auto *edit = qobject_cast<const QLineEdit *>(w); edit && !qobject_cast<const QComboBox *>(w->parentWidget()))
            values << edit->text();
        else if (const auto *spin = qobject_cast<const QAbstractSpinBox *>(w))
            values << spin->text();
        else if (const auto *check = qobject_cast<const QAbstractButton *>(w); check && check->isCheckable())
            values << QString::number(check->isChecked());
    }
    return values;
}

bool frmSysSet::hasUnsavedEdits() const
{
    return fieldValues() != m_savedValues;
}

bool frmSysSet::mayClose()
{
    if (!hasUnsavedEdits())
        return true;
    switch (messages().askSaveDiscard(windowTitle(), langText(kSection, QStringLiteral("msgUnsavedEdits")))) {
    case SaveChoice::Save:
        return cmdOkClick();
    case SaveChoice::Discard:
        // Asked once: the close that follows finds nothing unsaved.
        m_savedValues = fieldValues();
        return true;
    case SaveChoice::Cancel:
        break;
    }
    return false;
}

void frmSysSet::reject()
{
    if (mayClose())
        QDialog::reject();
}

void frmSysSet::closeEvent(QCloseEvent *event)
{
    if (!mayClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmSysSet::buildControls()
{
    for (int i = 0; i <= 11; ++i)
        m_label1 << namedLabel(QStringLiteral("Label1"), QString(), this, i);
    const char *const captions[] = {"名称",         "端口选择", "速率",     "查询间隔(秒)", "等待超时(秒)", "声音频率",
                                    "告警声音",     "重试次数", "校验位",   "功率",         "通讯地址",     "通讯协议版本"};
    for (int i = 0; i <= 11; ++i)
        m_label1[i]->setText(QString::fromUtf8(captions[i]));

    // Free-text fields are 0, 3, 4, 5 and 7; the others are pick-lists.
    for (int i = 0; i <= 10; ++i) {
        // The port takes a device path typed in as well as a listed port.
        const bool freeText = i == 0 || i == 1 || i == 3 || i == 4 || i == 5 || i == 7;
        m_cmbSets << namedCombo(QStringLiteral("cmbSets"), freeText, this, i);
    }
    cmbSets(0)->setEditText(kDefaultDeviceName);
    cmbSets(3)->setEditText(QStringLiteral("3"));
    cmbSets(4)->setEditText(QStringLiteral("3"));
    cmbSets(5)->setEditText(QStringLiteral("3000"));
    cmbSets(7)->setEditText(QStringLiteral("3"));
    m_cmbPower = namedCombo(QStringLiteral("cmbPower"), false, this);
    m_chkTotalPower = namedCheckBox(QStringLiteral("chkTotalPower"), QStringLiteral("发电量记录"), this);
    m_chkAutoShutDown = namedCheckBox(QStringLiteral("chkAutoShutDown"), QStringLiteral("欠压自动关机"), this);
    m_cmdTestSound = namedButton(QStringLiteral("cmdTestSound"), QStringLiteral("测试"), this);
    // Each language is named in itself, so an operator who reads only one finds it.
    m_cmbLanguage = namedCombo(QStringLiteral("cmbLanguage"), false, this);
    m_cmbLanguage->addItem(QStringLiteral("中文"), LANGUAGE_CHINESE);
    m_cmbLanguage->addItem(QStringLiteral("English"), LANGUAGE_ENGLISH);
    m_lblLanguage = namedLabel(QStringLiteral("lblLanguage"), QStringLiteral("界面语言"), this);
    m_cmdOk = namedButton(QStringLiteral("cmdOk"), QStringLiteral("保存"), this);
    m_cmdQuit = namedButton(QStringLiteral("cmdQuit"), QStringLiteral("退出"), this);

    const QString versionTip = QLatin1Char(' ') + formText(kSection, QStringLiteral("tipVersion"), QStringLiteral("版本2为Modbus协议")) + QLatin1Char(' ');
    cmbSets(10)->setToolTip(versionTip);
    label1(11)->setToolTip(versionTip);
    m_cmbPower->setToolTip(QLatin1Char(' ')
                           + formText(kSection, QStringLiteral("tipPower"),
                                      QStringLiteral("改变功率设置后，请到设备参数中重新设定电流告警上限。"))
                           + QLatin1Char(' '));

    auto frame = [this](const char *name, const QString &caption) {
        auto *box = new QGroupBox(caption, this);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    QGroupBox *link = frame("Frame1", QStringLiteral(" 通讯参数 "));
    QGroupBox *device = frame("Frame2", QStringLiteral(" 设备 "));
    QGroupBox *other = frame("Frame3", QStringLiteral(" 其他"));

    auto addRow = [](QGridLayout *grid, QLabel *label, QWidget *field) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
    };
    auto *linkGrid = new QGridLayout(link);
    addRow(linkGrid, label1(1), cmbSets(1));
    m_lblPortHint = namedLabel(QStringLiteral("lblPortHint"), QString(), this);
    m_lblPortHint->setWordWrap(true);
    m_lblPortHint->setVisible(false);
    linkGrid->addWidget(m_lblPortHint, linkGrid->rowCount(), 0, 1, 2);
    addRow(linkGrid, label1(2), cmbSets(2));
    addRow(linkGrid, label1(3), cmbSets(3));
    addRow(linkGrid, label1(4), cmbSets(4));
    addRow(linkGrid, label1(7), cmbSets(7));
    addRow(linkGrid, label1(8), cmbSets(8));
    // Room for a device path and the system's description of the port.
    cmbSets(1)->setMinimumContentsLength(28);
    cmbSets(1)->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbSets(6)->setMinimumContentsLength(14);
    cmbSets(6)->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbSets(1)->setToolTip(QLatin1Char(' ') + lineAddressForms() + QLatin1Char(' '));
    connect(cmbSets(1), &QComboBox::currentTextChanged, this, &frmSysSet::updatePortHint);
    m_cmdTestPort = namedButton(QStringLiteral("cmdTestPort"), QStringLiteral("测试连接"), this);
    m_lblTestPort = namedLabel(QStringLiteral("lblTestPort"), QString(), this);
    m_lblTestPort->setWordWrap(true);
    linkGrid->addWidget(m_cmdTestPort, linkGrid->rowCount(), 1);
    linkGrid->addWidget(m_lblTestPort, linkGrid->rowCount(), 0, 1, 2);
    connect(m_cmdTestPort, &QPushButton::clicked, this, &frmSysSet::cmdTestPortClick);

    auto *deviceGrid = new QGridLayout(device);
    addRow(deviceGrid, label1(0), cmbSets(0));
    addRow(deviceGrid, label1(9), m_cmbPower);
    addRow(deviceGrid, label1(10), cmbSets(9));
    addRow(deviceGrid, label1(11), cmbSets(10));
    deviceGrid->addWidget(m_chkTotalPower, deviceGrid->rowCount(), 0, 1, 2);

    auto *otherGrid = new QGridLayout(other);
    addRow(otherGrid, m_lblLanguage, m_cmbLanguage);
    addRow(otherGrid, label1(6), cmbSets(6));
    addRow(otherGrid, label1(5), cmbSets(5));
    otherGrid->addWidget(m_cmdTestSound, otherGrid->rowCount(), 1);
    otherGrid->addWidget(m_chkAutoShutDown, otherGrid->rowCount(), 0, 1, 2);

    auto *frames = new QHBoxLayout;
    frames->addWidget(link);
    auto *right = new QVBoxLayout;
    right->addWidget(device);
    right->addWidget(other);
    frames->addLayout(right);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdQuit);
    // The station's own settings come first; each service adds a page.
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabSettings"));
    auto *stationPage = new QWidget(m_tabs);
    stationPage->setObjectName(QStringLiteral("pageStation"));
    stationPage->setLayout(frames);
    m_tabs->addTab(stationPage, langText(kSection, QStringLiteral("tabStation"), LANGUAGE_CURRENT, QStringLiteral("Station")));
    m_pages = createSettingsPages(m_tabs);
    for (SettingsPage *page : std::as_const(m_pages)) {
        if (auto *devices = dynamic_cast<DevicesSettingsPage *>(page))
            devices->setDeviceStored([this](const DeviceRecord &device) { deviceStored(device); });
        page->load();
        m_tabs->addTab(page, page->title());
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(cmbSets(6), &QComboBox::currentIndexChanged, this, &frmSysSet::soundChoiceChanged);
    connect(m_cmbLanguage, &QComboBox::activated, this,
            [this](int index) { chooseLanguage(m_cmbLanguage->itemData(index).toInt()); });
    connect(m_cmdOk, &QPushButton::clicked, this, &frmSysSet::cmdOkClick);
    connect(m_cmdTestSound, &QPushButton::clicked, this, &frmSysSet::cmdTestSoundClick);
    connect(m_cmdQuit, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSysSet::setControls()
{
    const SystemPorts ports = systemPorts();
    m_portDescriptions = ports.descriptions;
    setControls(ports.devices);
}

void frmSysSet::setControls(const QStringList &systemPorts)
{
    cmbSets(2)->clear();
    for (const char *rate : rates)
        cmbSets(2)->addItem(QString::fromLatin1(rate));

    cmbSets(6)->clear();
    cmbSets(6)->addItem(langText(kSection, QStringLiteral("UserDefined"), LANGUAGE_CURRENT, QString()));
    cmbSets(6)->addItem(langText(kSection, QStringLiteral("SysSound"), LANGUAGE_CURRENT, QString()));

    // Each entry shows the device its number opens (the per-user port map).
    m_stableNames = stablePortNames(m_stableFolder);
    QStringList ports = systemPorts;
    addStableNames(ports, m_portDescriptions, m_stableNames);
    m_ports = shownPortEntries(sysSettings.comport, ports, m_portDescriptions);
    // An adapter's stable name first: it still opens that adapter after a restart.
    std::stable_partition(m_ports.begin(), m_ports.end(), [this](const PortEntry &entry) {
        return std::any_of(m_stableNames.cbegin(), m_stableNames.cend(),
                           [&entry](const StablePortName &name) { return name.path == entry.device; });
    });
    fillPortField(cmbSets(1), m_ports);

    cmbSets(8)->clear();
    for (const QChar letter : QString::fromLatin1(PARITY_LETTERS))
        cmbSets(8)->addItem(parityText(letter), QString(letter));

    m_cmbPower->clear();
    for (const char *code : {"1K5", "2K", "2K5", "3K", "5K"})
        m_cmbPower->addItem(powerRatingText(QString::fromLatin1(code)), QString::fromLatin1(code));

    cmbSets(9)->clear();
    for (int address = 0; address <= 255; ++address)
        cmbSets(9)->addItem(QString::number(address));

    cmbSets(10)->clear();
    cmbSets(10)->addItems({QStringLiteral("1"), QStringLiteral("2")});
}

bool frmSysSet::loadValues()
{
    // A stored value a list lacks is kept, not dropped: stopping here would
    // leave the later fields on their defaults for the next save to write.
    const SystemSettings &s = sysSettings;
    bool allListed = true;
    auto pick = [&allListed](QComboBox *combo, const QString &text) {
        if (!pickEntry(combo, text))
            allListed = false;
    };
    auto pickPosition = [&allListed](QComboBox *combo, const QString &shown, int position, int stored) {
        if (position >= 0 && position < combo->count() && !combo->itemData(position, KEPT_VALUE_ROLE).isValid()) {
            combo->setCurrentIndex(position);
            return;
        }
        keepUnknownEntry(combo, shown, stored);
        allListed = false;
    };

    const DeviceRecord &d = m_device;
    cmbSets(0)->setEditText(d.name);
    if (s.LineAddress.isEmpty())
        showPort(cmbSets(1), m_ports, s.comport);
    else
        cmbSets(1)->setEditText(s.LineAddress);
    updatePortHint();
    pick(cmbSets(2), rateTextFromSettings(s.ComSettings));
    cmbSets(3)->setEditText(settingNumberText(s.PauseSeconds));
    cmbSets(4)->setEditText(settingNumberText(s.TimeOut));
    cmbSets(5)->setEditText(settingNumberText(s.BeepFreq));
    pickPosition(cmbSets(6), QString::number(s.usesoundcard), s.usesoundcard, s.usesoundcard);
    soundChoiceChanged();
    cmbSets(7)->setEditText(settingNumberText(s.retrytimes));
    if (const int parity = cmbSets(8)->findData(parityFromSettings(s.ComSettings)); parity >= 0)
        cmbSets(8)->setCurrentIndex(parity);
    m_chkAutoShutDown->setChecked(s.AutoShutDown != 0);
    pick(m_cmbPower, d.rating);
    pick(cmbSets(9), QString::number(d.address));
    m_chkTotalPower->setChecked(d.meterCounter);
    pick(cmbSets(10), QString::number(d.protocol));
    return allListed;
}

void frmSysSet::showPage(const QString &name)
{
    if (name.isEmpty())
        return;
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->widget(i)->objectName() == name)
            m_tabs->setCurrentIndex(i);
    }
}

void frmSysSet::chooseLanguage(int language)
{
    if (language == sysSettings.languageIndex)
        return;
    applyLanguage(this, language);
    if (m_languageChosen)
        m_languageChosen(language);
}

void frmSysSet::languageApplied(int language)
{
    m_cmbLanguage->setCurrentIndex(language == LANGUAGE_ENGLISH ? 1 : 0);
    m_tabs->setTabText(0, langText(kSection, QStringLiteral("tabStation"), language, QStringLiteral("Station")));
    for (SettingsPage *page : std::as_const(m_pages))
        m_tabs->setTabText(m_tabs->indexOf(page), page->title());
    // The sound choices are list entries, which the controls pass misses.
    cmbSets(6)->setItemText(0, langText(kSection, QStringLiteral("UserDefined"), language, QString()));
    cmbSets(6)->setItemText(1, langText(kSection, QStringLiteral("SysSound"), language, QString()));
}

void frmSysSet::updatePortHint()
{
    const QString text = cmbSets(1)->currentText().trimmed();
    QString hint;
    if (!isNetworkLineText(text)) {
        const PortEntry port = portChoice(text, m_ports, sysSettings.comport);
        const QString stable = port.number > 0 ? stableNameOf(port.device, m_stableNames) : QString();
        if (!stable.isEmpty())
            hint = localText(QStringLiteral("%1 可能在重启后指向另一个适配器；请选择 %2，它始终指向这个适配器。"),
                             QStringLiteral("%1 may name another adapter after a restart; choose %2, "
                                            "which always names this one."))
                       .arg(port.device, stable);
    }
    m_lblPortHint->setText(hint);
    m_lblPortHint->setVisible(!hint.isEmpty());
}

QString frmSysSet::portFieldProblem() const
{
    const QString lineText = cmbSets(1)->currentText().trimmed();
    if (QString problem = networkLineProblem(lineText, wholeNumberFromText(entryText(cmbSets(10)))); !problem.isEmpty())
        return problem;
    // The line's other devices reach the device through the same gateway.
    if (const auto line = loadDevices(); line && isNetworkLineText(lineText)) {
        for (const DeviceRecord &device : *line) {
            if (device.id == m_device.id)
                continue;
            if (QString problem = networkLineProblem(lineText, device.protocol); !problem.isEmpty())
                return device.name + QStringLiteral(" (") + device.id + QStringLiteral("): ") + problem;
        }
    }
    return QString();
}

void frmSysSet::soundChoiceChanged()
{
    // The frequency only means something for the user-defined tone.
    const bool userDefined = cmbSets(6)->currentIndex() == 0;
    cmbSets(5)->setVisible(userDefined);
    label1(5)->setVisible(userDefined);
}

bool frmSysSet::cmdOkClick()
{
    // Checked before anything changes, so a refused save leaves the record whole.
    const std::optional<float> interval = queryIntervalFromText(cmbSets(3)->currentText());
    if (!interval) {
        messages().show(windowTitle(),
                        localText(QStringLiteral("查询间隔必须是一个数字（秒）。\r\n设置未保存，原值 %1 不变。"),
                                  QStringLiteral("The poll interval must be a number of seconds.\r\n"
                                                 "Nothing was saved; the interval stays %1."))
                            .arg(settingNumberText(sysSettings.PauseSeconds)),
                        MessageIcon::Warning);
        cmbSets(3)->setFocus();
        return false;
    }
    // The poll loop cannot work with these outside their ranges.
    const std::optional<float> timeOut = timeOutFromText(cmbSets(4)->currentText());
    const std::optional<int> retries = retriesFromText(cmbSets(7)->currentText());
    if (!timeOut || !retries) {
        QComboBox *field = timeOut ? cmbSets(7) : cmbSets(4);
        const QString text = timeOut ? langText(kSection, QStringLiteral("msgRetriesRange")).arg(RETRIES_MIN).arg(RETRIES_MAX)
                                     : langText(kSection, QStringLiteral("msgTimeOutRange"))
                                           .arg(TIMEOUT_MIN_SECONDS)
                                           .arg(TIMEOUT_MAX_SECONDS);
        messages().show(windowTitle(), text, MessageIcon::Warning);
        field->setFocus();
        return false;
    }
    if (const QString problem = portFieldProblem(); !problem.isEmpty()) {
        m_tabs->setCurrentIndex(0);
        messages().show(windowTitle(), problem, MessageIcon::Warning);
        cmbSets(1)->setFocus();
        return false;
    }
    for (SettingsPage *page : std::as_const(m_pages)) {
        const QString problem = page->validate();
        if (!problem.isEmpty()) {
            m_tabs->setCurrentWidget(page);
            messages().show(windowTitle(), problem, MessageIcon::Warning);
            return false;
        }
    }
    // The address on this page is its device's, and no other device on the
    // line may answer to it.
    if (const auto line = loadDevices()) {
        DeviceRecord shown = m_device;
        shown.address = wholeNumberFromText(entryText(cmbSets(9)));
        if (const QString taken = addressTaken(shown, *line); !taken.isEmpty()) {
            m_tabs->setCurrentIndex(0);
            messages().show(windowTitle(), taken, MessageIcon::Warning);
            cmbSets(9)->setFocus();
            return false;
        }
    }

    setBusyCursor(true);
    SystemSettings &s = sysSettings;
    DeviceRecord &d = m_device;
    d.name = cmbSets(0)->currentText();
    const QString lineText = cmbSets(1)->currentText().trimmed();
    if (isNetworkLineText(lineText)) {
        // The serial port stays as it was, for the day the line goes back to it.
        s.LineAddress = lineAddressText(parseLineAddress(lineText));
    } else {
        s.LineAddress.clear();
        const PortEntry port = portChoice(lineText, m_ports, s.comport);
        if (port.number > 0) {
            s.comport = port.number;
            if (port.newMapping)
                setPortDeviceName(port.number, port.device);
        }
    }
    s.ComSettings = comSettingsText(entryText(cmbSets(2)), entryText(cmbSets(8)));
    s.PauseSeconds = *interval;
    s.TimeOut = *timeOut;
    s.BeepFreq = wholeNumberFromText(cmbSets(5)->currentText());
    s.usesoundcard = keptValue(cmbSets(6)).isValid() ? keptValue(cmbSets(6)).toInt() : cmbSets(6)->currentIndex();
    s.retrytimes = *retries;
    s.AutoShutDown = m_chkAutoShutDown->isChecked() ? 1 : 0;
    d.rating = entryText(m_cmbPower);
    d.address = wholeNumberFromText(entryText(cmbSets(9)));
    d.meterCounter = m_chkTotalPower->isChecked();
    d.protocol = wholeNumberFromText(entryText(cmbSets(10))) == 2 ? 2 : 1;
    // Pages write their fields first, so the one save below (and the
    // services that follow it) see every change together.
    for (SettingsPage *page : std::as_const(m_pages))
        page->save();
    QString deviceError;
    const bool deviceSaved = editDevice(m_device, &deviceError);
    if (!deviceSaved)
        logStatus(QStringLiteral("Device %1 not saved: %2").arg(m_device.id, deviceError));
    const bool saved = saveSystemSettings() && deviceSaved;
    if (saved) {
        m_savedValues = fieldValues();
        // An answer about the settings before this save no longer holds.
        m_lblTestPort->clear();
        // The station page writes its device's row: the list shows it.
        publishStoredDevices();
        for (SettingsPage *page : std::as_const(m_pages)) {
            if (auto *devices = dynamic_cast<DevicesSettingsPage *>(page))
                devices->load();
        }
    }
    if (m_titleChanged)
        m_titleChanged();
    // A failed write has shown its own message; the status says it too.
    logStatus(saved ? langText(QStringLiteral("Application"), QStringLiteral("msgSavedOK"))
                    : langText(kSection, QStringLiteral("msgSaveFailed")));
    setBusyCursor(false);
    return saved;
}

void frmSysSet::deviceStored(const DeviceRecord &device)
{
    // The station page holds its device's fields and writes them on Save:
    // they take what the Devices page stored, so Save keeps it.
    if (device.id != m_device.id)
        return;
    const bool unsaved = hasUnsavedEdits();
    m_device = device;
    cmbSets(0)->setEditText(device.name);
    selectEntry(m_cmbPower, device.rating);
    selectEntry(cmbSets(9), QString::number(device.address));
    m_chkTotalPower->setChecked(device.meterCounter);
    selectEntry(cmbSets(10), QString::number(device.protocol));
    if (!unsaved)
        m_savedValues = fieldValues();
    if (m_titleChanged)
        m_titleChanged();
}

void frmSysSet::cmdTestSoundClick()
{
    if (!cmdOkClick())
        return;
    if (m_playAlarm)
        m_playAlarm(sysSettings.BeepFreq);
}

void frmSysSet::cmdTestPortClick()
{
    // The dialog's values as they stand; nothing is stored.
    const QString lineText = cmbSets(1)->currentText().trimmed();
    if (const QString problem = portFieldProblem(); !problem.isEmpty()) {
        m_lblTestPort->setText(problem);
        return;
    }
    const PortEntry port = portChoice(lineText, m_ports, sysSettings.comport);
    const QString device = isNetworkLineText(lineText) ? lineAddressText(parseLineAddress(lineText))
        : port.number > 0                             ? port.device
                                                      : portDeviceName(sysSettings.comport);
    ConnectionTestValues values;
    values.comSettings = comSettingsText(entryText(cmbSets(2)), entryText(cmbSets(8)));
    values.protocol = wholeNumberFromText(entryText(cmbSets(10))) == 2 ? 2 : 1;
    values.address = wholeNumberFromText(entryText(cmbSets(9)));
    // A time-out the save would refuse is tried with the one in use.
    values.timeoutSeconds = timeOutFromText(cmbSets(4)->currentText()).value_or(sysSettings.TimeOut);
    m_cmdTestPort->setEnabled(false);
    m_lblTestPort->setText(formText(kSection, QStringLiteral("msgTesting"), QStringLiteral("正在测试 %1 ...")).arg(device));
    setBusyCursor(true);
    const bool wasPolling = m_releaseLine && m_releaseLine();
    const ConnectionTestOutcome outcome = testPort(device, values);
    if (m_giveBackLine)
        m_giveBackLine(wasPolling);
    setBusyCursor(false);
    m_lblTestPort->setText(connectionTestText(outcome, device));
    m_cmdTestPort->setEnabled(true);
}

} // namespace vantoro
