// Command-line and scenario settings of the device simulator.
#include "sim_options.h"

#include "solar_day.h"

#include "core/system_settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace vantoro::sim {

namespace {

struct FaultName
{
    Fault fault;
    const char *name;
};

constexpr FaultName FAULT_NAMES[] = {
    {Fault::None, "none"},
    {Fault::NoReply, "noreply"},
    {Fault::Late, "late"},
    {Fault::WrongAddress, "wrongaddr"},
    {Fault::BadSum, "badsum"},
    {Fault::BadCrc, "badcrc"},
    {Fault::NoTerminator, "noterm"},
    {Fault::Truncated, "truncated"},
    {Fault::Garbage, "garbage"},
    {Fault::Split, "split"},
    {Fault::Drop, "drop"},
    {Fault::Mute, "mute"},
    {Fault::Half, "half"},
};

std::optional<qint64> parseInteger(const QString &text)
{
    bool ok = false;
    const QString t = text.trimmed();
    const qint64 value
        = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toLongLong(&ok, 16) : t.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

bool setInRange(const QString &text, qint64 low, qint64 high, const std::function<void(qint64)> &store)
{
    const auto value = parseInteger(text);
    if (!value || *value < low || *value > high)
        return false;
    store(*value);
    return true;
}

bool setWord(const QString &text, quint16 &word)
{
    return setInRange(text, 0, 0xFFFF, [&](qint64 v) { word = quint16(v); });
}

// Temperatures are sign-magnitude words: a negative number is stored as
// bit 15 plus its magnitude.
bool setSignMagnitudeWord(const QString &text, quint16 &word)
{
    return setInRange(text, -0x7FFF, 0xFFFF, [&](qint64 v) { word = v < 0 ? quint16(0x8000 | -v) : quint16(v); });
}

bool setInt(const QString &text, int low, int high, int &target)
{
    return setInRange(text, low, high, [&](qint64 v) { target = int(v); });
}

bool setFlag(const QString &text, bool &flag)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("1") || t == QLatin1String("on") || t == QLatin1String("true") || t == QLatin1String("yes"))
        flag = true;
    else if (t == QLatin1String("0") || t == QLatin1String("off") || t == QLatin1String("false")
        || t == QLatin1String("no"))
        flag = false;
    else
        return false;
    return true;
}

struct DeviceKey
{
    const char *name;
    const char *valueName;
    const char *description;
    bool flagOnCommandLine;
    std::function<bool(DeviceSettings &, const QString &)> set;
};

const std::vector<DeviceKey> &deviceKeys()
{
    static const std::vector<DeviceKey> keys = {
        {"vac", "word", "AC output voltage word (default 2300).", false,
            [](DeviceSettings &d, const QString &v) { return setWord(v, d.vac); }},
        {"iac", "word", "AC output current word (default 1000).", false,
            [](DeviceSettings &d, const QString &v) { return setWord(v, d.iac); }},
        {"vdc", "word", "DC input voltage word (default 3600).", false,
            [](DeviceSettings &d, const QString &v) { return setWord(v, d.vdc); }},
        {"idc", "word", "DC input current word (default 700).", false,
            [](DeviceSettings &d, const QString &v) { return setWord(v, d.idc); }},
        {"tmod", "word", "Module temperature, sign-magnitude word; a negative number sets bit 15 (default 452).", false,
            [](DeviceSettings &d, const QString &v) { return setSignMagnitudeWord(v, d.tmod); }},
        {"tamb", "word", "Ambient temperature, sign-magnitude word; a negative number sets bit 15 (default 253).",
            false, [](DeviceSettings &d, const QString &v) { return setSignMagnitudeWord(v, d.tamb); }},
        {"energy", "count", "Energy counter (default 123456; version 1 sends its low 24 bits).", false,
            [](DeviceSettings &d, const QString &v) {
                return setInRange(v, 0, 0xFFFFFFFFLL, [&](qint64 x) { d.energy = quint32(x); });
            }},
        {"status", "word", "Status word, one bit per status parameter (default 0x0001: running).", false,
            [](DeviceSettings &d, const QString &v) { return setWord(v, d.status); }},
        {"address", "n", "Device address 0..255 (default 1); with --devices N the first one.", false,
            [](DeviceSettings &d, const QString &v) {
                return setInRange(v, 0, 255, [&](qint64 x) { d.address = quint8(x); });
            }},
        {"protocol", "1|2|both", "Which polls are answered (default both).", false,
            [](DeviceSettings &d, const QString &v) {
                if (v.trimmed().toLower() == QLatin1String("both")) {
                    d.protocol = 0;
                    return true;
                }
                return setInt(v, 1, 2, d.protocol);
            }},
        {"vary", "0|1",
            "Values drift on a slow sine (about 2 %, 60 s period) and the energy counts up with the AC power the "
            "words give at the default table's multiples (--vac 2300 and --iac 1000: 2.3 kW, one count of 0.1 kWh "
            "in about 2.6 minutes).",
            true, [](DeviceSettings &d, const QString &v) { return setFlag(v, d.vary); }},
        {"solar-day", "0|1",
            "A PV day on the simulated clock: the words above become the plant at full sun (tamb the day's mean "
            "ambient) and follow the sun, passing clouds and the day's warmth; see Solar day above.",
            true, [](DeviceSettings &d, const QString &v) { return setFlag(v, d.solarDay); }},
        {"clock-start", "time",
            "Solar day: local time of the first poll, yyyy-MM-ddTHH:mm[:ss] (default: today 00:00).", false,
            [](DeviceSettings &d, const QString &v) {
                const QDateTime time = QDateTime::fromString(v.trimmed(), Qt::ISODate);
                if (time.isValid())
                    d.clockStart = time;
                return time.isValid();
            }},
        {"clock-step", "seconds", "Solar day: simulated seconds each poll moves the clock on (default 60).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 1, 86400, d.clockStep); }},
        {"cloud-seed", "n", "Solar day: 0 a clear sky, any other number its own passing clouds (default 1).", false,
            [](DeviceSettings &d, const QString &v) {
                return setInRange(v, 0, 0xFFFFFFFFLL, [&](qint64 x) { d.cloudSeed = quint32(x); });
            }},
        {"silent-at-night", "0|1",
            "Solar day: no answer from the end of dusk to the start of dawn (the sun 6 degrees below the horizon); "
            "in twilight the inverter answers, standing by.",
            true, [](DeviceSettings &d, const QString &v) { return setFlag(v, d.silentAtNight); }},
        {"fault", "name",
            "Fault to inject: none, noreply, late, wrongaddr, badsum, badcrc, noterm, truncated, garbage, split.",
            false,
            [](DeviceSettings &d, const QString &v) {
                const auto fault = faultFromName(v);
                if (fault)
                    d.fault = *fault;
                return fault.has_value();
            }},
        {"fault-every", "n", "Inject the fault on every n-th answered request only (default 1: every one).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 1, 1000000, d.faultEvery); }},
        {"late-ms", "ms", "Delay of a late reply (default 4000).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 0, 600000, d.lateMs); }},
        {"delay-ms", "ms", "Turn-around time before every reply (default 0).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 0, 600000, d.delayMs); }},
        {"truncate-to", "n", "Bytes sent of a truncated reply (default 20).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 0, 32, d.truncateTo); }},
        {"garbage-bytes", "n", "Garbage bytes sent before the head (default 5).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 1, 1000, d.garbageBytes); }},
        {"split-pieces", "n", "Pieces of a split reply (default 3).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 2, 33, d.splitPieces); }},
        {"split-gap-ms", "ms", "Pause between the pieces of a split reply (default 300).", false,
            [](DeviceSettings &d, const QString &v) { return setInt(v, 0, 600000, d.splitGapMs); }},
    };
    return keys;
}

const DeviceKey *keyNamed(const QString &name)
{
    for (const DeviceKey &key : deviceKeys()) {
        if (name == QLatin1String(key.name))
            return &key;
    }
    return nullptr;
}

// The addresses are the line's layout: no device moves alone.
bool aimable(const DeviceKey &key)
{
    return std::strcmp(key.name, "address") != 0;
}

constexpr QChar AIM_MARK = QLatin1Char('@');

struct SplitValue
{
    QString value;
    std::optional<quint8> address; // none: every device
    bool ok = true;
};

// VALUE@ADDR aims a value at the device at ADDR.
SplitValue splitAim(const QString &text)
{
    const qsizetype at = text.lastIndexOf(AIM_MARK);
    if (at < 0)
        return {text, std::nullopt};
    const auto address = parseInteger(text.mid(at + 1));
    if (!address || *address < 0 || *address > 255)
        return {text, std::nullopt, false};
    return {text.left(at).trimmed(), quint8(*address)};
}

// The devices of --devices N differ by position, so a plant shows
// different numbers: full, 90 %, 80 %, 70 %, then full again.
constexpr double POSITION_SHARE_STEP = 0.1;
constexpr int POSITION_SHARE_CYCLE = 4;

quint16 scaledWord(quint16 word, double share)
{
    return quint16(std::clamp(std::round(word * share), 0.0, double(0xFFFF)));
}

DeviceSettings plantDeviceSettings(const DeviceSettings &common, const PlantDevice &device, int index)
{
    DeviceSettings s = common;
    s.address = device.address;
    s.iac = scaledWord(common.iac, device.share);
    s.idc = scaledWord(common.idc, device.share);
    s.energy = quint32(std::clamp(std::round(common.energy * device.share), 0.0, double(0xFFFFFFFFU)));
    // Each roof its own clouds; a clear sky stays clear for all.
    if (common.cloudSeed != 0)
        s.cloudSeed = common.cloudSeed + quint32(index);
    return s;
}

// --devices: a count N from the first address on, or a list of ADDR[:RATING].
std::optional<QString> parsePlant(const QString &text, bool firstAddressGiven, SimOptions &options)
{
    const QString t = text.trimmed();
    if (!t.contains(QLatin1Char(':')) && !t.contains(QLatin1Char(','))) {
        const int first = options.device.address;
        const auto count = parseInteger(t);
        if (!count || *count < 1 || first + *count - 1 > 255)
            return QStringLiteral("bad --devices value: %1 (a count 1..%2 from address %3, or a list)")
                .arg(t)
                .arg(256 - first)
                .arg(first);
        for (int i = 0; i < int(*count); ++i)
            options.plant.append(
                {quint8(first + i), 1.0 - POSITION_SHARE_STEP * double(i % POSITION_SHARE_CYCLE)});
        return std::nullopt;
    }
    if (firstAddressGiven)
        return QStringLiteral("--address goes with a count in --devices; a list names its own addresses");
    const DeviceSettings &d = options.device;
    const double commonWatts = d.vac * DEFAULT_AC_VOLTAGE_MULTIPLE * d.iac * DEFAULT_AC_CURRENT_MULTIPLE;
    QSet<int> seen;
    for (const QString &item : t.split(QLatin1Char(','))) {
        const QString addressText = item.section(QLatin1Char(':'), 0, 0);
        const auto address = parseInteger(addressText);
        if (!address || *address < 0 || *address > 255)
            return QStringLiteral("bad address in --devices: %1").arg(item.trimmed());
        if (seen.contains(int(*address)))
            return QStringLiteral("address %1 is given twice in --devices").arg(*address);
        seen.insert(int(*address));
        PlantDevice device{quint8(*address), 1.0};
        if (item.contains(QLatin1Char(':'))) {
            const QString rating = item.section(QLatin1Char(':'), 1).trimmed();
            const double watts = ratingWatts(rating);
            if (watts <= 0)
                return QStringLiteral("bad rating in --devices: %1 (e.g. 1K5, 3K, 5K)").arg(item.trimmed());
            if (commonWatts <= 0)
                return QStringLiteral("a rating in --devices needs --vac and --iac above 0");
            device.share = watts / commonWatts;
        }
        options.plant.append(device);
    }
    return std::nullopt;
}

// The scenario's lines over `base`; values aimed at one device go to `aimed`.
DeviceSettings applyScenario(
    const QByteArray &text, const DeviceSettings &base, bool plant, QStringList &problems, QList<AimedValue> &aimed)
{
    DeviceSettings settings = base;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            problems << QStringLiteral("no '=' in: %1").arg(line);
            continue;
        }
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        const DeviceKey *k = keyNamed(key);
        if (!k) {
            problems << QStringLiteral("unknown key: %1").arg(key);
            continue;
        }
        const SplitValue split = splitAim(value);
        if (!split.ok) {
            problems << QStringLiteral("bad address in: %1").arg(line);
        } else if ((split.address || plant) && !aimable(*k)) {
            problems << QStringLiteral("the address can be neither aimed nor, with --devices, changed: %1").arg(line);
        } else if (split.address) {
            DeviceSettings check = settings;
            if (k->set(check, split.value))
                aimed.append({*split.address, key, split.value});
            else
                problems << QStringLiteral("bad value for %1: %2").arg(key, split.value);
        } else if (!k->set(settings, value)) {
            problems << QStringLiteral("bad value for %1: %2").arg(key, value);
        }
    }
    return settings;
}

const char *DESCRIPTION = R"(Plays the PV inverter on a serial line for the Vantoro station, or several
inverters on one line (--devices).

Without --port it opens a pseudo-terminal and prints its path as the first line
of standard output ("PTY /dev/pts/N"); point the station's port at it (per-user
value Ports/Com<n>). With --port it opens that serial device ("PORT <name>").

It answers version-1 polls (EB 90 addr CF A0 00 00 sumLo sumHi 0D; other
addresses and bad checksums are ignored) and version-2 polls (addr 03 08 00,
8 data bytes, CRC; other addresses and bad CRCs are ignored) with a 33-byte
reply, and control frames (function 16, address 1 or the device address) with a
33-byte reply headed 01 10 1B 00 carrying the current values. Set frames
(FF, then EB h1 h2 d0..d6 sumLo sumHi 0D) are recorded, not answered.

Values are raw words as they go on the wire; the station applies its own
multiples (with the default table, --vac 2300 reads 230.0 V, --iac 1000
10.00 A, --tmod 452 45.2 degrees C, --energy 123456 12345.6 kWh). Numbers may
be written in hexadecimal with 0x.

Pacing: with --baud B > 0 each byte takes 10 bits' time in both directions: a
request counts as received when its last byte would have arrived, and reply
bytes are written one at a time at the line rate. --baud 0 sends at once. A
real port (--port) runs at B (9600 when 0) and is paced by its hardware.

Faults (--fault, or fault= in the scenario), applied to poll and control replies:
  none       normal replies
  noreply    nothing is sent
  late       the reply is sent after --late-ms
  wrongaddr  the reply carries address + 1 (checksum or CRC made to match)
  badsum     version 1: checksum off by one; version 2: as badcrc
  badcrc     version 2: CRC off by one; version 1: as badsum
  noterm     version 1: last byte 00 instead of 0D; version 2 has no
             terminator and is sent unchanged
  truncated  only the first --truncate-to bytes are sent
  garbage    --garbage-bytes bytes (never the head's first byte) precede the reply
  split      the reply goes in --split-pieces pieces, --split-gap-ms apart
  half       only the first half of the reply is sent
  drop       the first half of the reply is sent, then the connection is
             closed (--tcp, --modbus-tcp; elsewhere as half)
  mute       the request is taken and never answered, as by a gateway whose
             serial side is dead

Several devices (--devices): one line carries them all, as an RS-485 bus does;
each request is answered by the device with its address only, and a request
for an address no device has gets no answer. --devices N puts N devices at
addresses --address (default 1) onwards; their currents and energy counters
are those given times 100, 90, 80, 70 % by position (then 100 % again).
--devices 1:3K,2,7:5K names the addresses, each with an optional power rating
(1K5, 2K, 2K5, 3K, 5K, ...): a rated device's currents and counter are those
given times the rating over the full-sun AC power of --vac and --iac (2.3 kW
by default); one without a rating takes the values as given. Every device has
its own fault counter, energy count and solar-day clock, which moves on only
with the requests addressed to it, and from a --cloud-seed other than 0 its
own clouds (the seed plus its position). Control frames go to their address
only; a lone device also takes those for address 1.

Aiming at one device: any value below may end in @ADDR, on the command line
(--fault noreply@2, repeated for several) or in the scenario (fault=noreply@2,
status=0x0101@3), and is then that device's own: it wins over the value for
every device, wherever each is given, the scenario's aims over the command
line's. Flags aim in the scenario only (silent-at-night=1@2); the address
cannot be aimed, and with --devices the scenario cannot change it. To take
one device off the line and back while it runs, write fault=noreply@ADDR into
the scenario and remove it again.

Scenario file (--scenario): key=value lines with the keys of the device
options below (vac, iac, vdc, idc, tmod, tamb, energy, status, address,
protocol, vary, solar-day, clock-start, clock-step, cloud-seed, silent-at-night, fault,
fault-every, late-ms, delay-ms, truncate-to, garbage-bytes, split-pieces,
split-gap-ms); # starts a comment. It is read
again before every request and applied over the command-line values when its
text changed, so a running test can switch a fault on or off (replace the file
in one step, by writing a new file and renaming it). A key given as a flag on
the command line (--vary) takes 0 or 1 in the scenario.

Solar day (--solar-day): the device plays a PV plant through a day on a
simulated clock that starts at --clock-start and moves on by --clock-step
seconds with every poll or control request addressed to it, answered or not
(a fault does not stop the clock). So a station polling 1440 times with a step
of 60 s records a whole day, whatever its own clock says. The sun rises and
sets as at latitude 48 degrees on that date (solar noon at 13:00), clouds pass
as --cloud-seed gives them; the AC current follows the sunshine up to --iac,
the DC voltage sits near --vdc, the DC current carries the AC power at the
full-sun ratio of the words, the module temperature rises above the ambient
by up to tmod - tamb, and the AC voltage wanders a little around --vac. At
night the inverter stands by: status bit 0 clear, DC voltage and both
currents zero. The energy counter starts at --energy and adds the AC power
over each clock step, at the default table's multiples (0.1 V, 0.01 A,
0.1 kWh per count), so it never goes backwards. --vary has no effect then.
With --silent-at-night the inverter, powered from its modules, stops
answering once dusk's twilight is over and answers again in dawn's; the
clock moves on all night, so the next morning comes.

Record file (--record): one line per frame received, flushed at once:
  <local time yyyy-MM-ddTHH:mm:ss.zzz> <kind> <hex bytes>
kinds: set (the 13-byte frame, preceded by FF when the wake-up byte came),
set-badsum, control, and with --record-polls also poll-v1 and poll-v2.

A network gateway (--tcp PORT or --modbus-tcp PORT): the same devices are
served on 127.0.0.1 (::1 with --ipv6) at PORT, 0 for a port the system picks;
the first line of standard output is the address to give the station
("TCP tcp://127.0.0.1:PORT", "MODBUS-TCP modbus-tcp://127.0.0.1:PORT"). One
connection is served at a time; a new one replaces the old. --tcp passes the
bytes through both ways. --modbus-tcp takes MBAP requests (protocol 2), hands
them to the devices as CRC frames and sends each reply back under an MBAP
header with the request's transaction id, unit id = the reply's first byte
and length 31, without its CRC (so badcrc is not seen there); a reply cut
short is cut short on the connection too. Pacing (--baud) applies to the
replies as on a line; --baud 0 for none.

It stops cleanly on SIGTERM and SIGINT; with --exit-on-stdin-eof also when its
standard input closes.)";

} // namespace

std::optional<Fault> faultFromName(const QString &name)
{
    const QString n = name.trimmed().toLower();
    for (const FaultName &f : FAULT_NAMES) {
        if (n == QLatin1String(f.name))
            return f.fault;
    }
    return std::nullopt;
}

QString faultName(Fault fault)
{
    for (const FaultName &f : FAULT_NAMES) {
        if (f.fault == fault)
            return QString::fromLatin1(f.name);
    }
    return QString();
}

std::optional<QString> parseCommandLine(const QStringList &arguments, SimOptions &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(DESCRIPTION));
    parser.addHelpOption();

    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Serial device to open instead of a pseudo-terminal."), QStringLiteral("device"));
    const QCommandLineOption baud(QStringLiteral("baud"),
        QStringLiteral("Line rate for pacing; 0 = no pacing (default 9600)."), QStringLiteral("rate"),
        QStringLiteral("9600"));
    const QCommandLineOption scenario(
        QStringLiteral("scenario"), QStringLiteral("Scenario file of key=value lines."), QStringLiteral("file"));
    const QCommandLineOption record(QStringLiteral("record"),
        QStringLiteral("File receiving one line per set or control frame."), QStringLiteral("file"));
    const QCommandLineOption recordPolls(QStringLiteral("record-polls"), QStringLiteral("Record polls as well."));
    const QCommandLineOption stdinEof(
        QStringLiteral("exit-on-stdin-eof"), QStringLiteral("Exit when standard input closes."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Trace frames on standard error."));
    const QCommandLineOption devices(QStringLiteral("devices"),
        QStringLiteral("Several devices on the line: a count N (addresses --address onwards) or a list "
                       "ADDR[:RATING],...; see Several devices above."),
        QStringLiteral("N|list"));
    const QCommandLineOption tcp(QStringLiteral("tcp"),
        QStringLiteral("Serve the devices as a transparent gateway on loopback at this TCP port (0: any)."),
        QStringLiteral("port"));
    const QCommandLineOption modbusTcp(QStringLiteral("modbus-tcp"),
        QStringLiteral("Serve the devices as a Modbus TCP gateway on loopback at this TCP port (0: any)."),
        QStringLiteral("port"));
    const QCommandLineOption ipv6(QStringLiteral("ipv6"), QStringLiteral("Listen on ::1 instead of 127.0.0.1."));
    parser.addOptions({port, baud, scenario, record, recordPolls, stdinEof, verbose, devices, tcp, modbusTcp, ipv6});

    std::vector<QCommandLineOption> deviceOptions;
    for (const DeviceKey &key : deviceKeys()) {
        if (key.flagOnCommandLine)
            deviceOptions.emplace_back(QString::fromLatin1(key.name), QString::fromLatin1(key.description));
        else
            deviceOptions.emplace_back(QString::fromLatin1(key.name), QString::fromLatin1(key.description),
                QString::fromLatin1(key.valueName));
        parser.addOption(deviceOptions.back());
    }

    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst());

    options.portName = parser.value(port);
    const int networkForms = int(parser.isSet(tcp)) + int(parser.isSet(modbusTcp)) + int(parser.isSet(port));
    if (networkForms > 1)
        return QStringLiteral("--port, --tcp and --modbus-tcp exclude one another");
    if (parser.isSet(tcp) || parser.isSet(modbusTcp)) {
        const QString value = parser.value(parser.isSet(tcp) ? tcp : modbusTcp);
        if (!setInt(value, 0, 65535, options.tcpPort))
            return QStringLiteral("bad TCP port: %1").arg(value);
        options.modbusTcp = parser.isSet(modbusTcp);
    }
    options.ipv6 = parser.isSet(ipv6);
    if (!setInt(parser.value(baud), 0, 4000000, options.baud))
        return QStringLiteral("bad --baud value: %1").arg(parser.value(baud));
    options.scenarioPath = parser.value(scenario);
    options.recordPath = parser.value(record);
    options.recordPolls = parser.isSet(recordPolls);
    options.exitOnStdinEof = parser.isSet(stdinEof);
    options.verbose = parser.isSet(verbose);

    const auto &keys = deviceKeys();
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!parser.isSet(deviceOptions[i]))
            continue;
        const QString name = QString::fromLatin1(keys[i].name);
        const QStringList values
            = keys[i].flagOnCommandLine ? QStringList{QStringLiteral("1")} : parser.values(deviceOptions[i]);
        for (const QString &value : values) {
            const SplitValue split = splitAim(value);
            if (!split.ok)
                return QStringLiteral("bad address in --%1 value: %2").arg(name, value);
            if (split.address && !aimable(keys[i]))
                return QStringLiteral("--%1 cannot be aimed at one device").arg(name);
            DeviceSettings check = options.device;
            if (!keys[i].set(split.address ? check : options.device, split.value))
                return QStringLiteral("bad --%1 value: %2").arg(name, value);
            if (split.address)
                options.aimed.append({*split.address, name, split.value});
        }
    }

    if (parser.isSet(devices)) {
        if (const auto error = parsePlant(parser.value(devices), parser.isSet(QStringLiteral("address")), options))
            return error;
    }
    for (const AimedValue &value : options.aimed) {
        const bool present = options.plant.isEmpty()
            ? value.address == options.device.address
            : std::any_of(options.plant.cbegin(), options.plant.cend(),
                  [&](const PlantDevice &d) { return d.address == value.address; });
        if (!present)
            return QStringLiteral("no device at address %1 for --%2 %3@%1")
                .arg(value.address)
                .arg(value.key, value.value);
    }
    return std::nullopt;
}

QList<DeviceSettings> lineSettings(const SimOptions &options, const QByteArray &scenario, QStringList &problems)
{
    QList<AimedValue> aimed = options.aimed;
    const DeviceSettings common = applyScenario(scenario, options.device, !options.plant.isEmpty(), problems, aimed);
    QList<DeviceSettings> line;
    if (options.plant.isEmpty())
        line.append(common);
    for (int i = 0; i < options.plant.size(); ++i)
        line.append(plantDeviceSettings(common, options.plant[i], i));
    for (const AimedValue &value : aimed) {
        const auto device = std::find_if(
            line.begin(), line.end(), [&](const DeviceSettings &d) { return d.address == value.address; });
        if (device == line.end())
            problems << QStringLiteral("no device at address %1 for %2=%3@%1")
                            .arg(value.address)
                            .arg(value.key, value.value);
        else
            keyNamed(value.key)->set(*device, value.value);
    }
    return line;
}

} // namespace vantoro::sim
