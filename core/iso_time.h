// Times as the station exports and serves them: ISO 8601 with the UTC
// offset in force at that instant, so the repeated autumn hour stays apart.
#pragma once

#include <QDateTime>
#include <QString>

namespace vantoro {

// "2026-10-25T02:30:00+02:00"; empty for an invalid time.
QString isoWithOffset(const QDateTime &time);

} // namespace vantoro
