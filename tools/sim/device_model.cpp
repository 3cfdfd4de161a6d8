// Readings, request handling and fault injection of the simulated device.
#include "device_model.h"

#include "solar_day.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

namespace vantoro::sim {

namespace {

constexpr double DRIFT = 0.02;
constexpr double DRIFT_PERIOD_SECONDS = 60.0;
constexpr int WORD_COUNT = 6;
constexpr int FIRST_TEMPERATURE_WORD = 4;

quint16 drifted(quint16 word, int index, double seconds, bool signMagnitude)
{
    const double factor = 1.0 + DRIFT * std::sin(2.0 * M_PI * seconds / DRIFT_PERIOD_SECONDS + index);
    if (signMagnitude) {
        const double magnitude = std::clamp(std::round((word & 0x7FFF) * factor), 0.0, double(0x7FFF));
        return quint16((word & 0x8000) | int(magnitude));
    }
    return quint16(std::clamp(std::round(word * factor), 0.0, double(0xFFFF)));
}

QByteArray garbage(int count, quint8 avoid)
{
    static const quint8 pattern[] = {0x00, 0x55, 0xAA, 0x5A, 0xA5, 0x13};
    QByteArray bytes;
    for (int i = 0; bytes.size() < count; ++i) {
        const quint8 b = pattern[i % int(sizeof pattern)];
        if (b != avoid)
            bytes.append(char(b));
    }
    return bytes;
}

QDateTime clockStartOf(const DeviceSettings &settings)
{
    return settings.clockStart.isValid() ? settings.clockStart : QDateTime(QDate::currentDate(), QTime(0, 0));
}

} // namespace

DeviceModel::DeviceModel(const DeviceSettings &settings, bool aloneOnLine)
    : m_settings(settings)
    , m_aloneOnLine(aloneOnLine)
    , m_clockTime(clockStartOf(settings))
{
}

void DeviceModel::setSettings(const DeviceSettings &settings, double seconds)
{
    if (settings.energy != m_settings.energy) {
        m_energyStart = seconds;
        m_solarKwh = 0;
    }
    if (settings.clockStart != m_settings.clockStart || (settings.solarDay && !m_settings.solarDay))
        m_clockTime = clockStartOf(settings);
    m_settings = settings;
}

DeviceReading DeviceModel::nextSolarReading()
{
    const DeviceReading now = solarReading(m_settings, m_clockTime, m_solarKwh);
    m_solarKwh += acPowerWatts(now) * m_settings.clockStep / 3.6e6;
    m_clockTime = m_clockTime.addSecs(m_settings.clockStep);
    return now;
}

DeviceReading DeviceModel::reading(double seconds) const
{
    const DeviceSettings &s = m_settings;
    DeviceReading reading;
    reading.words = {s.vac, s.iac, s.vdc, s.idc, s.tmod, s.tamb};
    reading.energy = s.energy;
    reading.status = s.status;
    if (s.vary) {
        for (int i = 0; i < WORD_COUNT; ++i)
            reading.words[i] = drifted(reading.words[i], i, seconds, i >= FIRST_TEMPERATURE_WORD);
        // The counter follows the power the words give, so the yield a
        // station computes from it is believable.
        const double watts = s.vac * DEFAULT_AC_VOLTAGE_MULTIPLE * s.iac * DEFAULT_AC_CURRENT_MULTIPLE;
        const double kwh = watts * std::max(0.0, seconds - m_energyStart) / 3.6e6;
        const double counter = double(s.energy) + std::floor(kwh / DEFAULT_ENERGY_MULTIPLE + 1e-9);
        reading.energy = quint32(std::min(counter, double(0xFFFFFFFFU)));
    }
    return reading;
}

bool DeviceModel::answers(const Request &request) const
{
    const int protocol = m_settings.protocol;
    switch (request.kind) {
    case Request::Kind::PollV1:
        return protocol != 2 && request.function == POLL_COMMAND_V1 && request.address == m_settings.address;
    case Request::Kind::PollV2:
        return protocol != 1 && request.address == m_settings.address;
    case Request::Kind::Control:
        // The station sends control commands to address 1 whatever the
        // device's address; on a bus of several that would be a collision.
        return protocol != 1
            && (request.address == m_settings.address || (m_aloneOnLine && request.address == 1));
    default:
        return false;
    }
}

QList<ReplyPiece> DeviceModel::answer(const Request &request, double seconds)
{
    m_lastFaulted = false;
    if (!answers(request))
        return {};
    ++m_answered;
    // The night passes on the clock while the device is dark.
    if (m_settings.solarDay && m_settings.silentAtNight && darkNight(m_clockTime)) {
        nextSolarReading();
        return {};
    }
    const DeviceReading now = m_settings.solarDay ? nextSolarReading() : reading(seconds);
    const int version = request.kind == Request::Kind::PollV1 ? 1 : 2;
    const quint8 function = request.kind == Request::Kind::Control ? FUNCTION_CONTROL : FUNCTION_POLL;
    const QByteArray reply
        = version == 1 ? buildReplyV1(request.address, now) : buildReplyV2(request.address, now, function);

    const bool faulted = m_settings.fault != Fault::None && m_answered % m_settings.faultEvery == 0;
    if (!faulted)
        return {{reply, m_settings.delayMs}};
    m_lastFaulted = true;
    return withFault(reply, version, request.address, now, function);
}

QList<ReplyPiece> DeviceModel::withFault(
    QByteArray reply, int version, quint8 address, const DeviceReading &reading, quint8 function) const
{
    const DeviceSettings &s = m_settings;
    switch (s.fault) {
    case Fault::None:
        break;
    case Fault::NoReply:
    case Fault::Mute:
        return {};
    case Fault::Half:
    case Fault::Drop:
        reply.truncate(reply.size() / 2);
        break;
    case Fault::Late:
        return {{reply, s.delayMs + s.lateMs}};
    case Fault::WrongAddress: {
        const quint8 other = quint8(address + 1);
        reply = version == 1 ? buildReplyV1(other, reading) : buildReplyV2(other, reading, function);
        break;
    }
    case Fault::BadSum:
    case Fault::BadCrc: {
        const int low = version == 1 ? 30 : 31;
        reply[low] = char(quint8(reply.at(low)) + 1);
        break;
    }
    case Fault::NoTerminator:
        if (version == 1)
            reply[REPLY_BYTES - 1] = 0x00;
        break;
    case Fault::Truncated:
        reply.truncate(s.truncateTo);
        break;
    case Fault::Garbage:
        reply.prepend(garbage(s.garbageBytes, quint8(reply.at(0))));
        break;
    case Fault::Split: {
        QList<ReplyPiece> pieces;
        const int pieceCount = std::min<int>(s.splitPieces, int(reply.size()));
        int from = 0;
        for (int i = 0; i < pieceCount; ++i) {
            const int to = int(reply.size()) * (i + 1) / pieceCount;
            pieces.append({reply.mid(from, to - from), i == 0 ? s.delayMs : s.splitGapMs});
            from = to;
        }
        return pieces;
    }
    }
    return {{reply, s.delayMs}};
}

} // namespace vantoro::sim
