// The query string of an API request: split and decoded once, each value
// read back as the type its endpoint needs, every refusal naming the
// parameter it is about.
#pragma once

#include "core/plant.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace vantoro {

// The longest query string and the most parameters a request may carry.
inline constexpr int QUERY_MAX_BYTES = 2048;
inline constexpr int QUERY_MAX_PARAMETERS = 16;

// Why a request was refused: the parameter at fault (empty for the query as
// a whole) and a message in plain English.
struct ParameterError
{
    QString parameter;
    QString message;
};

// A range of whole days, both ends included.
struct DayRange
{
    QDate from;
    QDate to;
};

// A range of times: `from` included, `to` not.
struct TimeRange
{
    QDateTime from;
    QDateTime to;
};

class QueryParams
{
public:
    // Splits `rawQuery` (without the '?') into names and values, decoding
    // percent escapes and '+'. Refused: an over-long query, too many
    // parameters, an empty or repeated name, a bad escape, text that is not
    // UTF-8, a name outside `allowed` (when it is not empty).
    static std::optional<QueryParams> parse(const QByteArray &rawQuery, const QStringList &allowed,
                                            ParameterError *error);

    bool has(const QString &name) const { return m_values.contains(name); }
    QStringList names() const { return m_values.keys(); }
    QString value(const QString &name) const { return m_values.value(name); }

    // A day written YYYY-MM-DD; `fallback` when the parameter is absent.
    std::optional<QDate> day(const QString &name, const QDate &fallback, ParameterError *error) const;
    // "from" and "to" as whole days, today for a missing end; a reversed
    // range or one longer than `maxDays` is refused.
    std::optional<DayRange> dayRange(const QDate &today, int maxDays, ParameterError *error) const;
    // "from" and "to" as days (YYYY-MM-DD, from its start / to its end) or
    // local times (YYYY-MM-DDTHH:MM[:SS], or with Z or an offset); today
    // for a missing "from", the end of the day of "from" for a missing "to".
    // An empty or reversed range, or one longer than `maxDays`, is refused.
    std::optional<TimeRange> timeRange(const QDate &today, int maxDays, ParameterError *error) const;
    // A whole number in [low, high]; `fallback` when absent.
    std::optional<int> integer(const QString &name, int low, int high, std::optional<int> fallback,
                               ParameterError *error) const;
    // One of `choices`; `fallback` when absent.
    std::optional<QString> choice(const QString &name, const QStringList &choices, const QString &fallback,
                                  ParameterError *error) const;
    // A device id, "001".."032"; empty when absent.
    std::optional<QString> deviceId(const QString &name, ParameterError *error) const;
    // A comma-separated list of codes (letters and digits), at least one.
    std::optional<QStringList> codes(const QString &name, ParameterError *error) const;

private:
    // A day (its start, or with `endOfDay` the next day's start) or a time.
    std::optional<QDateTime> time(const QString &name, bool endOfDay, ParameterError *error) const;

    QMap<QString, QString> m_values;
};

} // namespace vantoro
