// Sun, clouds and warmth of the simulated PV day.
#include "solar_day.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

namespace vantoro::sim {

namespace {

constexpr double LATITUDE_DEGREES = 48.0;
constexpr double AXIAL_TILT_DEGREES = 23.44;
constexpr double SOLAR_NOON_HOUR = 13.0;
constexpr int MIDSUMMER_DAY = 172;
// Low sun crosses more air and strikes the modules at a slant.
constexpr double LOW_SUN_EXPONENT = 1.3;
// Below this share of full sun the inverter stands by.
constexpr double RUNNING_THRESHOLD = 0.01;
constexpr qint64 CLOUD_COVER_SECONDS = 2400;
constexpr qint64 CLOUD_PASS_SECONDS = 300;
// Cover below this share is clear sky; it varies from day to day between
// the two, so some days stay bright and others dull.
constexpr double CLEAR_COVER_LOW = 0.1;
constexpr double CLEAR_COVER_HIGH = 0.9;
constexpr double SECONDS_PER_DAY = 86400.0;
constexpr quint32 RUNNING_BIT = 0x0001;
// Civil twilight ends with the sun this far below the horizon.
constexpr double TWILIGHT_DEPRESSION_DEGREES = 6.0;

double sunSine(int dayOfYear, double hour)
{
    const double latitude = qDegreesToRadians(LATITUDE_DEGREES);
    const double declination
        = qDegreesToRadians(AXIAL_TILT_DEGREES) * std::sin(2.0 * M_PI * (dayOfYear - 81) / 365.0);
    const double hourAngle = qDegreesToRadians(15.0 * (hour - SOLAR_NOON_HOUR));
    return std::sin(latitude) * std::sin(declination)
        + std::cos(latitude) * std::cos(declination) * std::cos(hourAngle);
}

// Seconds of the wall clock, the same whatever the machine's time zone.
qint64 wallSeconds(const QDateTime &time)
{
    return time.date().toJulianDay() * qint64(SECONDS_PER_DAY) + time.time().msecsSinceStartOfDay() / 1000;
}

double hourOf(const QDateTime &time)
{
    return time.time().msecsSinceStartOfDay() / 3600000.0;
}

quint64 mixed(quint64 x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

double cellNoise(quint32 seed, qint64 cell, quint64 layer)
{
    const quint64 h = mixed((quint64(seed) << 32) ^ mixed(quint64(cell) * 2 + layer));
    return double(h >> 11) * 0x1.0p-53;
}

// Noise in [0, 1) that changes smoothly from one cell of time to the next.
double smoothNoise(quint32 seed, qint64 seconds, qint64 cellSeconds, quint64 layer)
{
    const qint64 cell = seconds / cellSeconds;
    const double within = double(seconds % cellSeconds) / double(cellSeconds);
    const double a = cellNoise(seed, cell, layer);
    const double b = cellNoise(seed, cell + 1, layer);
    return a + (b - a) * (1.0 - std::cos(M_PI * within)) / 2.0;
}

double signedOf(quint16 word)
{
    return (word & 0x8000) ? -double(word & 0x7FFF) : double(word);
}

quint16 signMagnitude(double value)
{
    const quint16 magnitude = quint16(std::clamp(std::round(std::abs(value)), 0.0, double(0x7FFF)));
    return value < 0 && magnitude > 0 ? quint16(0x8000 | magnitude) : magnitude;
}

quint16 word(double value)
{
    return quint16(std::clamp(std::round(value), 0.0, double(0xFFFF)));
}

} // namespace

double clearSky(const QDateTime &time)
{
    const double sine = sunSine(time.date().dayOfYear(), hourOf(time));
    if (sine <= 0)
        return 0;
    const double highest = sunSine(MIDSUMMER_DAY, SOLAR_NOON_HOUR);
    return std::min(1.0, std::pow(sine / highest, LOW_SUN_EXPONENT));
}

bool darkNight(const QDateTime &time)
{
    return sunSine(time.date().dayOfYear(), hourOf(time)) < -std::sin(qDegreesToRadians(TWILIGHT_DEPRESSION_DEGREES));
}

double cloudFactor(const QDateTime &time, quint32 seed)
{
    if (seed == 0)
        return 1.0;
    const qint64 seconds = wallSeconds(time);
    // Cloudy spells come and go; within one, single clouds pass.
    const double clearCover
        = CLEAR_COVER_LOW + (CLEAR_COVER_HIGH - CLEAR_COVER_LOW) * cellNoise(seed, time.date().toJulianDay(), 2);
    const double cover = smoothNoise(seed, seconds, CLOUD_COVER_SECONDS, 0);
    const double shade = std::clamp((cover - clearCover) / (1.0 - clearCover), 0.0, 1.0);
    const double pass = smoothNoise(seed, seconds, CLOUD_PASS_SECONDS, 1);
    return 1.0 - shade * (0.4 + 0.5 * pass);
}

DeviceReading solarReading(const DeviceSettings &s, const QDateTime &time, double energyKwh)
{
    const double sun = clearSky(time) * cloudFactor(time, s.cloudSeed);
    const bool running = sun >= RUNNING_THRESHOLD;
    const double hour = hourOf(time);
    const double minute = hour * 60.0;

    // Coolest at three in the morning, warmest at three in the afternoon;
    // the modules warm above the air with the sun on them.
    const double ambientMean = signedOf(s.tamb);
    const double rise = signedOf(s.tmod) - ambientMean;
    const double ambient = ambientMean + rise / 4.0 * std::sin(2.0 * M_PI * (hour - 9.0) / 24.0);
    const double module = ambient + rise * sun;

    // The grid wanders a little and rises with what the plant feeds in.
    const double vac = word(s.vac
        * (1.0 + 0.006 * std::sin(2.0 * M_PI * minute / 97.0) + 0.004 * std::sin(2.0 * M_PI * minute / 23.0)
            + 0.006 * sun));
    const double iac = running ? word(s.iac * sun) : 0;
    // The MPP voltage is highest on cool modules in weak light.
    const double vdc = running ? word(s.vdc * (0.9 + 0.15 * std::min(1.0, 4.0 * sun) - 0.05 * sun)) : 0;
    // DC power follows AC power at the ratio of the full-sun words; rounded
    // up, so the AC side never looks more than the DC side delivers.
    double idc = 0;
    if (running && s.vac > 0 && s.iac > 0 && vdc > 0)
        idc = std::min(double(0xFFFF), std::ceil(s.idc * (vac * iac) / (double(s.vac) * s.iac) * s.vdc / vdc));

    DeviceReading reading;
    reading.words = {quint16(vac), quint16(iac), quint16(vdc), quint16(idc), signMagnitude(module),
        signMagnitude(ambient)};
    const double counter = double(s.energy) + std::floor(energyKwh / DEFAULT_ENERGY_MULTIPLE + 1e-9);
    reading.energy = quint32(std::clamp(counter, 0.0, double(0xFFFFFFFFU)));
    reading.status = running ? s.status : quint16(s.status & ~RUNNING_BIT);
    return reading;
}

double acPowerWatts(const DeviceReading &reading)
{
    return reading.words[0] * DEFAULT_AC_VOLTAGE_MULTIPLE * reading.words[1] * DEFAULT_AC_CURRENT_MULTIPLE;
}

} // namespace vantoro::sim
