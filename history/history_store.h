// The history tables and their writes: one row per sample in histdata (the
// time in seconds since the epoch as key, one real column per parameter
// slot), per-bucket minima, maxima and sums of the samples in histrollup, the
// names of the recorded slots in histparam, the daily yield in histyield.
// The tables are created by upgradeSchema.
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
inline constexpr int HISTORY_SLOTS = 30;
// A history write waits at most this long for a lock held by another
// program: the write runs inside the poll cycle's signal.
inline constexpr int HISTORY_WRITE_BUSY_MS = 200;

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
};

// Runs `work` in one write transaction on a connection of its own with a
// short lock wait; commits when it returns true. False with `error` set
// otherwise (nothing of the work is kept).
bool historyWrite(const std::function<bool(QSqlDatabase &db, QString &error)> &work, QString *error = nullptr);

// Stores a sample and folds it into its rollup bucket; a sample for a time
// already stored is ignored (a clock set back never stores two rows for one
// second).
bool insertSample(QSqlDatabase &db, const HistorySample &sample, QString &error);
// Whether a sample is stored in [from, to) (seconds since the epoch);
// nullopt with `error` when the table cannot be read.
std::optional<bool> sampleStoredIn(QSqlDatabase &db, qint64 from, qint64 to, QString &error);
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
