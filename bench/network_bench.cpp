// Times a poll (protocol 2) over a network line to the simulator's loopback
// gateway, without pacing, beside a raw socket exchange with the same
// simulator in the same run, alternating, for tcp:// and modbus-tcp://. The
// raw side connects before its clock starts; the station's round runs on
// the connection held open from the round before, and once more making its
// connection first. Then a gateway that never answers: how long the round
// takes and whether a 20 ms timer beside it keeps its pace.
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
#include <algorithm>
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

// One round of the one device with the port held open from the round
// before, as polling runs it; with `connect` the round makes its connection
// first, as it does after the gateway went away.
std::optional<double> stationRoundMs(Poller &poller, Device &device, bool connect)
{
    if (connect)
        poller.reopenPort();
    QElapsedTimer clock;
    clock.start();
    poller.reloadTick();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return device.link().cycleDecoded ? std::optional<double>(ms) : std::nullopt;
}

// A gateway that takes the connection and the requests and never answers:
// the round ends after the time-out and the retries, while a timer that
// stands for the window and the other services keeps its 20 ms pace.
bool measureMuteGateway(bool modbus)
{
    test::SimProcess sim;
    if (!sim.start({modbus ? QStringLiteral("--modbus-tcp") : QStringLiteral("--tcp"), QStringLiteral("0"),
                    QStringLiteral("--baud"), QStringLiteral("0"), QStringLiteral("--fault"), QStringLiteral("mute")})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorText()));
        return false;
    }
    Line line(std::make_unique<TcpLinePort>(parseLineAddress(sim.lineAddress())));
    Device &device = bench::useSimulator(line, QStringLiteral("/dev/null"), 9600, 0.5f);
    sysSettings.retrytimes = 2;
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000);
    constexpr int PACE_MS = 20;
    QTimer pace;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    int ticks = 0;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
        ++ticks;
    });
    pace.start(PACE_MS);
    QElapsedTimer clock;
    clock.start();
    poller.reloadTick();
    const double roundMs = double(clock.nsecsElapsed()) / 1e6;
    pace.stop();
    sysSettings.retrytimes = 0;
    const bool failed = !device.link().cycleDecoded && device.link().attempts.size() == 3;
    std::printf("%-11s never answering: round %.0f ms for 3 attempts of 500 ms with 2 pauses of 1 s (%d ticks of "
                "%d ms, longest gap %lld ms)%s\n",
                modbus ? "modbus-tcp" : "tcp", roundMs, ticks, PACE_MS, static_cast<long long>(longestGap),
                failed ? "" : "  UNEXPECTED: the attempts did not fail");
    const QByteArray key = modbus ? "modbus_tcp" : "tcp";
    bench::printResult((key + ".mute_round_ms").constData(), roundMs, "ms");
    bench::printResult((key + ".mute_longest_gap_ms").constData(), double(longestGap), "ms");
    return failed;
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

    QTimer timer; // polling "on": never fires within the run
    sysSettings.PauseSeconds = 65.535f;
    Poller poller(line, timer);
    timer.start(3600 * 1000);

    // The gateway takes a connection of each side at once.
    QList<double> raw, station, connecting;
    for (int i = 0; i < WARM_UP + count; ++i) {
        const auto r = rawExchangeMs(address, request, replyBytes);
        const auto p = stationRoundMs(poller, device, false);
        const auto c = stationRoundMs(poller, device, true);
        if (!r || !p || !c) {
            std::fprintf(stderr, "%s: exchange %d failed (%s)\n", qPrintable(sim.lineAddress()), i,
                         !r ? "raw" : !p ? "station" : "station connecting");
            return false;
        }
        if (i >= WARM_UP) {
            raw << *r;
            station << *p;
            connecting << *c;
        }
    }
    const double rawMedian = bench::median(raw);
    const double stationMedian = bench::median(station);
    const double connectingMedian = bench::median(connecting);
    std::printf("%-11s raw median %6.3f (p90 %6.3f) | station round, held open %6.3f (p90 %6.3f): %+.3f ms | "
                "with its connect %6.3f (p90 %6.3f): %+.3f ms  [%d each]\n",
                modbus ? "modbus-tcp" : "tcp", rawMedian, bench::percentile(raw, 0.9), stationMedian,
                bench::percentile(station, 0.9), stationMedian - rawMedian, connectingMedian,
                bench::percentile(connecting, 0.9), connectingMedian - rawMedian, count);
    const QByteArray key = modbus ? "modbus_tcp" : "tcp";
    bench::printResult((key + ".raw_ms").constData(), rawMedian, "ms");
    bench::printResult((key + ".station_ms").constData(), stationMedian, "ms");
    bench::printResult((key + ".overhead_ms").constData(), stationMedian - rawMedian, "ms");
    bench::printResult((key + ".connect_overhead_ms").constData(), connectingMedian - rawMedian, "ms");
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
    return measure(false, *count) && measure(true, *count) && measureMuteGateway(false) && measureMuteGateway(true)
        ? 0
        : 1;
}
