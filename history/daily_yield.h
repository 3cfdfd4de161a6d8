// The daily yield: one row per day and device, kept for ever and updated as
// the day goes. Energy is the energy counter's rise over the day's good
// replies; a step that goes backwards or rises faster than the device's
// rating could produce is left out and the day is marked with the reason.
#pragma once

#include "core/station_bus.h"
#include "core/system_settings.h" // ratingWatts

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace vantoro {

// Parameter codes the yield reads from a cycle.
inline constexpr const char *MODULE_TEMPERATURE_CODE = "TMOD";
// Link time between two cycles further apart than this is not counted
// (the station was not running).
inline constexpr int YIELD_LINK_STEP_MAX_S = 600;

// Why a day is marked, as bits of its `flagged` column. Rows marked before
// the reasons were kept hold 1.
inline constexpr int YIELD_FLAG_UNKNOWN = 1;
inline constexpr int YIELD_FLAG_BACKWARDS = 2;
inline constexpr int YIELD_FLAG_TOO_FAST = 4;

struct DayYield
{
    QString deviceId;
    QDate day;
    double energyKwh = 0;
    int flagged = 0;                  // YIELD_FLAG_* of the steps left out
    std::optional<double> peakPowerW;
    QDateTime peakTime;
    std::optional<double> maxModuleTemp;
    qint64 linkSeconds = 0;
    // Polled time the device stood by, and polled time it neither answered
    // nor was asleep.
    qint64 asleepSeconds = 0;
    qint64 lostSeconds = 0;
    int faults = 0;
    std::optional<double> firstCounter;
    std::optional<double> lastCounter;
    QDateTime lastReply;
    // Energy counted beyond what the rating could make since the reading
    // that bounds it most; not stored, so a restart judges afresh.
    double excessKwh = 0;
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

// Adds a good reply to its day. A counter rise counts while the energy
// counted since any earlier counted reading of the day stays within what the
// rating could make in that time, plus the counter's resolution once; a rise
// that does not is left out. A clock set back judges its step over
// `clockBackSeconds` (the sample period), so the step after it is not a jump.
void addReading(DayYield &day, const YieldReading &reading, double ratingW, int clockBackSeconds);

// Energy to the watt-hour: the counter's own steps are far coarser, and sums
// of its single-precision readings gather noise (26.5999999999985).
double roundedKwh(double kwh);

// The reasons of a mark in the station's language, joined by "; ".
QString yieldFlagText(int flagged);
// The same as stable English names for the web API.
QStringList yieldFlagNames(int flagged);

// The stored row of a day, or a new empty one.
DayYield loadDayYield(QSqlDatabase &db, const QString &deviceId, const QDate &day);
bool saveDayYield(QSqlDatabase &db, const DayYield &day, QString &error);

} // namespace vantoro
