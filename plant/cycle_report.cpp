// The cycle report: every enabled parameter with its display text and limits,
// the running faults and the device's identity.
#include "plant/cycle_report.h"

#include "acquisition/param_format.h"
#include "acquisition/param_names.h"
#include "core/system_settings.h"
#include "events/status_evaluation.h"

namespace vantoro {

namespace {

ParameterReading reading(const ParamTable &table, int id)
{
    const ParamRecord &p = table[size_t(id)];
    ParameterReading r;
    r.id = id;
    r.code = p.paracode;
    r.name = parameterName(p);
    r.unit = p.unit;
    // Status texts (1) and the reply time (also 1) are text; numbers are 0.
    r.numeric = p.isstring == 0;
    r.value = r.numeric ? p.number() : 0;
    r.text = formatParaValue(table, id);
    r.watched = p.warningenabled != 0;
    r.inLimits = !isFaulty(p);
    // A set bit shows the entry's source text, a clear one its normal text.
    r.bitSet = p.isstring != 0 && !p.srcstring.isEmpty() && p.text() == p.srcstring;
    if (r.numeric) {
        r.low = p.rangel;
        r.high = p.rangeu;
        r.calibrated = p.rawReading.has_value();
        r.raw = p.rawReading;
    }
    return r;
}

} // namespace

CycleReport makeCycleReport(const CycleOutcome &outcome, const Device &device)
{
    CycleReport report;
    report.time = QDateTime::currentDateTime();
    report.linkUp = outcome.linkUp;
    report.polling = outcome.polling;
    report.replied = outcome.replied;
    report.asleep = outcome.asleep;
    report.lastReplyTime = outcome.lastReplyTime;
    report.attempts = outcome.attempts;
    const DeviceRecord &d = device.record();
    report.deviceId = d.id;
    report.deviceName = d.name;
    report.address = d.address;
    report.protocol = d.protocol == 2 ? 2 : 1;
    report.rating = d.rating;
    const ParamTable &table = device.table();
    for (int id = 0; id < PARAM_SLOTS; ++id) {
        const ParamRecord &p = table[size_t(id)];
        if (p.isEmpty() || p.enabled == 0)
            continue;
        if (isFaulty(p))
            report.faults << faultText(p);
        if (report.linkUp)
            report.parameters << reading(table, id);
    }
    report.alarm = !report.faults.isEmpty();
    return report;
}

} // namespace vantoro
