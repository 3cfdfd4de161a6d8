// How much memory the machine uses, for the clock panel of the main window.
#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QtGlobal>

namespace vantoro {

// Used bytes from /proc/meminfo text: the larger of used swap and used
// physical memory; -1 when the text holds neither.
qint64 usedMemoryFromMeminfo(const QString &meminfo);
// Used memory of this machine in bytes, -1 when unknown.
qint64 usedMemoryBytes();
// The panel text: time, " MemUsed:", megabytes with one decimal and "M".
QString clockPanelText(const QString &time, qint64 usedBytes);
// The clock's time: hours, minutes and seconds, never a time-zone name.
QString clockTimeText(const QTime &time);
// The date panel in the interface language's own date format.
QString datePanelText(const QDate &date, int language);

} // namespace vantoro
