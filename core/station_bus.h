// The one seam between the poll path and everything that follows it: after
// every cycle the poll path publishes what it found, once, as a value; the
// window and each service (history, web, MQTT, mail) subscribe here and never
// reach into the poller or a form.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace vantoro {

// Parameter codes the plant's totals and the daily yield read.
inline constexpr const char *ENERGY_COUNTER_CODE = "EKWH";
inline constexpr const char *OUTPUT_POWER_CODE = "PAC";
inline constexpr const char *OUTPUT_VOLTAGE_CODE = "VAC";
inline constexpr const char *OUTPUT_CURRENT_CODE = "IAC";

// How one poll attempt ended.
enum class PollResult { Ok, Timeout, BadChecksum, WrongAddress, SendError, Stopped };

// Stable text of a result ("ok", "timeout", "bad_checksum", "wrong_address",
// "send_error", "stopped").
QString pollResultName(PollResult result);

// One enabled parameter as the cycle left it.
struct ParameterReading
{
    int id = 0;               // paraid, 0..29
    QString code;             // PARACODE
    QString name;             // display name in the current language
    QString unit;
    bool numeric = false;     // a number (isstring == 0), not a status text or the time
    double value = 0;         // the decoded number (numeric only)
    QString text;             // the value as the views show it, without unit
    bool watched = false;     // warningenabled
    bool inLimits = true;     // false when watched and out of limits / flagged
    std::optional<double> low;
    std::optional<double> high;
    bool bitSet = false;      // a status entry whose bit of the status word is set
    // The value is the station's computed one; `raw` is what the device sent.
    bool calibrated = false;
    std::optional<double> raw;
};

// What one poll cycle found.
struct CycleReport
{
    QDateTime time;                       // end of the cycle (local time)
    bool linkUp = false;                  // link state after the cycle
    bool polling = false;                 // polling switched on after the cycle
    bool replied = false;                 // this cycle got a good reply
    bool asleep = false;                  // the device stands by (DC input below its standby share)
    QDateTime lastReplyTime;              // time of the last good reply, any cycle
    QList<PollResult> attempts;           // one result per attempt, in order
    QList<ParameterReading> parameters;   // enabled parameters; empty when the link is down
    QStringList faults;                   // running fault entries
    bool alarm = false;                   // a fault is present
    QString deviceId;
    QString deviceName;
    int address = 0;
    int protocol = 1;
    QString rating;                       // power rating, e.g. "3K"

    const ParameterReading *parameter(const QString &code) const;
    // A numeric parameter's value; none when it was not read.
    std::optional<double> number(const QString &code) const;
    // The output power: PAC, else VAC x IAC; none while the link is down or
    // the device reports neither.
    std::optional<double> outputPowerWatts() const;
};

// A device on the line as the settings hold it.
struct DeviceInfo
{
    QString id;               // "001".."032"
    QString name;
    int address = 1;
    int protocol = 1;         // 1 or 2
    QString rating;           // e.g. "3K"
    bool enabled = true;

    bool operator==(const DeviceInfo &) const = default;
};

// What one round of the line found: the report of every device polled, in
// line order, and the plant's totals over them.
struct RoundReport
{
    QDateTime time;                       // end of the round
    bool polling = false;
    QList<CycleReport> devices;
    double powerWatts = 0;                // output power of the devices whose link is up
    std::optional<double> energyKwh;      // sum of the energy counters read; none before any
    int devicesUp = 0;

    const CycleReport *device(const QString &id) const;
};

// The plant's totals over a set of device reports.
RoundReport roundOf(const QList<CycleReport> &devices, bool polling, const QDateTime &time);

// One row the event log stored.
struct StoredEvent
{
    qint64 rowId = 0;
    QDateTime time;
    QString deviceId;
    QString text;
    bool forced = false;
};

// Where the web server can be reached now: its page addresses (empty while
// it is off or could not listen) and why it is not listening.
struct WebAccess
{
    QStringList urls;
    QString error;
};

class StationBus : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // One report per device and cycle; after every round the plant's.
    void publishCycle(const CycleReport &report);
    void publishRound(const RoundReport &round);
    // The devices on the line changed (added, edited, removed, or loaded).
    void publishDevices(const QList<DeviceInfo> &devices);
    void publishEvent(const StoredEvent &event);
    void publishSettingsSaved();
    void publishPolling(bool on);
    // A service's last state in one line ("mqtt", "mail"); empty while off.
    void publishServiceState(const QString &service, const QString &text);
    void publishWebAccess(const WebAccess &access);
    // Whether everything alarming at a device was acknowledged by the
    // operator; false while nothing alarms or nobody acknowledged.
    void publishAcknowledged(const QString &deviceId, bool acknowledged);

    // The last report published of the first device on the line (device
    // "001" of a plant of one); an empty one before the first cycle.
    const CycleReport &lastCycle() const;
    // The last report of a device; nullptr before its first cycle.
    const CycleReport *lastCycle(const QString &deviceId) const;
    // The last report of every device that has one, in the line's order.
    QList<CycleReport> lastCycles() const;
    const RoundReport &lastRound() const { return m_round; }
    const QList<DeviceInfo> &devices() const { return m_devices; }
    const DeviceInfo *device(const QString &id) const;
    // The names of the devices on the line, joined by ", " (a test message's text).
    QString deviceNames() const;
    QString serviceState(const QString &service) const { return m_serviceStates.value(service); }
    const WebAccess &webAccess() const { return m_web; }
    bool acknowledged(const QString &deviceId) const { return m_acknowledged.value(deviceId); }

signals:
    void cycleFinished(const vantoro::CycleReport &report);
    void roundFinished(const vantoro::RoundReport &round);
    void devicesChanged();
    void eventStored(const vantoro::StoredEvent &event);
    // The system settings were written to the database: services re-read theirs.
    void settingsSaved();
    void pollingChanged(bool on);
    void serviceStateChanged(const QString &service, const QString &text);
    void webAccessChanged();

private:
    QHash<QString, CycleReport> m_cycles;
    RoundReport m_round;
    QList<DeviceInfo> m_devices;
    QHash<QString, QString> m_serviceStates;
    WebAccess m_web;
    QHash<QString, bool> m_acknowledged;
};

// The station's one bus, created on first use, living on the main thread.
StationBus &stationBus();

} // namespace vantoro

Q_DECLARE_METATYPE(vantoro::CycleReport)
Q_DECLARE_METATYPE(vantoro::RoundReport)
Q_DECLARE_METATYPE(vantoro::StoredEvent)
