// Where the station keeps its files, and how a user's data folder is filled
// from the installed defaults and kept up to date by later installs.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace vantoro {

// The record of the files copied from the installed defaults, with the hash
// of each copy, so a later install can tell an untouched copy from an edit.
inline constexpr const char *SEEDED_RECORD_FILE = "SEEDED.INI";

// The places the choice looks at.
struct DataFolderPlaces
{
    QString explicitHome;       // --home, else VANTORO_HOME; may be empty
    QString explicitHomeSource; // "--home" or "VANTORO_HOME", for the messages
    QString programDir;         // the folder of the executable
    QString installedDefaults;  // the defaults an install ships; may not exist
    QString userData;           // the user's data folder for the station
};

struct DataFolder
{
    QString home;               // empty when no folder can be used
    QString error;              // why, when home is empty
    QStringList notes;          // what was seeded, refreshed or kept
};

// The places of this program: the option or VANTORO_HOME, the executable's
// folder, the installed defaults beside it (../share/vantoro) and
// QStandardPaths::AppDataLocation.
DataFolderPlaces dataFolderPlaces(const QString &homeOption);

// The rules: an explicit home wins (it must be a folder); else the
// program's folder when it holds the database and can be written (a build
// or an unpacked copy); else the user's data folder, created, seeded on
// first start and refreshed after an install. `locale` picks the language
// of a freshly seeded VANTORO.INI.
DataFolder chooseDataFolder(const DataFolderPlaces &places, const QLocale &locale = QLocale::system());

// Copies what `home` lacks from `defaults`, and replaces the language files
// and the manual with newer defaults where the copy there is untouched; the
// database and INI files are never overwritten (the schema is upgraded in
// place at start-up). True unless a file could not be written.
bool seedDataFolder(const QString &home, const QString &defaults, const QLocale &locale, QStringList *notes,
                    QString *error);

// Chooses the data folder for this process (`homeOption` is --home) and
// makes it appDir() by setting VANTORO_HOME, which a started service
// inherits; `notes` says what was seeded, refreshed or kept. False with the
// reason when no folder can be used.
bool useDataFolder(const QString &homeOption, QString *reason, QStringList *notes = nullptr);

// The language index for a fresh VANTORO.INI: Chinese locales give Chinese
// (1), every other locale English (2).
int languageForLocale(const QLocale &locale);

// The language a start uses: the one `iniFile` stores, else (a first start
// in a build folder or an unpacked copy) the locale's, which is then stored.
int startLanguage(const QString &iniFile, const QLocale &locale = QLocale::system());

} // namespace vantoro
