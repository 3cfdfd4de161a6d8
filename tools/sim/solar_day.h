// The solar day: readings of a PV plant through a day on a simulated clock.
// The configured words are the plant at full sun; the sun, the clouds and the
// day's warmth scale them.
#pragma once

#include "sim_options.h"

#include "acquisition/frames.h"

#include <QDateTime>

namespace vantoro::sim {

// Multiples of the station's default table, which the energy counter needs
// to turn the AC words into kWh: 0.1 V, 0.01 A, 0.1 kWh.
inline constexpr double DEFAULT_AC_VOLTAGE_MULTIPLE = 0.1;
inline constexpr double DEFAULT_AC_CURRENT_MULTIPLE = 0.01;
inline constexpr double DEFAULT_ENERGY_MULTIPLE = 0.1;

// Share of full sun in a clear sky at a local time: 0 from dusk to dawn, 1 at
// noon on midsummer day (latitude 48 degrees, solar noon at 13:00).
double clearSky(const QDateTime &time);

// Night proper: the sun more than 6 degrees below the horizon, after dusk's
// twilight and before dawn's.
bool darkNight(const QDateTime &time);

// Share of the clear sky the clouds let through: 1 for seed 0, else passing
// clouds that are the same for the same seed and time.
double cloudFactor(const QDateTime &time, quint32 seed);

// The reading at `time` with `energyKwh` produced since the clock started.
DeviceReading solarReading(const DeviceSettings &settings, const QDateTime &time, double energyKwh);

// The AC power of a reading in watts, at the default table's multiples.
double acPowerWatts(const DeviceReading &reading);

} // namespace vantoro::sim
