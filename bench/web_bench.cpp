// Measures the web server: the latency of /api/v1/status and /metrics for
// one client on a kept-alive connection, and of /metrics and /api/v1/devices
// for a plant of 32 devices; the poll cycle against the
// simulator at 9600 baud without and with 200 requests a second from a
// loopback load generator (a new connection per request), the load on and
// off every second for twice the load time; and the CPU cost
// of the running station with the server on and nobody asking, against off.
//   web_bench [--requests N] [--load-seconds S] [--idle-seconds S]
// (defaults 1000, 10, 30)
#include "bench_support.h"
#include "http_exchange.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "acquisition/serial_link.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "web/web_service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <functional>

using namespace vantoro;
using vantoro::bench::exchange;
using vantoro::bench::freePort;
using vantoro::bench::runBeside;

namespace {

constexpr int LOAD_RATE = 200;
constexpr int TICK_MS = 250; // the bench's own poll tick: many cycles in a short run

QList<double> latencies(quint16 port, const QByteArray &path, int count)
{
    QList<double> ms;
    runBeside([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(3000))
            return;
        exchange(socket, path); // warm-up
        for (int i = 0; i < count; ++i) {
            QElapsedTimer clock;
            clock.start();
            if (!exchange(socket, path))
                return;
            ms << double(clock.nsecsElapsed()) / 1e6;
        }
    });
    return ms;
}

constexpr int PLANT_DEVICES = 32;

// A plant of `count` on the bus: the polled device's last report, with all
// its parameters, copied to each device of the list.
void publishPlantOf(int count)
{
    StationBus &bus = stationBus();
    const CycleReport model = bus.lastCycle();
    QList<DeviceInfo> devices;
    for (int i = 1; i <= count; ++i) {
        const QString id = QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
        devices << DeviceInfo{id, QStringLiteral("INV-") + id, i, 2, model.rating, true};
    }
    bus.publishDevices(devices);
    for (const DeviceInfo &d : std::as_const(devices)) {
        CycleReport r = model;
        r.deviceId = d.id;
        r.deviceName = d.name;
        r.address = d.address;
        bus.publishCycle(r);
    }
}

// The body's size of one answer.
qsizetype bodySize(quint16 port, const QByteArray &path)
{
    qsizetype bytes = 0;
    runBeside([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(3000))
            exchange(socket, path, 5000, &bytes);
    });
    return bytes;
}

struct LoadRun
{
    QList<double> quietMs;  // cycles that started while no load ran
    QList<double> loadedMs; // cycles that started under the load
    int requests = 0;
    int failed = 0;
};

// Poll cycles on the bench's tick for 2 × `seconds`, the load switched on
// and off every second, so a change in the shared machine's own load falls
// on both sides alike.
LoadRun pollUnderLoad(Poller &poller, quint16 port, double seconds)
{
    LoadRun run;
    std::atomic<bool> loadOn{false};
    QTimer tick;
    tick.setInterval(TICK_MS);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const bool loaded = loadOn;
        QElapsedTimer clock;
        clock.start();
        poller.reloadTick();
        (loaded ? run.loadedMs : run.quietMs) << double(clock.nsecsElapsed()) / 1e6;
    });
    tick.start();
    std::atomic<int> requests{0}, failed{0};
    runBeside([&] {
        QElapsedTimer clock;
        clock.start();
        const qint64 endNs = qint64(2 * seconds * 1e9);
        for (int i = 0; clock.nsecsElapsed() < endNs; ++i) {
            loadOn = (clock.nsecsElapsed() / 1000000000LL) % 2 == 1;
            if (loadOn) {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port);
                const bool ok = socket.waitForConnected(3000)
                    && exchange(socket, i % 2 ? QByteArray("/metrics") : QByteArray("/api/v1/status"));
                ++requests;
                if (!ok)
                    ++failed;
            }
            // Paced to the rate, whatever each request took.
            const qint64 dueNs = qint64(i + 1) * 1000000000LL / LOAD_RATE;
            if (dueNs > clock.nsecsElapsed())
                QThread::usleep(quint64((dueNs - clock.nsecsElapsed()) / 1000));
        }
    });
    tick.stop();
    run.requests = requests;
    run.failed = failed;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto requests = bench::intOption(args, QStringLiteral("--requests"), 1000);
    const auto loadSeconds = bench::realOption(args, QStringLiteral("--load-seconds"), 10);
    const auto idleSeconds = bench::realOption(args, QStringLiteral("--idle-seconds"), 30);
    if (!requests || !loadSeconds || !idleSeconds) {
        std::fprintf(stderr, "usage: web_bench [--requests N] [--load-seconds S] [--idle-seconds S]\n");
        return 2;
    }
    bench::QuietMessages quiet;
    loadSystemSettings(); // the station's line brings its devices and their tables

    bench::PolledWebStation station;
    if (!station.start())
        return 1;
    Poller &poller = station.poller();
    const quint16 port = station.port();

    const QList<double> status = latencies(port, "/api/v1/status", *requests);
    const QList<double> metrics = latencies(port, "/metrics", *requests);
    if (status.size() != *requests || metrics.size() != *requests) {
        std::fprintf(stderr, "a request failed\n");
        return 1;
    }
    std::printf("latency, one client, %d requests each: /api/v1/status median %.3f ms (p99 %.3f), "
                "/metrics median %.3f ms (p99 %.3f)\n",
                *requests, bench::median(status), bench::percentile(status, 0.99), bench::median(metrics),
                bench::percentile(metrics, 0.99));

    const LoadRun loadRun = pollUnderLoad(poller, port, *loadSeconds);
    const double shift = bench::median(loadRun.loadedMs) - bench::median(loadRun.quietMs);
    std::printf("poll cycle at 9600 baud: median %.2f ms quiet (%lld cycles), %.2f ms under %d requests/s "
                "(%lld cycles, %d requests, %d failed)\n",
                bench::median(loadRun.quietMs), qsizetype(loadRun.quietMs.size()), bench::median(loadRun.loadedMs),
                LOAD_RATE, qsizetype(loadRun.loadedMs.size()), loadRun.requests, loadRun.failed);

    publishPlantOf(PLANT_DEVICES);
    const QList<double> plantMetrics = latencies(port, "/metrics", *requests);
    const QList<double> plantDevices = latencies(port, "/api/v1/devices", *requests);
    if (plantMetrics.size() != *requests || plantDevices.size() != *requests) {
        std::fprintf(stderr, "a request of the plant failed\n");
        return 1;
    }
    std::printf("plant of %d devices, one client, %d requests each: /metrics median %.3f ms (p99 %.3f, %lld bytes), "
                "/api/v1/devices median %.3f ms (p99 %.3f, %lld bytes)\n",
                PLANT_DEVICES, *requests, bench::median(plantMetrics), bench::percentile(plantMetrics, 0.99),
                qsizetype(bodySize(port, "/metrics")), bench::median(plantDevices),
                bench::percentile(plantDevices, 0.99), qsizetype(bodySize(port, "/api/v1/devices")));
    station.stop();

    const QString db = home.file(QStringLiteral("vantoro.db"));
    if (!bench::editDatabase(db, {QStringLiteral("update sysset set HttpServerEnabled=0 where id=1")}))
        return 1;
    const double off = bench::stationCpuShare(2, *idleSeconds).percent;
    if (!bench::editDatabase(db, {QStringLiteral("update sysset set HttpServerEnabled=1, httpport=%1 where id=1")
                                      .arg(freePort())}))
        return 1;
    const double on = bench::stationCpuShare(2, *idleSeconds).percent;
    if (off < 0 || on < 0)
        return 1;
    std::printf("idle station, polling off: server off %.3f %%, server on %.3f %% of one core over %.0f s each\n",
                off, on, *idleSeconds);

    bench::printResult("web.status_ms", bench::median(status), "ms");
    bench::printResult("web.metrics_ms", bench::median(metrics), "ms");
    bench::printResult("web.plant_metrics_ms", bench::median(plantMetrics), "ms");
    bench::printResult("web.plant_devices_ms", bench::median(plantDevices), "ms");
    bench::printResult("web.load_failed", loadRun.failed, "requests");
    bench::printResult("web.load_requests", loadRun.requests, "requests");
    bench::printResult("web.cycle_shift_ms", shift, "ms");
    bench::printResult("web.idle_delta_pct", on - off, "%");
    return loadRun.failed == 0 ? 0 : 1;
}
