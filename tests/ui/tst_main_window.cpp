// The main window: position, quit question, polling switch, sound toggle,
// fault display and the alarm timer.
#include "acquisition/fake_serial_port.h"
#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "test_support.h"
#include "ui/main/frm_main.h"

#include <QAction>
#include <QLabel>
#include <QScreen>
#include <QSettings>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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
    QVERIFY(loadParamTable());
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
    w->toggleSound();
    QCOMPARE(w->panelImage(QStringLiteral("speak")), QStringLiteral("speakx"));
    QVERIFY(!w->timerBeep().isActive());
    QVERIFY(!w->action(QStringLiteral("mnuEnableSound"))->isChecked());
    QCOMPARE(rsSqlGet(QStringLiteral("select Soundenabled from sysset"))->text(0, "Soundenabled"), QStringLiteral("0"));
}

void TestMainWindow::faultTurnsTheBulbRedAndIsStored()
{
    auto w = makeWindow();
    for (ParamRecord &p : paramTable) {
        if (p.rangel && p.rangeu)
            p.paravalue = (*p.rangel + *p.rangeu) / 2;
    }
    w->refreshDisplay();
    QCOMPARE(w->panelImage(QStringLiteral("devState")), QStringLiteral("bulble"));
    QVERIFY(!w->bFoundError);
    paramTable[15].paravalue = paramTable[15].srcstring;
    paramTable[15].founderror = 1;
    w->refreshDisplay();
    QVERIFY(w->bFoundError);
    QVERIFY(w->sErrorString.startsWith(paramTable[15].paraname + QLatin1Char('=')));
    QCOMPARE(w->panelImage(QStringLiteral("devState")), QStringLiteral("bulble_red"));
    const auto rows = rsSqlGet(QStringLiteral("select eventname from eventlog"));
    QCOMPARE(rows->recordCount(), 1);
    QCOMPARE(rows->text(0, "eventname"), w->sErrorString.left(255));
}

void TestMainWindow::alarmSoundsOnlyUnderItsConditions()
{
    auto w = makeWindow();
    w->bFoundError = true;
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 1);
    w->toggleSound(); // sound off: the timer stops, nothing sounds
    QVERIFY(!w->timerBeep().isActive());
    w->toggleSound();
    w->bFoundError = false;
    sysSettings.linkOk = 0;
    w->timerBeepTick(); // link down but polling stopped
    QCOMPARE(w->beepCount(), 1);
    w->toolbarClick(QStringLiteral("plug"));
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 2);
    w->toolbarClick(QStringLiteral("plug"));
    sysSettings.linkOk = 1;
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
    for (const char *name : {"mnuSeleDev", "mnuChgPass", "mnuSMTP", "mnuSMS", "mnuSound"})
        QVERIFY2(!w->action(QString::fromLatin1(name))->isEnabled(), name);
    QVERIFY(!w->action(QStringLiteral("mnuRemoteControl"))->isEnabled()); // protocol version 1
    QVERIFY(!w->action(QStringLiteral("mnuLanguages"))->isVisible());
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
