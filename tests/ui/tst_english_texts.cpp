// In English every text the station itself shows is English: the four views
// and every dialog are walked widget by widget for Chinese characters.
// Operator data (device name, customer fields, stored events) is the
// operator's own and not checked; the parameter editors' rows are, as
// shipped, since their names and state texts are the station's.
#include "acquisition/fake_serial_port.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "test_support.h"
#include "plant/line.h"
#include "ui/dialogs/frm_about.h"
#include "ui/dialogs/frm_auto_shut_down.h"
#include "ui/dialogs/frm_chg_pass.h"
#include "ui/dialogs/frm_logs.h"
#include "ui/dialogs/frm_options.h"
#include "ui/dialogs/frm_par_set3.h"
#include "ui/dialogs/frm_paraset.h"
#include "ui/dialogs/frm_remote_control.h"
#include "ui/dialogs/frm_remote_set.h"
#include "ui/dialogs/frm_set_user.h"
#include "ui/dialogs/frm_set_warning.h"
#include "ui/dialogs/frm_sys_set.h"
#include "ui/dialogs/frm_view_event_log_db.h"
#include "ui/main/frm_main.h"
#include "ui/main/frm_splash.h"
#include "ui/language.h"

#include <QAbstractItemView>
#include <QAction>
#include <QFile>
#include <QLibraryInfo>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>

using namespace vantoro;
using namespace vantoro::test;

namespace {

bool hasChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return text.contains(han);
}

bool isOperatorData(const QObject *o)
{
    // Typed fields hold what the operator entered; the editors' and the
    // viewers' tables show stored rows.
    return qobject_cast<const QLineEdit *>(o) || qobject_cast<const QTextEdit *>(o)
        || qobject_cast<const QPlainTextEdit *>(o);
}

void itemViewTexts(const QAbstractItemView *view, bool withCells, QStringList &out, const QString &where)
{
    const QAbstractItemModel *model = view->model();
    if (!model)
        return;
    for (int c = 0; c < model->columnCount(); ++c)
        out << where + QStringLiteral(" heading: ") + model->headerData(c, Qt::Horizontal).toString();
    if (!withCells)
        return;
    for (int r = 0; r < model->rowCount(); ++r) {
        for (int c = 0; c < model->columnCount(); ++c)
            out << where + QStringLiteral(" cell: ") + model->index(r, c).data().toString();
    }
}

// Every visible text of `root` and its children, each prefixed with where it is.
QStringList visibleTexts(QWidget *root, bool gridCells, bool allViews = false)
{
    QStringList out;
    QList<QObject *> objects = root->findChildren<QObject *>();
    objects.prepend(root);
    for (QObject *o : objects) {
        // A window of its own that is not open (the running log) is checked
        // when it is opened, as a dialog.
        if (auto *w = qobject_cast<QWidget *>(o); w && w->window() != root && !w->window()->isVisible())
            continue;
        const QString where = QString::fromLatin1(o->metaObject()->className()) + QLatin1Char(' ') + o->objectName();
        if (auto *w = qobject_cast<QWidget *>(o); w && w->isWindow())
            out << where + QStringLiteral(" title: ") + w->windowTitle();
        if (isOperatorData(o))
            continue;
        for (const char *property : {"text", "title", "toolTip", "CaptionText", "iconText"}) {
            const QVariant v = o->property(property);
            if (v.canConvert<QString>())
                out << where + QLatin1Char(' ') + QLatin1String(property) + QStringLiteral(": ") + v.toString();
        }
        // Each language is offered under its own name.
        if (o->objectName() == QLatin1String("cmbLanguage"))
            continue;
        if (auto *combo = qobject_cast<QComboBox *>(o); combo && !combo->isEditable()) {
            for (int i = 0; i < combo->count(); ++i)
                out << where + QStringLiteral(" item: ") + combo->itemText(i);
        }
        if (auto *tabs = qobject_cast<QTabBar *>(o)) {
            for (int i = 0; i < tabs->count(); ++i)
                out << where + QStringLiteral(" tab: ") + tabs->tabText(i);
        }
        if (auto *view = qobject_cast<QAbstractItemView *>(o))
            itemViewTexts(view, gridCells && (allViews || qobject_cast<QTableWidget *>(o)), out, where);
    }
    return out;
}

QStringList chineseTexts(QWidget *root, bool gridCells = false, bool allViews = false)
{
    QStringList found;
    for (const QString &text : visibleTexts(root, gridCells, allViews)) {
        if (hasChinese(text))
            found << text;
    }
    return found;
}

} // namespace

class TestEnglishTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup();
    void viewsAreEnglish();
    void dialogsAreEnglish();
    void chineseModeNamesStayChinese();

private:
    void checkDialog(QWidget *dialog, bool cells);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
};

void TestEnglishTexts::init()
{
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
    QVERIFY(loadSystemSettings());
    QVERIFY(loadDevices()); // the window loads its line's devices and tables
    sysSettings.languageIndex = LANGUAGE_ENGLISH;
    sysSettings.debugMode = 1;
}

void TestEnglishTexts::cleanup()
{
    m_messages.reset();
    m_home.reset();
}

void TestEnglishTexts::checkDialog(QWidget *dialog, bool cells)
{
    dialog->show();
    QTest::qWait(20);
    const QStringList found = chineseTexts(dialog, cells, cells);
    dialog->close();
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

void TestEnglishTexts::viewsAreEnglish()
{
    frmMain window(nullptr, std::make_unique<FakeSerialPort>());
    window.show();
    QTest::qWait(20);
    for (int view = 0; view < 4; ++view) {
        window.setViewMode(view);
        window.refreshDisplay();
        QTest::qWait(20);
        const QStringList found = chineseTexts(&window, true);
        QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("view %1:\n").arg(view) + found.join(QLatin1Char('\n'))));
    }
    // A fault entry names the parameter in the interface language too.
    QVERIFY(window.device());
    ParamTable &table = window.device()->table();
    markValuesReceived(table);
    table[15].founderror = 1;
    table[15].paravalue = table[15].srcstring;
    window.refreshDisplay();
    QVERIFY(!hasChinese(window.sErrorString));
    QVERIFY2(window.sErrorString.contains(QStringLiteral("DC undervoltage protection=DC undervoltage, status abnormal")),
             qPrintable(window.sErrorString));
}

void TestEnglishTexts::dialogsAreEnglish()
{
    auto ownedPort = std::make_unique<FakeSerialPort>();
    FakeSerialPort &port = *ownedPort;
    Line line(std::move(ownedPort));
    Device &device = line.addDevice(test::pollOneDevice(1, 0.2));
    QVERIFY(device.loadTable());
    QTimer timer;
    Poller poller(line, timer, PollHooks{});
    std::vector<std::unique_ptr<QWidget>> dialogs;
    dialogs.push_back(std::make_unique<frmSplash>());
    dialogs.push_back(std::make_unique<frmAbout>());
    dialogs.push_back(std::make_unique<frmAutoShutDown>(nullptr, [] {}));
    dialogs.push_back(std::make_unique<frmChgPass>());
    dialogs.push_back(std::make_unique<frmLogs>());
    dialogs.push_back(std::make_unique<frmOptions>());
    auto parSet3 = std::make_unique<frmParSet3>();
    parSet3->showDevice(device.id(), device.record().rating);
    dialogs.push_back(std::move(parSet3));
    auto paraset = std::make_unique<frmparaset>();
    paraset->showDevice(device.id(), device.record().rating);
    dialogs.push_back(std::move(paraset));
    dialogs.push_back(std::make_unique<frmRemoteControl>(poller, device.id(), [] {}));
    dialogs.push_back(std::make_unique<frmRemoteSet>(port, device.id(), device.name()));
    dialogs.push_back(std::make_unique<frmSetUser>());
    dialogs.push_back(std::make_unique<frmSetWarning>());
    dialogs.push_back(std::make_unique<frmSysSet>());
    dialogs.push_back(std::make_unique<frmViewEventLogDb>());
    for (const auto &dialog : dialogs) {
        // The editors list the parameters: their rows are checked too.
        const bool cells = dynamic_cast<frmParSet3 *>(dialog.get()) || dynamic_cast<frmparaset *>(dialog.get())
            || dynamic_cast<frmSetWarning *>(dialog.get());
        checkDialog(dialog.get(), cells);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestEnglishTexts::chineseModeNamesStayChinese()
{
    sysSettings.languageIndex = LANGUAGE_CHINESE;
    frmMain window(nullptr, std::make_unique<FakeSerialPort>());
    window.show();
    window.setViewMode(2);
    QTest::qWait(20);
    const QStringList texts = visibleTexts(&window, false);
    QVERIFY(!texts.filter(QStringLiteral("CaptionText: 交流输出功率")).isEmpty());
    QVERIFY(texts.filter(QStringLiteral("CaptionText: AC")).isEmpty());

    // Qt's own buttons (Yes/No of every question) follow, where Qt's
    // translations are installed.
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm")))
        QSKIP("qt6-translations-l10n is not installed");
    QVERIFY(QCoreApplication::translate("QPlatformTheme", "&Yes") != QLatin1String("&Yes"));
    applyLanguage(&window, LANGUAGE_ENGLISH);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));
}

QTEST_MAIN(TestEnglishTexts)
#include "tst_english_texts.moc"
