// Memory status of the machine.
#include "core/memory_status.h"

#include "core/localisation.h"

#include <QFile>
#include <QLocale>
#include <QHash>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace vantoro {

qint64 usedMemoryFromMeminfo(const QString &meminfo)
{
    QHash<QString, qint64> kb;
    const QStringList lines = meminfo.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0)
            kb.insert(line.left(colon).trimmed(), line.mid(colon + 1).trimmed().section(QLatin1Char(' '), 0, 0).toLongLong());
    }
    if (!kb.contains(QStringLiteral("MemTotal")))
        return -1;
    const qint64 available = kb.contains(QStringLiteral("MemAvailable")) ? kb.value(QStringLiteral("MemAvailable"))
                                                                         : kb.value(QStringLiteral("MemFree"));
    const qint64 physical = kb.value(QStringLiteral("MemTotal")) - available;
    const qint64 swap = kb.value(QStringLiteral("SwapTotal")) - kb.value(QStringLiteral("SwapFree"));
    return qMax(physical, swap) * 1024;
}

qint64 usedMemoryBytes()
{
#ifdef Q_OS_WIN
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return -1;
    const qint64 physical = qint64(status.ullTotalPhys - status.ullAvailPhys);
    const qint64 paged = qint64(status.ullTotalPageFile - status.ullAvailPageFile);
    return qMax(physical, paged);
#else
    QFile f(QStringLiteral("/proc/meminfo"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return usedMemoryFromMeminfo(QString::fromLatin1(f.readAll()));
#endif
}

QString clockPanelText(const QString &time, qint64 usedBytes)
{
    const double megabytes = usedBytes < 0 ? 0.0 : double(usedBytes) / 1024.0 / 1024.0;
    return time + QStringLiteral(" MemUsed:") + QString::number(megabytes, 'f', 1) + QLatin1Char('M');
}

QString clockTimeText(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString datePanelText(const QDate &date, int language)
{
    if (language == LANGUAGE_ENGLISH)
        return QLocale(QLocale::English, QLocale::UnitedStates).toString(date, QStringLiteral("MMM d, yyyy"));
    return QLocale(QLocale::Chinese, QLocale::China).toString(date, QStringLiteral("yyyy年M月d日"));
}

} // namespace vantoro
