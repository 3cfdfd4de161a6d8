// Query-string splitting, decoding and the typed readers of its values.
#include "web/query_params.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace vantoro {

namespace {

ParameterError refuse(const QString &parameter, const QString &message)
{
    return {parameter, message};
}

// A range whose end lies before its start names the end the client gave:
// "to" alone is measured against today.
ParameterError reversedRange(bool fromGiven, const QString &fromMessage)
{
    if (fromGiven)
        return refuse(QStringLiteral("from"), fromMessage);
    return refuse(QStringLiteral("to"), QStringLiteral("before today, where \"from\" starts when it is not given"));
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent escapes and '+' decoded, then checked as UTF-8; nullopt when any
// of it is malformed.
std::optional<QString> decodeComponent(QByteArrayView raw)
{
    QByteArray bytes;
    bytes.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%') {
            if (i + 2 >= raw.size())
                return std::nullopt;
            const int high = hexDigit(raw[i + 1]);
            const int low = hexDigit(raw[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes += char(high * 16 + low);
            i += 2;
        } else {
            bytes += c;
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError() || text.contains(QChar(0)))
        return std::nullopt;
    return text;
}

} // namespace

std::optional<QueryParams> QueryParams::parse(const QByteArray &rawQuery, const QStringList &allowed,
                                              ParameterError *error)
{
    auto fail = [error](const QString &parameter, const QString &message) -> std::optional<QueryParams> {
        if (error)
            *error = refuse(parameter, message);
        return std::nullopt;
    };
    if (rawQuery.size() > QUERY_MAX_BYTES)
        return fail(QString(), QStringLiteral("query string longer than %1 bytes").arg(QUERY_MAX_BYTES));
    QueryParams params;
    if (rawQuery.isEmpty())
        return params;
    const QList<QByteArray> pairs = rawQuery.split('&');
    for (const QByteArray &pair : pairs) {
        if (pair.isEmpty())
            continue; // "a=1&&b=2" and a trailing '&' are harmless
        if (params.m_values.size() >= QUERY_MAX_PARAMETERS)
            return fail(QString(), QStringLiteral("more than %1 parameters").arg(QUERY_MAX_PARAMETERS));
        const qsizetype eq = pair.indexOf('=');
        const QByteArrayView rawName = eq < 0 ? QByteArrayView(pair) : QByteArrayView(pair).first(eq);
        const QByteArrayView rawValue = eq < 0 ? QByteArrayView() : QByteArrayView(pair).sliced(eq + 1);
        const std::optional<QString> name = decodeComponent(rawName);
        if (!name || name->isEmpty())
            return fail(QString(), QStringLiteral("malformed parameter name"));
        if (!allowed.isEmpty() && !allowed.contains(*name))
            return fail(*name, QStringLiteral("unknown parameter; accepted: ") + allowed.join(QStringLiteral(", ")));
        if (params.m_values.contains(*name))
            return fail(*name, QStringLiteral("given more than once"));
        const std::optional<QString> value = decodeComponent(rawValue);
        if (!value)
            return fail(*name, QStringLiteral("malformed percent escape or text that is not UTF-8"));
        params.m_values.insert(*name, *value);
    }
    return params;
}

std::optional<QDate> QueryParams::day(const QString &name, const QDate &fallback, ParameterError *error) const
{
    if (!has(name))
        return fallback;
    static const QRegularExpression pattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString text = value(name);
    const QDate date = pattern.match(text).hasMatch() ? QDate::fromString(text, Qt::ISODate) : QDate();
    if (!date.isValid()) {
        if (error)
            *error = refuse(name, QStringLiteral("expected a date YYYY-MM-DD"));
        return std::nullopt;
    }
    return date;
}

std::optional<DayRange> QueryParams::dayRange(const QDate &today, int maxDays, ParameterError *error) const
{
    const std::optional<QDate> from = day(QStringLiteral("from"), today, error);
    if (!from)
        return std::nullopt;
    const std::optional<QDate> to = day(QStringLiteral("to"), has(QStringLiteral("from")) ? *from : today, error);
    if (!to)
        return std::nullopt;
    if (*from > *to) {
        if (error)
            *error = reversedRange(has(QStringLiteral("from")), QStringLiteral("after \"to\""));
        return std::nullopt;
    }
    if (from->daysTo(*to) >= maxDays) {
        if (error)
            *error = refuse(QStringLiteral("to"), QStringLiteral("range longer than %1 days").arg(maxDays));
        return std::nullopt;
    }
    return DayRange{*from, *to};
}

std::optional<QDateTime> QueryParams::time(const QString &name, bool endOfDay, ParameterError *error) const
{
    static const QRegularExpression dayPattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    static const QRegularExpression timePattern(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}(:\\d{2})?(Z|[+-]\\d{2}:\\d{2})?$"));
    const QString text = value(name);
    QDateTime time;
    if (dayPattern.match(text).hasMatch()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (date.isValid())
            time = (endOfDay ? date.addDays(1) : date).startOfDay();
    } else if (timePattern.match(text).hasMatch()) {
        time = QDateTime::fromString(text, Qt::ISODate);
    }
    if (!time.isValid()) {
        if (error)
            *error = refuse(name, QStringLiteral("expected a date YYYY-MM-DD or a time YYYY-MM-DDTHH:MM[:SS]"));
        return std::nullopt;
    }
    return time;
}

std::optional<TimeRange> QueryParams::timeRange(const QDate &today, int maxDays, ParameterError *error) const
{
    const QString fromName = QStringLiteral("from");
    const QString toName = QStringLiteral("to");
    const std::optional<QDateTime> from = has(fromName) ? time(fromName, false, error) : today.startOfDay();
    if (!from)
        return std::nullopt;
    const std::optional<QDateTime> to = has(toName) ? time(toName, true, error) : from->date().addDays(1).startOfDay();
    if (!to)
        return std::nullopt;
    if (*from >= *to) {
        if (error)
            *error = reversedRange(has(fromName), QStringLiteral("not before \"to\""));
        return std::nullopt;
    }
    if (from->secsTo(*to) > qint64(maxDays) * 86400) {
        if (error)
            *error = refuse(toName, QStringLiteral("range longer than %1 days").arg(maxDays));
        return std::nullopt;
    }
    return TimeRange{*from, *to};
}

std::optional<int> QueryParams::integer(const QString &name, int low, int high, std::optional<int> fallback,
                                        ParameterError *error) const
{
    auto fail = [&] {
        if (error)
            *error = refuse(name, QStringLiteral("expected a whole number from %1 to %2").arg(low).arg(high));
        return std::nullopt;
    };
    if (!has(name)) {
        if (fallback)
            return fallback;
        return fail();
    }
    static const QRegularExpression pattern(QStringLiteral("^\\d{1,9}$"));
    const QString text = value(name);
    if (!pattern.match(text).hasMatch())
        return fail();
    const int number = text.toInt();
    if (number < low || number > high)
        return fail();
    return number;
}

std::optional<QString> QueryParams::deviceId(const QString &name, ParameterError *error) const
{
    if (!has(name))
        return QString();
    static const QRegularExpression pattern(QStringLiteral("^\\d{3}$"));
    const QString text = value(name);
    const int number = text.toInt();
    if (!pattern.match(text).hasMatch() || number < 1 || number > PLANT_MAX_DEVICES) {
        if (error)
            *error = refuse(name, QStringLiteral("expected a device id from 001 to %1").arg(PLANT_MAX_DEVICES, 3, 10,
                                                                                        QLatin1Char('0')));
        return std::nullopt;
    }
    return text;
}

std::optional<QString> QueryParams::choice(const QString &name, const QStringList &choices, const QString &fallback,
                                           ParameterError *error) const
{
    if (!has(name))
        return fallback;
    if (!choices.contains(value(name))) {
        if (error)
            *error = refuse(name, QStringLiteral("expected one of: ") + choices.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    return value(name);
}

std::optional<QStringList> QueryParams::codes(const QString &name, ParameterError *error) const
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_]{1,20}$"));
    QStringList list;
    if (has(name)) {
        for (const QString &code : value(name).split(QLatin1Char(','))) {
            if (!pattern.match(code).hasMatch()) {
                list.clear();
                break;
            }
            list << code.toUpper();
        }
    }
    if (list.isEmpty()) {
        if (error)
            *error = refuse(name, QStringLiteral("expected a comma-separated list of parameter codes"));
        return std::nullopt;
    }
    return list;
}

} // namespace vantoro
