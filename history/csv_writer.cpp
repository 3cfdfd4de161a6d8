#include "history/csv_writer.h"

#include "core/database.h"
#include "core/localisation.h"
#include "core/number_format.h"

#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <limits>

namespace vantoro {

namespace {

QString historyText(const char *key, const char *fallback)
{
    return langText(QStringLiteral("History"), QString::fromLatin1(key), LANGUAGE_CURRENT, QString::fromUtf8(fallback));
}

} // namespace

CsvWriter::CsvWriter(QIODevice *device, bool withBom)
    : m_device(device)
{
    if (withBom)
        write(QByteArrayLiteral("\xEF\xBB\xBF"));
}

void CsvWriter::write(const QByteArray &bytes)
{
    if (m_ok && m_device->write(bytes) != bytes.size())
        m_ok = false;
}

void CsvWriter::writeRow(const QStringList &fields)
{
    QString line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += field(fields[i]);
    }
    line += QStringLiteral("\r\n");
    write(line.toUtf8());
}

QString CsvWriter::field(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (const QChar c : text) {
        if (special.contains(c)) {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CsvWriter::number(double value)
{
    if (std::isnan(value))
        return {};
    // As the device's scale gives it: a decoded 2301 x 0.1 reads 230.1 and a
    // single-precision 45.7 reads 45.7. QString::number never uses the
    // locale's separators.
    return QString::number(tidyValue(value), 'g', 15);
}

QString CsvWriter::time(const QDateTime &time)
{
    return time.isValid() ? localTime(time.toSecsSinceEpoch()) : QString();
}

QString CsvWriter::localTime(qint64 secs)
{
    // Asking the C library for the local offset costs more than the rest of
    // a row (it looks at the zone file every time). Offsets change only at
    // whole quarter hours, so the offset at a quarter's start holds for it.
    constexpr qint64 quarter = 900;
    thread_local qint64 cachedQuarter = std::numeric_limits<qint64>::min();
    thread_local int offset = 0;
    const qint64 q = secs >= 0 ? secs / quarter : (secs - quarter + 1) / quarter;
    if (q != cachedQuarter) {
        cachedQuarter = q;
        offset = QDateTime::fromSecsSinceEpoch(q * quarter).offsetFromUtc();
    }
    const qint64 local = secs + offset;
    const qint64 day = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const int second = int(local - day * 86400);
    const QDate d = QDate(1970, 1, 1).addDays(day);
    const int offsetMinutes = std::abs(offset) / 60;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", d.year(), d.month(), d.day(),
                  second / 3600, second / 60 % 60, second % 60, offset < 0 ? '-' : '+', offsetMinutes / 60,
                  offsetMinutes % 60);
    return QString::fromLatin1(text);
}

QString historyHeader(const HistoryColumn &column)
{
    const QString name = column.name.isEmpty() ? column.code : column.name;
    return column.unit.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, column.unit);
}

QString historyDeviceText(const QString &deviceId, const QString &plantText)
{
    if (deviceId != QLatin1String(HISTORY_PLANT))
        return deviceId;
    return plantText.isEmpty() ? historyText("optPlant", "Plant") : plantText;
}

HistoryCsvTexts historyCsvTexts()
{
    return {historyTimeHeader(), historyText("csvDevice", "Device"), historyText("optPlant", "Plant")};
}

bool writeHistoryCsv(QSqlDatabase &db, QIODevice *device, const HistoryRequest &request,
                     const HistoryCsvTexts &texts, QString *error, bool withBom)
{
    const auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    const bool plant = request.deviceId == QLatin1String(HISTORY_PLANT);
    const int deviceNumber = historyDeviceNumber(request.deviceId);
    if (!plant && deviceNumber < 0)
        return fail(QStringLiteral("no such device: %1").arg(request.deviceId));
    QString columnsError;
    QList<HistoryColumn> columns = pickHistoryColumns(historyColumns(db, &columnsError), request.codes);
    if (!columnsError.isEmpty())
        return fail(columnsError);
    if (plant)
        columns = plantColumns(columns);
    // The device is the last column, so the columns files had before keep
    // their places.
    const QString deviceText = historyDeviceText(request.deviceId, texts.plant);
    CsvWriter csv(device, withBom);
    QStringList header{texts.time};
    for (const HistoryColumn &c : std::as_const(columns))
        header << historyHeader(c);
    header << texts.device;
    csv.writeRow(header);

    QStringList row;
    if (plant) {
        // The plant's sums are a few rows per step over every device: read
        // whole, as the views read them.
        HistoryRequest sums = request;
        sums.maxPoints = 0;
        sums.codes.clear();
        for (const HistoryColumn &c : std::as_const(columns))
            sums.codes << c.code;
        if (columns.isEmpty())
            return csv.ok();
        const auto data = queryHistory(db, sums, error);
        if (!data)
            return false;
        for (int i = 0; i < data->pointCount() && csv.ok(); ++i) {
            row.clear();
            row << CsvWriter::localTime(data->times[i]);
            for (const QList<double> &series : data->values)
                row << CsvWriter::number(series[i]);
            row << deviceText;
            csv.writeRow(row);
        }
        if (!csv.ok() && error)
            *error = device->errorString();
        return csv.ok();
    }

    QString select = QStringLiteral("select t");
    for (const HistoryColumn &c : std::as_const(columns))
        select += QStringLiteral(", ") + historyValueColumn(c.slot);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(select + QStringLiteral(" from %1 where dev = ? and t >= ? and t < ? order by t")
                               .arg(QLatin1String(HISTORY_TABLE)));
    query.addBindValue(deviceNumber);
    query.addBindValue(request.from.toSecsSinceEpoch());
    query.addBindValue(request.to.toSecsSinceEpoch());
    if (!query.exec())
        return fail(query.lastError().text());
    while (query.next() && csv.ok()) {
        row.clear();
        row << CsvWriter::localTime(query.value(0).toLongLong());
        for (int c = 0; c < columns.size(); ++c) {
            const QVariant v = query.value(c + 1);
            row << (v.isNull() ? QString() : CsvWriter::number(historyValueOf(v)));
        }
        row << deviceText;
        csv.writeRow(row);
    }
    if (query.lastError().isValid())
        return fail(query.lastError().text());
    if (!csv.ok() && error)
        *error = device->errorString();
    return csv.ok();
}

bool writeHistoryCsv(QIODevice *device, const HistoryRequest &request, QString *error, bool withBom)
{
    DbConnection connection;
    if (!connection.isOpen()) {
        if (error)
            *error = connection.errorText();
        return false;
    }
    QSqlDatabase db = connection.database();
    return writeHistoryCsv(db, device, request, historyCsvTexts(), error, withBom);
}

QString historyTimeHeader()
{
    return historyText("csvTime", "Time");
}

bool writeYieldCsv(QIODevice *device, const QList<DayYield> &days, bool withBom)
{
    CsvWriter csv(device, withBom);
    csv.writeRow({historyText("csvDay", "Date"), historyText("csvEnergy", "Energy (kWh)"),
                  historyText("csvPeakPower", "Peak power (W)"), historyText("csvPeakTime", "Peak time"),
                  historyText("csvMaxTemp", "Highest module temperature"),
                  historyText("csvLinkMinutes", "Link up (min)"), historyText("csvFaults", "Fault events"),
                  historyText("csvFlagged", "Counter step left out"), historyText("csvFlagReason", "Why"),
                  historyText("csvDevice", "Device")});
    for (const DayYield &d : days) {
        csv.writeRow({d.day.toString(Qt::ISODate), CsvWriter::number(roundedKwh(d.energyKwh)),
                      d.peakPowerW ? CsvWriter::number(*d.peakPowerW) : QString(), CsvWriter::time(d.peakTime),
                      d.maxModuleTemp ? CsvWriter::number(*d.maxModuleTemp) : QString(),
                      QString::number(d.linkSeconds / 60), QString::number(d.faults),
                      d.flagged ? QStringLiteral("1") : QStringLiteral("0"), yieldFlagText(d.flagged),
                      historyDeviceText(d.deviceId)});
    }
    return csv.ok();
}

bool writeTableCsv(QIODevice *device, const QStringList &headers, const QList<QStringList> &rows)
{
    CsvWriter csv(device);
    csv.writeRow(headers);
    for (const QStringList &row : rows)
        csv.writeRow(row);
    return csv.ok();
}

bool saveCsvFile(const QString &path, const std::function<bool(QIODevice *device, QString *error)> &write,
                 QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QString writeError;
    if (!write(&file, &writeError)) {
        file.cancelWriting();
        if (error)
            *error = writeError.isEmpty() ? file.errorString() : writeError;
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace vantoro
