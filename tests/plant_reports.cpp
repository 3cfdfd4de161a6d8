// Made-up device reports.
#include "plant_reports.h"

#include "acquisition/reply_decoding.h"

namespace vantoro::test {

namespace {

// PAC's row in the factory tables.
constexpr int ROW_OUTPUT_POWER = 11;

ParameterReading reading(int id, const char *code, const char *unit, double value)
{
    ParameterReading p;
    p.id = id;
    p.code = QString::fromLatin1(code);
    p.name = p.code;
    p.unit = QString::fromUtf8(unit);
    p.numeric = true;
    p.value = value;
    p.text = QString::number(value);
    return p;
}

} // namespace

CycleReport plantReport(const PlantDevice &device, const QDateTime &time)
{
    CycleReport r;
    r.time = time;
    r.deviceId = device.info.id;
    r.deviceName = device.info.name;
    r.address = device.info.address;
    r.protocol = device.info.protocol;
    r.rating = device.info.rating;
    r.linkUp = device.linkUp;
    r.polling = true;
    r.replied = device.linkUp;
    r.attempts = device.attempts;
    r.lastReplyTime = device.lastReplyTime;
    if (device.linkUp) {
        r.lastReplyTime = time;
        if (device.powerWatts)
            r.parameters << reading(ROW_OUTPUT_POWER, OUTPUT_POWER_CODE, "W", *device.powerWatts);
        if (device.energyKwh)
            r.parameters << reading(ROW_ENERGY, ENERGY_COUNTER_CODE, "kWh", *device.energyKwh);
        r.faults = device.faults;
        r.alarm = !device.faults.isEmpty();
    }
    return r;
}

} // namespace vantoro::test
