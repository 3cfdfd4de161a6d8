// The history tables and their writes: one row per device and sample in
// histdata (the device's number and the time in seconds since the epoch as
// key, one column per parameter slot in the stored scale), per-device and
// per-bucket minima, maxima and sums of the samples in histrollup, the names
// of the recorded slots in histparam, the daily yield in histyield. The
// tables are created by upgradeSchema.
#pragma once

#include "core/database.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <optional>

namespace vantoro {

inline constexpr const char *HISTORY_TABLE = "histdata";
inline constexpr const char *HISTORY_ROLLUP_TABLE = "histrollup";
inline constexpr const char *HISTORY_PARAM_TABLE = "histparam";
inline constexpr const char *YIELD_TABLE = "histyield";
inline constexpr int HISTORY_SLOTS = HISTORY_VALUE_SLOTS;
// The device a history without devices was recorded from.
inline constexpr const char *HISTORY_FIRST_DEVICE = "001";
// A history write waits at most this long for a lock held by another
// program: the write runs inside the poll cycle's signal.
inline constexpr int HISTORY_WRITE_BUSY_MS = 200;

// The number a device id is stored as ("001" is 1), -1 for an id that is
// not one of the line's ("001".."999").
int historyDeviceNumber(const QString &deviceId);

// "v<slot>", the value column of a parameter slot; empty outside 0..29.
QString historyValueColumn(int slot);

// One recorded parameter: its slot and what it was called when recorded.
struct HistoryColumn
{
    int slot = 0;
    QString code;
    QString name;
    QString unit;
    bool operator==(const HistoryColumn &) const = default;
};

struct HistorySample
{
    QDateTime time;
    QList<std::pair<int, double>> values; // slot, value
    QString deviceId = QString::fromLatin1(HISTORY_FIRST_DEVICE);
};

// Runs `work` in one write transaction on a connection of its own with a
// short lock wait; commits when it returns true. False with `error` set
// otherwise (nothing of the work is kept).
bool historyWrite(const std::function<bool(QSqlDatabase &db, QString &error)> &work, QString *error = nullptr);

// Stores a sample and folds it into its device's rollup bucket; a sample for
// a time already stored for that device is ignored (a clock set back never stores two rows for one
// second).
bool insertSample(QSqlDatabase &db, const HistorySample &sample, QString &error);
// Whether a sample of the device is stored in [from, to) (seconds since the
// epoch); nullopt with `error` when the table cannot be read.
std::optional<bool> sampleStoredIn(QSqlDatabase &db, const QString &deviceId, qint64 from, qint64 to,
                                   QString &error);
// Stores many samples through one prepared statement (bulk loads, tests).
class SampleInserter
{
public:
    explicit SampleInserter(QSqlDatabase &db);
    bool insert(const HistorySample &sample, QString &error);

private:
    QSqlQuery m_query;
    QSqlQuery m_rollup;
    bool m_prepared = false;
    bool m_rollupPrepared = false;
};

// Records the names of the slots (insert or replace).
bool storeColumns(QSqlDatabase &db, const QList<HistoryColumn> &columns, QString &error);

} // namespace vantoro
