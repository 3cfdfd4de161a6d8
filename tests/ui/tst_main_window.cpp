// The main window: position, quit question, polling switch, sound toggle,
// fault display and the alarm timer.
#include "acquisition/fake_serial_port.h"
#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "core/memory_status.h"
#include "core/station_bus.h"
#include "core/user_settings.h"
#include "events/event_log.h"
#include "test_support.h"
#include "plant/line.h"
#include "ui/alarm_sound.h"
#include "ui/form_utils.h"
#include "ui/dialogs/frm_sys_set.h"
#include "ui/main/frm_main.h"
#include "ui/widget_messages.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup();
    void firstStartUsesTheDefaultPosition();
    void positionIsSavedOnlyInTheNormalState();
    void answeringNoKeepsEverythingRunning();
    void debugModeAndSystemQuitAskNothing();
    void plugTwiceFromRunningSavesOnce();
    void soundToggleWritesTheSettings();
    void faultTurnsTheBulbRedAndIsStored();
    void alarmSoundsOnlyUnderItsConditions();
    void diagnosticClickCyclesTheBulb();
    void toolTipsCountSeparators();
    void unavailableItemsAreGreyed();
    void dialogsOpenWithoutHoldingThePoll();
    void pollPathMessagesDoNotWait();
    void stoppingPollingSilencesTheFaultAlarm();
    void datePanelFollowsTheDayAndTheLanguage();
    void debugEditorButtonStopsPolling();
    void languageSwitchKeepsOneTitleSuffix();
    void helpWithoutPdfViewerNamesTheManual();

private:
    std::unique_ptr<frmMain> makeWindow();
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
};

void TestMainWindow::init()
{
    m_home.reset();
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
    QSettings(QSettings::defaultFormat(), QSettings::UserScope, QStringLiteral("Vantoro"), QStringLiteral("Vantoro")).clear();
    quitRequested = false;
    QVERIFY(loadSystemSettings());
    QVERIFY(loadDevices()); // the window loads its line's devices and tables
}

void TestMainWindow::cleanup()
{
    m_messages.reset();
    quitRequested = false;
}

std::unique_ptr<frmMain> TestMainWindow::makeWindow()
{
    auto window = std::make_unique<frmMain>(nullptr, std::make_unique<FakeSerialPort>());
    window->show();
    QTest::qWait(20);
    // The values the tests set stand for what the device sent.
    if (window->device())
        markValuesReceived(window->device()->table());
    return window;
}

void TestMainWindow::firstStartUsesTheDefaultPosition()
{
    auto w = makeWindow();
    QCOMPARE(w->pos(), QPoint(frmMain::twipsToPixels(1000, w.get()), frmMain::twipsToPixels(1000, w.get())));
    // Large enough for the views, within the screen.
    const QSize first = QSize(frmMain::twipsToPixels(15600, w.get()), frmMain::twipsToPixels(11100, w.get()))
                            .boundedTo(w->screen()->availableSize());
    QCOMPARE(w->size(), first.expandedTo(w->minimumSize()));
}

void TestMainWindow::positionIsSavedOnlyInTheNormalState()
{
    setUserValue(UserKeys::MainWidth, QStringLiteral("9000"));
    {
        auto w = makeWindow();
        w->showMaximized();
        QTest::qWait(20);
        m_messages->answer = true;
        QVERIFY(w->close());
    }
    QCOMPARE(userValue(UserKeys::MainWidth), QStringLiteral("9000"));
    quitRequested = false;
    {
        auto w = makeWindow();
        w->resize(frmMain::twipsToPixels(11700, w.get()), w->height());
        m_messages->answer = true;
        QVERIFY(w->close());
    }
    QCOMPARE(int(leadingNumber(userValue(UserKeys::MainWidth)) / 15 + 0.5), frmMain::twipsToPixels(11700, nullptr));
}

void TestMainWindow::answeringNoKeepsEverythingRunning()
{
    auto w = makeWindow();
    w->toolbarClick(QStringLiteral("plug"));
    m_messages->answer = false;
    QVERIFY(!w->close());
    QCOMPARE(m_messages->questions.size(), 1);
    QVERIFY(w->isVisible());
    QVERIFY(w->timerReloadData().isActive());
    QVERIFY(w->timerClock().isActive());
    QVERIFY(!quitRequested);
    w->toolbarClick(QStringLiteral("plug"));
}

void TestMainWindow::debugModeAndSystemQuitAskNothing()
{
    {
        sysSettings.debugMode = 1;
        auto w = makeWindow();
        QVERIFY(w->close());
        QVERIFY(m_messages->questions.isEmpty());
        sysSettings.debugMode = 0;
    }
    quitRequested = false;
    {
        auto w = makeWindow();
        w->requestOperatingSystemQuit();
        QVERIFY(!w->isVisible());
        QVERIFY(m_messages->questions.isEmpty());
        QVERIFY(quitRequested);
    }
}

void TestMainWindow::plugTwiceFromRunningSavesOnce()
{
    auto w = makeWindow();
    const auto counter = [] {
        return rsSqlGet(QStringLiteral("select updated from paraset where paraid=2"))->text(0, "updated").toInt();
    };
    const int before = counter();
    w->toolbarClick(QStringLiteral("plug"));
    QVERIFY(w->timerReloadData().isActive());
    QCOMPARE(w->toolButton(QStringLiteral("plug"))->isChecked(), true);
    QCOMPARE(w->action(QStringLiteral("mnuCommunication"))->isChecked(), true);
    QCOMPARE(counter(), before);
    w->toolbarClick(QStringLiteral("plug"));
    QVERIFY(!w->timerReloadData().isActive());
    QCOMPARE(w->toolButton(QStringLiteral("plug"))->isChecked(), false);
    QCOMPARE(counter(), before + 1);
}

void TestMainWindow::soundToggleWritesTheSettings()
{
    auto w = makeWindow();
    QCOMPARE(sysSettings.Soundenabled, 1);
    QCOMPARE(w->panelImage(QStringLiteral("speak")), QStringLiteral("speak"));
    QVERIFY(w->timerBeep().isActive());
    const QString onTip = w->panel(QStringLiteral("speak"))->toolTip();
    w->toggleSound();
    QCOMPARE(w->panelImage(QStringLiteral("speak")), QStringLiteral("speakx"));
    QVERIFY(w->panel(QStringLiteral("speak"))->toolTip() != onTip);
    QVERIFY(!w->timerBeep().isActive());
    // A language switch keeps the picture: the panel's language text is its tool tip.
    w->action(QStringLiteral("mnuLanguageEN"))->trigger();
    QVERIFY(!w->panel(QStringLiteral("speak"))->pixmap().isNull());
    QVERIFY(w->panel(QStringLiteral("speak"))->text().isEmpty());
    QVERIFY2(w->panel(QStringLiteral("speak"))->toolTip().contains(langText(QStringLiteral("frmMain"), QStringLiteral("msgSoundOff"))),
             qPrintable(w->panel(QStringLiteral("speak"))->toolTip()));
    QVERIFY(!w->action(QStringLiteral("mnuEnableSound"))->isChecked());
    QCOMPARE(rsSqlGet(QStringLiteral("select Soundenabled from sysset"))->text(0, "Soundenabled"), QStringLiteral("0"));
}

void TestMainWindow::faultTurnsTheBulbRedAndIsStored()
{
    auto w = makeWindow();
    for (ParamRecord &p : w->device()->table()) {
        if (p.rangel && p.rangeu)
            p.paravalue = (*p.rangel + *p.rangeu) / 2;
    }
    w->deviceCycle(*w->device()); // a cycle of the device shown
    QCOMPARE(w->panelImage(QStringLiteral("devState")), QStringLiteral("bulble"));
    QVERIFY(!w->bFoundError);
    w->device()->table()[15].paravalue = w->device()->table()[15].srcstring;
    w->device()->table()[15].founderror = 1;
    w->deviceCycle(*w->device()); // a cycle of the device shown
    QVERIFY(w->bFoundError);
    QVERIFY(w->sErrorString.startsWith(w->device()->table()[15].paraname + QLatin1Char('=')));
    QCOMPARE(w->panelImage(QStringLiteral("devState")), QStringLiteral("bulble_red"));
    const auto rows = rsSqlGet(QStringLiteral("select eventname from eventlog"));
    QCOMPARE(rows->recordCount(), 1);
    QCOMPARE(rows->text(0, "eventname"), w->sErrorString.left(255));
}

void TestMainWindow::alarmSoundsOnlyUnderItsConditions()
{
    auto w = makeWindow();
    w->toolbarClick(QStringLiteral("plug")); // faults sound while polling
    w->device()->table()[15].founderror = 1;
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 1);
    w->toggleSound(); // sound off: the timer stops, nothing sounds
    QVERIFY(!w->timerBeep().isActive());
    w->toggleSound();
    w->toolbarClick(QStringLiteral("plug"));
    w->device()->link().linkOk = 0;
    w->timerBeepTick(); // link down but polling stopped
    QCOMPARE(w->beepCount(), 1);
    w->toolbarClick(QStringLiteral("plug"));
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 2);
    w->toolbarClick(QStringLiteral("plug"));
    w->device()->link().linkOk = 1;
}

void TestMainWindow::diagnosticClickCyclesTheBulb()
{
    auto w = makeWindow();
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        w->devStateClick();
        seen << w->panelImage(QStringLiteral("devState"));
    }
    QCOMPARE(seen, (QStringList{"bulble", "bulble_red", "bulble_blue", "bulble"}));
}

void TestMainWindow::toolTipsCountSeparators()
{
    auto w = makeWindow();
    // The language file numbers toolbar entries with the separators counted.
    QCOMPARE(w->toolButton(QStringLiteral("viewgrid"))->toolTip().trimmed(),
             langText(QStringLiteral("frmMain"), QStringLiteral("tbButton4")));
    QVERIFY(w->toolButton(QStringLiteral("viewgrid"))->toolTip().startsWith(QStringLiteral("  ")));
}

void TestMainWindow::unavailableItemsAreGreyed()
{
    auto w = makeWindow();
    // Each greyed entry says why in its tool tip.
    for (const char *name : {"mnuSeleDev", "mnuChgPass", "mnuSMS", "mnuSound", "mnuRemoteControl"}) {
        QVERIFY2(!w->action(QString::fromLatin1(name))->isEnabled(), name);
        QVERIFY2(!w->action(QString::fromLatin1(name))->toolTip().isEmpty(), name);
    }
    // Mail Service opens the mail page of the settings.
    QVERIFY(w->action(QStringLiteral("mnuSMTP"))->isEnabled());
    w->action(QStringLiteral("mnuSMTP"))->trigger();
    auto *settings = w->findChild<frmSysSet *>();
    QVERIFY(settings);
    QCOMPARE(settings->tabs()->currentWidget()->objectName(), QStringLiteral("pageMail"));
    settings->close();
    // The four views are one choice.
    w->action(QStringLiteral("mnuViewGrid"))->trigger();
    QVERIFY(!w->action(QStringLiteral("mnuViewState"))->isChecked());
    w->action(QStringLiteral("mnuViewGrid"))->trigger();
    QVERIFY(w->action(QStringLiteral("mnuViewGrid"))->isChecked());
    QVERIFY(!w->action(QStringLiteral("mnuLanguages"))->isVisible());
}

namespace {

QDialog *openDialog(const frmMain &w, const char *name)
{
    auto *dialog = w.findChild<QDialog *>(QString::fromLatin1(name));
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

// Closes whatever dialog is still open after a while, so a dialog that
// blocks fails the test instead of hanging it.
void closeDialogsLater(frmMain *w)
{
    QTimer::singleShot(6000, w, [w] {
        for (QDialog *d : w->findChildren<QDialog *>())
            d->close();
    });
}

} // namespace

void TestMainWindow::dialogsOpenWithoutHoldingThePoll()
{
    pollOneDevice(1, 0.4);
    sysSettings.PauseSeconds = 1;
    auto w = makeWindow();
    closeDialogsLater(w.get());
    int cycles = 0;
    auto c = connect(&stationBus(), &StationBus::cycleFinished, this, [&cycles] { ++cycles; });
    w->toolbarClick(QStringLiteral("plug"));
    // Opened while the first cycle waits for its (absent) reply.
    QTimer::singleShot(250, w.get(), [&w] { w->toolbarClick(QStringLiteral("setup")); });
    QTRY_VERIFY_WITH_TIMEOUT(openDialog(*w, "frmSysSet"), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(cycles >= 2, 4000);
    QVERIFY(openDialog(*w, "frmSysSet"));
    QVERIFY(w->timerReloadData().isActive());
    openDialog(*w, "frmSysSet")->close();

    // The about box, too, leaves the poll running; the parameter editor
    // keeps its rule of stopping the poll first.
    w->toolbarClick(QStringLiteral("help"));
    QVERIFY(openDialog(*w, "frmAbout"));
    const int before = cycles;
    QTRY_VERIFY_WITH_TIMEOUT(cycles > before, 3000);
    openDialog(*w, "frmAbout")->close();
    w->action(QStringLiteral("mnuParSet"))->trigger();
    QVERIFY(openDialog(*w, "frmParSet3"));
    QVERIFY(!w->timerReloadData().isActive());
    openDialog(*w, "frmParSet3")->close();
    disconnect(c);
}

void TestMainWindow::pollPathMessagesDoNotWait()
{
    WidgetMessages boxes;
    setMessageService(&boxes);
    reportError(QStringLiteral("Send command code"), QStringLiteral("gone"));
    reportError(QStringLiteral("Send command code"), QStringLiteral("gone"));
    QList<QMessageBox *> shown;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(top); box && box->isVisible())
            shown << box;
    setMessageService(m_messages.get());
    QCOMPARE(shown.size(), 1); // the same report is not stacked
    QCOMPARE(shown[0]->text(), QStringLiteral("Send command code: Error found # 0 from Vantoro\ngone"));
    shown[0]->close();
}

void TestMainWindow::stoppingPollingSilencesTheFaultAlarm()
{
    auto w = makeWindow();
    w->toolbarClick(QStringLiteral("plug"));
    w->device()->table()[15].founderror = 1;
    w->refreshDisplay();
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 1);
    w->toolbarClick(QStringLiteral("plug"));
    QVERIFY(!w->bFoundError);
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 1);

    // The tone player belongs to the application and goes with it.
    const QByteArray noAudio = qgetenv("VANTORO_NO_AUDIO");
    qunsetenv("VANTORO_NO_AUDIO");
    sysSettings.usesoundcard = 0;
    alarmBeep(800);
    qputenv("VANTORO_NO_AUDIO", noAudio);
    QVERIFY(AlarmSound::instance());
    QCOMPARE(AlarmSound::instance()->parent(), qApp);
}

void TestMainWindow::datePanelFollowsTheDayAndTheLanguage()
{
    QCOMPARE(datePanelText(QDate(2026, 12, 9), LANGUAGE_CHINESE), QStringLiteral("2026年12月9日"));
    QCOMPARE(datePanelText(QDate(2026, 12, 9), LANGUAGE_ENGLISH), QStringLiteral("Dec 9, 2026"));
    QCOMPARE(clockTimeText(QTime(7, 5, 9)), QStringLiteral("07:05:09"));
    auto w = makeWindow();
    w->action(QStringLiteral("mnuLanguageEN"))->trigger();
    QTRY_COMPARE(w->panel(QStringLiteral("txtDate"))->text(), datePanelText(QDate::currentDate(), LANGUAGE_ENGLISH));
    w->action(QStringLiteral("mnuLanguageCN"))->trigger();
    QTRY_COMPARE(w->panel(QStringLiteral("txtDate"))->text(), datePanelText(QDate::currentDate(), LANGUAGE_CHINESE));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d MemUsed:"))
                .match(w->panel(QStringLiteral("txtTime"))->text())
                .hasMatch());
}

void TestMainWindow::debugEditorButtonStopsPolling()
{
    sysSettings.debugMode = 1;
    auto w = makeWindow();
    w->toolbarClick(QStringLiteral("plug"));
    w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    sysSettings.debugMode = 0;
    QVERIFY(!w->timerReloadData().isActive());
    QVERIFY(!w->toolButton(QStringLiteral("plug"))->isChecked());
    auto *editor = w->findChild<QWidget *>(QStringLiteral("frmparaset"));
    QVERIFY(editor && editor->isVisible());
}

void TestMainWindow::languageSwitchKeepsOneTitleSuffix()
{
    m_home->removeLanguageFiles();
    auto w = makeWindow();
    const QString title = w->windowTitle();
    for (const char *menu : {"mnuLanguageEN", "mnuLanguageCN", "mnuLanguageEN"})
        w->action(QString::fromLatin1(menu))->trigger();
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(title.count(QStringLiteral(" [")), 1);
}

void TestMainWindow::helpWithoutPdfViewerNamesTheManual()
{
    // A stand-in opener that finds no viewer, as xdg-open reports it.
    QTemporaryDir tools;
    QFile opener(tools.filePath(QStringLiteral("xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nexit 3\n");
    opener.close();
    opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", tools.path().toLocal8Bit());
    const QString manual = m_home->file(QStringLiteral("manual.pdf"));
    QFile::remove(manual);

    auto w = makeWindow();
    QAction *contents = w->findChild<QAction *>(QStringLiteral("mnuHelpContents"));
    contents->trigger();
    QCOMPARE(m_messages->texts.size(), 1);
    QVERIFY(m_messages->texts[0].contains(QDir::toNativeSeparators(manual)));

    QFile pdf(manual);
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    pdf.write("%PDF-1.4\n");
    pdf.close();
    contents->trigger();
    QTRY_COMPARE(m_messages->texts.size(), 2);
    QVERIFY(m_messages->texts[1].contains(QDir::toNativeSeparators(manual)));
    QVERIFY(m_messages->texts[1] != m_messages->texts[0]);
    qputenv("PATH", path);
    quitRequested = true;
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
