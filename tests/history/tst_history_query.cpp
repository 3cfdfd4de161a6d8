// Reading the history back: bucketing, gaps, yield sums and CSV files.
#include "core/database.h"
#include "core/iso_time.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "history/csv_writer.h"
#include "history/history_query.h"
#include "test_support.h"

#include <QBuffer>
#include <QtTest>
#include <cmath>
#include <numeric>

using namespace vantoro;

namespace {

const QDateTime dayStart(QDate(2026, 6, 1), QTime(0, 0, 0));

bool store(const QList<HistorySample> &samples, const QList<HistoryColumn> &columns)
{
    return historyWrite([&](QSqlDatabase &db, QString &error) {
        for (const HistorySample &s : samples) {
            if (!insertSample(db, s, error))
                return false;
        }
        return storeColumns(db, columns, error);
    });
}

QList<double> present(const QList<double> &values)
{
    QList<double> out;
    for (double v : values) {
        if (!std::isnan(v))
            out << v;
    }
    return out;
}

QByteArray csvOf(const std::function<bool(QIODevice *)> &write)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!write(&buffer))
        return "<failed>";
    return buffer.data();
}

} // namespace

class TestHistoryQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void init();
    void cleanup() { m_home.reset(); }

    void bucketsKeepEveryMinimumAndMaximum();
    void coarseBucketsMatchTheSamples();
    void gapsAndEmptyRanges();
    void gapsFollowTheSamples_data();
    void gapsFollowTheSamples();
    void yieldOfMonthAndYear();
    void csvQuotingAndNumbers();
    void exportIsAllOrNothing();

private:
    std::unique_ptr<test::TestHome> m_home;
};

void TestHistoryQuery::init()
{
    m_home = std::make_unique<test::TestHome>();
    upgradeSchema();
    sysSettings.HisDataSamplePeriod = 60;
}

void TestHistoryQuery::bucketsKeepEveryMinimumAndMaximum()
{
    // A day of 10 s samples: a slow wave with one spike up and one dip down
    // at odd places, and a second series that is null half the time.
    QList<HistorySample> samples;
    QList<double> wave;
    for (int i = 0; i < 8640; ++i) {
        double v = 1000 + 500 * std::sin(i / 500.0);
        if (i == 1234)
            v = 9999;
        if (i == 5677)
            v = -42;
        wave << v;
        HistorySample s{dayStart.addSecs(i * 10), {{5, v}}};
        if (i % 2 == 0)
            s.values.append({6, double(i)});
        samples << s;
    }
    QVERIFY(store(samples, {{5, QStringLiteral("IDC"), QStringLiteral("I"), QStringLiteral("A")},
                            {6, QStringLiteral("TMOD"), QStringLiteral("T"), QStringLiteral("°C")}}));

    HistoryRequest request{dayStart, dayStart.addDays(1), {QStringLiteral("tmod"), QStringLiteral("IDC")}, 800, 0};
    const auto data = queryHistory(request);
    QVERIFY(data);
    QCOMPARE(data->sampleCount, 8640);
    QCOMPARE(data->columns.size(), 2);
    QCOMPARE(data->columns[0].code, QStringLiteral("TMOD"));
    QVERIFY(data->bucketSeconds > 0);
    QVERIFY(data->pointCount() <= 800);
    const QList<double> idc = data->values[1];
    QVERIFY(idc.contains(9999.0));
    QVERIFY(idc.contains(-42.0));
    // Every bucket's own extremes are there, not only the day's.
    for (int b = 0; b * data->bucketSeconds < 86400; ++b) {
        const int first = (b * data->bucketSeconds + 9) / 10;
        const int last = std::min(8640, ((b + 1) * data->bucketSeconds + 9) / 10);
        if (first >= last)
            continue;
        const auto [lo, hi] = std::minmax_element(wave.begin() + first, wave.begin() + last);
        QVERIFY2(idc.contains(*lo) && idc.contains(*hi), qPrintable(QString::number(b)));
    }
    // Nulls are left out, not read as zero.
    QCOMPARE(*std::min_element(data->values[0].begin(), data->values[0].end()), 0.0);
    QVERIFY(!present(data->values[0]).isEmpty());

    // Few enough samples come back as they are.
    request.maxPoints = 0;
    const auto all = queryHistory(request);
    QCOMPARE(all->pointCount(), 8640);
    QCOMPARE(all->bucketSeconds, 0);
    QCOMPARE(all->values[1][1234], 9999.0);
    QVERIFY(std::isnan(all->values[0][1]));
}

void TestHistoryQuery::coarseBucketsMatchTheSamples()
{
    // Three days of 60 s samples; slot 6 is null every other sample. Long
    // ranges are answered from the per-10-minute table, which must give what
    // the samples give.
    QList<HistorySample> samples;
    QList<double> wave;
    for (int i = 0; i < 3 * 1440; ++i) {
        double v = 100 + 50 * std::sin(i / 97.0) + (i == 1001 ? 900 : 0) - (i == 3333 ? 700 : 0);
        wave << v;
        HistorySample s{dayStart.addSecs(i * 60), {{5, v}}};
        if (i % 2)
            s.values.append({6, double(-i)});
        samples << s;
    }
    // A second already stored (a clock set back) changes neither table.
    samples << HistorySample{dayStart.addSecs(1001 * 60), {{5, 5000.0}, {6, 5000.0}}};
    const QList<HistoryColumn> columns{{5, QStringLiteral("IDC"), {}, {}}, {6, QStringLiteral("TMOD"), {}, {}}};
    QVERIFY(store(samples, columns));

    const auto check = [&](const char *what) {
        const HistoryRequest request{dayStart, dayStart.addDays(3), {}, 400, 0};
        const auto data = queryHistory(request);
        QVERIFY2(data, what);
        QCOMPARE(data->sampleCount, 4320);
        QCOMPARE(data->bucketSeconds % HISTORY_ROLLUP_SECONDS, 0);
        QVERIFY(data->pointCount() <= 400);
        const int perBucket = data->bucketSeconds / 60;
        QList<double> lows, highs, odd, means, oddMeans;
        for (int b = 0; b * perBucket < wave.size(); ++b) {
            const int first = b * perBucket;
            const int end = std::min(first + perBucket, int(wave.size()));
            const auto [lo, hi] = std::minmax_element(wave.begin() + first, wave.begin() + end);
            lows << *lo;
            highs << *hi;
            odd << -double((end - 1) % 2 ? end - 1 : end - 2) << -double(first % 2 ? first : first + 1);
            means << std::accumulate(wave.begin() + first, wave.begin() + end, 0.0) / (end - first);
            // The other series' mean is over the samples that hold it.
            double sum = 0;
            int held = 0;
            for (int i = first; i < end; ++i) {
                if (i % 2) {
                    sum -= i;
                    ++held;
                }
            }
            oddMeans << sum / held;
        }
        // Each bucket: its minimum at its first sample, its maximum at its last.
        QCOMPARE(data->pointCount(), 2 * lows.size());
        for (int b = 0; b < lows.size(); ++b) {
            QCOMPARE(data->times[2 * b], dayStart.addSecs(b * perBucket * 60).toSecsSinceEpoch());
            QCOMPARE(data->values[0][2 * b], lows[b]);
            QCOMPARE(data->values[0][2 * b + 1], highs[b]);
            QCOMPARE(data->values[1][2 * b], odd[2 * b]);
            QCOMPARE(data->values[1][2 * b + 1], odd[2 * b + 1]);
            QVERIFY(qAbs(data->means[0][2 * b] - means[b]) < 1e-9);
            QVERIFY(qAbs(data->means[1][2 * b + 1] - oddMeans[b]) < 1e-9);
        }
        // A range that starts and ends inside coarse buckets counts its edges.
        const auto offset = queryHistory({dayStart.addSecs(7 * 60), dayStart.addDays(3).addSecs(-3 * 60), {}, 400, 0});
        QCOMPARE(offset->sampleCount, 4320 - 10);
        QVERIFY(offset->values[0].contains(wave[1001]));
        QVERIFY(offset->values[0].contains(wave[3333]));
    };
    check("recorded");
    // A database recorded before the coarse table existed gets it built.
    QVERIFY(execSql(QStringLiteral("drop table histrollup")));
    upgradeSchema();
    check("rebuilt");
    // A coarse table of an older version, without the sums, is built anew.
    QVERIFY(execSql(QStringLiteral("drop table histrollup")));
    QVERIFY(execSql(QStringLiteral("create table histrollup (b integer primary key, t0 integer not null, "
                                   "t1 integer not null, c integer not null, n5 real, x5 real, n6 real, x6 real)")));
    upgradeSchema();
    check("rebuilt from an older table");
}

void TestHistoryQuery::gapsAndEmptyRanges()
{
    QList<HistorySample> samples;
    for (int m = 0; m < 60; ++m) {
        if (m >= 20 && m < 30)
            continue; // the link was down
        samples << HistorySample{dayStart.addSecs(m * 60), {{2, double(m)}}};
    }
    QVERIFY(store(samples, {{2, QStringLiteral("VAC"), QStringLiteral("V"), QStringLiteral("V")}}));
    const auto data = queryHistory({dayStart, dayStart.addSecs(3600), {}, 0, 0});
    QCOMPARE(data->pointCount(), 50);
    QCOMPARE(data->gapBefore.count(true), 2);
    QVERIFY(data->gapBefore[0]);
    QVERIFY(data->gapBefore[20]);
    QCOMPARE(data->values[0][20], 30.0);
    // Bucketed, the gap stays a gap.
    const auto reduced = queryHistory({dayStart, dayStart.addSecs(3600), {}, 20, 0});
    QCOMPARE(reduced->gapBefore.count(true), 2);
    // Stored at 60 s and shown while the period is 5 s: the same two lines.
    sysSettings.HisDataSamplePeriod = 5;
    QCOMPARE(queryHistory({dayStart, dayStart.addSecs(3600), {}, 0, 0})->gapBefore.count(true), 2);
    QCOMPARE(queryHistory({dayStart, dayStart.addSecs(3600), {}, 20, 0})->gapBefore.count(true), 2);
    sysSettings.HisDataSamplePeriod = 60;

    const auto empty = queryHistory({dayStart.addDays(1), dayStart.addDays(2), {}, 800, 0});
    QVERIFY(empty);
    QVERIFY(empty->isEmpty());
    QCOMPARE(empty->columns.size(), 1);
}

void TestHistoryQuery::gapsFollowTheSamples_data()
{
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<int>>("gaps");
    const auto every = [](qint64 from, qint64 to, qint64 step) {
        QList<qint64> t;
        for (qint64 s = from; s <= to; s += step)
            t << s;
        return t;
    };
    // The period lowered from 60 s to 5 s: no gap where it changed.
    QTest::newRow("period lowered") << every(0, 600, 60) + every(605, 700, 5) << QList<int>{0};
    QTest::newRow("period raised") << every(0, 100, 5) + every(160, 900, 60) << QList<int>{0};
    // Polls every 30 s under a 5 s period: one sample per poll, one line.
    QTest::newRow("slow poll") << every(0, 600, 30) << QList<int>{0};
    QTest::newRow("one missed sample") << QList<qint64>{0, 60, 120, 240, 300, 360} << QList<int>{0};
    // Samples alone between outages start a line each.
    QTest::newRow("samples alone") << every(0, 540, 60) + QList<qint64>{7740, 14940} + every(22140, 22740, 60)
                                   << QList<int>{0, 10, 11, 12};
    QTest::newRow("one sample") << QList<qint64>{42} << QList<int>{0};
}

void TestHistoryQuery::gapsFollowTheSamples()
{
    QFETCH(QList<qint64>, times);
    QFETCH(QList<int>, gaps);
    QList<bool> gapBefore(times.size(), true);
    markGaps(times, gapBefore);
    QList<int> found;
    for (int i = 0; i < gapBefore.size(); ++i) {
        if (gapBefore[i])
            found << i;
    }
    QCOMPARE(found, gaps);
}

void TestHistoryQuery::yieldOfMonthAndYear()
{
    QVERIFY(historyWrite([](QSqlDatabase &db, QString &error) {
        for (int d = 1; d <= 31; ++d) {
            for (int month : {1, 7}) {
                DayYield y;
                y.deviceId = QStringLiteral("001");
                y.day = QDate(2026, month, d);
                y.energyKwh = month == 1 ? 2.5 : 10;
                y.flagged = d == 3;
                if (!saveDayYield(db, y, error))
                    return false;
            }
        }
        DayYield other;
        other.deviceId = QStringLiteral("001");
        other.day = QDate(2025, 12, 31);
        other.energyKwh = 99;
        return saveDayYield(db, other, error);
    }));
    const auto july = dailyYields(2026, 7);
    QVERIFY(july);
    QCOMPARE(july->size(), 31);
    QCOMPARE(july->first().day, QDate(2026, 7, 1));
    QCOMPARE(july->last().day, QDate(2026, 7, 31));
    const auto months = monthlyYields(2026);
    QVERIFY(months);
    QCOMPARE(months->size(), 12);
    QCOMPARE((*months)[0].energyKwh, 77.5);
    QCOMPARE((*months)[0].flaggedDays, 1);
    QCOMPARE((*months)[6].energyKwh, 310.0);
    QCOMPARE((*months)[11].energyKwh, 0.0);
    QVERIFY(!dailyYields(2026, 13));
}

void TestHistoryQuery::csvQuotingAndNumbers()
{
    // Under a German locale the separator stays a point.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString name = QStringLiteral("交流输出电压, \"L1\"");
    QVERIFY(store({{dayStart.addSecs(3600), {{2, 230.1}, {8, 12345.6}}}, {dayStart.addSecs(3660), {{2, 0.5}}}},
                  {{2, QStringLiteral("VAC"), name, QStringLiteral("V")},
                   {8, QStringLiteral("EKWH"), QStringLiteral("Energy"), QStringLiteral("kWh")}}));
    const QByteArray csv = csvOf([](QIODevice *d) {
        return writeHistoryCsv(d, {dayStart, dayStart.addDays(1), {QStringLiteral("VAC"), QStringLiteral("EKWH")}});
    });
    QLocale::setDefault(saved);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0].section(QLatin1Char(','), 0, 0), langText(QStringLiteral("History"), QStringLiteral("csvTime")));
    QVERIFY(lines[0].contains(QStringLiteral(",\"交流输出电压, \"\"L1\"\" (V)\",")));
    // Times carry their UTC offset, whatever zone the test runs in.
    const QRegularExpression offset(QStringLiteral("^2026-06-01T01:0([01]):00[+-]\\d\\d:\\d\\d,"));
    QVERIFY2(offset.match(lines[1]).hasMatch(), qPrintable(lines[1]));
    QCOMPARE(lines[1].section(QLatin1Char(','), 1), QStringLiteral("230.1,12345.6"));
    QVERIFY2(offset.match(lines[2]).hasMatch(), qPrintable(lines[2]));
    QCOMPARE(lines[2].section(QLatin1Char(','), 1), QStringLiteral("0.5,"));
    QCOMPARE(lines[3], QString());

    QCOMPARE(CsvWriter::field(QStringLiteral("two\nlines")), QStringLiteral("\"two\nlines\""));
    QCOMPARE(CsvWriter::field(QStringLiteral("plain")), QStringLiteral("plain"));
    QCOMPARE(CsvWriter::number(-0.25), QStringLiteral("-0.25"));
    QCOMPARE(CsvWriter::number(999999.9), QStringLiteral("999999.9"));
    // A single-precision reading at its own precision, not 45.70000076.
    QCOMPARE(CsvWriter::number(double(45.7f)), QStringLiteral("45.7"));
    QCOMPARE(CsvWriter::number(1234567890.5), QStringLiteral("1234567890.5"));

    // Times read as the wall clock showed them, across both changes of
    // summer time (the offset is cached per quarter hour).
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    for (const qint64 change : {1774746000LL, 1792890000LL}) {
        for (qint64 t = change - 7200; t <= change + 7200; t += 299) {
            QCOMPARE(CsvWriter::localTime(t), isoWithOffset(QDateTime::fromSecsSinceEpoch(t)));
        }
    }
    QCOMPARE(CsvWriter::localTime(1774746000LL - 1), QStringLiteral("2026-03-29T01:59:59+01:00"));
    QCOMPARE(CsvWriter::localTime(1774746000LL), QStringLiteral("2026-03-29T03:00:00+02:00"));
    // The repeated autumn hour: the same wall clock, told apart by the offset.
    QCOMPARE(CsvWriter::localTime(1792890000LL - 1800), QStringLiteral("2026-10-25T02:30:00+02:00"));
    QCOMPARE(CsvWriter::localTime(1792890000LL + 1800), QStringLiteral("2026-10-25T02:30:00+01:00"));
    QCOMPARE(isoWithOffset(QDateTime::fromSecsSinceEpoch(1792890000LL + 1800)),
             QStringLiteral("2026-10-25T02:30:00+01:00"));
    QCOMPARE(isoWithOffset(QDateTime::fromSecsSinceEpoch(0, Qt::UTC)), QStringLiteral("1970-01-01T00:00:00+00:00"));
    savedZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", savedZone);
}

void TestHistoryQuery::exportIsAllOrNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    {
        QFile old(path);
        old.open(QIODevice::WriteOnly);
        old.write("old contents");
    }
    QString error;
    // A writer that fails halfway leaves the old file as it was.
    QVERIFY(!saveCsvFile(path, [](QIODevice *d, QString *e) {
        d->write("half");
        *e = QStringLiteral("disk full");
        return false;
    }, &error));
    QCOMPARE(error, QStringLiteral("disk full"));
    QFile check(path);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("old contents"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);

    // A folder without write permission: a message, no file.
    const QString locked = dir.filePath(QStringLiteral("locked"));
    QDir().mkpath(locked);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(locked).isWritable())
        QSKIP("running with rights that ignore folder permissions");
    error.clear();
    QVERIFY(!saveCsvFile(locked + QStringLiteral("/x.csv"),
                         [](QIODevice *d, QString *) { return writeYieldCsv(d, {}); }, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QDir(locked).isEmpty());
}

QTEST_GUILESS_MAIN(TestHistoryQuery)
#include "tst_history_query.moc"
