// Loading and saving a device's parameter table.
#include "acquisition/param_table.h"

#include "core/common.h"
#include "core/database.h"
#include "core/message_service.h"
#include "events/event_log.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>

namespace vantoro {

const std::array<const char *, PARAM_COLUMNS> paramColumnNames = {
    "DEVID", "PARAID", "PARACODE", "PARANAME", "ENABLED", "PARAVALUE", "MULTIPLE", "UNIT",
    "RANGEL", "RANGEU", "BOUNDL", "BOUNDU", "ISSTRING", "SRCSTRING", "OKSTRING", "FOUNDERROR",
    "DEVPART", "WARNINGENABLED", "UPDATED", "UPDATETIME", "MMFILEURL", "DATAFORMAT",
};

namespace {

const char *const dateTimeFormat = "yyyy-MM-dd HH:mm:ss";
const char *const noRowsEvent = "Device Parameters Error!";

bool isNumberType(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

// Lenient number: numbers as they are, texts by their leading number.
double toNumber(const QVariant &value)
{
    if (isNumberType(value))
        return value.toDouble();
    return leadingNumber(variantText(value));
}

std::optional<double> toLimit(const QVariant &value)
{
    if (!isNumberType(value) && variantText(value).trimmed().isEmpty())
        return std::nullopt;
    return toNumber(value);
}

QVariant fromLimit(const std::optional<double> &limit)
{
    return limit ? QVariant(*limit) : QVariant(QString());
}

void noRowsFound(const QString &devid)
{
    messages().beep();
    logEvent(QString::fromLatin1(noRowsEvent), devid);
}

} // namespace

QString variantText(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QString::fromLatin1(dateTimeFormat));
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Float:
        // A single keeps the seven digits it is good for.
        return QString::number(double(value.toFloat()), 'g', 7);
    default:
        return value.toString();
    }
}

QDateTime variantDateTime(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().startOfDay();
    if (value.typeId() != QMetaType::QString)
        return QDateTime();
    const QString text = value.toString().trimmed();
    if (text.isEmpty())
        return QDateTime();
    for (const char *format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy/MM/dd HH:mm:ss",
                               "yyyy/M/d H:mm:ss", "yyyy-MM-dd HH:mm"}) {
        const QDateTime dt = QDateTime::fromString(text, QString::fromLatin1(format));
        if (dt.isValid())
            return dt;
    }
    for (const char *format : {"yyyy-MM-dd", "yyyy/MM/dd", "yyyy/M/d"}) {
        const QDate d = QDate::fromString(text, QString::fromLatin1(format));
        if (d.isValid())
            return d.startOfDay();
    }
    return QDateTime();
}

double ParamRecord::number() const
{
    return toNumber(paravalue);
}

QString ParamRecord::text() const
{
    return variantText(paravalue);
}

QVariant ParamRecord::field(int column) const
{
    switch (column) {
    case COL_DEVID: return devid;
    case COL_PARAID: return paraid;
    case COL_PARACODE: return paracode;
    case COL_PARANAME: return paraname;
    case COL_ENABLED: return enabled;
    case COL_PARAVALUE: return paravalue;
    case COL_MULTIPLE: return multiple;
    case COL_UNIT: return unit;
    case COL_RANGEL: return fromLimit(rangel);
    case COL_RANGEU: return fromLimit(rangeu);
    case COL_BOUNDL: return fromLimit(boundl);
    case COL_BOUNDU: return fromLimit(boundu);
    case COL_ISSTRING: return isstring;
    case COL_SRCSTRING: return srcstring;
    case COL_OKSTRING: return okstring;
    case COL_FOUNDERROR: return founderror;
    case COL_DEVPART: return devpart;
    case COL_WARNINGENABLED: return warningenabled;
    case COL_UPDATED: return updated;
    case COL_UPDATETIME: return updatetime;
    case COL_MMFILEURL: return mmfileurl;
    case COL_DATAFORMAT: return dataformat;
    default: return QVariant();
    }
}

void ParamRecord::setField(int column, const QVariant &value)
{
    switch (column) {
    case COL_DEVID: devid = variantText(value); break;
    case COL_PARAID: paraid = variantText(value); break;
    case COL_PARACODE: paracode = variantText(value); break;
    case COL_PARANAME: paraname = variantText(value); break;
    case COL_ENABLED: enabled = toNumber(value); break;
    case COL_PARAVALUE: paravalue = value; break;
    case COL_MULTIPLE: multiple = toNumber(value); break;
    case COL_UNIT: unit = variantText(value); break;
    case COL_RANGEL: rangel = toLimit(value); break;
    case COL_RANGEU: rangeu = toLimit(value); break;
    case COL_BOUNDL: boundl = toLimit(value); break;
    case COL_BOUNDU: boundu = toLimit(value); break;
    case COL_ISSTRING: isstring = toNumber(value); break;
    case COL_SRCSTRING: srcstring = variantText(value); break;
    case COL_OKSTRING: okstring = variantText(value); break;
    case COL_FOUNDERROR: founderror = toNumber(value); break;
    case COL_DEVPART: devpart = toNumber(value); break;
    case COL_WARNINGENABLED: warningenabled = toNumber(value); break;
    case COL_UPDATED: updated = toNumber(value); break;
    case COL_UPDATETIME: updatetime = value; break;
    case COL_MMFILEURL: mmfileurl = variantText(value); break;
    case COL_DATAFORMAT: dataformat = variantText(value); break;
    default: break;
    }
}

bool isParamSlot(int slot)
{
    return slot >= 0 && slot < PARAM_SLOTS;
}

QVariant field(const ParamTable &table, int slot, int column)
{
    return isParamSlot(slot) ? table[size_t(slot)].field(column) : QVariant();
}

void setField(ParamTable &table, int slot, int column, const QVariant &value)
{
    if (isParamSlot(slot))
        table[size_t(slot)].setField(column, value);
}

double numericValue(const ParamTable &table, int slot)
{
    return isParamSlot(slot) ? table[size_t(slot)].number() : 0.0;
}

bool loadParamTable(ParamTable &table, const QString &devid)
{
    QString error;
    const auto rs = rsSqlGet(QStringLiteral("select * from paraset where devid=?"), {devid}, &error);
    if (!rs) {
        logStatus(QStringLiteral("Parameter table not loaded: %1").arg(error));
        return false;
    }
    if (rs->recordCount() == 0) {
        noRowsFound(devid);
        return false;
    }
    std::array<int, PARAM_COLUMNS> index{};
    for (int c = 0; c < PARAM_COLUMNS; ++c)
        index[size_t(c)] = rs->columnIndex(QString::fromLatin1(paramColumnNames[size_t(c)]));

    for (const QVariantList &row : rs->rows) {
        auto value = [&](int column) {
            const int i = index[size_t(column)];
            return i < 0 || i >= row.size() ? QVariant() : row[i];
        };
        auto text = [&](int column) { return variantText(value(column)); };
        auto number = [&](int column) { return leadingNumber(text(column)); };

        const int slot = truncatedInt(number(COL_PARAID));
        if (!isParamSlot(slot)) {
            logStatus(QStringLiteral("Parameter %1 skipped: paraid must lie between 0 and %2.")
                          .arg(text(COL_PARAID))
                          .arg(PARAM_SLOTS - 1));
            continue;
        }
        ParamRecord &p = table[size_t(slot)];
        p.devid = text(COL_DEVID);
        p.paraid = text(COL_PARAID);
        p.paracode = text(COL_PARACODE);
        p.paraname = text(COL_PARANAME);
        p.enabled = number(COL_ENABLED);
        p.paravalue = text(COL_PARAVALUE);
        p.multiple = number(COL_MULTIPLE);
        p.unit = text(COL_UNIT);
        p.isstring = number(COL_ISSTRING);
        p.srcstring = text(COL_SRCSTRING);
        p.okstring = text(COL_OKSTRING);
        p.founderror = number(COL_FOUNDERROR);
        p.devpart = number(COL_DEVPART);
        p.warningenabled = number(COL_WARNINGENABLED);
        p.updated = number(COL_UPDATED);
        p.updatetime = text(COL_UPDATETIME);
        p.mmfileurl = text(COL_MMFILEURL);
        p.dataformat = text(COL_DATAFORMAT);
        p.awaitingReply = true;
        p.resting = false;
        p.rawReading.reset();

        if (p.isstring != 0) {
            p.rangel = p.rangeu = p.boundl = p.boundu = std::nullopt;
            continue;
        }
        const double rangel = number(COL_RANGEL);
        const double rangeu = number(COL_RANGEU);
        // The effective limits never lie outside the limits themselves.
        p.rangel = rangel;
        p.rangeu = rangeu;
        p.boundl = std::max(number(COL_BOUNDL), rangel);
        p.boundu = std::min(number(COL_BOUNDU), rangeu);
    }
    return true;
}

int decimalsOfMultiple(double multiple)
{
    constexpr int maxDecimals = 9;
    const double m = std::fabs(multiple);
    if (!std::isfinite(m) || m == 0)
        return 0;
    double scaled = m;
    for (int decimals = 0; decimals < maxDecimals; ++decimals, scaled *= 10) {
        if (std::fabs(scaled - std::round(scaled)) <= 1e-9 * std::max(1.0, scaled))
            return decimals;
    }
    return maxDecimals;
}

double roundToMultiple(double value, double multiple)
{
    if (!std::isfinite(value))
        return value;
    const double factor = std::pow(10.0, decimalsOfMultiple(multiple));
    const double rounded = std::round(value * factor) / factor;
    return std::isfinite(rounded) ? rounded : value;
}

bool saveParamValues(const ParamTable &table, const QString &devid)
{
    bool noRows = false;
    QString error;
    const bool saved = rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            QSqlQuery select(db);
            select.prepare(QStringLiteral("select rowid, paraid, updated from paraset where devid=?"));
            select.addBindValue(devid);
            if (!select.exec()) {
                workError = select.lastError().text();
                return false;
            }
            struct Row { qint64 rowid; int slot; double updated; };
            QList<Row> rows;
            while (select.next()) {
                rows.append({select.value(0).toLongLong(), truncatedInt(leadingNumber(variantText(select.value(1)))),
                             leadingNumber(variantText(select.value(2)))});
            }
            select.finish();
            if (rows.isEmpty()) {
                noRows = true;
                return false;
            }
            QSqlQuery update(db);
            // A null bind leaves the column as it is.
            update.prepare(QStringLiteral("update paraset set paravalue=?, founderror=?, "
                                          "updated=coalesce(?, updated), updatetime=coalesce(?, updatetime) "
                                          "where rowid=?"));
            int written = 0;
            for (const Row &row : rows) {
                if (!isParamSlot(row.slot) || table[size_t(row.slot)].isEmpty())
                    continue;
                const ParamRecord &p = table[size_t(row.slot)];
                ++written;
                const QDateTime when = variantDateTime(p.updatetime);
                update.addBindValue(variantText(p.paravalue));
                update.addBindValue(p.founderror);
                update.addBindValue(row.updated < UPDATED_LIMIT ? QVariant(row.updated + 1)
                                                                : QVariant(QMetaType::fromType<double>()));
                update.addBindValue(when.isValid() ? QVariant(when.toString(QString::fromLatin1(dateTimeFormat)))
                                                   : QVariant(QMetaType::fromType<QString>()));
                update.addBindValue(row.rowid);
                if (!update.exec()) {
                    workError = update.lastError().text();
                    return false;
                }
            }
            if (written == 0) {
                workError = QStringLiteral("the parameter table was not loaded");
                return false;
            }
            return true;
        },
        &error);
    if (noRows) {
        // Reported after the transaction is closed: the event is a write of its own.
        noRowsFound(devid);
        return false;
    }
    if (!saved)
        logStatus(QStringLiteral("Parameter values not saved: %1").arg(error));
    return saved;
}

ParamSaveSchedule::ParamSaveSchedule(std::function<qint64()> elapsedMs)
    : m_clock(std::move(elapsedMs))
{
    m_elapsed.start();
    restart();
}

void ParamSaveSchedule::setClock(std::function<qint64()> elapsedMs)
{
    m_clock = std::move(elapsedMs);
    restart();
}

qint64 ParamSaveSchedule::now() const
{
    return m_clock ? m_clock() : m_elapsed.elapsed();
}

void ParamSaveSchedule::restart()
{
    m_lastSave = now();
}

bool ParamSaveSchedule::saveIfDue(const std::function<bool()> &save)
{
    if (now() - m_lastSave < qint64(PARAM_SAVE_MINUTES) * 60 * 1000)
        return false;
    // A failed save waits for the next interval rather than repeating every tick.
    m_lastSave = now();
    return save();
}

} // namespace vantoro
