// "Start with the session": a per-user autostart entry that the station
// writes and removes itself (XDG autostart, read by every desktop).
#pragma once

#include <QString>

namespace vantoro {

// The entry's file name, the same as the installed menu entry's.
inline constexpr const char *DESKTOP_ENTRY_ID = "org.vantoro.Vantoro";

// ~/.config/autostart/<id>.desktop (XDG_CONFIG_HOME respected).
QString autostartEntryPath();
bool startsWithSession();
// Writes an entry that starts `program` (the running executable when
// empty), or removes it. False with `error` set when the file could not be
// written or removed.
bool setStartWithSession(bool on, QString *error = nullptr, const QString &program = QString());

} // namespace vantoro
