// The running marker beside the program.
#include "events/run_marker.h"

#include "core/common.h"
#include "core/localisation.h"
#include "events/event_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace vantoro {

namespace {

QString markerPath()
{
    return QDir(appDir()).filePath(QString::fromLatin1(RUN_MARKER_FILE));
}

} // namespace

bool markRunStarted()
{
    const QString path = markerPath();
    const bool leftBehind = QFile::exists(path);
    QFile file(path);
    // A folder that cannot be written costs only the unclean-stop event.
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    return leftBehind;
}

bool noteRunStarted()
{
    if (!markRunStarted())
        return false;
    logEvent(langText(QStringLiteral("Application"), QStringLiteral("msgUncleanStop")), QStringLiteral("001"), QString(),
             true);
    return true;
}

void markRunStopped()
{
    QFile::remove(markerPath());
}

} // namespace vantoro
