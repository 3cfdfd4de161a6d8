// The simulator's settings: command-line options, and the scenario file that
// overrides them while it runs.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace vantoro::sim {

enum class Fault { None, NoReply, Late, WrongAddress, BadSum, BadCrc, NoTerminator, Truncated, Garbage, Split };

std::optional<Fault> faultFromName(const QString &name);
QString faultName(Fault fault);

// The values and behaviour that may change while the simulator runs.
struct DeviceSettings
{
    // Raw 16-bit words as they go on the wire (the station scales them by
    // its parameter multiples: 2300 with multiple 0.1 reads 230.0 V).
    quint16 vac = 2300;
    quint16 iac = 1000;
    quint16 vdc = 3600;
    quint16 idc = 700;
    quint16 tmod = 452;
    quint16 tamb = 253;
    quint32 energy = 123456;
    quint16 status = 0x0001;
    quint8 address = 1;
    int protocol = 0; // 0 answers both versions
    bool vary = false;
    // The solar day: a PV day on a clock that moves on with each poll.
    bool solarDay = false;
    QDateTime clockStart; // invalid: today at midnight
    int clockStep = 60;
    quint32 cloudSeed = 1;
    // Solar day: no answer at night, as an inverter powered from its DC side.
    bool silentAtNight = false;
    Fault fault = Fault::None;
    int faultEvery = 1;
    int lateMs = 4000;
    int delayMs = 0;
    int truncateTo = 20;
    int garbageBytes = 5;
    int splitPieces = 3;
    int splitGapMs = 300;
};

// Fixed for the run.
struct SimOptions
{
    DeviceSettings device;
    QString portName; // empty: a pseudo-terminal
    int baud = 9600; // 0: no pacing
    QString scenarioPath;
    QString recordPath;
    bool recordPolls = false;
    bool exitOnStdinEof = false;
    bool verbose = false;
};

// Parses the command line; on a usage error returns the message. `--help`
// is handled inside (prints and exits).
std::optional<QString> parseCommandLine(const QStringList &arguments, SimOptions &options);

// Applies the key=value lines of a scenario over `base`. Unknown keys and bad
// values are listed in `problems` and leave the setting as it was.
DeviceSettings applyScenario(const QByteArray &text, const DeviceSettings &base, QStringList &problems);

} // namespace vantoro::sim
