// Loading the devices of the line and saving their values.
#include "plant/line.h"

#include "core/common.h"
#include "core/database.h"
#include "core/message_service.h"

#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

namespace {

int leadingInt(const QVariant &v)
{
    return truncatedInt(leadingNumber(v.isNull() ? QString() : v.toString()));
}

DeviceRecord recordOf(const RecordSet &rs, int row)
{
    DeviceRecord r;
    r.id = rs.text(row, QStringLiteral("id")).trimmed();
    r.name = rs.text(row, QStringLiteral("devname"));
    r.address = leadingInt(rs.value(row, QStringLiteral("devaddr")));
    r.totalpower = leadingInt(rs.value(row, QStringLiteral("totalpower")));
    r.rating = rs.text(row, QStringLiteral("devpower"));
    r.protocol = leadingInt(rs.value(row, QStringLiteral("devcomversion"))) == 2 ? 2 : 1;
    if (r.rating.trimmed().isEmpty())
        r.rating = QStringLiteral("3K");
    // A database from before devices could be switched off has no column.
    const int enabled = rs.columnIndex(QStringLiteral("enabled"));
    r.enabled = enabled < 0 || rs.value(row, QStringLiteral("enabled")).isNull()
        || leadingInt(rs.value(row, QStringLiteral("enabled"))) != 0;
    return r;
}

} // namespace

Line::Line(std::unique_ptr<SerialPort> port)
    : m_port(std::move(port))
{
}

std::optional<QList<DeviceRecord>> readDeviceRecords(QString *error)
{
    // Ids are text; "1" and "001" of an old file sort as the numbers they are.
    const auto rs = rsSqlGet(QStringLiteral("select * from devices order by cast(id as integer), id"), {}, error);
    if (!rs)
        return std::nullopt;
    QList<DeviceRecord> records;
    for (int row = 0; row < rs->recordCount(); ++row) {
        DeviceRecord r = recordOf(*rs, row);
        // The station's own ids are three digits; an old "1" is device "001".
        if (const int n = deviceIdNumber(r.id); n > 0 && r.id.size() < 3)
            r.id = deviceIdText(n);
        records << r;
    }
    return records;
}

bool writeDeviceRecord(const DeviceRecord &r, QString *error)
{
    QString err;
    bool found = false;
    const bool ok = rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("update devices set devname=?, devpower=?, devaddr=?, TotalPower=?, "
                                     "devcomversion=? where cast(id as integer)=?"));
            q.addBindValue(r.name);
            q.addBindValue(r.rating);
            q.addBindValue(r.address);
            q.addBindValue(r.totalpower);
            q.addBindValue(r.protocol);
            q.addBindValue(deviceIdNumber(r.id));
            if (!q.exec()) {
                workError = q.lastError().text();
                return false;
            }
            found = q.numRowsAffected() > 0;
            if (!found)
                workError = QStringLiteral("no device %1").arg(r.id);
            return found;
        },
        &err);
    if (!ok && error)
        *error = err;
    return ok;
}

bool Line::load()
{
    QString error;
    const auto records = readDeviceRecords(&error);
    if (!records || records->isEmpty()) {
        messages().beep();
        messages().show(QStringLiteral("Vantoro"), QStringLiteral("Device Info Error！Please contact system manager。"),
                        MessageIcon::None);
        return false;
    }
    std::vector<std::unique_ptr<Device>> devices;
    for (const DeviceRecord &r : *records) {
        std::unique_ptr<Device> device;
        for (auto &old : m_devices) {
            if (old && old->id() == r.id)
                device = std::move(old);
        }
        const bool fresh = !device;
        if (fresh)
            device = std::make_unique<Device>(r);
        const bool ratingChanged = device->record().rating != r.rating;
        device->setRecord(r);
        if (fresh || ratingChanged)
            device->loadTable();
        devices.push_back(std::move(device));
    }
    m_devices = std::move(devices);
    publishDevices();
    return true;
}

Device &Line::addDevice(const DeviceRecord &record)
{
    m_devices.push_back(std::make_unique<Device>(record));
    return *m_devices.back();
}

int Line::enabledCount() const
{
    int n = 0;
    for (const auto &d : m_devices)
        n += d->record().enabled ? 1 : 0;
    return n;
}

Device *Line::device(const QString &id) const
{
    for (const auto &d : m_devices) {
        if (d->id() == id)
            return d.get();
    }
    return nullptr;
}

bool Line::saveValues() const
{
    bool all = true;
    for (const auto &d : m_devices)
        all = d->saveValues() && all;
    return all;
}

void Line::publishDevices() const
{
    QList<DeviceInfo> list;
    for (const auto &d : m_devices)
        list << d->record().info();
    stationBus().publishDevices(list);
}

} // namespace vantoro
