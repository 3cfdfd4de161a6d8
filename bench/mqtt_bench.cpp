// Times what MQTT publishing adds to the poll cycle: real cycles against the
// simulator (no line pacing, so the station's own work dominates) with the
// report going to no publisher, to one connected to a broker on loopback,
// and to one whose broker never answers (its connect attempt pending the
// whole run), in turn, cycle by cycle. Also times the hand-over alone: the
// bus delivering one cycle's report with and without the publisher.
//   mqtt_bench [--count N]   (default: 200 cycles per case)
#include "bench_support.h"
#include "mqtt_test_support.h"
#include "sim_process.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "acquisition/qt_serial_port.h"
#include "core/database.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "mqtt/mqtt_publisher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vantoro;

namespace {

constexpr int WARM_UP = 5;

// A loopback port whose connections complete in the kernel and are never
// accepted: a broker that does not answer.
class SilentListener
{
public:
    SilentListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), size) != 0 || ::listen(m_fd, 1) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

bool startPublisher(MqttPublisher &publisher, int port)
{
    MqttSettings s;
    s.enabled = true;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    if (!saveMqttSettings(s))
        return false;
    publisher.start();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const auto count = bench::intOption(app.arguments(), QStringLiteral("--count"), 200);
    if (!count) {
        std::fprintf(stderr, "usage: mqtt_bench [--count N]\n");
        return 2;
    }
    bench::QuietMessages quiet;
    if (!bench::loadStation(home))
        return 1;
    upgradeSchema();

    test::BrokerProcess broker;
    test::SimProcess sim;
    if (!broker.start() || !sim.start({QStringLiteral("--baud"), QStringLiteral("0")})) {
        std::fprintf(stderr, "broker: %s simulator: %s\n", qPrintable(broker.errorText()), qPrintable(sim.errorText()));
        return 1;
    }
    SilentListener silent;

    // Each case has a bus of its own; the station's bus hands each cycle to
    // the bus of the case being timed.
    std::array<StationBus, 3> buses;
    const char *const names[] = {"off", "on", "unreachable"};
    MqttPublisher connected(buses[1]);
    MqttPublisher unanswered(buses[2]);
    if (!startPublisher(connected, broker.port()) || !startPublisher(unanswered, silent.port())
        || !QTest::qWaitFor([&] { return connected.isConnected(); }, 5000)) {
        std::fprintf(stderr, "publisher did not connect to the broker\n");
        return 1;
    }
    StationBus *current = &buses[0];
    QObject::connect(&stationBus(), &StationBus::cycleFinished, [&](const CycleReport &r) { current->publishCycle(r); });

    Line line(std::make_unique<QtSerialPort>());
    const Device &device = bench::useSimulator(line, sim.ptyPath());
    sysSettings.PauseSeconds = 3600;
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000);

    std::array<QList<double>, 3> cycle, handOver;
    for (int i = 0; i < WARM_UP + *count; ++i) {
        for (int k = 0; k < 3; ++k) {
            const int c = (i + k) % 3; // each case goes first as often as the others
            current = &buses[size_t(c)];
            QElapsedTimer clock;
            clock.start();
            poller.reloadTick();
            const double cycleMs = bench::elapsedMs(clock);
            clock.restart();
            buses[size_t(c)].publishCycle(stationBus().lastCycle());
            const double handOverMs = bench::elapsedMs(clock);
            if (!device.linkUp()) {
                std::fprintf(stderr, "cycle %d: no reply from the simulator\n", i);
                return 1;
            }
            if (i >= WARM_UP) {
                cycle[size_t(c)] << cycleMs;
                handOver[size_t(c)] << handOverMs;
            }
            QCoreApplication::processEvents(); // the link's queued signals
        }
    }
    if (!connected.isConnected() || unanswered.isConnected()) {
        std::fprintf(stderr, "the cases changed during the run\n");
        return 1;
    }

    for (int c = 0; c < 3; ++c)
        std::printf("publishing %-11s cycle median %6.3f ms (p90 %6.3f) | hand-over median %7.4f ms (p90 %7.4f)  [%d cycles]\n",
                    names[c], bench::median(cycle[size_t(c)]), bench::percentile(cycle[size_t(c)], 0.9),
                    bench::median(handOver[size_t(c)]), bench::percentile(handOver[size_t(c)], 0.9), *count);
    const double off = bench::median(cycle[0]);
    bench::printResult("mqtt.cycle_off_ms", off, "ms");
    bench::printResult("mqtt.added_ms", bench::median(cycle[1]) - off, "ms");
    bench::printResult("mqtt.unreachable_added_ms", bench::median(cycle[2]) - off, "ms");
    bench::printResult("mqtt.handover_on_ms", bench::median(handOver[1]) - bench::median(handOver[0]), "ms");
    bench::printResult("mqtt.handover_unreachable_ms", bench::median(handOver[2]) - bench::median(handOver[0]), "ms");
    return 0;
}
