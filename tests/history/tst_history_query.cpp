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
    void devicesApartAndThePlantSum();
    void singleDeviceDatabaseUpgradedInPlace();
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
        // At the 0.1 scale a device sends, which the history keeps exactly.
        double v = std::round(10000 + 5000 * std::sin(i / 500.0)) / 10;
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
    // ranges are answered from the per-half-hour table, which must give what
    // the samples give.
    QList<HistorySample> samples;
    QList<double> wave;
    for (int i = 0; i < 3 * 1440; ++i) {
        const double spike = i == 1001 ? 9000 : i == 3333 ? -7000 : 0;
        double v = std::round(1000 + 500 * std::sin(i / 97.0) + spike) / 10;
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
        const HistoryRequest request{dayStart, dayStart.addDays(3), {}, 200, 0};
        const auto data = queryHistory(request);
        QVERIFY2(data, what);
        QCOMPARE(data->sampleCount, 4320);
        QCOMPARE(data->bucketSeconds % HISTORY_ROLLUP_SECONDS, 0);
        QVERIFY(data->pointCount() <= 200);
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
        const auto offset = queryHistory({dayStart.addSecs(7 * 60), dayStart.addDays(3).addSecs(-3 * 60), {}, 200, 0});
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

void TestHistoryQuery::devicesApartAndThePlantSum()
{
    // Two devices an hour long at 60 s, a few seconds apart; the second
    // makes twice the power and has no module temperature.
    QList<HistorySample> samples;
    for (int m = 0; m < 60; ++m) {
        HistorySample a{dayStart.addSecs(m * 60 + 1), {{2, 230.1}, {9, 1000.0 + m}, {8, 100.0 + m / 10.0}, {6, 40.5}}};
        HistorySample b{dayStart.addSecs(m * 60 + 4), {{2, 229.9}, {9, 2000.0 + m}, {8, 500.0}}, QStringLiteral("002")};
        samples << a << b;
    }
    const QList<HistoryColumn> columns{{2, QStringLiteral("VAC"), QStringLiteral("V"), QStringLiteral("V")},
                                       {6, QStringLiteral("TMOD"), QStringLiteral("T"), QStringLiteral("C")},
                                       {8, QStringLiteral("EKWH"), QStringLiteral("E"), QStringLiteral("kWh")},
                                       {9, QStringLiteral("PAC"), QStringLiteral("P"), QStringLiteral("W")}};
    QVERIFY(store(samples, columns));
    HistoryRequest one{dayStart, dayStart.addSecs(3600), {}, 0, 0};
    const auto first = queryHistory(one);
    one.deviceId = QStringLiteral("002");
    const auto second = queryHistory(one);
    QVERIFY(first && second);
    QCOMPARE(first->sampleCount, 60);
    QCOMPARE(second->pointCount(), 60);
    QCOMPARE(first->values[0][5], 230.1);
    QCOMPARE(second->values[0][5], 229.9);
    QCOMPARE(first->values[3][59], 1059.0);
    QVERIFY(std::isnan(second->values[1][0]));
    QCOMPARE(second->times[0], dayStart.toSecsSinceEpoch() + 4);
    one.deviceId = QStringLiteral("00x");
    QString error;
    QVERIFY(!queryHistory(one, &error));
    QVERIFY(error.contains(QStringLiteral("00x")));

    // The plant: power and energy summed per step, the rest left out.
    HistoryRequest plant{dayStart, dayStart.addSecs(3600), {}, 0, 0, QString::fromLatin1(HISTORY_PLANT), 60};
    const auto sum = queryHistory(plant);
    QVERIFY(sum);
    QCOMPARE(sum->columns.size(), 2);
    QCOMPARE(sum->columns[0].code, QStringLiteral("EKWH"));
    QCOMPARE(sum->columns[1].code, QStringLiteral("PAC"));
    QCOMPARE(sum->pointCount(), 60);
    QCOMPARE(sum->times[7], dayStart.toSecsSinceEpoch() + 7 * 60);
    QCOMPARE(sum->values[1][7], 3014.0);
    QCOMPARE(sum->values[0][59], 605.9);
    QCOMPARE(sum->sampleCount, 120);
    // Reduced: each bucket holds the sum of the devices' means.
    plant.maxPoints = 12;
    const auto reduced = queryHistory(plant);
    QVERIFY(reduced && reduced->bucketSeconds == 600);
    QCOMPARE(reduced->values[1].size(), reduced->means[1].size());
    QCOMPARE(reduced->means[1][0], 1004.5 + 2004.5);
    QCOMPARE(reduced->values[1][0], 3009.0);
    // Its CSV names the plant.
    const QByteArray csv = csvOf([&](QIODevice *d) { return writeHistoryCsv(d, plant); });
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 62);
    QVERIFY2(lines[8].endsWith(QStringLiteral(",3014,") + langText(QStringLiteral("History"), QStringLiteral("optPlant"))),
             qPrintable(lines[8]));

    // Yield: the plant's day sums energy, link time and faults; its peak is
    // left empty, and any device's mark marks it.
    QVERIFY(historyWrite([](QSqlDatabase &db, QString &e) {
        for (const char *id : {"001", "002"}) {
            for (int d : {1, 2}) {
                DayYield y;
                y.deviceId = QString::fromLatin1(id);
                y.day = QDate(2026, 6, d);
                y.energyKwh = id[2] == '1' ? 10.25 : 3.5;
                y.peakPowerW = 3000;
                y.linkSeconds = 3600;
                y.faults = 1;
                y.flagged = id[2] == '2' && d == 2 ? YIELD_FLAG_BACKWARDS : 0;
                if (!saveDayYield(db, y, e))
                    return false;
            }
        }
        return true;
    }));
    const auto days = dailyYields(2026, 6, QString::fromLatin1(HISTORY_PLANT));
    QVERIFY(days && days->size() == 2);
    QCOMPARE(days->at(0).energyKwh, 13.75);
    QCOMPARE(days->at(0).linkSeconds, qint64(7200));
    QCOMPARE(days->at(0).faults, 2);
    QVERIFY(!days->at(0).peakPowerW);
    QCOMPARE(days->at(0).flagged, 0);
    QCOMPARE(days->at(1).flagged, YIELD_FLAG_BACKWARDS);
    QCOMPARE(dailyYields(2026, 6, QStringLiteral("002"))->at(0).energyKwh, 3.5);
    const auto months = monthlyYields(2026, QString::fromLatin1(HISTORY_PLANT));
    QCOMPARE(months->at(5).energyKwh, 27.5);
    QCOMPARE(months->at(5).days, 2);
    QCOMPARE(months->at(5).flaggedDays, 1);
    QCOMPARE(storedDayEnergy(QDate(2026, 6, 2), QString::fromLatin1(HISTORY_PLANT)).value_or(0), 13.75);
}

void TestHistoryQuery::singleDeviceDatabaseUpgradedInPlace()
{
    // The tables as a station without devices wrote them: keyed by time,
    // one real per slot, the coarse table keyed by bucket.
    QString columns;
    for (int slot = 0; slot < 30; ++slot)
        columns += QStringLiteral(", v%1 real").arg(slot);
    QVERIFY(execSql(QStringLiteral("drop table histdata")));
    QVERIFY(execSql(QStringLiteral("drop table histrollup")));
    QVERIFY(execSql(QStringLiteral("create table histdata (t integer primary key%1)").arg(columns)));
    QVERIFY(execSql(QStringLiteral("create table histrollup (b integer primary key, t0 integer not null, "
                                   "t1 integer not null, c integer not null, n2 real, x2 real, s2 real, k2 integer)")));
    // What the devices send: a scaled word, a single-precision temperature,
    // an integrated energy of many decimals, the status word, a gap.
    const QList<double> energy{12345.678901234, 12345.7, 0.001};
    for (int m = 0; m < 30; ++m) {
        QVERIFY(execSql(QStringLiteral("insert into histdata (t, v2, v6, v8, v10) values (?, ?, ?, ?, ?)"),
                        {dayStart.addSecs(m * 60).toSecsSinceEpoch(), 230.1 + m / 10.0, double(45.7f),
                         energy[m % 3], m == 4 ? QVariant() : QVariant(double(m * 257))}));
    }
    QVERIFY(store({}, {{2, QStringLiteral("VAC"), QStringLiteral("V"), QStringLiteral("V")},
                       {6, QStringLiteral("TMOD"), QStringLiteral("T"), QStringLiteral("C")},
                       {8, QStringLiteral("EKWH"), QStringLiteral("E"), QStringLiteral("kWh")},
                       {10, QStringLiteral("STAT"), QStringLiteral("S"), QString()}}));
    // Each value as a file shows it, read from the old table and, after the
    // upgrade, through the queries.
    QString before;
    const auto old = rsSqlGet(QStringLiteral("select t, v2, v6, v8, v10 from histdata order by t"));
    QVERIFY(old);
    for (const QVariantList &row : old->rows) {
        before += row[0].toString();
        for (int c = 1; c < 5; ++c)
            before += QLatin1Char(',') + (row[c].isNull() ? QString() : CsvWriter::number(row[c].toDouble()));
        before += QLatin1Char('\n');
    }
    const auto readBack = [] {
        const auto data = queryHistory({dayStart, dayStart.addDays(1), {}, 0, 0});
        QString text;
        for (int i = 0; data && i < data->pointCount(); ++i) {
            text += QString::number(data->times[i]);
            for (int c = 0; c < data->columns.size(); ++c)
                text += QLatin1Char(',') + CsvWriter::number(data->values[c][i]);
            text += QLatin1Char('\n');
        }
        return text;
    };
    QVERIFY(historyWrite([](QSqlDatabase &db, QString &e) {
        DayYield y;
        y.deviceId = QStringLiteral("001");
        y.day = dayStart.date();
        y.energyKwh = 12.5;
        y.peakPowerW = 2980;
        return saveDayYield(db, y, e);
    }));

    upgradeSchema();
    const auto first = [](const char *sql) { return rsSqlGet(QString::fromLatin1(sql))->rows.value(0); };
    const QVariantList keys = first("select count(*), min(dev), max(dev) from histdata");
    QCOMPARE(keys.size(), 3);
    QCOMPARE(keys[0].toInt(), 30);
    QCOMPARE(keys[1].toInt(), 1);
    QCOMPARE(keys[2].toInt(), 1);
    QCOMPARE(first("select typeof(v2) || typeof(v6) || typeof(v10) from histdata").value(0).toString(),
             QStringLiteral("integerintegerinteger"));
    QCOMPARE(readBack().split(QLatin1Char('\n')), before.split(QLatin1Char('\n')));
    QCOMPARE(queryHistory({dayStart, dayStart.addDays(1), {QStringLiteral("TMOD")}, 0, 0})->values[0][0], 45.7);
    // The coarse table is built anew per device, the yield is device 001's.
    const QVariantList rolled = first("select sum(c), min(dev) from histrollup");
    QCOMPARE(rolled.value(0).toInt(), 30);
    QCOMPARE(rolled.value(1).toInt(), 1);
    const auto reduced = queryHistory({dayStart, dayStart.addDays(1), {QStringLiteral("VAC")}, 20, 0});
    QCOMPARE(present(reduced->values[0]).first(), 230.1);
    QCOMPARE(dailyYields(2026, 6)->at(0).energyKwh, 12.5);
    QCOMPARE(dailyYields(2026, 6)->at(0).peakPowerW.value_or(0), 2980.0);
    // Once upgraded, an upgrade changes nothing.
    upgradeSchema();
    QCOMPARE(readBack(), before);
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
    // The device is the last column.
    QVERIFY(lines[0].endsWith(QStringLiteral(",") + langText(QStringLiteral("History"), QStringLiteral("csvDevice"))));
    QCOMPARE(lines[1].section(QLatin1Char(','), 1), QStringLiteral("230.1,12345.6,001"));
    QVERIFY2(offset.match(lines[2]).hasMatch(), qPrintable(lines[2]));
    QCOMPARE(lines[2].section(QLatin1Char(','), 1), QStringLiteral("0.5,,001"));
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
