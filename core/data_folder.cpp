// The data-folder rules and the seeding of a user's data folder.
#include "core/data_folder.h"

#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/profile_file.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#ifndef VANTORO_INSTALLED_DEFAULTS
#define VANTORO_INSTALLED_DEFAULTS "../share/vantoro"
#endif

namespace vantoro {

namespace {

const QString seededSection = QStringLiteral("Seeded");
const QString iniFile = QStringLiteral("VANTORO.INI");

// Copied once; afterwards they are the user's (the database is upgraded in
// place, the INI files hold the user's choices).
const char *const keptFiles[] = {DATABASE_FILE, "VANTORO.INI", "PARAMS.INI"};
// Replaced by a newer install unless the user edited them.
const char *const refreshedFiles[] = {"langcn.ini", "langen.ini", "manual.pdf"};

bool holdsDatabase(const QString &dir)
{
    if (dir.isEmpty())
        return false;
    const QFileInfo db(findFileNoCase(dir, QString::fromLatin1(DATABASE_FILE)));
    return db.isFile() && db.size() > 0;
}

bool writableFolderWithDatabase(const QString &dir)
{
    const QFileInfo folder(dir);
    const QFileInfo db(findFileNoCase(dir, QString::fromLatin1(DATABASE_FILE)));
    return holdsDatabase(dir) && folder.isWritable() && db.isWritable();
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

// Written aside and renamed, so an interrupted copy never leaves half a file
// that the next start would take as the user's.
bool copyWhole(const QString &from, const QString &to, QString *error)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(from, source.errorString());
        return false;
    }
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly) || target.write(source.readAll()) < 0 || !target.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(to, target.errorString());
        return false;
    }
    // The installed copy is read-only; the user's copy is the user's alone.
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString recordPath(const QString &home)
{
    return addBackslash(home) + QString::fromLatin1(SEEDED_RECORD_FILE);
}

void record(const QString &home, const QString &name, const QByteArray &hash)
{
    writeIni(seededSection, name, QString::fromLatin1(hash), recordPath(home));
}

bool seedKept(const QString &home, const QString &defaults, const QString &name, const QLocale &locale,
              QStringList *notes, QString *error)
{
    const QString source = findFileNoCase(defaults, name);
    const QString target = findFileNoCase(home, name);
    const QFileInfo present(target);
    if (!QFileInfo::exists(source) || (present.isFile() && present.size() > 0))
        return true;
    if (!copyWhole(source, target, error))
        return false;
    if (name.compare(iniFile, Qt::CaseInsensitive) == 0)
        writeIni(QStringLiteral("Settings"), QStringLiteral("Language"), QString::number(languageForLocale(locale)),
                 target);
    notes->append(QStringLiteral("seeded ") + target);
    return true;
}

bool refresh(const QString &home, const QString &defaults, const QString &name, QStringList *notes, QString *error)
{
    const QString source = findFileNoCase(defaults, name);
    const QString target = findFileNoCase(home, name);
    if (!QFileInfo::exists(source))
        return true;
    const QByteArray newHash = fileHash(source);
    if (!QFileInfo::exists(target)) {
        if (!copyWhole(source, target, error))
            return false;
        record(home, name, newHash);
        notes->append(QStringLiteral("seeded ") + target);
        return true;
    }
    const QByteArray current = fileHash(target);
    if (current == newHash)
        return true;
    const QString seeded = readIni(seededSection, name, QString(), recordPath(home));
    if (seeded.isEmpty() || current != seeded.toLatin1()) {
        notes->append(QStringLiteral("kept the edited ") + target);
        return true;
    }
    if (!copyWhole(source, target, error))
        return false;
    record(home, name, newHash);
    notes->append(QStringLiteral("refreshed ") + target);
    return true;
}

} // namespace

int languageForLocale(const QLocale &locale)
{
    return locale.language() == QLocale::Chinese ? LANGUAGE_CHINESE : LANGUAGE_ENGLISH;
}

int startLanguage(const QString &iniFile, const QLocale &locale)
{
    const QString stored = readIni(QStringLiteral("Settings"), QStringLiteral("Language"), QString(), iniFile);
    if (!stored.isEmpty())
        return truncatedInt(leadingNumber(stored));
    const int language = languageForLocale(locale);
    writeIni(QStringLiteral("Settings"), QStringLiteral("Language"), QString::number(language), iniFile);
    return language;
}

DataFolderPlaces dataFolderPlaces(const QString &homeOption)
{
    DataFolderPlaces places;
    places.explicitHome = homeOption;
    places.explicitHomeSource = QStringLiteral("--home");
    if (places.explicitHome.isEmpty()) {
        // Taken as --home is: a mistyped folder must not leave the station
        // running on a fresh database elsewhere.
        places.explicitHome = qEnvironmentVariable("VANTORO_HOME");
        places.explicitHomeSource = QStringLiteral("VANTORO_HOME");
    }
    places.programDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    places.installedDefaults =
        QDir::cleanPath(places.programDir + QLatin1Char('/') + QStringLiteral(VANTORO_INSTALLED_DEFAULTS));
    places.userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return places;
}

DataFolder chooseDataFolder(const DataFolderPlaces &places, const QLocale &locale)
{
    DataFolder result;
    if (!places.explicitHome.isEmpty()) {
        const QFileInfo home(places.explicitHome);
        if (!home.isDir())
            result.error = QStringLiteral("the home folder %1 (%2) does not exist")
                               .arg(places.explicitHome, places.explicitHomeSource);
        else
            result.home = addBackslash(QDir::cleanPath(home.absoluteFilePath()));
        return result;
    }
    if (writableFolderWithDatabase(places.programDir)) {
        result.home = addBackslash(places.programDir);
        return result;
    }
    if (places.userData.isEmpty() || !QDir().mkpath(places.userData)) {
        result.error = QStringLiteral("no data folder can be made at %1").arg(places.userData);
        return result;
    }
    // An install ships its defaults apart; a read-only unpacked copy is its
    // own source.
    const QString defaults = holdsDatabase(places.installedDefaults) ? places.installedDefaults
                                                                     : places.programDir;
    if (!seedDataFolder(places.userData, defaults, locale, &result.notes, &result.error))
        return result;
    result.home = addBackslash(QDir::cleanPath(places.userData));
    return result;
}

bool seedDataFolder(const QString &home, const QString &defaults, const QLocale &locale, QStringList *notes,
                    QString *error)
{
    QStringList ignored;
    if (!notes)
        notes = &ignored;
    QString reason;
    for (const char *name : keptFiles) {
        if (!seedKept(home, defaults, QString::fromLatin1(name), locale, notes, &reason)) {
            if (error)
                *error = reason;
            return false;
        }
    }
    for (const char *name : refreshedFiles) {
        if (!refresh(home, defaults, QString::fromLatin1(name), notes, &reason)) {
            if (error)
                *error = reason;
            return false;
        }
    }
    return true;
}

bool useDataFolder(const QString &homeOption, QString *reason, QStringList *notes)
{
    const DataFolder folder = chooseDataFolder(dataFolderPlaces(homeOption));
    if (notes)
        *notes = folder.notes;
    if (folder.home.isEmpty()) {
        if (reason)
            *reason = folder.error;
        return false;
    }
    qputenv("VANTORO_HOME", QFile::encodeName(folder.home));
    return true;
}

} // namespace vantoro
