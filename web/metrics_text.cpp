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
    explicit MetricsWriter(const QString &device) : m_device(escapeLabelValue(device)) { }

    // The family's header goes out with its first sample: a family with no
    // series (the parameters while the link is down) leaves no trace.
    void family(const char *name, const char *type, const char *help)
    {
        m_pendingHeader = QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }

    void sample(const char *name, const Labels &labels, double value)
    {
        m_out += m_pendingHeader;
        m_pendingHeader.clear();
        m_out += name;
        m_out += "{device=\"" + m_device + '"';
        for (const auto &[key, text] : labels)
            m_out += QByteArray(",") + key + "=\"" + escapeLabelValue(text) + '"';
        m_out += "} " + sampleValue(value) + '\n';
    }

    QByteArray text() const { return m_out; }

private:
    QByteArray m_device;
    QByteArray m_pendingHeader;
    QByteArray m_out;
};

void writeParameters(MetricsWriter &w, const CycleReport &r)
{
    w.family("vantoro_parameter_value", "gauge", "Value of an enabled numeric parameter as last read.");
    for (const ParameterReading &p : r.parameters) {
        if (p.numeric)
            w.sample("vantoro_parameter_value", {{"code", p.code}, {"unit", p.unit}}, tidyValue(p.value));
    }
    w.family("vantoro_parameter_in_limits", "gauge", "1 while a watched parameter is within its limits, else 0.");
    for (const ParameterReading &p : r.parameters) {
        if (p.watched)
            w.sample("vantoro_parameter_in_limits", {{"code", p.code}}, p.inLimits ? 1 : 0);
    }
    w.family("vantoro_status_bit", "gauge", "1 while the status entry's bit is set, else 0.");
    for (const ParameterReading &p : r.parameters) {
        if (isStatusEntry(p))
            w.sample("vantoro_status_bit", {{"code", p.code}}, p.bitSet ? 1 : 0);
    }
    if (const std::optional<double> energy = energyKwh(r)) {
        w.family("vantoro_energy_kwh_total", "counter", "The device's energy counter in kWh.");
        w.sample("vantoro_energy_kwh_total", {}, tidyValue(*energy));
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

QByteArray metricsText(const StationSnapshot &s, const PollCounters &counters)
{
    const CycleReport &r = s.report;
    MetricsWriter w(r.deviceId);
    writeParameters(w, r);
    w.family("vantoro_link_up", "gauge", "1 while the device answers, else 0.");
    w.sample("vantoro_link_up", {}, r.linkUp ? 1 : 0);
    w.family("vantoro_polling", "gauge", "1 while polling is switched on, else 0.");
    w.sample("vantoro_polling", {}, r.polling ? 1 : 0);
    w.family("vantoro_alarm_active", "gauge", "1 while a fault is present, else 0.");
    w.sample("vantoro_alarm_active", {}, r.alarm ? 1 : 0);
    w.family("vantoro_alarm_acknowledged", "gauge",
             "1 while a fault is present and the operator acknowledged all that alarms, else 0.");
    w.sample("vantoro_alarm_acknowledged", {}, r.alarm && s.alarmAcknowledged ? 1 : 0);
    w.family("vantoro_device_asleep", "gauge",
             "1 while the device stands by at night (DC input below its standby share), else 0.");
    w.sample("vantoro_device_asleep", {}, r.asleep ? 1 : 0);
    if (r.lastReplyTime.isValid()) {
        w.family("vantoro_last_reply_timestamp_seconds", "gauge", "Unix time of the last good reply.");
        w.sample("vantoro_last_reply_timestamp_seconds", {}, double(r.lastReplyTime.toMSecsSinceEpoch()) / 1000.0);
    }
    w.family("vantoro_polls_total", "counter", "Poll attempts since the station started, by result.");
    for (PollResult result : {PollResult::Ok, PollResult::Timeout, PollResult::BadChecksum, PollResult::WrongAddress,
                              PollResult::SendError})
        w.sample("vantoro_polls_total", {{"result", pollResultName(result)}}, double(counters.count(result)));
    w.family("vantoro_build_info", "gauge", "Always 1; the station's version as a label.");
    w.sample("vantoro_build_info", {{"version", s.version}}, 1);
    return w.text();
}

} // namespace vantoro
