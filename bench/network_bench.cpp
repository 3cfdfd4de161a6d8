// Times a poll (protocol 2) over a network line to the simulator's loopback
// gateway, without pacing, beside a raw socket exchange with the same
// simulator in the same run, alternating one of each, for tcp:// and
// modbus-tcp://. Each side connects before its clock starts except the
// station's cycle, which makes its own connection as the poller does today;
// "held open" is the same exchange on the station's port left connected.
//   network_bench [--count N]   (default: 200 of each)
#include "bench_support.h"
#include "sim_process.h"

#include "acquisition/frames.h"
#include "acquisition/line_address.h"
#include "acquisition/modbus_tcp.h"
#include "plant/polling.h"
#include "acquisition/serial_link.h"
#include "acquisition/tcp_line_port.h"
#include "core/common.h"
#include "core/system_settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

using namespace vantoro;

namespace {

constexpr int WARM_UP = 5;
constexpr int WAIT_MS = 1000;

std::optional<double> rawExchangeMs(const LineAddress &address, const QByteArray &request, int replyBytes)
{
    QTcpSocket socket;
    socket.connectToHost(address.host, address.port);
    if (!socket.waitForConnected(WAIT_MS))
        return std::nullopt;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QElapsedTimer clock;
    clock.start();
    socket.write(request);
    socket.flush();
    qint64 received = 0;
    while (received < replyBytes && socket.waitForReadyRead(WAIT_MS))
        received += socket.readAll().size();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    socket.abort();
    return received == replyBytes ? std::optional<double>(ms) : std::nullopt;
}

std::optional<double> stationCycleMs(Poller &poller, Device &device)
{
    QElapsedTimer clock;
    clock.start();
    const bool done = poller.queryData(device);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return done && device.link().replyReceived == 1 ? std::optional<double>(ms) : std::nullopt;
}

std::optional<double> heldOpenMs(TcpLinePort &port, quint8 address)
{
    port.close();
    port.open();
    waitUntil([&] { return port.connected() || !port.isOpen(); }, WAIT_MS, [&](int ms) { port.waitForInput(ms); });
    if (!port.connected())
        return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    if (!sendCrcFrame(port, address, QByteArray(POLL_DATA_BYTES, '\0'), FUNCTION_POLL))
        return std::nullopt;
    waitUntil([&] { return port.bytesWaiting() >= REPLY_BYTES || !port.isOpen(); }, WAIT_MS,
              [&](int ms) { port.waitForInput(ms); });
    const bool whole = findhead(port, replyHeadV2(address)) && port.readAll().size() >= REPLY_BYTES - 4;
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return whole ? std::optional<double>(ms) : std::nullopt;
}

bool measure(bool modbus, int count)
{
    test::SimProcess sim;
    if (!sim.start({modbus ? QStringLiteral("--modbus-tcp") : QStringLiteral("--tcp"), QStringLiteral("0"),
                    QStringLiteral("--baud"), QStringLiteral("0")})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorText()));
        return false;
    }
    const LineAddress address = parseLineAddress(sim.lineAddress());
    Line line(std::make_unique<TcpLinePort>(address));
    Device &device = bench::useSimulator(line, QStringLiteral("/dev/null"), 9600);
    const quint8 deviceAddress = quint8(device.record().address);
    const QByteArray frame = buildCrcFrame(deviceAddress, QByteArray(POLL_DATA_BYTES, '\0'), FUNCTION_POLL);
    QString error;
    const QByteArray request = modbus ? *mbapRequest(frame, 1, &error) : frame;
    const int replyBytes = modbus ? MBAP_HEADER_BYTES + REPLY_BYTES - 3 : REPLY_BYTES;

    TcpLinePort held(address);
    QTimer timer; // polling "on": never fires within the run
    Poller poller(line, timer);
    timer.start(3600 * 1000);

    QList<double> raw, station, open;
    for (int i = 0; i < WARM_UP + count; ++i) {
        const auto r = rawExchangeMs(address, request, replyBytes);
        const auto p = stationCycleMs(poller, device);
        const auto h = heldOpenMs(held, deviceAddress);
        held.close();
        if (!r || !p || !h) {
            std::fprintf(stderr, "%s: exchange %d failed (%s)\n", qPrintable(sim.lineAddress()), i,
                         !r ? "raw" : !p ? "station" : "held open");
            return false;
        }
        if (i >= WARM_UP) {
            raw << *r;
            station << *p;
            open << *h;
        }
    }
    const double rawMedian = bench::median(raw);
    const double stationMedian = bench::median(station);
    const double heldMedian = bench::median(open);
    std::printf("%-11s raw median %6.3f (p90 %6.3f) | station cycle %6.3f (p90 %6.3f): %+.3f ms | "
                "held open %6.3f (p90 %6.3f): %+.3f ms  [%d each]\n",
                modbus ? "modbus-tcp" : "tcp", rawMedian, bench::percentile(raw, 0.9), stationMedian,
                bench::percentile(station, 0.9), stationMedian - rawMedian, heldMedian, bench::percentile(open, 0.9),
                heldMedian - rawMedian, count);
    const QByteArray key = modbus ? "modbus_tcp" : "tcp";
    bench::printResult((key + ".raw_ms").constData(), rawMedian, "ms");
    bench::printResult((key + ".station_ms").constData(), stationMedian, "ms");
    bench::printResult((key + ".overhead_ms").constData(), stationMedian - rawMedian, "ms");
    bench::printResult((key + ".held_open_overhead_ms").constData(), heldMedian - rawMedian, "ms");
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const auto count = bench::intOption(app.arguments(), QStringLiteral("--count"), 200);
    if (!count) {
        std::fprintf(stderr, "usage: network_bench [--count N]\n");
        return 2;
    }
    bench::QuietMessages quiet;
    if (!bench::loadStation(home))
        return 1;
    return measure(false, *count) && measure(true, *count) ? 0 : 1;
}
