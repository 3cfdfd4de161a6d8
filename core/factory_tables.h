// The factory copies of the parameter table, one per power rating
// ("paraset_" followed by the rating): restoring paraset from one, and
// saving paraset as one, each as a single transaction.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace vantoro {

inline constexpr const char *FACTORY_TABLE_PREFIX = "paraset_";

// The ratings the station offers.
QStringList knownPowerRatings();
// A rating may become part of a table name when it is a known rating or
// consists of ASCII letters and digits only.
bool isValidPowerRating(const QString &rating);
// "paraset_" + rating; empty when the rating is not valid.
QString factoryTableName(const QString &rating);

// Replaces every row of paraset by the rows of the factory table of
// `rating`. A missing or empty factory table, or any failure, leaves paraset
// as it was and returns false with `error` set.
bool restoreFactoryParameters(const QString &rating, QString *error = nullptr);
// Replaces the rows of one device (DEVID) by the rows of the factory table
// of `rating`, written with that DEVID; the other devices' rows stay. The
// same guarantees.
bool restoreFactoryParameters(const QString &rating, const QString &deviceId, QString *error);
// Inside a transaction the caller holds: adds the rows of the factory table
// of `rating` to paraset as rows of `deviceId`. Fails on an invalid rating
// and on a missing or empty factory table.
bool copyFactoryParameters(QSqlDatabase &db, const QString &rating, const QString &deviceId, QString &error);
// The ratings whose factory tables exist and hold rows, known ones first.
QStringList factoryRatings(QString *error = nullptr);
// Replaces every row of the factory table of `rating` by the rows of
// paraset, with the same guarantees.
bool saveParametersAsFactory(const QString &rating, QString *error = nullptr);
// The same from the rows of one device only (empty `deviceId`: every row),
// stored as rows of the device the shipped tables carry ("001").
bool saveParametersAsFactory(const QString &rating, const QString &deviceId, QString *error);

} // namespace vantoro
