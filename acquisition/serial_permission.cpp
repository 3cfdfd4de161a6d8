// The serial permission advice, from the device file's group.
#include "acquisition/serial_permission.h"

#include "core/localisation.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

namespace vantoro {

QString deviceGroup(const QString &device)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return {};
    if (const struct group *g = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(info.st_gid);
#else
    Q_UNUSED(device);
    return {};
#endif
}

QString serialPermissionAdvice(const QString &name)
{
    // A bare port name ("ttyUSB0") lives under /dev.
    const QString device = name.contains(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
    const QString group = deviceGroup(device);
    if (group.isEmpty())
        return {};
    const QString user = qEnvironmentVariable("USER", QStringLiteral("$USER"));
    QString text = langText(QStringLiteral("SerialAccess"), QStringLiteral("msgPortPermission"), LANGUAGE_CURRENT,
                            QStringLiteral("No permission to open %1: join the group \"%2\" (sudo usermod -aG %2 %3), "
                                           "then log in again."));
    text.replace(QLatin1String("%1"), device).replace(QLatin1String("%2"), group).replace(QLatin1String("%3"), user);
    return text;
}

} // namespace vantoro
