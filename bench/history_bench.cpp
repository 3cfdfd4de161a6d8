// History: storing a sample beside the disk's flush, a day's query and
// chart, a month's view over a year of 10 s samples, the yield bars of a
// year, pruning batches, bytes per sample, a month's CSV export, and one
// device's month view in a plant of many devices.
//
//   history_bench [--count N] [--year-days D] [--samples S] [--devices K] [--plant-days P]
//
// --year-days is how many days of 10 s samples the large table holds (365
// for the goal), --samples how many 60 s samples measure the bytes per
// sample, --devices and --plant-days the plant recorded at 60 s (32 and 365
// for the goal; the defaults are small, the full fill takes minutes and
// about 1.5 GB).
#include "bench_support.h"

#include "core/database.h"
#include "core/system_settings.h"
#include "history/csv_writer.h"
#include "history/history_pruner.h"
#include "history/history_recorder.h"
#include "ui/history/history_chart_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <cmath>
#include <cstdio>
#include <ctime>

using namespace vantoro;

namespace {

// CPU time of this thread: the work of a store beside the disk's waits.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The numeric parameters the default table polls: slot, code, unit.
const struct { int slot; const char *code; const char *unit; } defaultColumns[] = {
    {0, "ADDR", ""}, {2, "VAC", "V"}, {3, "IAC", "A"}, {4, "VDC", "V"}, {5, "IDC", "A"},
    {6, "TMOD", "C"}, {7, "TAMB", "C"}, {8, "EKWH", "kWh"}, {10, "STAT", ""},
};

// Values as a device sends them: whole numbers times the decoding factor.
HistorySample sampleAt(qint64 t)
{
    const double phase = double(t % 86400) / 86400.0;
    const double sun = std::max(0.0, std::sin(2 * M_PI * (phase - 0.25)));
    HistorySample s{QDateTime::fromSecsSinceEpoch(t), {}};
    s.values = {{0, 1}, {2, std::round(2290 + 40 * sun) / 10}, {3, std::round(1200 * sun) / 100},
                {4, std::round(3000 + 600 * sun) / 10}, {5, std::round(1000 * sun) / 100},
                {6, std::round(200 + 300 * sun) / 10}, {7, std::round(150 + 100 * sun) / 10},
                {8, std::round(15000 + double(t - 1.7e9) / 3600.0) / 10}, {10, sun > 0 ? 1.0 : 0.0}};
    return s;
}

bool fill(qint64 from, qint64 count, int step, const QString &deviceId = QStringLiteral("001"))
{
    QList<HistoryColumn> columns;
    for (const auto &c : defaultColumns)
        columns << HistoryColumn{c.slot, QString::fromLatin1(c.code), QString::fromLatin1(c.code),
                                 QString::fromLatin1(c.unit)};
    // Large fills go in transactions of a day each.
    for (qint64 done = 0; done < count;) {
        const qint64 batch = std::min<qint64>(count - done, 8640);
        const bool ok = historyWrite([&](QSqlDatabase &db, QString &error) {
            SampleInserter inserter(db);
            for (qint64 i = 0; i < batch; ++i) {
                HistorySample sample = sampleAt(from + (done + i) * step);
                sample.deviceId = deviceId;
                if (!inserter.insert(sample, error))
                    return false;
            }
            return storeColumns(db, columns, error);
        });
        if (!ok)
            return false;
        done += batch;
    }
    return true;
}

bool clearHistory()
{
    return execSql(QStringLiteral("delete from histdata")) && execSql(QStringLiteral("delete from histrollup"))
        && execSql(QStringLiteral("delete from histyield"))
        && execSql(QStringLiteral("vacuum"));
}

qint64 databaseBytes()
{
    const auto rs = rsSqlGet(QStringLiteral("select page_count * page_size from pragma_page_count(), pragma_page_size()"));
    return rs && rs->recordCount() ? rs->rows[0][0].toLongLong() : -1;
}

CycleReport cycleAt(const QDateTime &time, double counter)
{
    CycleReport r;
    r.time = time;
    r.linkUp = r.polling = r.replied = true;
    r.deviceId = QStringLiteral("001");
    r.rating = QStringLiteral("3K");
    for (const auto &[slot, value] : sampleAt(time.toSecsSinceEpoch()).values) {
        ParameterReading p;
        p.id = slot;
        p.numeric = true;
        p.value = slot == 8 ? counter : value;
        for (const auto &c : defaultColumns) {
            if (c.slot == slot)
                p.code = QString::fromLatin1(c.code);
        }
        r.parameters << p;
    }
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QApplication app(argc, argv);
    const auto count = bench::intOption(app.arguments(), QStringLiteral("--count"), 100);
    const auto yearDays = bench::intOption(app.arguments(), QStringLiteral("--year-days"), 365);
    const auto growthSamples = bench::intOption(app.arguments(), QStringLiteral("--samples"), 43200);
    const auto plantDevices = bench::intOption(app.arguments(), QStringLiteral("--devices"), 32);
    const auto plantDays = bench::intOption(app.arguments(), QStringLiteral("--plant-days"), 2);
    if (!count || !yearDays || !growthSamples || !plantDevices || !plantDays || *plantDevices > 999) {
        std::fprintf(stderr, "usage: history_bench [--count N] [--year-days D] [--samples S] [--devices K] "
                             "[--plant-days P]\n");
        return 2;
    }
    bench::QuietMessages quiet;
    if (!bench::loadStation(home, true))
        return 1;
    upgradeSchema();
    const qint64 start = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch();

    // Storing one sample through the recorder, as the poll path does.
    QList<double> stores;
    QList<double> storeCpu;
    {
        HistoryRecorder recorder;
        for (int i = 0; i < *count; ++i) {
            const CycleReport r = cycleAt(QDateTime::fromSecsSinceEpoch(start + i * 60), 1500 + i * 0.1);
            QElapsedTimer clock;
            const double cpuBefore = threadCpuMs();
            clock.start();
            recorder.recordCycle(r);
            stores << bench::elapsedMs(clock);
            storeCpu << threadCpuMs() - cpuBefore;
        }
        if (recorder.samplesWritten() != *count) {
            std::fprintf(stderr, "the recorder stored %lld of %d samples\n", recorder.samplesWritten(), *count);
            return 1;
        }
    }
    const double floorMs = bench::flushFloorMs(QFileInfo(databasePath()).absolutePath(), *count);

    // Bytes per sample of 60 s samples of the default parameters.
    clearHistory();
    const qint64 emptyBytes = databaseBytes();
    if (!fill(start, *growthSamples, 60))
        return 1;
    const double bytesPerSample = double(databaseBytes() - emptyBytes) / *growthSamples;

    // A month of 60 s samples as CSV.
    QElapsedTimer csvClock;
    csvClock.start();
    QString error;
    const QString csvPath = home.file(QStringLiteral("month.csv"));
    const HistoryRequest month{QDateTime::fromSecsSinceEpoch(start), QDateTime::fromSecsSinceEpoch(start).addDays(30), {}, 0, 0};
    if (!saveCsvFile(csvPath, [&](QIODevice *d, QString *e) { return writeHistoryCsv(d, month, e); }, &error)) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(error));
        return 1;
    }
    const double csvMs = bench::elapsedMs(csvClock);
    const qint64 csvBytes = QFileInfo(csvPath).size();

    // A day of 60 s samples, four parameters: query and chart ready.
    HistoryChartView view;
    view.resize(1000, 500);
    const QStringList four{QStringLiteral("VAC"), QStringLiteral("IAC"), QStringLiteral("VDC"), QStringLiteral("TMOD")};
    QList<double> days;
    for (int i = 0; i < 20; ++i) {
        const QDateTime from = QDateTime::fromSecsSinceEpoch(start).addDays(i % 28);
        QElapsedTimer clock;
        clock.start();
        const auto data = queryHistory({from, from.addDays(1), four, 0, 0});
        view.showData(*data, from, from.addDays(1), QString());
        days << bench::elapsedMs(clock);
    }

    // Pruning a day of 10 s samples in batches.
    clearHistory();
    if (!fill(start, 8640, 10))
        return 1;
    QList<double> batches;
    for (;;) {
        QElapsedTimer clock;
        clock.start();
        const int deleted = HistoryPruner::pruneBatch(QDateTime::fromSecsSinceEpoch(start + 86400), HISTORY_PRUNE_BATCH_ROWS);
        batches << bench::elapsedMs(clock);
        if (deleted < HISTORY_PRUNE_BATCH_ROWS)
            break;
    }

    // A year of daily yield rows, shown as a year's bars and a month's.
    QList<double> yields;
    historyWrite([&](QSqlDatabase &db, QString &e) {
        for (int d = 0; d < 365; ++d) {
            DayYield y;
            y.deviceId = QStringLiteral("001");
            y.day = QDate(2026, 1, 1).addDays(d);
            y.energyKwh = 5 + d % 20;
            if (!saveDayYield(db, y, e))
                return false;
        }
        return true;
    });
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        const auto months = monthlyYields(2026);
        const auto daysOfMonth = dailyYields(2026, 1 + i % 12);
        yields << bench::elapsedMs(clock);
        if (!months || !daysOfMonth)
            return 1;
    }

    // A month's view over a year of 10 s samples.
    QElapsedTimer fillClock;
    fillClock.start();
    if (!fill(start, qint64(*yearDays) * 8640, 10))
        return 1;
    const double fillS = bench::elapsedMs(fillClock) / 1000;
    const qint64 rssBefore = bench::residentKb();
    QList<double> months;
    int points = 0;
    for (int i = 0; i < 5; ++i) {
        const QDateTime from = QDateTime::fromSecsSinceEpoch(start).addMonths(std::min(i, std::max(0, *yearDays / 31 - 1)));
        QElapsedTimer clock;
        clock.start();
        const auto data = queryHistory({from, from.addMonths(1), four, view.wantedPoints(), 0});
        view.showData(*data, from, from.addMonths(1), QString());
        months << bench::elapsedMs(clock);
        points = view.pointsShown();
    }
    const qint64 rssAfter = bench::residentKb();

    // A plant: every device at 60 s for the days asked, device by device
    // (each a range of the key), then one device's month view among them.
    clearHistory();
    const qint64 plantEmpty = databaseBytes();
    QElapsedTimer plantClock;
    plantClock.start();
    const qint64 perDevice = qint64(*plantDays) * 1440;
    for (int d = 1; d <= *plantDevices; ++d) {
        if (!fill(start, perDevice, 60, QStringLiteral("%1").arg(d, 3, 10, QLatin1Char('0'))))
            return 1;
    }
    const double plantFillS = bench::elapsedMs(plantClock) / 1000;
    const double plantBytes = double(databaseBytes() - plantEmpty) / double(perDevice * *plantDevices);
    QList<double> plantMonths;
    int plantPoints = 0;
    for (int i = 0; i < 5; ++i) {
        const QDateTime from = QDateTime::fromSecsSinceEpoch(start).addMonths(std::min(i, std::max(0, *plantDays / 31 - 1)));
        HistoryRequest request{from, from.addMonths(1), four, view.wantedPoints(), 0};
        request.deviceId = QStringLiteral("%1").arg(1 + i * 7 % *plantDevices, 3, 10, QLatin1Char('0'));
        QElapsedTimer clock;
        clock.start();
        const auto data = queryHistory(request);
        view.showData(*data, from, from.addMonths(1), QString());
        plantMonths << bench::elapsedMs(clock);
        plantPoints = view.pointsShown();
    }

    std::printf("storing one sample (recorder, WAL, synchronous=FULL): median %.2f ms, p90 %.2f ms [%d]; one flush %.2f ms;"
                " CPU median %.3f ms\n",
                bench::median(stores), bench::percentile(stores, 0.9), *count, floorMs, bench::median(storeCpu));
    std::printf("bytes per sample (9 parameters, 60 s): %.1f; a year of 60 s samples: %.1f MB\n", bytesPerSample,
                bytesPerSample * 525600 / 1e6);
    std::printf("CSV of a month of 60 s samples: %.1f ms, %lld bytes\n", csvMs, csvBytes);
    std::printf("day view (4 parameters, 60 s samples), query + chart: median %.2f ms, max %.2f ms\n",
                bench::median(days), bench::percentile(days, 1.0));
    std::printf("pruning a day of 10 s samples: %lld batches, slowest %.2f ms\n", qint64(batches.size()),
                bench::percentile(batches, 1.0));
    std::printf("yield of a year (monthly totals + one month's days): median %.2f ms\n", bench::median(yields));
    std::printf("month view over %d days of 10 s samples (%lld rows, filled in %.0f s): median %.1f ms, %d points, "
                "resident +%lld kB\n",
                *yearDays, qint64(*yearDays) * 8640, fillS, bench::median(months), points, rssAfter - rssBefore);

    std::printf("plant of %d devices at 60 s for %d days (%lld samples, filled in %.0f s, %.0f samples/s): "
                "%.1f bytes per device-sample, a year of one device %.1f MB; one device's month view: median %.1f ms, "
                "%d points\n",
                *plantDevices, *plantDays, perDevice * *plantDevices, plantFillS,
                double(perDevice * *plantDevices) / std::max(plantFillS, 1e-3), plantBytes, plantBytes * 525600 / 1e6,
                bench::median(plantMonths), plantPoints);

    bench::printResult("history.store_ms", bench::median(stores), "ms");
    bench::printResult("history.flush_ms", floorMs, "ms");
    bench::printResult("history.store_cpu_ms", bench::median(storeCpu), "ms");
    bench::printResult("history.bytes_per_sample", bytesPerSample, "B");
    bench::printResult("history.year_mb", bytesPerSample * 525600 / 1e6, "MB");
    bench::printResult("history.csv_month_ms", csvMs, "ms");
    bench::printResult("history.day_ms", bench::median(days), "ms");
    bench::printResult("history.prune_batch_ms", bench::percentile(batches, 1.0), "ms");
    bench::printResult("history.yield_ms", bench::median(yields), "ms");
    bench::printResult("history.month_ms", bench::median(months), "ms");
    bench::printResult("history.month_points", points, "points");
    bench::printResult("history.plant_bytes_per_sample", plantBytes, "B");
    bench::printResult("history.plant_year_mb", plantBytes * 525600 / 1e6, "MB");
    bench::printResult("history.plant_month_ms", bench::median(plantMonths), "ms");
    return 0;
}
