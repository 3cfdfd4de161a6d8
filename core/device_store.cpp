// The devices table: validation, one transaction per change, the bus told.
#include "core/device_store.h"

#include "acquisition/line_address.h"
#include "core/common.h"
#include "core/database.h"
#include "core/factory_tables.h"
#include "core/localisation.h"
#include "core/system_settings.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

namespace {

// The rating a device row without one stands for, as at start-up.
const char *const fallbackRating = "3K";

QString text(const char *key, const char *builtIn)
{
    return formText(QStringLiteral("devices"), QString::fromLatin1(key), QString::fromUtf8(builtIn));
}

bool exec(QSqlDatabase &db, const QString &sql, const QVariantList &binds, QString &error, int *affected = nullptr)
{
    QSqlQuery query(db);
    if (!bindAndExec(query, sql, binds, &error))
        return false;
    if (affected)
        *affected = query.numRowsAffected();
    return true;
}

int number(const QVariant &value, int fallback)
{
    if (value.isNull() || value.toString().trimmed().isEmpty())
        return fallback;
    return truncatedInt(leadingNumber(value.toString()));
}

bool refuse(const QString &reason, QString *error)
{
    if (error)
        *error = reason;
    return false;
}

// Validates against what is stored now; empty when the device may be written.
QString storedProblem(const DeviceRecord &device, bool editing)
{
    QString error;
    const auto line = loadDevices(&error);
    if (!line)
        return error;
    // A Modbus TCP gateway carries only what protocol 2 frames carry.
    if (const QString problem = networkLineProblem(sysSettings.LineAddress, device.protocol); !problem.isEmpty())
        return text("msgLineProtocol", "Device %1: %2").arg(device.id, problem);
    if (!editing && line->size() >= MAX_DEVICES)
        return text("msgFull", "The line holds %1 devices already, as many as it can.").arg(MAX_DEVICES);
    QStringList ratings = factoryRatings();
    // A rating stored before without a factory table of its own is kept
    // by an edit that leaves it as it is.
    for (const DeviceRecord &stored : *line) {
        if (editing && stored.id == device.id && stored.rating == device.rating && !ratings.contains(device.rating))
            ratings << device.rating;
    }
    return deviceProblem(device, *line, ratings, editing);
}

QVariantList fieldsOf(const DeviceRecord &device)
{
    return {device.name.trimmed(), device.address, QString::number(device.protocol), device.rating,
            QString::number(device.meterCounter ? 1 : 0), device.enabled ? 1 : 0};
}

} // namespace

QString deviceIdText(int number)
{
    return QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
}

bool isValidDeviceId(const QString &id)
{
    static const QRegularExpression threeDigits(QStringLiteral("^\\d{3}$"));
    if (!threeDigits.match(id).hasMatch())
        return false;
    const int n = id.toInt();
    return n >= 1 && n <= MAX_DEVICES;
}

int lowestAddress(int protocol)
{
    return protocol == 2 ? 1 : 0;
}

int highestAddress(int protocol)
{
    return protocol == 2 ? 247 : 255;
}

QString deviceProblem(const DeviceRecord &device, const QList<DeviceRecord> &line, const QStringList &ratings,
                      bool editing)
{
    if (!isValidDeviceId(device.id))
        return text("msgBadId", "Device id: three digits from %1 to %2.").arg(deviceIdText(1), deviceIdText(MAX_DEVICES));
    const QString name = device.name.trimmed();
    if (name.isEmpty())
        return text("msgNoName", "Device %1: the name is empty.").arg(device.id);
    if (name.size() > DEVICE_NAME_MAX)
        return text("msgNameLong", "Device %1: the name is longer than %2 characters.").arg(device.id).arg(DEVICE_NAME_MAX);
    if (device.protocol != 1 && device.protocol != 2)
        return text("msgBadProtocol", "Device %1: the protocol version is 1 or 2.").arg(device.id);
    if (device.address < lowestAddress(device.protocol) || device.address > highestAddress(device.protocol))
        return text("msgAddressRange", "Device %1: with protocol version %2 the address is a number from %3 to %4.")
            .arg(device.id)
            .arg(device.protocol)
            .arg(lowestAddress(device.protocol))
            .arg(highestAddress(device.protocol));
    if (!ratings.contains(device.rating))
        return text("msgBadRating", "Device %1: the power rating \"%2\" has no factory parameter table (%3).")
            .arg(device.id, device.rating, ratings.join(QStringLiteral(", ")));
    bool known = false;
    for (const DeviceRecord &other : line) {
        if (other.id == device.id) {
            known = true;
            if (!editing)
                return text("msgIdTaken", "Device id %1 is taken by \"%2\".").arg(other.id, other.name);
        }
    }
    if (editing && !known)
        return text("msgNoSuchDevice", "Device %1 is not on the line.").arg(device.id);
    return addressTaken(device, line);
}

QString addressTaken(const DeviceRecord &device, const QList<DeviceRecord> &line)
{
    // One line, one address: a reply could not tell the two apart.
    for (const DeviceRecord &other : line) {
        if (other.id != device.id && other.address == device.address)
            return text("msgAddressTaken", "Address %1 is taken by device %2 \"%3\" on this line.")
                .arg(device.address)
                .arg(other.id, other.name);
    }
    return QString();
}

std::optional<QList<DeviceRecord>> loadDevices(QString *error)
{
    const auto rows = rsSqlGet(QStringLiteral("select * from devices order by id"), {}, error);
    if (!rows)
        return std::nullopt;
    const bool hasEnabled = rows->columnIndex(QStringLiteral("enabled")) >= 0;
    QList<DeviceRecord> devices;
    for (int i = 0; i < rows->recordCount(); ++i) {
        DeviceRecord d;
        d.id = rows->text(i, QStringLiteral("id"));
        d.name = rows->text(i, QStringLiteral("devname"));
        d.address = number(rows->value(i, QStringLiteral("devaddr")), 0);
        // Anything but protocol 2 is the framed protocol 1.
        d.protocol = number(rows->value(i, QStringLiteral("DEVCOMVERSION")), 1) == 2 ? 2 : 1;
        d.rating = rows->text(i, QStringLiteral("DEVPOWER"));
        if (d.rating.isEmpty())
            d.rating = QString::fromLatin1(fallbackRating);
        d.meterCounter = number(rows->value(i, QStringLiteral("TOTALPOWER")), 0) != 0;
        d.enabled = !hasEnabled || number(rows->value(i, QStringLiteral("enabled")), 1) != 0;
        devices << d;
    }
    return devices;
}

bool addDevice(const DeviceRecord &device, QString *error)
{
    if (const QString problem = storedProblem(device, false); !problem.isEmpty())
        return refuse(problem, error);
    QVariantList binds{device.id};
    binds += fieldsOf(device);
    const bool written = rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            // Rows left behind by an earlier device of this id are not its.
            return exec(db, QStringLiteral("delete from paraset where DEVID = ?"), {device.id}, workError)
                && exec(db,
                        QStringLiteral("insert into devices (id, devname, devaddr, DEVCOMVERSION, DEVPOWER, TOTALPOWER, "
                                       "enabled) values (?, ?, ?, ?, ?, ?, ?)"),
                        binds, workError)
                && copyFactoryParameters(db, device.rating, device.id, workError);
        },
        error);
    if (written)
        publishStoredDevices();
    return written;
}

bool editDevice(const DeviceRecord &device, QString *error)
{
    if (const QString problem = storedProblem(device, true); !problem.isEmpty())
        return refuse(problem, error);
    QVariantList binds = fieldsOf(device);
    binds << device.id;
    const bool written = rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            int changed = 0;
            if (!exec(db,
                      QStringLiteral("update devices set devname=?, devaddr=?, DEVCOMVERSION=?, DEVPOWER=?, TOTALPOWER=?, "
                                     "enabled=? where id=?"),
                      binds, workError, &changed))
                return false;
            if (changed != 1) {
                workError = text("msgNoSuchDevice", "Device %1 is not on the line.").arg(device.id);
                return false;
            }
            return true;
        },
        error);
    if (written)
        publishStoredDevices();
    return written;
}

bool purgeDeviceRecords(QSqlDatabase &db, const QString &id, QString &error)
{
    // The samples and their rollup know a device by its number.
    const int number = id.toInt();
    return exec(db, QStringLiteral("delete from eventlog where devid = ?"), {id}, error)
        && exec(db, QStringLiteral("delete from histyield where devid = ?"), {id}, error)
        && exec(db, QStringLiteral("delete from histdata where dev = ?"), {number}, error)
        && exec(db, QStringLiteral("delete from histrollup where dev = ?"), {number}, error);
}

bool removeDevice(const QString &id, bool purge, QString *error)
{
    const bool written = rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            QSqlQuery count(db);
            if (!count.exec(QStringLiteral("select count(*) from devices")) || !count.next()) {
                workError = count.lastError().text();
                return false;
            }
            const int devices = count.value(0).toInt();
            int removed = 0;
            if (!exec(db, QStringLiteral("delete from devices where id = ?"), {id}, workError, &removed))
                return false;
            if (removed != 1) {
                workError = text("msgNoSuchDevice", "Device %1 is not on the line.").arg(id);
                return false;
            }
            // A line without a device has nothing to poll and nothing to show.
            if (devices <= 1) {
                workError = text("msgLastDevice", "Device %1 is the last on the line and stays.").arg(id);
                return false;
            }
            return exec(db, QStringLiteral("delete from paraset where DEVID = ?"), {id}, workError)
                && (!purge || purgeDeviceRecords(db, id, workError));
        },
        error);
    if (written)
        publishStoredDevices();
    return written;
}

QStringList ensureParameterRows()
{
    QStringList messages;
    QString error;
    const auto devices = loadDevices(&error);
    if (!devices)
        return {text("msgDevicesUnreadable", "The devices cannot be read: %1").arg(error)};
    const QStringList ratings = factoryRatings();
    for (const DeviceRecord &device : *devices) {
        const auto rows = rsSqlGet(QStringLiteral("select count(*) from paraset where DEVID = ?"), {device.id}, &error);
        if (!rows) {
            messages << text("msgRowsUnreadable", "Device %1: its parameters cannot be read: %2").arg(device.id, error);
            continue;
        }
        if (rows->rows.value(0).value(0).toInt() > 0)
            continue;
        const QString rating = ratings.contains(device.rating) ? device.rating : QString::fromLatin1(fallbackRating);
        const bool copied = rsSqlGet2(
            [&](QSqlDatabase &db, QString &workError) { return copyFactoryParameters(db, rating, device.id, workError); },
            &error);
        messages << (copied ? text("msgRowsAdded", "Device %1 \"%2\" had no parameters: it was given those of the "
                                                   "factory table %3.")
                                  .arg(device.id, device.name, rating)
                            : text("msgRowsMissing", "Device %1 \"%2\" has no parameters, and the factory table %3 "
                                                     "could not give them: %4")
                                  .arg(device.id, device.name, rating, error));
    }
    return messages;
}

bool publishStoredDevices(QString *error)
{
    const auto devices = loadDevices(error);
    if (!devices)
        return false;
    stationBus().publishDevices(QList<DeviceInfo>(devices->cbegin(), devices->cend()));
    return true;
}

} // namespace vantoro
