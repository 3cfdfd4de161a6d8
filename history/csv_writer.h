// CSV files as spreadsheet programs read them: RFC 4180 quoting, CRLF line
// ends, UTF-8 with a byte-order mark, ISO 8601 local times with their UTC
// offset and a point as decimal separator whatever the locale. Files are written aside and
// renamed, so a failed export leaves no half file.
#pragma once

#include "history/history_query.h"

#include <QDateTime>
#include <QIODevice>
#include <QSqlDatabase>
#include <QStringList>
#include <functional>

namespace vantoro {

class CsvWriter
{
public:
    // Writes the byte-order mark first unless `withBom` is false (a web
    // response appended to, for instance).
    explicit CsvWriter(QIODevice *device, bool withBom = true);

    void writeRow(const QStringList &fields);
    // False once a write failed.
    bool ok() const { return m_ok; }

    // A field, quoted when it holds a comma, quote, CR or LF.
    static QString field(const QString &text);
    // The value at the precision its scale gives, with a point; empty for NaN.
    static QString number(double value);
    // "2026-10-25T02:30:00+01:00": local time and its offset from UTC.
    static QString time(const QDateTime &time);
    // The same for seconds since the epoch.
    static QString localTime(qint64 secs);

private:
    void write(const QByteArray &bytes);

    QIODevice *m_device;
    bool m_ok = true;
};

// A device as the files and views name it: its id, or `plantText` for the
// plant's sums ("Plant" in the station's language when not given).
QString historyDeviceText(const QString &deviceId, const QString &plantText = QString());

// The header of a recorded parameter: "name (unit)", or the name alone.
QString historyHeader(const HistoryColumn &column);

// The texts of a history file's header in the station's language, taken on
// the station's thread and handed to a worker.
struct HistoryCsvTexts
{
    QString time;
    QString device;
    QString plant;
};
HistoryCsvTexts historyCsvTexts();

// Samples of the request's device in the range, streamed from the database
// (no reduction; the plant's sums per step): a time column, one column per
// requested parameter and the device.
bool writeHistoryCsv(QIODevice *device, const HistoryRequest &request, QString *error = nullptr,
                     bool withBom = true);
// The same on an open connection with the header's texts given, so a worker
// thread reads neither the settings nor the language file.
bool writeHistoryCsv(QSqlDatabase &db, QIODevice *device, const HistoryRequest &request,
                     const HistoryCsvTexts &texts, QString *error = nullptr, bool withBom = true);
// The time column's header in the station's language.
QString historyTimeHeader();
// The daily yield rows with the localised headers.
bool writeYieldCsv(QIODevice *device, const QList<DayYield> &days, bool withBom = true);
// Any table: one header row, then the rows as given.
bool writeTableCsv(QIODevice *device, const QStringList &headers, const QList<QStringList> &rows);

// Writes `path` through `write` into a file beside it and renames it into
// place when everything was written; false with a message otherwise.
bool saveCsvFile(const QString &path, const std::function<bool(QIODevice *device, QString *error)> &write,
                 QString *error);

} // namespace vantoro
