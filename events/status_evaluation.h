// Judging the device after a poll: the fault text, the value colour, and when
// the alarm sounds.
#pragma once

#include "acquisition/param_table.h"

#include <QString>
#include <QStringList>

namespace vantoro {

inline constexpr quint32 COLOUR_RED = 0x0000FF;   // red in the low byte
inline constexpr quint32 COLOUR_BLACK = 0x000000;

// An enabled, watched parameter out of its limits (numbers) or flagged
// (status texts). A value no reply of this run wrote is never a fault, nor
// the limits of a row resting while the device sleeps.
bool isFaulty(const ParamRecord &p);
// The fault entry of one parameter ("name=value ..."), empty when it is fine.
QString faultText(const ParamRecord &p);
// Every enabled, watched parameter out of its limits (numbers) or flagged
// (status texts), joined with "; " in id order; empty when all is well.
QString checkDevStatus(const ParamTable &table);
// The same faults one entry each, in id order.
QStringList faultEntries(const ParamTable &table);
// Which parameters are at fault ("2;15"), without their values: two fault
// texts with the same key report the same faults, however the values moved.
QString faultKey(const ParamTable &table);
// Red for an enabled, watched parameter whose fault flag is set; black
// otherwise, also for ids outside the table.
quint32 getCellColor(const ParamTable &table, int iRow);
// Whether a TimerBeep tick sounds: a fault while sound is on, or a lost link
// while polling; a device asleep without answering has not lost its link.
bool alarmDue(bool foundError, int soundEnabled, int linkOk, bool pollingOn, bool silentlyAsleep = false);

} // namespace vantoro
