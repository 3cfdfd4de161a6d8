// The simulated device: its readings, which requests it answers, and the
// replies it sends with the configured fault applied.
#pragma once

#include "request_parser.h"
#include "sim_options.h"

#include "acquisition/frames.h"

#include <QList>

namespace vantoro::sim {

// One piece of a reply, sent `delayMs` after the request (first piece) or
// after the previous piece went out.
struct ReplyPiece
{
    QByteArray bytes;
    int delayMs = 0;
};

class DeviceModel
{
public:
    // `aloneOnLine`: the only device on its line, which takes the control
    // frames for address 1 as well.
    DeviceModel(const DeviceSettings &settings, bool aloneOnLine);

    // New settings at run time `seconds`; a changed energy value restarts the
    // count, a changed clock start (or the solar day switched on) the clock.
    void setSettings(const DeviceSettings &settings, double seconds);
    const DeviceSettings &settings() const { return m_settings; }

    DeviceReading reading(double seconds) const;
    // Whether the request is addressed to this device and of its protocol.
    bool answers(const Request &request) const;
    // The pieces to send for a request; empty when the device stays silent.
    QList<ReplyPiece> answer(const Request &request, double seconds);
    // Whether the last answered request had the fault applied.
    bool lastWasFaulted() const { return m_lastFaulted; }

private:
    // The solar day's reading now; moves the clock and the energy on by one step.
    DeviceReading nextSolarReading();
    QList<ReplyPiece> withFault(
        QByteArray reply, int version, quint8 address, const DeviceReading &reading, quint8 function) const;

    DeviceSettings m_settings;
    bool m_aloneOnLine = true;
    double m_energyStart = 0;
    qint64 m_answered = 0;
    QDateTime m_clockTime;
    double m_solarKwh = 0;
    bool m_lastFaulted = false;
};

} // namespace vantoro::sim
