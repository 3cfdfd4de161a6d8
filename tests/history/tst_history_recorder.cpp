// Recording at the sample period, gaps, the daily yield and pruning.
#include "core/database.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "history/history_pruner.h"
#include "history/csv_writer.h"
#include "history/history_query.h"
#include "history/history_recorder.h"
#include "test_support.h"

#include <QBuffer>
#include <QSqlQuery>
#include <ctime>
#include <QtTest>

using namespace vantoro;

namespace {

class StatusLines : public StatusSink
{
public:
    void showStatus(const QString &text) override { texts << text; }
    void runningLogChanged(const QString &, bool) override {}
    QStringList texts;
};

ParameterReading reading(int id, const char *code, double value)
{
    ParameterReading p;
    p.id = id;
    p.code = QString::fromLatin1(code);
    p.name = p.code;
    p.numeric = true;
    p.value = value;
    return p;
}

// A cycle of a replying 3 kW device; `counter` < 0 leaves the counter out.
CycleReport cycle(const QDateTime &time, double counter, double vac = 230, double iac = 5, bool linkUp = true)
{
    CycleReport r;
    r.time = time;
    r.linkUp = linkUp;
    r.polling = true;
    r.replied = linkUp;
    r.deviceId = QStringLiteral("001");
    r.rating = QStringLiteral("3K");
    if (linkUp) {
        r.parameters << reading(2, "VAC", vac) << reading(3, "IAC", iac) << reading(6, "TMOD", 40)
                     << reading(10, "STAT", 3);
        if (counter >= 0)
            r.parameters << reading(8, "EKWH", counter);
        ParameterReading status;
        status.id = 14;
        status.code = QStringLiteral("RUN");
        status.text = QStringLiteral("run");
        r.parameters << status;
    }
    return r;
}

qint64 count(const QString &sql)
{
    const auto rs = rsSqlGet(sql);
    return rs && rs->recordCount() ? rs->rows[0][0].toLongLong() : -1;
}

QList<qint64> sampleTimes()
{
    QList<qint64> times;
    const auto rs = rsSqlGet(QStringLiteral("select t from histdata order by t"));
    for (const auto &row : rs->rows)
        times << row[0].toLongLong();
    return times;
}

DayYield storedDay(const QDate &day)
{
    DbConnection c;
    QSqlDatabase db = c.database();
    return loadDayYield(db, QStringLiteral("001"), day);
}

} // namespace

class TestHistoryRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void init();
    void cleanup();

    void recordsOnePerPeriodOnlyWithFreshReplies();
    void clockSetBackStoresNoSecondRow();
    void counterSteps_data();
    void counterSteps();
    void yieldAcrossMidnightAndRestart();
    void faultEventsAndLinkTimeAreCounted();
    void devicesAreRecordedApart();
    void daysFollowTheLocalCalendarAcrossSummerTime();
    void lockedDatabaseReportsOnceAndResumes();
    void pruningInBatches();
    void ratings_data();
    void ratings();

private:
    std::unique_ptr<test::TestHome> m_home;
    StatusLines m_status;
    QDateTime m_start{QDate(2026, 6, 1), QTime(10, 0, 0)};
};

void TestHistoryRecorder::init()
{
    m_home = std::make_unique<test::TestHome>();
    upgradeSchema();
    sysSettings.HisDataSamplePeriod = 60;
    sysSettings.hisdatakeephours = 24;
    m_status.texts.clear();
    setStatusSink(&m_status);
}

void TestHistoryRecorder::cleanup()
{
    setStatusSink(nullptr);
    m_home.reset();
}

void TestHistoryRecorder::recordsOnePerPeriodOnlyWithFreshReplies()
{
    HistoryRecorder recorder;
    recorder.start();
    // Ten minutes of cycles every 10 s; the link is down from 10:03 to 10:06
    // and one cycle at 10:07:00 repeats old values without a reply.
    for (int s = 0; s < 600; s += 10) {
        const QDateTime t = m_start.addSecs(s);
        const bool down = s >= 180 && s < 360;
        CycleReport r = cycle(t, 100, 230, 5, !down);
        if (s == 420)
            r.replied = false;
        stationBus().publishCycle(r);
    }
    const QList<qint64> times = sampleTimes();
    const qint64 t0 = m_start.toSecsSinceEpoch();
    QCOMPARE(times, (QList<qint64>{t0, t0 + 60, t0 + 120, t0 + 360, t0 + 430, t0 + 480, t0 + 540}));
    // Only numeric parameters are stored; status texts and other slots stay null.
    // Stored in thousandths, as integers.
    QCOMPARE(count(QStringLiteral("select count(*) from histdata where dev = 1 and v2 = 230000 and typeof(v2) = 'integer' "
                                  "and v10 = 3000 and v9 is null")),
             7);
    QCOMPARE(count(QStringLiteral("select count(*) from histparam")), 5);

    // Polling off stores nothing either.
    CycleReport off = cycle(m_start.addSecs(700), 100);
    off.polling = false;
    stationBus().publishCycle(off);
    QCOMPARE(sampleTimes().size(), 7);
    QVERIFY(!recorder.failing());
    QVERIFY(m_status.texts.isEmpty());
}

void TestHistoryRecorder::clockSetBackStoresNoSecondRow()
{
    HistoryRecorder recorder;
    recorder.recordCycle(cycle(m_start, 100));
    recorder.recordCycle(cycle(m_start.addSecs(60), 100.1));
    // Back by a minute: 10:00:00 is due again but already stored.
    recorder.recordCycle(cycle(m_start, 100.1));
    recorder.recordCycle(cycle(m_start.addSecs(60), 100.2));
    recorder.recordCycle(cycle(m_start.addSecs(120), 100.2));
    const qint64 t0 = m_start.toSecsSinceEpoch();
    QCOMPARE(sampleTimes(), (QList<qint64>{t0, t0 + 60, t0 + 120}));
    QCOMPARE(count(QStringLiteral("select v8 / 100 from histdata where t = %1").arg(t0)), 1000);
    QVERIFY(qAbs(storedDay(m_start.date()).energyKwh - 0.2) < 1e-9);
    QCOMPARE(storedDay(m_start.date()).flagged, 0);

    // Back by 90 s, between the periods' starts: 10:01 and 10:02 have their
    // samples, so nothing more is stored until 10:03 (a restart alike).
    recorder.recordCycle(cycle(m_start.addSecs(90), 100.2));
    recorder.recordCycle(cycle(m_start.addSecs(150), 100.2));
    HistoryRecorder restarted;
    restarted.recordCycle(cycle(m_start.addSecs(170), 100.2));
    restarted.recordCycle(cycle(m_start.addSecs(185), 100.2));
    QCOMPARE(sampleTimes(), (QList<qint64>{t0, t0 + 60, t0 + 120, t0 + 185}));
    QCOMPARE(restarted.samplesWritten(), 1);
}

void TestHistoryRecorder::counterSteps_data()
{
    QTest::addColumn<QList<double>>("counters");
    QTest::addColumn<QList<int>>("seconds");
    QTest::addColumn<double>("energy");
    QTest::addColumn<int>("flagged");

    QTest::newRow("steady rise") << QList<double>{10, 10.1, 10.1, 10.2} << QList<int>{0, 60, 120, 180} << 0.2 << 0;
    // A counter reset: the drop is not counted, the rise after it is.
    QTest::newRow("reset") << QList<double>{500, 500.1, 0, 0.1} << QList<int>{0, 60, 120, 180} << 0.2
                           << YIELD_FLAG_BACKWARDS;
    // 3 kW over a 2 h link gap can make 6 kWh: 5 kWh counts.
    QTest::newRow("link gap") << QList<double>{20, 25, 25.1} << QList<int>{0, 7200, 7260} << 5.1 << 0;
    // 0.2 kWh in a minute is more than 3 kW can make, even with the
    // counter's 0.1 kWh steps; 50 kWh all the more.
    QTest::newRow("small jump") << QList<double>{20, 20.2} << QList<int>{0, 60} << 0.0 << YIELD_FLAG_TOO_FAST;
    QTest::newRow("jump") << QList<double>{20, 70, 70.1} << QList<int>{0, 60, 120} << 0.1 << YIELD_FLAG_TOO_FAST;
    // A clock set back: the step is judged over one period, never negative.
    QTest::newRow("clock back") << QList<double>{20, 20.1, 20.2} << QList<int>{0, 60, -3600} << 0.2 << 0;

    // One-second polls: the counter's resolution is granted once over the
    // span, not at every poll. A counter rising 0.1 kWh a second (360 kW)
    // counts what 3 kW with the margin make in five minutes, plus one step.
    QList<double> fast;
    QList<int> seconds;
    for (int s = 0; s <= 300; ++s) {
        fast << 1000 + 0.1 * s;
        seconds << s;
    }
    QTest::newRow("fast counter, 1 s polls") << fast << seconds << 0.4 << YIELD_FLAG_TOO_FAST;
    // A true 3 kW device polled every second: its 0.1 kWh steps come every
    // two minutes and all count, whatever the phase of the first.
    QList<double> real;
    for (int s = 0; s <= 1800; ++s)
        real << 1000 + 0.1 * int((s + 90) / 120);
    seconds.clear();
    for (int s = 0; s <= 1800; ++s)
        seconds << s;
    QTest::newRow("3 kW, 1 s polls") << real << seconds << 1.5 << 0;
    // After a long calm morning the allowance does not pile up: a jump of
    // 1 kWh in a minute is left out although the day made less than due.
    QTest::newRow("jump after a slow morning") << QList<double>{10, 10.5, 11.5, 11.6} << QList<int>{0, 7200, 7260, 7400}
                                               << 0.6 << YIELD_FLAG_TOO_FAST;
}

void TestHistoryRecorder::counterSteps()
{
    QFETCH(QList<double>, counters);
    QFETCH(QList<int>, seconds);
    QFETCH(double, energy);
    QFETCH(int, flagged);
    DayYield day;
    for (int i = 0; i < counters.size(); ++i) {
        YieldReading r;
        r.time = m_start.addSecs(seconds[i]);
        r.counterKwh = counters[i];
        addReading(day, r, 3000, 60);
    }
    QVERIFY2(qAbs(day.energyKwh - energy) < 1e-9, qPrintable(QString::number(day.energyKwh)));
    QCOMPARE(day.flagged, flagged);
}

void TestHistoryRecorder::yieldAcrossMidnightAndRestart()
{
    const QDateTime evening(QDate(2026, 6, 1), QTime(23, 58, 0));
    {
        HistoryRecorder recorder;
        recorder.recordCycle(cycle(evening, 100, 230, 10));
        recorder.recordCycle(cycle(evening.addSecs(60), 100.1, 230, 2));
        // After midnight the new day starts from its own first reply.
        recorder.recordCycle(cycle(evening.addSecs(120), 100.2));
        recorder.recordCycle(cycle(evening.addSecs(180), 100.3));
        // A crash: nothing is flushed.
    }
    const DayYield first = storedDay(evening.date());
    QVERIFY(qAbs(first.energyKwh - 0.1) < 1e-9);
    QCOMPARE(first.peakPowerW.value_or(0), 2300.0);
    QCOMPARE(first.peakTime, evening);
    QCOMPARE(first.maxModuleTemp.value_or(0), 40.0);
    QVERIFY(qAbs(storedDay(evening.date().addDays(1)).energyKwh - 0.1) < 1e-9);

    // A restart the same day continues the stored row, counting what the
    // device made while the station was away.
    HistoryRecorder restarted;
    restarted.recordCycle(cycle(evening.addSecs(600), 100.5));
    QVERIFY(qAbs(storedDay(evening.date().addDays(1)).energyKwh - 0.3) < 1e-9);
}

void TestHistoryRecorder::faultEventsAndLinkTimeAreCounted()
{
    HistoryRecorder recorder;
    recorder.start();
    for (int s = 0; s <= 120; s += 10)
        stationBus().publishCycle(cycle(m_start.addSecs(s), 100));
    stationBus().publishEvent({1, m_start.addSecs(5), QStringLiteral("001"), QStringLiteral("Grid overvoltage"), false});
    // Link and start-up events are not faults.
    stationBus().publishEvent({2, m_start.addSecs(6), QStringLiteral("001"), QStringLiteral("link lost"), true});
    stationBus().publishEvent({3, m_start.addSecs(7), QStringLiteral("001"), QStringLiteral("*System up."), false});
    recorder.stop();
    const DayYield day = storedDay(m_start.date());
    QCOMPARE(day.faults, 1);
    QCOMPARE(day.linkSeconds, qint64(120));
}

void TestHistoryRecorder::devicesAreRecordedApart()
{
    HistoryRecorder recorder;
    recorder.start();
    // Two devices polled in turn, the second two seconds after the first,
    // with counters far apart: one day shared between them would see the
    // counter jump both ways at every cycle.
    for (int s = 0; s < 300; s += 10) {
        CycleReport first = cycle(m_start.addSecs(s), 100 + 0.1 * (s / 120), 230, 5);
        CycleReport second = cycle(m_start.addSecs(s + 2), 5000 + 0.1 * (s / 240), 231, 2);
        second.deviceId = QStringLiteral("002");
        stationBus().publishCycle(first);
        stationBus().publishCycle(second);
    }
    stationBus().publishEvent({1, m_start.addSecs(5), QStringLiteral("002"), QStringLiteral("Grid overvoltage"), false});
    recorder.stop();
    // Each device keeps its own period schedule.
    QCOMPARE(count(QStringLiteral("select count(*) from histdata where dev = 1")), 5);
    QCOMPARE(count(QStringLiteral("select count(*) from histdata where dev = 2 and v2 = 231000")), 5);
    QCOMPARE(count(QStringLiteral("select min(t) from histdata where dev = 2")), m_start.toSecsSinceEpoch() + 2);
    QCOMPARE(count(QStringLiteral("select sum(c) from histrollup where dev = 2")), 5);
    QCOMPARE(recorder.samplesWritten(), 10);

    DbConnection c;
    QSqlDatabase db = c.database();
    const DayYield first = loadDayYield(db, QStringLiteral("001"), m_start.date());
    const DayYield second = loadDayYield(db, QStringLiteral("002"), m_start.date());
    QVERIFY2(qAbs(first.energyKwh - 0.2) < 1e-9, qPrintable(QString::number(first.energyKwh)));
    QVERIFY2(qAbs(second.energyKwh - 0.1) < 1e-9, qPrintable(QString::number(second.energyKwh)));
    QCOMPARE(first.flagged, 0);
    QCOMPARE(second.flagged, 0);
    QCOMPARE(first.peakPowerW.value_or(0), 1150.0);
    QCOMPARE(second.peakPowerW.value_or(0), 462.0);
    QCOMPARE(first.faults, 0);
    QCOMPARE(second.faults, 1);
    QCOMPARE(recorder.currentDay(QStringLiteral("002")).deviceId, QStringLiteral("002"));
    QVERIFY(!recorder.failing());
}

void TestHistoryRecorder::daysFollowTheLocalCalendarAcrossSummerTime()
{
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    // The spring day has 23 hours, the autumn day 25; a cycle every 5 min
    // from the evening before to the morning after.
    for (const auto &[day, hours] : {std::pair{QDate(2026, 3, 29), 23}, std::pair{QDate(2026, 10, 25), 25}}) {
        const qint64 first = day.startOfDay().toSecsSinceEpoch() - 3600;
        const qint64 last = day.addDays(1).startOfDay().toSecsSinceEpoch() + 3600;
        QCOMPARE(last - first, qint64(hours + 2) * 3600);
        {
            HistoryRecorder recorder;
            double counter = 100;
            for (qint64 t = first; t <= last; t += 300, counter += 0.1)
                recorder.recordCycle(cycle(QDateTime::fromSecsSinceEpoch(t), counter));
        }
        // The day's own readings: its first at midnight, a step every 5 min.
        const DayYield stored = storedDay(day);
        QCOMPARE(stored.linkSeconds, qint64(hours) * 3600);
        QVERIFY2(qAbs(stored.energyKwh - (hours * 12 - 1) * 0.1) < 1e-6, qPrintable(QString::number(stored.energyKwh)));
        QVERIFY(qAbs(storedDay(day.addDays(-1)).energyKwh - 1.1) < 1e-6);
        // The day's history holds every sample of it, each time once.
        const auto data = queryHistory({day.startOfDay(), day.addDays(1).startOfDay(), {}, 0, 0});
        QCOMPARE(data->sampleCount, hours * 12);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(writeHistoryCsv(&buffer, {day.startOfDay(), day.addDays(1).startOfDay(), {}, 0, 0}));
        QStringList times;
        for (const QString &line : QString::fromUtf8(buffer.data().mid(3)).split(QStringLiteral("\r\n")).mid(1))
            times << line.section(QLatin1Char(','), 0, 0);
        times.removeAll(QString());
        times.removeDuplicates();
        QCOMPARE(times.size(), hours * 12);
        QVERIFY(times.first().startsWith(day.toString(Qt::ISODate) + QStringLiteral("T00:00:00+0")));
    }
    savedZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", savedZone);
    tzset();
}

void TestHistoryRecorder::lockedDatabaseReportsOnceAndResumes()
{
    HistoryRecorder recorder;
    recorder.recordCycle(cycle(m_start, 100));
    {
        DbConnection other;
        QSqlQuery lock(other.database());
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QElapsedTimer timer;
        timer.start();
        for (int s = 60; s <= 180; s += 60)
            recorder.recordCycle(cycle(m_start.addSecs(s), 100));
        // Each refused write waited briefly, never the general busy time.
        QVERIFY(timer.elapsed() < 3 * DATABASE_BUSY_TIMEOUT_MS / 2);
        QVERIFY(recorder.failing());
        QCOMPARE(m_status.texts.size(), 1);
        lock.exec(QStringLiteral("ROLLBACK"));
    }
    recorder.recordCycle(cycle(m_start.addSecs(240), 100.1));
    QVERIFY(!recorder.failing());
    QCOMPARE(m_status.texts.size(), 2);
    const qint64 t0 = m_start.toSecsSinceEpoch();
    QCOMPARE(sampleTimes(), (QList<qint64>{t0, t0 + 240}));
    QVERIFY(qAbs(storedDay(m_start.date()).energyKwh - 0.1) < 1e-9);
}

void TestHistoryRecorder::pruningInBatches()
{
    // A day and a half of 10 s samples, the oldest first.
    const qint64 t0 = m_start.toSecsSinceEpoch();
    historyWrite([&](QSqlDatabase &db, QString &error) {
        for (qint64 i = 0; i < 12960; ++i) {
            if (!insertSample(db, {QDateTime::fromSecsSinceEpoch(t0 + i * 10), {{2, 230.0}}}, error))
                return false;
        }
        return true;
    });
    const QDateTime now = QDateTime::fromSecsSinceEpoch(t0 + 12960 * 10);
    HistoryPruner pruner;
    pruner.setClock([&] { return now; });
    pruner.setKeepHours(0);
    pruner.runNow();
    QVERIFY(!pruner.running());
    QCOMPARE(count(QStringLiteral("select count(*) from histdata")), 12960);

    QCOMPARE(HistoryPruner::pruneBatch(now.addSecs(-24 * 3600), 1000), 1000);
    QCOMPARE(count(QStringLiteral("select min(t) from histdata")), t0 + 10000);

    pruner.setKeepHours(24);
    pruner.runNow();
    // The rest goes in batches between which the event loop runs.
    QVERIFY(pruner.running());
    QTRY_VERIFY(!pruner.running());
    QCOMPARE(count(QStringLiteral("select count(*) from histdata")), 8640);
    QCOMPARE(count(QStringLiteral("select min(t) from histdata")), now.toSecsSinceEpoch() - 24 * 3600);
    // The coarse buckets went with their samples, no further.
    QCOMPARE(count(QStringLiteral("select sum(c) from histrollup")), 8640);

    // Every device's old rows go, each by its own key range.
    const QDateTime later = now.addSecs(3600);
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &error) {
        for (qint64 i = 0; i < 500; ++i) {
            HistorySample s{QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch() - 30 * 3600 + i * 60), {{2, 231.0}}};
            s.deviceId = QStringLiteral("007");
            if (!insertSample(db, s, error))
                return false;
        }
        return true;
    }));
    QCOMPARE(HistoryPruner::pruneBatch(later.addSecs(-24 * 3600), 100000), 360 + 420);
    QCOMPARE(count(QStringLiteral("select min(t) from histdata where dev = 7")), later.toSecsSinceEpoch() - 24 * 3600);
    QCOMPARE(count(QStringLiteral("select sum(c) from histrollup where dev = 7")), 80);
}

void TestHistoryRecorder::ratings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("watts");
    QTest::newRow("3K") << QStringLiteral("3K") << 3000.0;
    QTest::newRow("1K5") << QStringLiteral("1K5") << 1500.0;
    QTest::newRow("4.6kW") << QStringLiteral("4.6kW") << 4600.0;
    QTest::newRow("800") << QStringLiteral("800") << 800.0;
    QTest::newRow("junk") << QStringLiteral("big") << 0.0;
}

void TestHistoryRecorder::ratings()
{
    QFETCH(QString, text);
    QFETCH(double, watts);
    QCOMPARE(ratingWatts(text), watts);
}

QTEST_GUILESS_MAIN(TestHistoryRecorder)
#include "tst_history_recorder.moc"
