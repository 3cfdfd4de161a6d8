// Reading the history: a range of samples (reduced to minimum and maximum
// per bucket when it holds more points than asked for), the daily yield of a
// month and the monthly totals of a year. Widget-free, for the history
// window, the web API and the mailer alike. Each call opens its own
// connection, or reads through the one it is given.
#pragma once

#include "history/daily_yield.h"
#include "history/history_store.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <optional>

namespace vantoro {

// The device id a query takes for the sum over the plant's devices.
inline constexpr const char *HISTORY_PLANT = "plant";
// The step a plant's unreduced series is summed over when the request names
// none: the default sample period, so each device adds one sample.
inline constexpr int HISTORY_PLANT_STEP_DEFAULT_S = 60;

struct HistoryRequest
{
    QDateTime from;           // first second included
    QDateTime to;             // first second no longer included
    QStringList codes;        // parameter codes; empty takes every recorded one
    int maxPoints = 0;        // per series; 0 returns every sample
    int gapSeconds = 0;       // a longer step is a gap; 0: judged from the samples' spacing
    QString deviceId = QString::fromLatin1(HISTORY_FIRST_DEVICE); // or HISTORY_PLANT
    int plantStepSeconds = 0; // 0: HISTORY_PLANT_STEP_DEFAULT_S
};

struct HistoryData
{
    QList<HistoryColumn> columns;     // in the order of the request's codes
    QList<qint64> times;              // seconds since the epoch, ascending
    QList<QList<double>> values;      // values[column][point]; NaN where none
    QList<bool> gapBefore;            // the point starts a new line
    int bucketSeconds = 0;            // 0 when every sample is returned
    // Reduced only: whether a point is its bucket's first (its minimum; the
    // last holds the maximum), and the bucket's mean per column and point.
    QList<bool> bucketFirst;
    QList<QList<double>> means;
    int sampleCount = 0;              // samples in the range

    int pointCount() const { return int(times.size()); }
    bool isEmpty() const { return times.isEmpty(); }
};

// A step longer than this many times the spacing of the samples around it
// is a gap in the record.
inline constexpr int GAP_SPACINGS = 3;

// Judges the points marked in `gapBefore` (those where a gap may start):
// with `gapSeconds` 0 a gap is a step longer than GAP_SPACINGS times the
// spacing of the samples on either side, whichever is coarser, so history
// stored at another period or at a slow poll keeps its lines. The first
// point always starts a line.
void markGaps(const QList<qint64> &times, QList<bool> &gapBefore, int gapSeconds = 0);

// Whether a recorded slot is a measurement worth drawing: the communication
// address and the status word are recorded too, but a curve of them only
// misleads.
bool isHistoryCurve(int slot);

// Whether a parameter adds up over the devices of a plant: output power and
// the energy counter. Voltages, currents, frequency, temperatures and the
// status word of several devices have no meaningful sum, so a plant's
// history leaves them out.
bool isPlantAdditive(const QString &code);
// The columns of `columns` a plant's history holds.
QList<HistoryColumn> plantColumns(const QList<HistoryColumn> &columns);

// The devices whose history can be asked for: the line's as the station bus
// lists them, or the `devices` table's when the bus has none (a tool or a
// service before its first settings load).
QList<DeviceInfo> historyDevices(QString *error = nullptr);

// The numbers of the devices with samples stored, ascending.
std::optional<QList<int>> recordedDevices(QSqlDatabase &db, QString *error = nullptr);

// Every slot recorded so far, by slot.
QList<HistoryColumn> historyColumns(QString *error = nullptr);
// The columns of `all` named by `codes` (case-insensitive) in their order,
// unknown codes left out; all of them when `codes` is empty.
QList<HistoryColumn> pickHistoryColumns(const QList<HistoryColumn> &all, const QStringList &codes);
// The recorded slots of `codes`, as pickHistoryColumns picks them.
QList<HistoryColumn> historyColumnsFor(const QStringList &codes, QString *error = nullptr);

// The samples of the request's device in the range. With maxPoints, a range holding more samples is
// cut into maxPoints / 2 buckets of equal time, each giving its minimum at
// its first sample's time and its maximum at its last's, so every peak and
// dip survives, and its mean. nullopt with `error` on a database failure.
// The plant's history is the sum over its devices of each device's mean per
// plant step (unreduced) or per bucket (reduced, where the minimum and the
// maximum are that sum too: the devices' peaks fall at different times, so
// their sum is no peak of the plant). Its sampleCount counts device samples.
std::optional<HistoryData> queryHistory(const HistoryRequest &request, QString *error = nullptr);

// The same two on an open connection: a worker thread reads through one of
// its own, so a long answer never holds the station's thread.
QList<HistoryColumn> historyColumns(QSqlDatabase &db, QString *error = nullptr);
std::optional<HistoryData> queryHistory(QSqlDatabase &db, const HistoryRequest &request, QString *error = nullptr);

// The yield queries take a device id or HISTORY_PLANT. A plant's day sums
// the devices' energy, link time and faults; its peak power, peak time and
// module temperature are left empty (the devices' peaks do not add up), and
// it is flagged when any device's day is.

// The stored days of a month, in date order (days without a row are absent).
std::optional<QList<DayYield>> dailyYields(int year, int month, const QString &deviceId = QStringLiteral("001"),
                                           QString *error = nullptr);

// The energy of one stored day; nullopt when the day has no row (or on a
// database failure, with `error` set).
std::optional<double> storedDayEnergy(const QDate &day, const QString &deviceId = QStringLiteral("001"),
                                      QString *error = nullptr);

struct MonthYield
{
    int month = 0;            // 1..12
    double energyKwh = 0;
    int days = 0;             // days with a row
    int flaggedDays = 0;
    int flagged = 0;          // the YIELD_FLAG_* of its marked days together
};

// Twelve entries, January first; months without rows have zero energy.
std::optional<QList<MonthYield>> monthlyYields(int year, const QString &deviceId = QStringLiteral("001"),
                                               QString *error = nullptr);

} // namespace vantoro
