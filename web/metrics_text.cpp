// Writing the metric families; the parameter series are left out while the
// link is down, so a collector never stores an old value as a new one.
#include "web/metrics_text.h"

#include <QLocale>
#include <cmath>

namespace vantoro {

namespace {

using Labels = QList<QPair<const char *, QString>>;

class MetricsWriter
{
public:
    // The family's header goes out with its first sample: a family with no
    // series (the parameters while every link is down) leaves no trace, and
    // one with many devices has its header once.
    void family(const char *name, const char *type, const char *help)
    {
        m_name = name;
        m_pendingHeader = QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }

    // A series of the current family; `device` is the escaped id, or empty
    // for a series of the station or the plant.
    void sample(const QByteArray &device, const Labels &labels, double value)
    {
        m_out += m_pendingHeader;
        m_pendingHeader.clear();
        m_out += m_name;
        char separator = '{';
        if (!device.isEmpty()) {
            m_out += "{device=\"";
            m_out += device;
            m_out += '"';
            separator = ',';
        }
        for (const auto &[key, text] : labels) {
            m_out += separator;
            m_out += key;
            m_out += "=\"";
            m_out += escapeLabelValue(text);
            m_out += '"';
            separator = ',';
        }
        if (separator == ',')
            m_out += '}';
        m_out += ' ';
        m_out += sampleValue(value);
        m_out += '\n';
    }

    void reserve(qsizetype bytes) { m_out.reserve(bytes); }

    QByteArray text() const { return m_out; }

private:
    const char *m_name = "";
    QByteArray m_pendingHeader;
    QByteArray m_out;
};

// A device's report with its id as a label value.
struct LabelledDevice
{
    QByteArray id;
    const StationSnapshot *snapshot;
    const CycleReport &report() const { return snapshot->report; }
};

void writeParameters(MetricsWriter &w, const QList<LabelledDevice> &devices)
{
    w.family("vantoro_parameter_value", "gauge", "Value of an enabled numeric parameter as last read.");
    for (const LabelledDevice &d : devices) {
        for (const ParameterReading &p : d.report().parameters) {
            if (p.numeric)
                w.sample(d.id, {{"code", p.code}, {"unit", p.unit}}, tidyValue(p.value));
        }
    }
    w.family("vantoro_parameter_in_limits", "gauge", "1 while a watched parameter is within its limits, else 0.");
    for (const LabelledDevice &d : devices) {
        for (const ParameterReading &p : d.report().parameters) {
            if (p.watched)
                w.sample(d.id, {{"code", p.code}}, p.inLimits ? 1 : 0);
        }
    }
    w.family("vantoro_status_bit", "gauge", "1 while the status entry's bit is set, else 0.");
    for (const LabelledDevice &d : devices) {
        for (const ParameterReading &p : d.report().parameters) {
            if (isStatusEntry(p))
                w.sample(d.id, {{"code", p.code}}, p.bitSet ? 1 : 0);
        }
    }
    w.family("vantoro_energy_kwh_total", "counter", "The device's energy counter in kWh.");
    for (const LabelledDevice &d : devices) {
        if (const std::optional<double> energy = energyKwh(d.report()))
            w.sample(d.id, {}, tidyValue(*energy));
    }
}

void writeStates(MetricsWriter &w, const QList<LabelledDevice> &devices)
{
    w.family("vantoro_link_up", "gauge", "1 while the device answers, else 0.");
    for (const LabelledDevice &d : devices)
        w.sample(d.id, {}, d.report().linkUp ? 1 : 0);
    w.family("vantoro_polling", "gauge", "1 while the device is polled, else 0.");
    for (const LabelledDevice &d : devices)
        w.sample(d.id, {}, d.report().polling ? 1 : 0);
    w.family("vantoro_alarm_active", "gauge", "1 while a fault is present, else 0.");
    for (const LabelledDevice &d : devices)
        w.sample(d.id, {}, d.report().alarm ? 1 : 0);
    w.family("vantoro_alarm_acknowledged", "gauge",
             "1 while a fault is present and the operator acknowledged all that alarms, else 0.");
    for (const LabelledDevice &d : devices)
        w.sample(d.id, {}, d.report().alarm && d.snapshot->alarmAcknowledged ? 1 : 0);
    w.family("vantoro_device_asleep", "gauge",
             "1 while the device stands by at night (DC input below its standby share), else 0.");
    for (const LabelledDevice &d : devices)
        w.sample(d.id, {}, d.report().asleep ? 1 : 0);
    w.family("vantoro_last_reply_timestamp_seconds", "gauge", "Unix time of the last good reply.");
    for (const LabelledDevice &d : devices) {
        if (d.report().lastReplyTime.isValid())
            w.sample(d.id, {}, double(d.report().lastReplyTime.toMSecsSinceEpoch()) / 1000.0);
    }
    w.family("vantoro_polls_total", "counter", "Poll attempts since the station started, by result.");
    for (const LabelledDevice &d : devices) {
        for (PollResult result : {PollResult::Ok, PollResult::Timeout, PollResult::BadChecksum,
                                  PollResult::WrongAddress, PollResult::SendError})
            w.sample(d.id, {{"result", pollResultName(result)}}, double(d.snapshot->counters.count(result)));
    }
}

} // namespace

QByteArray escapeLabelValue(const QString &value)
{
    QByteArray out;
    const QByteArray utf8 = value.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray sampleValue(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray metricsText(const PlantSnapshot &plant)
{
    QList<LabelledDevice> devices;
    devices.reserve(plant.devices.size());
    for (const StationSnapshot &d : plant.devices)
        devices.append({escapeLabelValue(d.report.deviceId), &d});
    MetricsWriter w;
    // About 3 kB a device with every parameter enabled: one allocation.
    w.reserve(4096 * (devices.size() + 1));
    writeParameters(w, devices);
    writeStates(w, devices);
    w.family("vantoro_plant_power_watts", "gauge", "Output power of the devices answering now, together.");
    w.sample({}, {}, tidyValue(plant.powerWatts));
    if (plant.energyKwh) {
        w.family("vantoro_plant_energy_kwh_total", "counter", "The devices' energy counters as last read, together.");
        w.sample({}, {}, tidyValue(*plant.energyKwh));
    }
    w.family("vantoro_plant_devices_up", "gauge", "Devices on the line that answer now.");
    w.sample({}, {}, plant.devicesUp);
    w.family("vantoro_build_info", "gauge", "Always 1; the station's version as a label.");
    w.sample({}, {{"version", plant.version}}, 1);
    return w.text();
}

} // namespace vantoro
