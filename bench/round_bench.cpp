// Times one poll round over N devices (protocol 2) against the simulator on
// a pseudo-terminal paced at the line rate, beside a raw round: the same N
// requests written and their 33-byte replies read through the same
// simulator, the raw rounds first. With --memory it measures the
// resident memory of the window polling N devices with its views switching.
//   round_bench [--count R] [--devices 1,4,16,32] [--baud B]...
//   round_bench --memory [--rounds R] [--devices 1,32]
#include "bench_support.h"
#include "sim_process.h"

#include "acquisition/frames.h"
#include "acquisition/qt_serial_port.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "plant/polling.h"
#include "ui/main/frm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTimer>
#include <cstdio>

using namespace vantoro;

namespace {

constexpr int WARM_UP_ROUNDS = 2;
// What a round may add per device over the raw exchange.
constexpr double GOAL_9600_MS = 1.0;
constexpr double GOAL_FAST_MS = 0.5;

QList<int> intList(const QStringList &args, const QString &name, const QList<int> &fallback)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return fallback;
    QList<int> out;
    for (const QString &part : args[at + 1].split(QLatin1Char(','))) {
        bool ok = false;
        const int n = part.toInt(&ok);
        out << (ok && n > 0 && n <= MAX_DEVICES ? n : -1);
    }
    return out;
}

QByteArray pollRequest(int address)
{
    return buildCrcFrame(quint8(address), QByteArray(8, '\0'), FUNCTION_POLL);
}

// The port is opened before the clock starts and closed after it stops.
std::optional<double> rawRoundMs(const QString &pty, int devices)
{
    QSerialPort port;
    port.setPortName(pty);
    if (!port.open(QIODevice::ReadWrite))
        return std::nullopt;
    port.clear();
    QElapsedTimer clock;
    clock.start();
    for (int address = 1; address <= devices; ++address) {
        port.write(pollRequest(address));
        port.waitForBytesWritten(1000);
        qint64 received = 0;
        while (received < REPLY_BYTES && port.waitForReadyRead(1000))
            received += port.readAll().size();
        if (received != REPLY_BYTES)
            return std::nullopt;
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    port.close();
    return ms;
}

std::optional<double> stationRoundMs(Poller &poller, const Line &line)
{
    QElapsedTimer clock;
    clock.start();
    poller.reloadTick();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    for (const auto &device : line.devices()) {
        if (!device->link().cycleDecoded)
            return std::nullopt;
    }
    return ms;
}

void addDevices(Line &line, int count)
{
    for (int n = 1; n <= count; ++n) {
        DeviceRecord r;
        r.id = deviceIdText(n);
        r.name = QStringLiteral("INV%1").arg(n);
        r.address = n;
        r.protocol = 2;
        Device &device = line.addDevice(r);
        // Every device decodes with the factory rows of the first.
        loadParamTable(device.table(), QString::fromLatin1(PARAM_DEVICE_ID));
    }
}

bool measureRound(int baud, int devices, int rounds)
{
    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--devices"),
                    QString::number(devices)})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorText()));
        return false;
    }
    Line line(std::make_unique<QtSerialPort>());
    bench::useSimulator(line, sim.ptyPath(), baud, 1);
    // The timer's own ticks never come within the run: every round is driven here.
    sysSettings.PauseSeconds = 65.535f;
    line.clear();
    addDevices(line, devices);
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000);

    // The station holds its port open from round to round, and a port is
    // opened by one program at a time: the raw rounds go first, then the
    // station's, the first of which opens the port and is not counted.
    QList<double> raw, station;
    for (int i = 0; i < WARM_UP_ROUNDS + rounds; ++i) {
        const auto r = rawRoundMs(sim.ptyPath(), devices);
        if (!r) {
            std::fprintf(stderr, "%d baud, %d devices: round %d failed (raw)\n", baud, devices, i);
            return false;
        }
        if (i >= WARM_UP_ROUNDS)
            raw << *r;
    }
    for (int i = 0; i < WARM_UP_ROUNDS + rounds; ++i) {
        const auto p = stationRoundMs(poller, line);
        if (!p) {
            std::fprintf(stderr, "%d baud, %d devices: round %d failed (station)\n", baud, devices, i);
            return false;
        }
        if (i >= WARM_UP_ROUNDS)
            station << *p;
    }
    const double rawMedian = bench::median(raw);
    const double stationMedian = bench::median(station);
    const double perDevice = (stationMedian - rawMedian) / devices;
    const double goal = baud == 9600 ? GOAL_9600_MS : GOAL_FAST_MS;
    std::printf("%6d baud %2d devices | raw round median %8.2f ms | station round median %8.2f ms (p90 %8.2f) | "
                "over raw %+6.3f ms a device (goal %.1f) %s  [%d rounds]\n",
                baud, devices, rawMedian, stationMedian, bench::percentile(station, 0.9), perDevice, goal,
                perDevice <= goal ? "met" : "MISSED", rounds);
    const QByteArray key = "round" + QByteArray::number(baud) + "x" + QByteArray::number(devices);
    bench::printResult((key + ".raw_ms").constData(), rawMedian, "ms");
    bench::printResult((key + ".station_ms").constData(), stationMedian, "ms");
    bench::printResult((key + ".over_per_device_ms").constData(), perDevice, "ms");
    return true;
}

// The devices table and their parameter rows for a plant of `count`.
bool storePlant(const bench::BenchHome &home, int count)
{
    QStringList statements{QStringLiteral("delete from devices where cast(id as integer) > 1"),
                           QStringLiteral("delete from paraset where devid <> '001'")};
    for (int n = 2; n <= count; ++n) {
        const QString id = deviceIdText(n);
        statements << QStringLiteral("insert into devices (id, devname, devaddr, DEVPOWER, TOTALPOWER, DEVCOMVERSION) "
                                     "select '%1', 'INV%2', %2, DEVPOWER, TOTALPOWER, 2 from devices "
                                     "where cast(id as integer) = 1")
                          .arg(id)
                          .arg(n)
                   << QStringLiteral("create temporary table if not exists rowcopy as select * from paraset limit 0")
                   << QStringLiteral("delete from rowcopy")
                   << QStringLiteral("insert into rowcopy select * from paraset where devid = '001'")
                   << QStringLiteral("update rowcopy set devid = '%1'").arg(id)
                   << QStringLiteral("insert into paraset select * from rowcopy");
    }
    statements << QStringLiteral("update devices set DEVCOMVERSION = 2, devaddr = 1 where cast(id as integer) = 1");
    return bench::editDatabase(home.file(QString::fromLatin1(DATABASE_FILE)), statements);
}

// One window polling `count` devices, its views switching; prints its
// resident memory after the rounds.
int memoryOfPlant(const bench::BenchHome &home, int count, int rounds)
{
    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QStringLiteral("0"), QStringLiteral("--devices"),
                    QString::number(count), QStringLiteral("--vary")})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    if (!storePlant(home, count) || !bench::loadStation(home, true))
        return 1;
    {
        // The port settings only: the window reads its devices from the database.
        Line settingsOnly(std::make_unique<QtSerialPort>());
        bench::useSimulator(settingsOnly, sim.ptyPath(), 9600, 1);
    }
    sysSettings.PauseSeconds = 65.535f;
    frmMain window;
    window.show();
    window.setComOpen(true);
    int answered = 0;
    for (int round = 0; round < rounds; ++round) {
        window.setViewMode(round % 4);
        window.poller().reloadTick();
        QApplication::processEvents();
    }
    for (const auto &device : window.line().devices())
        answered += device->linkUp() ? 1 : 0;
    window.setComOpen(false);
    std::printf("%d %lld %d\n", count, static_cast<long long>(bench::residentKb()), answered);
    return 0;
}

int memoryBench(const QStringList &args)
{
    const auto rounds = bench::intOption(args, QStringLiteral("--rounds"), 200);
    const QList<int> counts = intList(args, QStringLiteral("--devices"), {1, 32});
    if (!rounds || counts.contains(-1) || counts.size() < 2) {
        std::fprintf(stderr, "usage: round_bench --memory [--rounds R] [--devices A,B]\n");
        return 2;
    }
    QList<QPair<int, double>> results;
    for (int count : counts) {
        // A process of its own each: what one holds is not counted in the next.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--memory-one"), QString::number(count), QStringLiteral("--rounds"),
                     QString::number(*rounds)});
        if (!child.waitForFinished(600000) || child.exitCode() != 0) {
            std::fprintf(stderr, "%d devices: %s\n", count, child.readAllStandardError().constData());
            return 1;
        }
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split('\n').last().split(' ');
        const double mb = fields.value(1).toDouble() / 1024.0;
        std::printf("%2d devices: resident %6.1f MB after %d rounds with the views switching, %s devices answering\n",
                    count, mb, *rounds, fields.value(2).constData());
        results.append({count, mb});
        bench::printResult(QByteArray("round.rss_mb_x" + QByteArray::number(count)).constData(), mb, "MB");
    }
    const double growth = (results.last().second - results.first().second)
        / double(results.last().first - results.first().first);
    std::printf("growth %.3f MB per added device (goal under 1 MB); largest %.1f MB (goal under 80 MB)\n", growth,
                results.last().second);
    bench::printResult("round.rss_growth_per_device_mb", growth, "MB");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    bench::QuietMessages quiet;
    if (const qsizetype one = args.indexOf(QStringLiteral("--memory-one")); one >= 0 && one + 1 < args.size())
        return memoryOfPlant(home, args[one + 1].toInt(),
                             bench::intOption(args, QStringLiteral("--rounds"), 200).value_or(200));
    if (bench::hasFlag(args, QStringLiteral("--memory")))
        return memoryBench(args);

    const auto count = bench::intOption(args, QStringLiteral("--count"), 30);
    const QList<int> devices = intList(args, QStringLiteral("--devices"), {1, 4, 16, 32});
    QList<int> bauds;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--baud") && i + 1 < args.size())
            bauds << args[++i].toInt();
    }
    if (!count || devices.contains(-1) || bauds.contains(0)) {
        std::fprintf(stderr, "usage: round_bench [--count R] [--devices 1,4,16,32] [--baud B]...\n");
        return 2;
    }
    if (bauds.isEmpty())
        bauds = {9600, 115200};
    if (!bench::loadStation(home))
        return 1;
    for (int baud : bauds) {
        for (int n : devices) {
            if (!measureRound(baud, n, *count))
                return 1;
        }
    }
    return 0;
}
