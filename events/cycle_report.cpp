// The cycle report: every enabled parameter with its display text and limits,
// the running faults and the device's identity.
#include "events/cycle_report.h"

#include "acquisition/param_format.h"
#include "acquisition/param_names.h"
#include "core/system_settings.h"
#include "events/status_evaluation.h"

namespace vantoro {

namespace {

ParameterReading reading(int id, const ParamRecord &p, bool stationTable)
{
    ParameterReading r;
    r.id = id;
    r.code = p.paracode;
    r.name = parameterName(p);
    r.unit = p.unit;
    // Status texts (1) and the reply time (also 1) are text; numbers are 0.
    r.numeric = p.isstring == 0;
    r.value = r.numeric ? p.number() : 0;
    // The number patterns work on the station's own table only.
    r.text = stationTable ? formatParaValue(id) : parameterValueText(p);
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

CycleReport makeCycleReport(const CycleOutcome &outcome, const ParamTable &table)
{
    CycleReport report;
    report.time = QDateTime::currentDateTime();
    report.linkUp = outcome.linkUp;
    report.polling = outcome.polling;
    report.replied = outcome.replied;
    report.asleep = outcome.asleep;
    report.lastReplyTime = outcome.lastReplyTime;
    report.attempts = outcome.attempts;
    report.deviceId = QString::fromLatin1(PARAM_DEVICE_ID);
    report.deviceName = sysSettings.devname;
    report.address = sysSettings.devaddr;
    report.protocol = sysSettings.devcomversion == 2 ? 2 : 1;
    report.rating = sysSettings.devpower;
    const bool stationTable = &table == &paramTable;
    for (int id = 0; id < PARAM_SLOTS; ++id) {
        const ParamRecord &p = table[size_t(id)];
        if (p.isEmpty() || p.enabled == 0)
            continue;
        if (isFaulty(p))
            report.faults << faultText(p);
        if (report.linkUp)
            report.parameters << reading(id, p, stationTable);
    }
    report.alarm = !report.faults.isEmpty();
    return report;
}

} // namespace vantoro
