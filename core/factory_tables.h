// The factory copies of the parameter table, one per power rating
// ("paraset_" followed by the rating): restoring paraset from one, and
// saving paraset as one, each as a single transaction.
#pragma once

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
// Replaces every row of the factory table of `rating` by the rows of
// paraset, with the same guarantees.
bool saveParametersAsFactory(const QString &rating, QString *error = nullptr);

} // namespace vantoro
