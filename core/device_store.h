// The devices on the line as the `devices` table holds them: listing,
// adding, editing and removing them, validated, each change one transaction,
// and the new list published on the station bus after it.
#pragma once

#include "core/station_bus.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace vantoro {

inline constexpr int MAX_DEVICES = 32;
inline constexpr int DEVICE_NAME_MAX = 50;

// A row of `devices`: what the bus carries and whether the device reports
// a total-energy meter (TOTALPOWER).
struct DeviceRecord : DeviceInfo
{
    bool meterCounter = true;

    bool operator==(const DeviceRecord &) const = default;
};

// "001".."032".
QString deviceIdText(int number);
bool isValidDeviceId(const QString &id);
// The addresses a protocol version can reach: 1..247 for version 2, 0..255
// for version 1.
int lowestAddress(int protocol);
int highestAddress(int protocol);

// Empty when `device` may join `line` (the devices stored, `device` itself
// left out when it is being edited: `editing`), else the reason, for the
// operator. `ratings` are the ratings a factory table exists for.
QString deviceProblem(const DeviceRecord &device, const QList<DeviceRecord> &line, const QStringList &ratings,
                      bool editing);

// Empty unless another device of `line` has the address of `device`.
QString addressTaken(const DeviceRecord &device, const QList<DeviceRecord> &line);

// Every row of `devices`, by id; nullopt when the table cannot be read.
std::optional<QList<DeviceRecord>> loadDevices(QString *error = nullptr);

// Adds the device row and its parameter rows (the factory table of its
// rating, with its id) in one transaction. False with `error` set when the
// device is refused or the write failed; nothing is written then.
bool addDevice(const DeviceRecord &device, QString *error = nullptr);
// Writes the fields of the stored device of the same id; the parameter
// rows stay (the operator's limits are not reset by a new name or rating).
bool editDevice(const DeviceRecord &device, QString *error = nullptr);
// Removes the device row and its parameter rows; with `purge` also what it
// recorded (purgeDeviceRecords), all in one transaction. The last device of
// the line is never removed.
bool removeDevice(const QString &id, bool purge, QString *error = nullptr);
// Inside a transaction: deletes what the station recorded for a device
// (its events, its daily yield, its history samples and their rollup).
bool purgeDeviceRecords(QSqlDatabase &db, const QString &id, QString &error);

// Gives every stored device without parameter rows the rows of the factory
// table of its rating (of "3K" when its own has none). Returns one message
// per device mended or left without rows, for the start-up to log.
QStringList ensureParameterRows();

// Publishes the stored list on the station bus; false when it cannot be read.
bool publishStoredDevices(QString *error = nullptr);

} // namespace vantoro
