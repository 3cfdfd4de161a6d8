// Times the station's poll cycle (protocol 2) against the simulator on a
// pseudo-terminal paced at the line rate, beside a minimal raw exchange
// (write the 14-byte request, read 33 bytes) through the same simulator in
// the same run; the station's cycle is a round of one device with the port
// held open, as polling runs it, and the port's open and close, which a
// round paid before the port was held, is timed beside it.
//   poll_bench [--count N] [--baud B]...   (default: 60 pairs at 9600 and 115200)
#include "bench_support.h"
#include "sim_process.h"

#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "acquisition/qt_serial_port.h"
#include "acquisition/serial_link.h"
#include "core/system_settings.h"
#include "core/user_settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>
#include <cstdio>

using namespace vantoro;

namespace {

constexpr int WARM_UP_PAIRS = 3;
constexpr int BITS_PER_BYTE = 10;
constexpr int POLL_REQUEST_BYTES = 14;

double wireMs(int baud)
{
    return baud > 0 ? double((POLL_REQUEST_BYTES + REPLY_BYTES) * BITS_PER_BYTE) * 1000.0 / baud : 0.0;
}

// The port is opened and cleared before the clock starts and closed after it
// stops: what is timed is the exchange and nothing else.
std::optional<double> rawExchangeMs(const QString &pty, const QByteArray &request)
{
    QSerialPort port;
    port.setPortName(pty);
    if (!port.open(QIODevice::ReadWrite))
        return std::nullopt;
    port.clear();
    QElapsedTimer clock;
    clock.start();
    port.write(request);
    port.waitForBytesWritten(1000);
    qint64 received = 0;
    while (received < REPLY_BYTES && port.waitForReadyRead(1000))
        received += port.readAll().size();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    port.close();
    return received == REPLY_BYTES ? std::optional<double>(ms) : std::nullopt;
}

// One round of the one device, as the reload timer runs it: the port is
// held open from the round before.
std::optional<double> stationCycleMs(Poller &poller, Device &device)
{
    QElapsedTimer clock;
    clock.start();
    poller.reloadTick();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return device.link().cycleDecoded ? std::optional<double>(ms) : std::nullopt;
}

// What opening and closing the port costs each station cycle, measured
// between the cycles: on Linux QSerialPort creates, flushes to disk and
// removes a lock file in /run/lock.
std::optional<double> openCloseMs(SerialPort &port)
{
    QElapsedTimer clock;
    clock.start();
    const bool opened = setupCommPort(port, sysSettings.ComSettings, sysSettings.comport, true) && port.open();
    port.close();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return opened ? std::optional<double>(ms) : std::nullopt;
}

bool measureBaud(int baud, int pairs)
{
    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QString::number(baud)})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorText()));
        return false;
    }
    Line line(std::make_unique<QtSerialPort>());
    Device &device = bench::useSimulator(line, sim.ptyPath(), baud > 0 ? baud : 9600);
    // The timer's own ticks never come within the run: every round is driven here.
    sysSettings.PauseSeconds = 65.535f;

    QTimer timer; // polling "on": never fires within the run
    Poller poller(line, timer);
    timer.start(3600 * 1000);
    const QByteArray request = buildCrcFrame(quint8(device.record().address), QByteArray(8, '\0'), FUNCTION_POLL);

    // A port is opened by one program at a time and the station holds its
    // own open while polling: the raw exchanges (with the open and close a
    // round no longer pays, for comparison) go first, then the station's
    // rounds, the first of which open the port and are not counted.
    QList<double> raw, station, openClose;
    for (int i = 0; i < WARM_UP_PAIRS + pairs; ++i) {
        const auto r = rawExchangeMs(sim.ptyPath(), request);
        const auto o = openCloseMs(line.port());
        if (!r || !o) {
            std::fprintf(stderr, "%d baud: exchange %d failed (%s)\n", baud, i, !r ? "raw" : "open");
            return false;
        }
        if (i >= WARM_UP_PAIRS) {
            raw << *r;
            openClose << *o;
        }
    }
    for (int i = 0; i < WARM_UP_PAIRS + pairs; ++i) {
        const auto p = stationCycleMs(poller, device);
        if (!p) {
            std::fprintf(stderr, "%d baud: exchange %d failed (station)\n", baud, i);
            return false;
        }
        if (i >= WARM_UP_PAIRS)
            station << *p;
    }

    const double rawMedian = bench::median(raw);
    const double stationMedian = bench::median(station);
    std::printf("%6d baud  wire %5.1f ms | raw median %6.2f (min %6.2f, p90 %6.2f) | station median %6.2f "
                "(min %6.2f, p90 %6.2f) | overhead %+.2f ms (%+.1f %%) | port open + close %.2f ms  [%d pairs]\n",
                baud, wireMs(baud), rawMedian, bench::minimum(raw), bench::percentile(raw, 0.9), stationMedian,
                bench::minimum(station), bench::percentile(station, 0.9), stationMedian - rawMedian,
                (stationMedian / rawMedian - 1.0) * 100.0, bench::median(openClose), pairs);
    const QByteArray key = "poll" + QByteArray::number(baud);
    bench::printResult((key + ".raw_ms").constData(), rawMedian, "ms");
    bench::printResult((key + ".station_ms").constData(), stationMedian, "ms");
    bench::printResult((key + ".overhead_ms").constData(), stationMedian - rawMedian, "ms");
    bench::printResult((key + ".overhead_pct").constData(), (stationMedian / rawMedian - 1.0) * 100.0, "%");
    bench::printResult((key + ".wire_ms").constData(), wireMs(baud), "ms");
    bench::printResult((key + ".openclose_ms").constData(), bench::median(openClose), "ms");
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto count = bench::intOption(args, QStringLiteral("--count"), 60);
    QList<int> bauds;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--baud") && i + 1 < args.size()) {
            bool ok = false;
            bauds << args[++i].toInt(&ok);
            if (!ok || bauds.last() < 0)
                bauds.last() = -1;
        }
    }
    if (!count || bauds.contains(-1)) {
        std::fprintf(stderr, "usage: poll_bench [--count N] [--baud B]...\n");
        return 2;
    }
    if (bauds.isEmpty())
        bauds = {9600, 115200};

    bench::QuietMessages quiet;
    if (!bench::loadStation(home))
        return 1;
    for (int baud : bauds) {
        if (!measureBaud(baud, *count))
            return 1;
    }
    return 0;
}
