// The per-user autostart entry.
#include "core/session_autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace vantoro {

namespace {

// The desktop-entry rules for an Exec argument: quoted, with the four
// reserved characters escaped.
QString quotedArgument(const QString &text)
{
    QString escaped = text;
    for (const char *c : {"\\", "\"", "`", "$"})
        escaped.replace(QLatin1String(c), QLatin1String("\\") + QLatin1String(c));
    escaped.replace(QLatin1String("%"), QLatin1String("%%"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

QString autostartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
        + QString::fromLatin1(DESKTOP_ENTRY_ID) + QStringLiteral(".desktop");
}

bool startsWithSession()
{
    return QFileInfo::exists(autostartEntryPath());
}

bool setStartWithSession(bool on, QString *error, const QString &program)
{
    const QString path = autostartEntryPath();
    if (!on) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        if (error)
            *error = QStringLiteral("cannot remove %1").arg(path);
        return false;
    }
    const QString exec = program.isEmpty() ? QCoreApplication::applicationFilePath() : program;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Vantoro\n"
                                         "Comment=Monitoring station for a photovoltaic inverter\n"
                                         "Exec=%1\n"
                                         "Icon=%2\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(quotedArgument(exec), QString::fromLatin1(DESKTOP_ENTRY_ID));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace vantoro
