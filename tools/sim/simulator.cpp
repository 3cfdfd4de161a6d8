// The simulator's request loop.
#include "simulator.h"

#include "device_link.h"

#include <QDateTime>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace vantoro::sim {

namespace {

// A partial frame older than this when new bytes come is dropped: the
// station never pauses that long inside a frame (its longest gap is the
// 13 ms between the bytes of a set frame).
constexpr qint64 FRAME_GAP_NS = 100LL * 1000000;
constexpr qint64 NS_PER_MS = 1000000;
// Time for the half reply to leave before the connection goes.
constexpr int DROP_AFTER_REPLY_MS = 5;

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString kindName(Request::Kind kind)
{
    switch (kind) {
    case Request::Kind::PollV1:
        return QStringLiteral("poll-v1");
    case Request::Kind::PollV2:
        return QStringLiteral("poll-v2");
    case Request::Kind::Control:
        return QStringLiteral("control");
    case Request::Kind::OtherCrc:
        return QStringLiteral("crc-other");
    case Request::Kind::Set:
        return QStringLiteral("set");
    case Request::Kind::SetBadSum:
        return QStringLiteral("set-badsum");
    }
    return QString();
}

} // namespace

Simulator::Simulator(const SimOptions &options, DeviceLink &link, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_link(link)
    , m_pacer([&link](const QByteArray &bytes) { link.write(bytes); }, link.pacedByHardware() ? 0 : options.baud, this)
{
    QStringList problems; // none without a scenario: the command line was checked
    const QList<DeviceSettings> line = lineSettings(m_options, QByteArray(), problems);
    for (const DeviceSettings &settings : line)
        m_devices.emplace_back(settings, line.size() == 1);
    connect(&m_link, &DeviceLink::received, this, &Simulator::onReceived);
}

std::optional<QString> Simulator::start()
{
    if (!m_options.recordPath.isEmpty()) {
        m_record.setFileName(m_options.recordPath);
        if (!m_record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return QStringLiteral("cannot open record file %1: %2").arg(m_options.recordPath, m_record.errorString());
    }
    reloadScenario();
    return std::nullopt;
}

double Simulator::secondsRunning() const
{
    return double(m_pacer.nowNs()) / 1e9;
}

void Simulator::onReceived(const QByteArray &bytes)
{
    const qint64 now = m_pacer.nowNs();
    if (m_parser.hasPartialFrame() && m_lastByteNs >= 0 && now - m_lastByteNs > FRAME_GAP_NS) {
        trace(QStringLiteral("partial frame dropped"));
        m_parser.clear();
    }
    m_lastByteNs = now;

    // Each byte is taken as fully received once its own wire time has passed
    // after the previous one, so a request ends where it would on a real line.
    for (char byte : bytes) {
        m_inboundWireNs = std::max(now, m_inboundWireNs) + m_pacer.byteNs();
        for (const Request &request : m_parser.feed(QByteArray(1, byte)))
            handle(request, m_inboundWireNs);
    }
}

void Simulator::handle(const Request &request, qint64 endNs)
{
    reloadScenario();
    const QString kind = kindName(request.kind);
    trace(QStringLiteral("<- %1 %2").arg(kind, hexBytes(request.bytes)));

    const bool isPoll = request.kind == Request::Kind::PollV1 || request.kind == Request::Kind::PollV2;
    if (!isPoll || m_options.recordPolls)
        record(kind, request.bytes);

    DeviceModel *device = addressedDevice(request);
    const QList<ReplyPiece> pieces = device ? device->answer(request, secondsRunning()) : QList<ReplyPiece>();
    if (pieces.isEmpty()) {
        trace(QStringLiteral("-> (nothing)"));
        return;
    }
    const QString fault = device->lastWasFaulted() ? faultName(device->settings().fault) : QStringLiteral("none");
    bool first = true;
    for (const ReplyPiece &piece : pieces) {
        trace(QStringLiteral("-> [%1, +%2 ms] %3").arg(fault).arg(piece.delayMs).arg(hexBytes(piece.bytes)));
        const qint64 delayNs = qint64(piece.delayMs) * NS_PER_MS;
        if (first)
            m_pacer.send(piece.bytes, endNs + delayNs, 0);
        else
            m_pacer.send(piece.bytes, 0, delayNs);
        first = false;
    }
    if (device->lastWasFaulted() && device->settings().fault == Fault::Drop) {
        // The half reply leaves first: after its delay and its wire time.
        qint64 lastNs = endNs;
        for (const ReplyPiece &piece : pieces)
            lastNs += qint64(piece.delayMs) * NS_PER_MS + m_pacer.byteNs() * piece.bytes.size();
        const int afterMs = int(std::max<qint64>(0, lastNs - m_pacer.nowNs()) / NS_PER_MS) + DROP_AFTER_REPLY_MS;
        QTimer::singleShot(afterMs, &m_link, &DeviceLink::dropConnection);
    }
}

DeviceModel *Simulator::addressedDevice(const Request &request)
{
    // Addresses are unique on the line, so at most one device answers.
    const auto device = std::find_if(
        m_devices.begin(), m_devices.end(), [&](const DeviceModel &d) { return d.answers(request); });
    return device == m_devices.end() ? nullptr : &*device;
}

void Simulator::reloadScenario()
{
    if (m_options.scenarioPath.isEmpty())
        return;
    QFile file(m_options.scenarioPath);
    const bool readable = file.open(QIODevice::ReadOnly);
    const QByteArray text = readable ? file.readAll() : QByteArray();
    if (m_scenarioRead && readable == m_scenarioReadable && text == m_scenarioText)
        return;
    m_scenarioRead = true;
    m_scenarioReadable = readable;
    m_scenarioText = text;
    if (!readable)
        std::fprintf(stderr, "vantoro-sim: cannot read scenario %s; using the command-line values\n",
            qPrintable(m_options.scenarioPath));
    QStringList problems;
    const QList<DeviceSettings> line = lineSettings(m_options, text, problems);
    QStringList faults;
    for (size_t i = 0; i < m_devices.size(); ++i) {
        m_devices[i].setSettings(line[qsizetype(i)], secondsRunning());
        faults << QStringLiteral("%1 at %2").arg(faultName(line[qsizetype(i)].fault)).arg(line[qsizetype(i)].address);
    }
    for (const QString &problem : problems)
        std::fprintf(stderr, "vantoro-sim: scenario: %s\n", qPrintable(problem));
    trace(QStringLiteral("scenario applied: fault %1").arg(faults.join(QStringLiteral(", "))));
}

void Simulator::record(const QString &kind, const QByteArray &bytes)
{
    if (!m_record.isOpen())
        return;
    const QString line = QStringLiteral("%1 %2 %3\n")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
                                 kind, hexBytes(bytes));
    m_record.write(line.toUtf8());
    m_record.flush();
}

void Simulator::trace(const QString &text) const
{
    if (m_options.verbose)
        std::fprintf(stderr, "%10.3f %s\n", secondsRunning(), qPrintable(text));
}

} // namespace vantoro::sim
