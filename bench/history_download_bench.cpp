// Measures whether a history download holds up the poll cycle: real cycles
// (protocol 2, 9600 baud, against the simulator) on the station's own tick,
// while a loopback client downloads the largest CSV the history API allows
// back to back on one kept-alive connection, the client switched on and off
// every few seconds so both sides see the same machine. Reports poll cycles
// per minute, the cycle median and the longest wait between cycle starts on
// each side.
//   history_download_bench [--seconds S] [--samples N] [--tick-ms T]
// (defaults 60 per side, 100000 samples, 1000 ms)
#include "bench_support.h"
#include "http_exchange.h"

#include "acquisition/param_table.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "history/history_store.h"
#include "web/history_feed.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>

using namespace vantoro;

namespace {

// The client is switched every this many seconds, or twice a run when shorter.
constexpr double PHASE_SECONDS = 5;
const QDateTime firstSample(QDate(2025, 3, 10), QTime(0, 0));
const QByteArray csvPath = "/api/v1/history?from=2025-03-10&to=2025-03-11&format=csv";

// `count` one-second samples of eight parameters from `firstSample` on.
bool storeSamples(int count)
{
    return historyWrite([&](QSqlDatabase &db, QString &error) {
        SampleInserter inserter(db);
        for (int i = 0; i < count; ++i) {
            HistorySample sample{firstSample.addSecs(i), {}};
            for (int slot : {2, 3, 4, 5, 6, 7, 8, 10})
                sample.values.append({slot, 100.0 + slot + (i % 600) * 0.1});
            if (!inserter.insert(sample, error))
                return false;
        }
        QList<HistoryColumn> columns;
        for (int slot : {2, 3, 4, 5, 6, 7, 8, 10})
            columns << HistoryColumn{slot, QStringLiteral("P%1").arg(slot), QStringLiteral("P%1").arg(slot), {}};
        return storeColumns(db, columns, error);
    });
}

struct Side
{
    QList<double> cycleMs;
    QList<double> waitMs; // between cycle starts, both on this side
};

struct DownloadRun
{
    Side quiet;
    Side loaded;
    int downloads = 0;
    int failed = 0;
    qsizetype bytes = 0;
    double downloadMs = 0;
};

DownloadRun pollBesideDownloads(Poller &poller, quint16 port, double seconds, int tickMs)
{
    DownloadRun run;
    std::atomic<bool> loadOn{false};
    QElapsedTimer sinceStart;
    sinceStart.start();
    qint64 lastStartNs = -1;
    bool lastLoaded = false;
    QTimer tick;
    tick.setInterval(tickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const bool loaded = loadOn;
        Side &side = loaded ? run.loaded : run.quiet;
        const qint64 now = sinceStart.nsecsElapsed();
        // The pace: the wait from one cycle's start to the next, counted
        // where both starts fell on the same side.
        if (lastStartNs >= 0 && lastLoaded == loaded)
            side.waitMs << double(now - lastStartNs) / 1e6;
        lastStartNs = now;
        lastLoaded = loaded;
        QElapsedTimer clock;
        clock.start();
        poller.reloadTick();
        side.cycleMs << bench::elapsedMs(clock);
    });
    tick.start();
    std::atomic<int> downloads{0}, failed{0};
    std::atomic<qint64> bytes{0}, downloadNs{0};
    bench::runBeside([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(3000))
            return;
        QElapsedTimer clock;
        clock.start();
        const qint64 endNs = qint64(2 * seconds * 1e9);
        const qint64 phaseNs = qint64(std::min(PHASE_SECONDS, seconds / 2) * 1e9);
        bool on = false;
        while (clock.nsecsElapsed() < endNs) {
            const bool want = (clock.nsecsElapsed() / phaseNs) % 2 == 1;
            if (want != on) {
                on = want;
                loadOn = on;
            }
            if (!on) {
                QThread::msleep(20);
                continue;
            }
            QElapsedTimer one;
            one.start();
            qsizetype size = 0;
            const bool ok = bench::exchange(socket, csvPath, 10000, &size);
            ++downloads;
            if (!ok) {
                ++failed;
                continue;
            }
            bytes = size;
            downloadNs += one.nsecsElapsed();
        }
        loadOn = false;
    });
    tick.stop();
    run.downloads = downloads;
    run.failed = failed;
    run.bytes = bytes;
    run.downloadMs = run.downloads > run.failed ? double(downloadNs) / 1e6 / (run.downloads - run.failed) : 0;
    return run;
}

double perMinute(const Side &side)
{
    double total = 0;
    for (double ms : side.waitMs)
        total += ms;
    return total > 0 ? 60000.0 * double(side.waitMs.size()) / total : 0;
}

double longest(const QList<double> &values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto seconds = bench::realOption(args, QStringLiteral("--seconds"), 60);
    const auto samples = bench::intOption(args, QStringLiteral("--samples"), HISTORY_CSV_MAX_ROWS);
    const auto tickMs = bench::intOption(args, QStringLiteral("--tick-ms"), 1000);
    if (!seconds || !samples || !tickMs || *samples > HISTORY_CSV_MAX_ROWS) {
        std::fprintf(stderr, "usage: history_download_bench [--seconds S] [--samples N (at most %d)] [--tick-ms T]\n",
                     HISTORY_CSV_MAX_ROWS);
        return 2;
    }
    bench::QuietMessages quiet;
    loadSystemSettings(); // the station's line brings its devices and their tables
    upgradeSchema();
    if (!storeSamples(*samples)) {
        std::fprintf(stderr, "could not store the samples\n");
        return 1;
    }

    bench::PolledWebStation station;
    if (!station.start())
        return 1;
    const DownloadRun run = pollBesideDownloads(station.poller(), station.port(), *seconds, *tickMs);
    station.stop();
    std::printf("history CSV of %d samples (%.1f MB): %d downloads (%d failed), %.0f ms each\n", *samples,
                double(run.bytes) / 1e6, run.downloads, run.failed, run.downloadMs);
    for (const auto &[name, side] : {std::pair<const char *, const Side &>{"without the client", run.quiet},
                                     {"with the client", run.loaded}}) {
        std::printf("poll cycles %s: %.1f a minute (tick %d ms: at most %.0f), median %.2f ms, "
                    "longest wait between cycle starts %.0f ms (%lld cycles)\n",
                    name, perMinute(side), *tickMs, 60000.0 / *tickMs, bench::median(side.cycleMs),
                    longest(side.waitMs), qsizetype(side.cycleMs.size()));
    }
    bench::printResult("historydl.quiet_per_min", perMinute(run.quiet), "cycles");
    bench::printResult("historydl.loaded_per_min", perMinute(run.loaded), "cycles");
    bench::printResult("historydl.quiet_median_ms", bench::median(run.quiet.cycleMs), "ms");
    bench::printResult("historydl.loaded_median_ms", bench::median(run.loaded.cycleMs), "ms");
    bench::printResult("historydl.loaded_wait_ms", longest(run.loaded.waitMs), "ms");
    bench::printResult("historydl.download_ms", run.downloadMs, "ms");
    bench::printResult("historydl.failed", run.failed, "downloads");
    return run.failed == 0 && run.downloads > 0 ? 0 : 1;
}
