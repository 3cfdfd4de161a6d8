// The shutdown countdown and the about box. The shutdown runs for real up to
// the launcher, which a recording starter replaces: nothing is ever started.
#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/process_starter.h"
#include "core/system_settings.h"
#include "events/auto_shutdown.h"
#include "test_support.h"
#include "ui/dialogs/frm_about.h"
#include "ui/dialogs/frm_auto_shut_down.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// The table of the station's one device, as the poll path keeps it.
ParamTable stationTable;
const QString stationDevice = QString::fromLatin1(PARAM_DEVICE_ID);

struct Started {
    QString program;
    QStringList arguments;
};

void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestShutdown : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup();

    void countdownEndsInShutdown();
    void cancelAtAnySecond_data();
    void cancelAtAnySecond();
    void shutDownNow();
    void cancelIsFocusedAndEscapeCancels();
    void underVoltageOpensOneCountdown();

    void aboutShowsTitleDateAndVersion();
    void aboutBlinksAndClosesItself();
    void aboutIsModalAndGoneAfterOK();
    void systemInfoToolFromThePath();

private:
    std::unique_ptr<TestHome> m_home;
    QList<Started> m_started;
};

void TestShutdown::init()
{
    m_home = std::make_unique<TestHome>();
    sysSettings.languageIndex = LANGUAGE_CHINESE;
    m_started.clear();
    setProcessStarter([this](const QString &program, const QStringList &arguments) {
        m_started.append({program, arguments});
        return true;
    });
    quitRequested = false;
}

void TestShutdown::cleanup()
{
    processDeferredDeletes();
    setProcessStarter({});
    quitRequested = false;
    m_home.reset();
}

void TestShutdown::countdownEndsInShutdown()
{
    frmAutoShutDown dialog;
    dialog.show();
    QCOMPARE(dialog.iSecsRemained, 60);
    QCOMPARE(dialog.Label2()->text(), QStringLiteral("60"));
    QCOMPARE(dialog.Timer1().interval(), 1000);
    QVERIFY(dialog.Timer1().isActive());

    QStringList shown;
    QList<int> startsSeen;
    connect(&dialog.Timer1(), &QTimer::timeout, this, [&] {
        shown << dialog.Label2()->text();
        startsSeen << int(m_started.size());
    });
    dialog.Timer1().setInterval(1);
    QTRY_VERIFY(!m_started.isEmpty());
    dialog.Timer1().stop();

    QStringList expected;
    for (int s = 60; s >= 0; --s)
        expected << QString::number(s);
    QCOMPARE(shown.mid(0, 61), expected);
    // The launcher starts on the tick that shows 0, not before.
    QCOMPARE(startsSeen.indexOf(1), 60);
    QVERIFY(quitRequested);
    QCOMPARE(m_started.first().program, m_home->file(powerOffFileName()));
    QCOMPARE(m_started.first().arguments, shutdownArguments());
    QCOMPARE(m_started.first().arguments.mid(0, 4),
             (QStringList{QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("13"), QStringLiteral("-c")}));
}

void TestShutdown::cancelAtAnySecond_data()
{
    QTest::addColumn<int>("ticks");
    QTest::newRow("at once") << 0;
    QTest::newRow("after one second") << 1;
    QTest::newRow("half way") << 30;
    QTest::newRow("at the last second") << 60;
}

void TestShutdown::cancelAtAnySecond()
{
    QFETCH(int, ticks);
    auto *dialog = new frmAutoShutDown;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frmAutoShutDown> guard(dialog);
    dialog->show();
    int seen = 0;
    QString shownAtCancel;
    bool countingAfterCancel = true;
    auto cancel = [&] {
        QTest::mouseClick(dialog->cmdok(1), Qt::LeftButton);
        shownAtCancel = dialog->Label2()->text();
        countingAfterCancel = dialog->Timer1().isActive();
    };
    if (ticks == 0) {
        cancel();
    } else {
        connect(&dialog->Timer1(), &QTimer::timeout, this, [&] {
            if (++seen == ticks)
                cancel();
        });
        dialog->Timer1().setInterval(1);
        QTRY_VERIFY(!guard || !guard->isVisible());
    }
    QVERIFY(!countingAfterCancel);
    QCOMPARE(shownAtCancel, QString::number(ticks == 0 ? 60 : 61 - ticks));
    QTest::qWait(30);
    processDeferredDeletes();
    QVERIFY(guard.isNull());
    QVERIFY(m_started.isEmpty());
    QVERIFY(!quitRequested);
}

void TestShutdown::shutDownNow()
{
    frmAutoShutDown dialog;
    dialog.show();
    QTest::mouseClick(dialog.cmdok(0), Qt::LeftButton);
    QVERIFY(!dialog.Timer1().isActive());
    QCOMPARE(m_started.size(), 1);
    QCOMPARE(m_started.first().arguments, shutdownArguments());
    QVERIFY(quitRequested);
}

void TestShutdown::cancelIsFocusedAndEscapeCancels()
{
    int shutdowns = 0;
    frmAutoShutDown dialog(nullptr, [&] { ++shutdowns; });
    dialog.show();
    QCOMPARE(dialog.focusWidget(), dialog.cmdok(1));
    QVERIFY(dialog.cmdok(1)->isDefault());
    QCOMPARE(dialog.cmdok(0)->text(), QStringLiteral("立即关闭"));
    QCOMPARE(dialog.Label3()->text(), QStringLiteral("秒后"));

    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.Timer1().isActive());
    QCOMPARE(shutdowns, 0);
}

void TestShutdown::underVoltageOpensOneCountdown()
{
    QVERIFY(loadParamTable(stationTable, stationDevice));
    UnderVoltageTrigger trigger;
    QList<frmAutoShutDown *> opened;
    auto poll = [&](quint16 status) {
        stationTable[10].paravalue = int(status);
        if (trigger.update(stationTable, true))
            opened << frmAutoShutDown::showAutoShutDown();
    };
    poll(0x0001);
    poll(0x0003);
    poll(0x0003);
    poll(0x0003);
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened.first()->isVisible());

    // Cancelled; it comes back only when the under-voltage clears and returns.
    QPointer<frmAutoShutDown> first(opened.first());
    QTest::mouseClick(first->cmdok(1), Qt::LeftButton);
    processDeferredDeletes();
    QVERIFY(first.isNull());
    poll(0x0003);
    QCOMPARE(opened.size(), 1);
    poll(0x0001);
    poll(0x0002);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened.last()->iSecsRemained, 60);
    opened.last()->close();
    QVERIFY(m_started.isEmpty());
}

void TestShutdown::aboutShowsTitleDateAndVersion()
{
    sysSettings.startDate = QDate(2024, 5, 6);
    frmAbout about;
    about.show();
    QVERIFY(about.lblTitle()->text().contains(QStringLiteral("Vantoro")));
    // The date is said to be the start of this run.
    QCOMPARE(about.lblStarted()->text(),
             langText(QStringLiteral("frmAbout"), QStringLiteral("msgStarted")).arg(QStringLiteral("2024-05-06")));
    // The system information button shows only where a tool can open.
    QCOMPARE(about.cmdSysInfo()->isVisible(), !frmAbout::systemInfoTool().isEmpty());
    QVERIFY(about.lblVersion()->text().endsWith(QStringLiteral(VANTORO_VERSION)));
    QCOMPARE(about.lblDescription()->text(), langText(QStringLiteral("frmAbout"), QStringLiteral("lblDescription")));

    sysSettings.languageIndex = LANGUAGE_ENGLISH;
    frmAbout english;
    english.show();
    QCOMPARE(english.lblDescription()->text(), QStringLiteral("PV Inverter Monitoring Station"));
    QVERIFY(english.lblVersion()->text().startsWith(QStringLiteral("Version ")));
}

void TestShutdown::aboutBlinksAndClosesItself()
{
    frmAbout about;
    about.show();
    QCOMPARE(about.timerClose().interval(), 30000);
    QVERIFY(about.timerClose().isActive());
    QVERIFY(about.timerClose().isSingleShot());

    about.timerBlink().setInterval(5);
    const bool lit = about.noticeLit();
    QTRY_VERIFY(about.noticeLit() != lit);
    QTRY_VERIFY(about.noticeLit() == lit);

    about.timerClose().start(10);
    QTRY_VERIFY(!about.isVisible());
}

void TestShutdown::aboutIsModalAndGoneAfterOK()
{
    QWidget owner;
    owner.show();
    bool modal = false;
    QTimer::singleShot(50, &owner, [&] {
        auto *about = owner.findChild<frmAbout *>();
        QVERIFY(about && about->isVisible());
        modal = about->isModal();
        QTest::mouseClick(about->cmdOK(), Qt::LeftButton);
    });
    frmAbout::showAbout(&owner);
    QVERIFY(modal);
    processDeferredDeletes();
    QVERIFY(owner.findChild<frmAbout *>() == nullptr);
}

void TestShutdown::systemInfoToolFromThePath()
{
#ifdef Q_OS_WIN
    QSKIP("msinfo32 is part of every Windows");
#else
    const QByteArray oldPath = qgetenv("PATH");
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toLocal8Bit());
    {
        // No tool: the button that could do nothing is not offered.
        frmAbout about;
        QVERIFY(!about.cmdSysInfo()->isVisibleTo(&about));
    }
    const QString tool = QDir(bin.path()).filePath(QStringLiteral("hardinfo"));
    QFile file(tool);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        frmAbout about;
        QVERIFY(about.cmdSysInfo()->isVisibleTo(&about));
        QTest::mouseClick(about.cmdSysInfo(), Qt::LeftButton);
    }
    qputenv("PATH", oldPath);
    QCOMPARE(m_started.size(), 1);
    QCOMPARE(m_started.first().program, tool);
    QVERIFY(m_started.first().arguments.isEmpty());
#endif
}

QTEST_MAIN(TestShutdown)
#include "tst_shutdown.moc"
