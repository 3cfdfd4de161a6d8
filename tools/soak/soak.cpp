// Soak run of the poll cycle: many cycles against the device simulator on a
// pseudo-terminal with faults mixed in, checking that every good reply is
// decoded, every fault is seen as one, and the memory stays flat.
//
//   vantoro-soak [--cycles N] [--seed S] [--fault-percent P]
//
// It works in a private VANTORO_HOME and settings store; the exit code is 0
// when all checks held.
#include "sim_process.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/qt_serial_port.h"
#include "core/database.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/event_log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>

using namespace vantoro;

namespace {

constexpr float TIMEOUT_SECONDS = 0.1f;
constexpr int LATE_MS = 150;
// Growth of the resident set allowed between the end of the warm-up and the
// end of the run: far below what a leak of a few hundred bytes per cycle
// would add over thousands of cycles.
constexpr qint64 RSS_GROWTH_LIMIT_KB = 2048;

// AddressSanitizer keeps freed memory in quarantine, so the resident set
// grows by design there; its leak check at exit takes the place of this one.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool RSS_MEANINGFUL = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool RSS_MEANINGFUL = false;
#else
constexpr bool RSS_MEANINGFUL = true;
#endif
#else
constexpr bool RSS_MEANINGFUL = true;
#endif

struct FaultCase
{
    const char *scenario;
    bool decoded[2]; // by protocol version 1 and 2
};

// What the simulator can do to a reply, and whether the station still takes it.
const FaultCase faultCases[] = {
    {"fault=noreply\n", {false, false}},
    {"fault=late\nlate-ms=150\n", {false, false}},
    {"fault=wrongaddr\n", {false, false}},
    {"fault=badsum\n", {true, true}}, // reported, and the reply is still used
    {"fault=noterm\n", {false, true}}, // version 2 has no terminator
    {"fault=truncated\ntruncate-to=20\n", {false, false}},
    {"fault=garbage\ngarbage-bytes=7\n", {true, true}},
    {"fault=split\nsplit-pieces=3\nsplit-gap-ms=15\n", {true, true}},
};

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

class QuietMessages : public MessageService
{
public:
    void show(const QString &, const QString &, MessageIcon) override { ++shown; }
    bool askYesNo(const QString &, const QString &) override { return false; }
    void beep() override { }
    int shown = 0;
};

bool copyDefaults(const QString &home)
{
    for (const char *name : {"vantoro.db", "VANTORO.INI", "PARAMS.INI"}) {
        const QString target = QDir(home).filePath(QString::fromLatin1(name));
        if (!QFile::copy(QDir(QStringLiteral(VANTORO_DEFAULTS_DIR)).filePath(QString::fromLatin1(name)), target))
            return false;
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // A private home and settings store before anything reads them; the
    // simulator inherits both.
    QTemporaryDir home;
    QTemporaryDir config;
    qputenv("VANTORO_HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak run of the poll cycle against the device simulator."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("cycles"), QStringLiteral("Poll cycles to run (default 20000)."), QStringLiteral("n"),
                      QStringLiteral("20000")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the fault sequence (default: random)."),
                      QStringLiteral("s")});
    parser.addOption({QStringLiteral("fault-percent"), QStringLiteral("Share of faulted cycles (default 20)."),
                      QStringLiteral("p"), QStringLiteral("20")});
    parser.process(app);
    const int cycles = qMax(1, parser.value(QStringLiteral("cycles")).toInt());
    const int faultPercent = qBound(0, parser.value(QStringLiteral("fault-percent")).toInt(), 100);
    const quint32 seed = parser.isSet(QStringLiteral("seed")) ? parser.value(QStringLiteral("seed")).toUInt()
                                                              : QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    // Memory is compared from here on: caches and the running log have filled by then.
    const int warmUp = qMin(cycles / 2, qMax(50, cycles / 10));

    if (!copyDefaults(home.path())) {
        std::fprintf(stderr, "soak: the default files are missing in %s\n", VANTORO_DEFAULTS_DIR);
        return 2;
    }
    QuietMessages messages;
    setMessageService(&messages);
    initGlobals();
    Line line(std::make_unique<QtSerialPort>());
    if (!loadSystemSettings() || !line.load()) {
        std::fprintf(stderr, "soak: the default database did not load\n");
        return 2;
    }

    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QStringLiteral("0")})) {
        std::fprintf(stderr, "soak: simulator: %s\n", qPrintable(sim.errorText()));
        return 2;
    }
    setPortDeviceName(1, sim.ptyPath());

    SystemSettings &s = sysSettings;
    s.comport = 1;
    s.ComSettings = QStringLiteral("9600,N,8,1");
    s.TimeOut = TIMEOUT_SECONDS;
    s.retrytimes = 0;
    Device &device = *line.first();
    DeviceRecord record = device.record();
    record.address = 1;
    record.name = QStringLiteral("INV");
    record.meterCounter = true;
    device.setRecord(record);
    device.link().linkOk = 1;
    ParamTable &table = device.table();
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000); // polling on; the loop drives the ticks

    int goodExpected = 0, goodDecoded = 0, faultsExpected = 0, faultsSeen = 0, wrong = 0;
    qint64 rssWarm = -1, rssMax = 0;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const int version = 1 + int(random.bounded(2));
        const quint32 word = 2000 + random.bounded(600u);
        const bool faulted = int(random.bounded(100)) < faultPercent;
        const FaultCase *fault = faulted ? &faultCases[random.bounded(int(std::size(faultCases)))] : nullptr;
        const bool expectDecoded = !fault || fault->decoded[version - 1];

        record.protocol = version;
        device.setRecord(record);
        QString scenario = QStringLiteral("vac=%1\n").arg(word);
        if (fault)
            scenario += QString::fromLatin1(fault->scenario);
        if (!sim.writeScenario(scenario)) {
            std::fprintf(stderr, "soak: scenario not written\n");
            return 2;
        }
        table[2].paravalue = -1.0;
        poller.reloadTick();
        const bool decoded = table[2].number() == roundToMultiple(word * table[2].multiple, table[2].multiple);
        const bool linkUp = device.linkUp();

        if (expectDecoded) {
            ++goodExpected;
            goodDecoded += decoded && linkUp ? 1 : 0;
        } else {
            ++faultsExpected;
            faultsSeen += !decoded && !linkUp ? 1 : 0;
        }
        if (decoded != expectDecoded || linkUp != expectDecoded) {
            ++wrong;
            std::fprintf(stderr, "soak: cycle %d (v%d, %s): decoded %d, link %d\n", cycle, version,
                         fault ? fault->scenario : "no fault", int(decoded), int(linkUp));
        }
        // A late reply lands while the port is closed, before the next tick.
        if (fault && QByteArray(fault->scenario).contains("late"))
            QThread::msleep(LATE_MS - ulong(TIMEOUT_SECONDS * 1000) + 30);

        const qint64 rss = residentKb();
        rssMax = qMax(rssMax, rss);
        if (cycle == warmUp)
            rssWarm = rss;
        if (cycle % 1000 == 0)
            std::printf("cycle %d: %lld kB resident, %.1f s\n", cycle, rss, double(clock.elapsed()) / 1000.0);
    }
    const qint64 rssEnd = residentKb();
    const qint64 growth = rssEnd - rssWarm;
    setMessageService(nullptr);

    std::printf("seed %u: %d cycles in %.1f s; good replies %d expected, %d decoded; faults %d injected, %d seen; "
                "%d mismatches\n",
                seed, cycles, double(clock.elapsed()) / 1000.0, goodExpected, goodDecoded, faultsExpected, faultsSeen,
                wrong);
    std::printf("resident memory: %lld kB after %d warm-up cycles, %lld kB at the end (%+lld kB), %lld kB at most\n",
                rssWarm, warmUp, rssEnd, growth, rssMax);
    const bool measured = RSS_MEANINGFUL && rssWarm > 0 && rssEnd > 0;
    const bool memoryFlat = !measured || growth <= RSS_GROWTH_LIMIT_KB;
    if (rssWarm <= 0 || rssEnd <= 0)
        std::printf("the resident set cannot be read here: memory not checked\n");
    else if (!RSS_MEANINGFUL)
        std::printf("built with AddressSanitizer: memory is checked by its leak check, not by the resident set\n");
    else if (!memoryFlat)
        std::printf("memory grew by more than %lld kB\n", RSS_GROWTH_LIMIT_KB);
    return wrong == 0 && goodDecoded == goodExpected && faultsSeen == faultsExpected && memoryFlat ? 0 : 1;
}
