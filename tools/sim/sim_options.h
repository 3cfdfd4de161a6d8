// The simulator's settings: command-line options, and the scenario file that
// overrides them while it runs.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace vantoro::sim {

enum class Fault { None, NoReply, Late, WrongAddress, BadSum, BadCrc, NoTerminator, Truncated, Garbage, Split, Drop, Mute, Half };

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

// A value given for one device of the line only, written VALUE@ADDR.
struct AimedValue
{
    quint8 address = 0;
    QString key;
    QString value;
};

// One device of a line of several.
struct PlantDevice
{
    quint8 address = 1;
    // Its full-sun currents and its energy counter as a share of the common
    // values: a rating over the common full-sun power, or a share by position.
    double share = 1.0;
};

// Fixed for the run.
struct SimOptions
{
    DeviceSettings device; // the values common to every device
    QList<AimedValue> aimed; // command-line values aimed at one device
    QList<PlantDevice> plant; // empty: the one device of `device`
    QString portName; // empty: a pseudo-terminal
    // A gateway on loopback instead of a line: -1 none, 0 a port the system picks.
    int tcpPort = -1;
    bool modbusTcp = false;
    bool ipv6 = false;
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

// The settings of every device on the line, in line order: the key=value
// lines of a scenario applied over the command-line values, the plant's
// shares, then the values aimed at single devices (the scenario's last).
// Unknown keys, bad values and aims at absent addresses are listed in
// `problems` and leave the setting as it was.
QList<DeviceSettings> lineSettings(const SimOptions &options, const QByteArray &scenario, QStringList &problems);

} // namespace vantoro::sim
