// The daily yield: one row per day and device, kept for ever and updated as
// the day goes. Energy is the energy counter's rise over the day's good
// replies; a step that goes backwards or rises faster than the device's
// rating could produce is left out and the day is marked.
#pragma once

#include "core/station_bus.h"
#include "core/system_settings.h" // ratingWatts

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <optional>

namespace vantoro {

// Parameter codes the yield reads from a cycle.
inline constexpr const char *ENERGY_COUNTER_CODE = "EKWH";
inline constexpr const char *OUTPUT_POWER_CODE = "PAC";
inline constexpr const char *OUTPUT_VOLTAGE_CODE = "VAC";
inline constexpr const char *OUTPUT_CURRENT_CODE = "IAC";
inline constexpr const char *MODULE_TEMPERATURE_CODE = "TMOD";
// Link time between two cycles further apart than this is not counted
// (the station was not running).
inline constexpr int YIELD_LINK_STEP_MAX_S = 600;

struct DayYield
{
    QString deviceId;
    QDate day;
    double energyKwh = 0;
    bool flagged = false;             // a counter step was left out
    std::optional<double> peakPowerW;
    QDateTime peakTime;
    std::optional<double> maxModuleTemp;
    qint64 linkSeconds = 0;
    int faults = 0;
    std::optional<double> firstCounter;
    std::optional<double> lastCounter;
    QDateTime lastReply;
};

// What a good reply contributes.
struct YieldReading
{
    QDateTime time;
    std::optional<double> counterKwh;
    std::optional<double> powerW;     // PAC, else VAC x IAC
    std::optional<double> moduleTemp;
};

YieldReading yieldReading(const CycleReport &report);

// Adds a good reply to its day. `minStepSeconds` is the shortest time a
// counter step is judged over (the sample period), so a clock set back does
// not make every step look like a jump.
void addReading(DayYield &day, const YieldReading &reading, double ratingW, int minStepSeconds);

// The stored row of a day, or a new empty one.
DayYield loadDayYield(QSqlDatabase &db, const QString &deviceId, const QDate &day);
bool saveDayYield(QSqlDatabase &db, const DayYield &day, QString &error);

} // namespace vantoro
