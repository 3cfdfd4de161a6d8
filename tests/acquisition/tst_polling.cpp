// The poll cycle over the in-memory port: reply checks in their order, the
// wait, retries, link-state events, the reload tick and the polling switches.
#include "acquisition/fake_serial_port.h"
#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "acquisition/reply_decoding.h"
#include "core/common.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/event_log.h"
#include "events/status_evaluation.h"
#include "test_support.h"

#include <QtTest>

using namespace vantoro;

namespace {

struct StatusRecorder : StatusSink {
    QStringList statuses;
    void showStatus(const QString &text) override { statuses << text; }
    void runningLogChanged(const QString &, bool) override {}
};

DeviceReading sampleReading()
{
    DeviceReading r;
    r.words = {2300, 1000, 4000, 500, 0x8005, 0x0005}; // 230 V, 10 A, 400 V, 5 A, -0.5, 0.5
    r.energy = 1234;
    r.status = 0x0001;
    return r;
}

QStringList events()
{
    QStringList out;
    if (const auto rs = rsSqlGet(QStringLiteral("select eventname from eventlog order by rowid")))
        for (const QVariantList &row : rs->rows)
            out << row[0].toString();
    return out;
}

// The port stays open over the attempts of a cycle, and the device sees
// everything written since it opened: a poll just arrived when that is a
// whole number of requests.
bool isPoll(const QByteArray &sentSinceOpen, int requestBytes)
{
    return !sentSinceOpen.isEmpty() && sentSinceOpen.size() % requestBytes == 0;
}

bool logHas(const QString &text)
{
    return runningLogText().contains(text);
}

// Texts appear in the running log in the given order.
bool logInOrder(const QStringList &texts)
{
    qsizetype from = 0;
    for (const QString &t : texts) {
        from = runningLogText().indexOf(t, from);
        if (from < 0)
            return false;
    }
    return true;
}

} // namespace

class TestPolling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::isolateUserSettings(); }

    void init()
    {
        m_home = std::make_unique<test::TestHome>();
        m_home->removeLanguageFiles();
        m_messages = std::make_unique<test::MessageRecorder>();
        SystemSettings &s = sysSettings;
        DeviceRecord record = test::pollOneDevice(1, 0.2);
        s.PauseSeconds = 2;
        s.debugMode = 0;
        record.rating.clear(); // no rating: never asleep
        auto port = std::make_unique<FakeSerialPort>();
        m_port = port.get();
        m_line = std::make_unique<Line>(std::move(port));
        m_dev = &m_line->addDevice(record);
        for (int row = 2; row <= 8; ++row)
            m_dev->table()[size_t(row)].multiple = row == 3 || row == 5 ? 0.01 : 0.1;
        resetEventThrottle();
        clearRunningLog();
        // The steps of a cycle are what these tests follow.
        setRunningLogDetails(true);
        quitRequested = false;
        m_timer = std::make_unique<QTimer>();
        m_poller = std::make_unique<Poller>(*m_line, *m_timer);
        m_timer->start(3600 * 1000); // polling on; the tests drive the ticks
        m_sink = StatusRecorder();
        setStatusSink(&m_sink);
    }

    void cleanup()
    {
        setRunningLogDetails(false);
        setStatusSink(nullptr);
        quitRequested = false;
        m_poller.reset();
        m_timer.reset();
        m_dev = nullptr;
        m_port = nullptr;
        m_line.reset();
        m_messages.reset();
        m_home.reset();
    }

    void aCycleStoresTheReply()
    {
        answerPolls(buildReplyV1(1, sampleReading()));
        QVERIFY(m_poller->queryData(*m_dev));

        QCOMPARE(m_port->written(), QByteArray::fromHex("EB9001CFA0000070010D"));
        QVERIFY(!m_port->isOpen());
        QCOMPARE(m_dev->link().linkOk, 1);
        QVERIFY(events().isEmpty());
        QCOMPARE(m_dev->link().replyReceived, 1);
        QCOMPARE(m_dev->link().lastReplyAddr, 1);
        QVERIFY(qAbs(m_dev->table()[2].number() - 230.0) < 1e-9);
        QCOMPARE(m_dev->table()[6].number(), -0.5);
        QVERIFY(qAbs(m_dev->table()[8].number() - 123.4) < 1e-9); // the meter counter
        QVERIFY(logInOrder({"msgBeginToQuery", "Received data 33 bytes.", "msgDataRecvOK(INV)",
                            "Found abnormal data.Vdc=400/Idc=5", "Voltage DC will be calibrated to 489.4",
                            "msgDataProcessOk(INV)"}));
        QVERIFY(!logHas(QStringLiteral("Connecting"))); // the dots are status-only

        // In normal running a good cycle adds one line; its steps still show
        // in the status bar.
        setRunningLogDetails(false);
        clearRunningLog();
        m_sink.statuses.clear();
        DeviceReading plausible = sampleReading();
        plausible.words[2] = 5000; // 500 V, 6 A on the DC side: nothing is calibrated
        plausible.words[3] = 600;
        answerPolls(buildReplyV1(1, plausible));
        m_timer->start(3600 * 1000);
        m_poller->reloadTick();
        QCOMPARE(runningLogText().count(QStringLiteral("\r\n")), 1);
        QVERIFY(logHas(QStringLiteral("msgDataProcessOk(INV)")));
        QVERIFY(m_sink.statuses.contains(QStringLiteral("msgBeginToQuery (INV)")));
        setRunningLogDetails(true);
    }

    void versionTwoReplyWithWrongCrcIsStillUsed()
    {
        setProtocol(2);
        QByteArray reply = buildReplyV2(1, sampleReading());
        const quint16 crc = frameCrc(reply.left(31));
        reply[32] = char(reply[32] ^ 0x01);
        answerPolls(reply);

        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(m_port->written(), QByteArray::fromHex("01030800" "0000000000000000" "176F"));
        const QString received = QString::number(quint8(reply[31]) | (quint8(reply[32]) << 8), 16).toUpper();
        QVERIFY(logHas(QStringLiteral("msgConnCheckError%1<-->%2").arg(QString::number(crc, 16).toUpper(), received)));
        QCOMPARE(m_messages->beeps, 1);
        QVERIFY(qAbs(m_dev->table()[2].number() - 230.0) < 1e-9);
        QVERIFY(logHas(QStringLiteral("msgDataProcessOk(INV)")));
    }

    void replyChecks_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("beeps");
        const QByteArray good = buildReplyV1(1, sampleReading());
        QByteArray badEnd = good;
        badEnd[32] = 0;
        QByteArray badSum = good;
        badSum[30] = char(badSum[30] + 1);
        QTest::newRow("wrong address") << buildReplyV1(2, sampleReading()) << false << "msgAddrReplyError(INV) [2]" << 1;
        QTest::newRow("bad end byte") << badEnd << false << "msgConnDataBad" << 1;
        QTest::newRow("garbage before the head") << QByteArray(1, '\0') + good.left(32) << false << "msgConnDataLost30"
                                                 << 1;
        QTest::newRow("no head") << QByteArray(33, '\x55') << false << "msgConnDataLost1" << 1;
        QTest::newRow("nothing") << QByteArray() << false << "msgConnTimeOut0" << 0;
        QTest::newRow("too short") << good.left(20) << false << "msgConnTimeOut20" << 0;
        QTest::newRow("bad checksum, still used") << badSum << true << "msgConnCheckError4F5<-->4F6" << 1;
    }
    void replyChecks()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        QFETCH(int, beeps);
        QVERIFY(m_port->open());
        m_port->queueReply(bytes);
        QCOMPARE(m_poller->receiveReplyV1(*m_dev, 0.2, 1, POLL_COMMAND_V1), accepted);
        QVERIFY2(logHas(message), qPrintable(runningLogText()));
        QCOMPARE(m_messages->beeps, beeps);
        QCOMPARE(m_dev->table()[2].paravalue.isValid(), accepted);
    }

    void theWaitEndsOnTheLastByte()
    {
        QVERIFY(m_port->open());
        m_port->queueInPieces(buildReplyV1(1, sampleReading()), 5, 15); // complete after about 90 ms
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_poller->receiveReplyV1(*m_dev, 5.0, 1, POLL_COMMAND_V1));
        QVERIFY(clock.elapsed() >= 80);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    void pollingOffEndsTheWaitUnlessARemoteFormIsOpen()
    {
        sysSettings.debugMode = 1;
        m_timer->stop();
        QVERIFY(m_port->open());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!m_poller->receiveReplyV1(*m_dev, 5.0, 1, POLL_COMMAND_V1));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(logHas(QStringLiteral("*通讯停止。")));

        // A remote dialog keeps the wait going; with polling off its reply
        // is received but not stored.
        PollHooks hooks;
        hooks.remoteFormOpen = [] { return true; };
        m_poller->setHooks(hooks);
        m_port->queueReply(buildReplyV2(1, sampleReading(), FUNCTION_CONTROL), 50);
        QVERIFY(!m_poller->receiveReplyV2(*m_dev, 5.0, 1, FUNCTION_CONTROL));
        QCOMPARE(m_dev->link().replyReceived, 1);
        QVERIFY(logHas(QStringLiteral("msgDataRecvOK(INV)")));
        QVERIFY(!m_dev->table()[2].paravalue.isValid());
    }

    void quitEndsTheWait()
    {
        QVERIFY(m_port->open());
        QTimer::singleShot(50, [] { quitRequested = true; });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!m_poller->receiveReplyV1(*m_dev, 5.0, 1, POLL_COMMAND_V1));
        QVERIFY(clock.elapsed() < 1000);
    }

    void linkStateEventsOnChangeOnly()
    {
        QVERIFY(m_poller->queryData(*m_dev)); // no device: one attempt only
        QCOMPARE(m_port->written().size(), POLL_V1_BYTES);
        QCOMPARE(m_dev->link().linkOk, 0);
        QCOMPARE(events(), QStringList{"msgConnFail0(INV)"});

        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(events().size(), 1);

        // Events are forced: the 13-minute rule does not hold them back.
        answerPolls(buildReplyV1(1, sampleReading()));
        QVERIFY(m_poller->queryData(*m_dev));
        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(m_dev->link().linkOk, 1);
        QCOMPARE(events(), (QStringList{"msgConnFail0(INV)", "msgConnResumed(INV)"}));
    }

    // The night as the link sees it: asleep and silent is no lost link, and
    // its end no restored one; a silence in daylight is lost as ever.
    void aSleepingDeviceIsNotLost()
    {
        DeviceRecord rated = m_dev->record();
        rated.rating = QStringLiteral("3K");
        m_dev->setRecord(rated);
        sysSettings.StandbyPercent = 1; // 30 W
        DeviceReading night = sampleReading();
        night.words = {2300, 0, 0, 0, 0x0005, 0x0005};
        answerPolls(buildReplyV1(1, night));
        QVERIFY(m_poller->queryData(*m_dev));
        QVERIFY(m_dev->link().sleep.asleep());
        QCOMPARE(events(), QStringList{"msgDeviceAsleep(INV)"});
        QVERIFY(m_dev->table()[ROW_DC_VOLTAGE].resting);

        m_port->device = nullptr;
        for (int cycle = 0; cycle < 3; ++cycle)
            QVERIFY(m_poller->queryData(*m_dev));
        QVERIFY(m_dev->link().sleep.silentlyAsleep());
        QVERIFY(!m_poller->linkLost(*m_dev));
        QCOMPARE(events(), QStringList{"msgDeviceAsleep(INV)"});

        answerPolls(buildReplyV1(1, night));
        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(m_dev->link().linkOk, 1);
        answerPolls(buildReplyV1(1, sampleReading())); // 2000 W
        QVERIFY(m_poller->queryData(*m_dev));
        QVERIFY(!m_dev->table()[ROW_DC_VOLTAGE].resting);
        m_port->device = nullptr;
        QVERIFY(m_poller->queryData(*m_dev));
        QVERIFY(m_poller->linkLost(*m_dev));
        QCOMPARE(events(), (QStringList{"msgDeviceAsleep(INV)", "msgDeviceAwake(INV)", "msgConnFail0(INV)"}));
    }

    // Stopped before the device ever answered: what the database held is
    // not the device's, and nothing of it is judged or stored as a fault.
    void aStopBeforeTheFirstReplyJudgesNothing()
    {
        QVERIFY(m_dev->loadTable());
        QStringList faults;
        PollHooks hooks;
        hooks.refreshDisplay = [&faults](Device &d) { faults << checkDevStatus(d.table()); };
        m_poller->setHooks(hooks);
        m_timer->start(3600 * 1000);
        QTimer::singleShot(50, m_timer.get(), &QTimer::stop);
        m_poller->reloadTick();
        QCOMPARE(m_dev->link().linkOk, 1);
        QCOMPARE(faults, QStringList{QString()});

        DeviceReading low = sampleReading();
        low.words[0] = 1500; // 150 V on the AC side
        answerPolls(buildReplyV1(1, low));
        m_timer->start(3600 * 1000);
        m_poller->reloadTick();
        QCOMPARE(faults.size(), 2);
        QVERIFY2(faults.last().startsWith(m_dev->table()[ROW_AC_VOLTAGE].paraname), qPrintable(faults.last()));
    }

    void retriesPauseASecondEach()
    {
        sysSettings.retrytimes = 1;
        int polls = 0;
        const QByteArray reply = buildReplyV1(1, sampleReading());
        m_port->device = [&polls, reply](const QByteArray &sent) {
            if (!isPoll(sent, POLL_V1_BYTES))
                return QByteArray();
            return ++polls == 2 ? reply : QByteArray();
        };
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_poller->queryData(*m_dev));
        QVERIFY(clock.elapsed() >= 1000);
        QCOMPARE(polls, 2);
        QVERIFY(logHas(QStringLiteral("msgRetryTimes1")));
        QCOMPARE(m_dev->link().linkOk, 1);

        m_port->device = nullptr;
        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(m_dev->link().linkOk, 0);
        QCOMPARE(events(), QStringList{"msgConnFail1)(INV)"});
    }

    void stoppingDuringTheRetryPauseLeavesTheLinkAlone()
    {
        sysSettings.retrytimes = 3;
        QTimer::singleShot(400, m_timer.get(), &QTimer::stop);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!m_poller->queryData(*m_dev));
        QVERIFY(clock.elapsed() < 2500);
        QCOMPARE(m_dev->link().linkOk, 1);
        QVERIFY(events().isEmpty());
    }

    void busyPortAndSendFailureEndTheCycle()
    {
        {
            // A remote command waiting for its reply has the line.
            PortExchange remote(*m_port);
            QVERIFY(m_port->open());
            QVERIFY(!m_poller->queryData(*m_dev));
            QCOMPARE(m_messages->beeps, 1);
            QVERIFY(m_port->written().isEmpty());
            QVERIFY(!logHas(QStringLiteral("Com port is busy!"))); // status bar only outside debug mode
        }
        // Polling did not hold the port, so the command's end closed it.
        QVERIFY(!m_port->isOpen());

        // A write that fails on an open port ends the cycle: no retry, link as it was.
        sysSettings.retrytimes = 2;
        m_port->writeError = QStringLiteral("broken");
        QVERIFY(!m_poller->queryData(*m_dev));
        QVERIFY(logHas(QStringLiteral("Error while send command!")));
        QCOMPARE(m_messages->texts.size(), 1);
        QCOMPARE(m_dev->link().linkOk, 1);
        QVERIFY(events().isEmpty());
    }

    // An unplugged adapter: the port cannot be opened. That fails the
    // cycle like a silent device, without retries that could not open it
    // either, so the link goes down with its event, and comes back with
    // "resumed"; the box about the port is shown once.
    void aPortThatCannotBeOpenedTakesTheLinkDown()
    {
        QList<CycleReport> reports;
        auto c = connect(&stationBus(), &StationBus::cycleFinished, this, [&](const CycleReport &r) { reports << r; });
        // A failed check returns early: the capture of `reports` must not outlive it.
        const auto disconnectAtEnd = qScopeGuard([c] { disconnect(c); });
        sysSettings.retrytimes = 1;
        m_port->openError = QStringLiteral("gone");
        m_poller->reloadTick();
        QCOMPARE(m_dev->link().linkOk, 0);
        QCOMPARE(events(), QStringList{"msgConnFail1)(INV)"});
        QCOMPARE(reports.last().attempts, QList<PollResult>{PollResult::SendError});
        QVERIFY(!reports.last().linkUp);
        m_poller->reloadTick();
        QCOMPARE(m_messages->texts.size(), 1);
        QVERIFY2(m_messages->texts[0].startsWith(QStringLiteral("Send command code: Error found # 0 from Vantoro\ngone")),
                 qPrintable(m_messages->texts[0]));

        // Back, then gone again between two rounds while the link is up:
        // the driver's error closes the port held open.
        m_port->openError.clear();
        answerPolls(buildReplyV1(1, sampleReading()));
        m_poller->reloadTick();
        QCOMPARE(events(), (QStringList{"msgConnFail1)(INV)", "msgConnResumed(INV)"}));
        m_port->openError = QStringLiteral("gone");
        m_port->close();
        m_poller->reloadTick();
        QCOMPARE(reports.last().attempts, QList<PollResult>{PollResult::SendError});
        QCOMPARE(m_dev->link().linkOk, 0);
        m_poller->reloadTick();
        QCOMPARE(m_messages->texts.size(), 2); // a new outage is shown again, once

        // Gone in the middle of a round: the port held open for it answers
        // no more; the link is reported down, so the failed opens that
        // follow show no box.
        m_port->openError.clear();
        m_poller->reloadTick();
        QCOMPARE(m_dev->link().linkOk, 1);
        m_port->device = [this](const QByteArray &) {
            m_port->openError = QStringLiteral("gone");
            return QByteArray();
        };
        m_poller->reloadTick();
        QCOMPARE(reports.last().attempts, (QList<PollResult>{PollResult::Timeout, PollResult::Timeout}));
        QCOMPARE(m_dev->link().linkOk, 0);
        m_port->close();
        m_poller->reloadTick();
        QCOMPARE(reports.last().attempts, QList<PollResult>{PollResult::SendError});
        QCOMPARE(m_messages->texts.size(), 2);
    }

    // However the retry count is stored, a cycle polls at least once; an
    // operator's stop during the wait says nothing about the link.
    void aCycleAlwaysPollsAndAStopLeavesTheLink()
    {
        sysSettings.retrytimes = -2;
        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(m_port->written().size(), POLL_V1_BYTES);
        QCOMPARE(m_dev->link().linkOk, 0);
        QCOMPARE(events(), QStringList{"msgConnFail0(INV)"});

        answerPolls(buildReplyV1(1, sampleReading()));
        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(m_dev->link().linkOk, 1);
        m_port->device = nullptr;
        for (int retries : {0, 2}) {
            sysSettings.retrytimes = retries;
            m_timer->start();
            QTimer::singleShot(50, m_timer.get(), &QTimer::stop);
            QVERIFY(!m_poller->queryData(*m_dev));
            QCOMPARE(m_dev->link().linkOk, 1);
        }
        QCOMPARE(events().size(), 2);
        QCOMPARE(m_dev->link().attempts.constLast(), PollResult::Stopped);
    }

    // Integrated energy lives in memory: while polling it reaches the
    // database at least every ten minutes, not only when polling stops.
    void valuesAreSavedEveryTenMinutesWhilePolling()
    {
        QVERIFY(m_dev->loadTable());
        const auto storedValue = [] {
            return rsSqlGet(QStringLiteral("select paravalue from paraset where paraid=2"))->text(0, "paravalue");
        };
        const auto saves = [] {
            return rsSqlGet(QStringLiteral("select updated from paraset where paraid=2"))->text(0, "updated").toInt();
        };
        const QString before = storedValue();
        const int savesBefore = saves();
        qint64 nowMs = 0;
        m_poller->saveSchedule().setClock([&nowMs] { return nowMs; });
        answerPolls(buildReplyV1(1, sampleReading()));
        m_poller->reloadTick();
        nowMs = PARAM_SAVE_MINUTES * 60 * 1000 - 1;
        m_poller->reloadTick();
        QCOMPARE(storedValue(), before);
        nowMs += 1;
        m_poller->reloadTick();
        const QString saved = storedValue();
        QVERIFY(qAbs(saved.toDouble() - 230.0) < 1e-6);
        nowMs += 60 * 1000; // the next save is ten minutes after this one
        m_poller->reloadTick();
        QCOMPARE(storedValue(), saved);
        QCOMPARE(saves(), savesBefore + 1);
    }

    void reentryIsRefused()
    {
        bool nested = true;
        m_port->device = [this, &nested](const QByteArray &) {
            nested = m_poller->queryData(*m_dev);
            return QByteArray();
        };
        m_poller->queryData(*m_dev);
        QVERIFY(!nested);

        sysSettings.debugMode = 1;
        m_port->device = nullptr;
        int ticks = 0;
        PollHooks hooks;
        hooks.showLinkDown = [this, &ticks](Device &) {
            ++ticks;
            m_poller->reloadTick();
        };
        m_poller->setHooks(hooks);
        m_poller->reloadTick();
        QCOMPARE(ticks, 1);
        QVERIFY(logHas(QStringLiteral("*ReloadData ReEntered!")));
    }

    void reloadTickSetsTheNextInterval()
    {
        int refreshed = 0, linkDown = 0, comState = 0;
        PollHooks hooks;
        hooks.refreshDisplay = [&](Device &) { ++refreshed; };
        hooks.showLinkDown = [&](Device &) { ++linkDown; };
        hooks.checkComState = [&] { ++comState; };
        m_poller->setHooks(hooks);
        answerPolls(buildReplyV1(1, sampleReading()));
        sysSettings.PauseSeconds = 0.5f;
        m_timer->start(FIRST_TICK_INTERVAL_MS);
        m_poller->reloadTick();
        QVERIFY(m_timer->isActive());
        QCOMPARE(m_timer->interval(), 1000);
        QCOMPARE(refreshed, 1);
        QCOMPARE(comState, 1);
        // Held open for the next round; the status bar says when the device
        // last answered.
        QVERIFY(m_port->isOpen());
        QCOMPARE(m_sink.statuses.last(),
                 QStringLiteral("msgLastReply ") + m_dev->link().lastGoodReplyTime.toString(QStringLiteral("HH:mm:ss"))
                     + QStringLiteral(" (INV)"));
        QVERIFY(!m_sink.statuses.contains(QStringLiteral("msgConnectionClosed")));

        m_port->device = nullptr;
        sysSettings.PauseSeconds = 70;
        m_poller->reloadTick();
        QCOMPARE(m_timer->interval(), 65535);
        QCOMPARE(linkDown, 1);

        // Polling off: the tick leaves the timer off and the port closed.
        m_timer->stop();
        m_poller->reloadTick();
        QVERIFY(!m_timer->isActive());
        QCOMPARE(m_timer->interval(), 65535);
        QVERIFY(!m_port->isOpen());
    }

    // The port is opened once while polling, not once a round; what is
    // left between rounds (a late reply) is not the next round's reply; a
    // port an error closed, or new settings, open it afresh; a remote
    // command waiting for its reply holds the round back; switching off
    // lets go of it.
    void thePortIsHeldOpenAcrossRounds()
    {
        answerPolls(buildReplyV1(1, sampleReading()));
        m_poller->reloadTick();
        m_poller->reloadTick();
        QCOMPARE(m_port->openCount(), 1);
        QVERIFY(m_port->isOpen());
        QCOMPARE(m_dev->link().attempts, QList<PollResult>{PollResult::Ok});

        // A reply of another device, late, lands between the rounds.
        DeviceReading other = sampleReading();
        other.words[0] = 1111;
        m_port->queueReply(buildReplyV1(7, other));
        m_poller->reloadTick();
        QCOMPARE(m_dev->link().attempts, QList<PollResult>{PollResult::Ok});
        QCOMPARE(m_port->openCount(), 1);

        // The adapter went away and came back: the next round opens it again.
        m_port->close();
        m_poller->reloadTick();
        QCOMPARE(m_port->openCount(), 2);
        QVERIFY(m_dev->link().cycleDecoded);

        // New line settings are not applied to a port held with the old ones.
        sysSettings.ComSettings = QStringLiteral("19200,n,8,1");
        m_poller->reloadTick();
        QCOMPARE(m_port->openCount(), 3);
        QVERIFY(m_port->settings().startsWith(QLatin1String("19200,")));

        {
            PortExchange remote(*m_port);
            const int writes = int(m_port->writes().size());
            m_poller->reloadTick();
            QCOMPARE(int(m_port->writes().size()), writes);
            QVERIFY(m_timer->isActive());
        }
        QVERIFY(m_port->isOpen()); // the command leaves it held by polling

        m_poller->togglePollingFromMenu();
        QVERIFY(!m_timer->isActive());
        QVERIFY(!m_port->isOpen());
    }

    void intervalRule_data()
    {
        QTest::addColumn<double>("pauseSeconds");
        QTest::addColumn<int>("interval");
        QTest::newRow("0.5 s") << 0.5 << 1000;
        QTest::newRow("0 s") << 0.0 << 1000;
        QTest::newRow("negative") << -3.0 << 1000;
        QTest::newRow("2 s") << 2.0 << 2000;
        QTest::newRow("65.535 s") << 65.535 << 65535;
        QTest::newRow("70 s") << 70.0 << 65535;
    }
    void intervalRule()
    {
        QFETCH(double, pauseSeconds);
        QFETCH(int, interval);
        QCOMPARE(reloadIntervalMs(pauseSeconds), interval);
    }

    void switchesSaveWhenPollingStops()
    {
        QVERIFY(execSql(QStringLiteral("delete from paraset")));
        QVERIFY(execSql(QStringLiteral("insert into paraset (DEVID, PARAID, PARAVALUE, UPDATED) values ('001', 2, '0', 0)")));
        QVERIFY(m_dev->loadTable());
        auto storedValue = [] {
            const auto rs = rsSqlGet(QStringLiteral("select paravalue from paraset where paraid=2"));
            return rs ? rs->rows.value(0).value(0).toString() : QString();
        };
        int comState = 0;
        QTimer timer;
        PollHooks hooks;
        hooks.checkComState = [&] { ++comState; };
        Poller poller(*m_line, timer, hooks);
        QCOMPARE(timer.interval(), INITIAL_RELOAD_INTERVAL_MS);
        QVERIFY(!poller.pollingOn());

        poller.togglePollingFromToolbar();
        QVERIFY(poller.pollingOn());
        QCOMPARE(timer.interval(), FIRST_TICK_INTERVAL_MS);
        QCOMPARE(comState, 1);

        m_dev->table()[2].paravalue = 231.5;
        poller.togglePollingFromToolbar();
        QVERIFY(!poller.pollingOn());
        QCOMPARE(storedValue(), QStringLiteral("231.5"));
        QCOMPARE(comState, 2);

        timer.setInterval(5000);
        poller.togglePollingFromMenu();
        QVERIFY(poller.pollingOn());
        QCOMPARE(timer.interval(), 5000);
        m_dev->table()[2].paravalue = 232.0;
        poller.togglePollingFromMenu();
        QCOMPARE(storedValue(), QStringLiteral("232"));

        poller.setComOpen(true);
        QVERIFY(poller.pollingOn());
        m_dev->table()[2].paravalue = 233.0;
        poller.setComOpen(false);
        QVERIFY(!poller.pollingOn());
        QCOMPARE(storedValue(), QStringLiteral("233"));
        QCOMPARE(comState, 6);

        QVERIFY(!poller.startPollingIfAutoStart());
        setUserValue(UserKeys::AutoStartPolling, QStringLiteral("1"));
        QVERIFY(poller.startPollingIfAutoStart());
        QCOMPARE(timer.interval(), FIRST_TICK_INTERVAL_MS);
        setUserValue(UserKeys::AutoStartPolling, QStringLiteral("0"));
    }

    void energyGapIsAnEvent()
    {
        DeviceRecord own = m_dev->record();
        own.meterCounter = false;
        m_dev->setRecord(own);
        m_dev->table()[8].paravalue = 50.0;
        m_dev->table()[1].paravalue = replyTimeNow().addSecs(-2000);
        answerPolls(buildReplyV1(1, sampleReading()));
        QVERIFY(m_poller->queryData(*m_dev));
        QCOMPARE(events(), QStringList{"Power meter is not synchronized ."});
        QCOMPARE(m_dev->table()[8].number(), 50.0);

        // The next reply follows closely and is integrated.
        QVERIFY(m_poller->queryData(*m_dev));
        QVERIFY(m_dev->table()[8].number() >= 50.0);
        QCOMPARE(events().size(), 1);
    }

    // The one value every service reads: what the tick found, and nothing
    // old while the link is down.
    void aTickPublishesWhatItFound()
    {
        QVERIFY(m_dev->loadTable());
        QList<CycleReport> reports;
        QList<StoredEvent> stored;
        auto c1 = connect(&stationBus(), &StationBus::cycleFinished, this, [&](const CycleReport &r) { reports << r; });
        auto c2 = connect(&stationBus(), &StationBus::eventStored, this, [&](const StoredEvent &e) { stored << e; });
        answerPolls(buildReplyV1(1, sampleReading()));
        m_poller->reloadTick();
        QCOMPARE(reports.size(), 1);
        const CycleReport up = reports[0];
        QVERIFY(up.linkUp && up.replied && up.polling);
        QCOMPARE(up.attempts, QList<PollResult>{PollResult::Ok});
        QVERIFY(up.lastReplyTime.isValid());
        const ParameterReading *vac = up.parameter(QStringLiteral("VAC"));
        QVERIFY(vac && vac->numeric);
        QVERIFY(qAbs(vac->value - 230.0) < 1e-9);
        QCOMPARE(vac->unit, QStringLiteral("V"));
        QVERIFY(vac->inLimits && vac->low && *vac->low == 198);
        QVERIFY(up.parameter(QStringLiteral("RUN")) && !up.parameter(QStringLiteral("RUN"))->numeric);
        QVERIFY(!up.parameter(QStringLiteral("FAC"))); // disabled

        m_port->device = {};
        m_poller->reloadTick();
        QCOMPARE(reports.size(), 2);
        const CycleReport down = reports[1];
        QVERIFY(!down.linkUp && !down.replied);
        QCOMPARE(down.attempts, QList<PollResult>{PollResult::Timeout});
        QVERIFY(down.parameters.isEmpty());
        QCOMPARE(down.lastReplyTime, up.lastReplyTime);
        QCOMPARE(stored.size(), 1); // the link-lost event
        QVERIFY(stored[0].forced && stored[0].rowId > 0);
        QCOMPARE(stored[0].text, events().constLast());
        disconnect(c1);
        disconnect(c2);
    }

private:
    void answerPolls(const QByteArray &reply)
    {
        const int requestBytes = m_dev->record().protocol == 2 ? 14 : POLL_V1_BYTES;
        m_port->device = [reply, requestBytes](const QByteArray &sent) {
            return isPoll(sent, requestBytes) ? reply : QByteArray();
        };
    }

    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    void setProtocol(int protocol)
    {
        DeviceRecord r = m_dev->record();
        r.protocol = protocol;
        m_dev->setRecord(r);
    }

    std::unique_ptr<Line> m_line;
    FakeSerialPort *m_port = nullptr;   // owned by the line
    Device *m_dev = nullptr;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<Poller> m_poller;
    StatusRecorder m_sink;
};

QTEST_GUILESS_MAIN(TestPolling)
#include "tst_polling.moc"
