// Status messages (status bar and running log), stored events with the
// 13-minute rule, and error reports.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace vantoro {

inline constexpr int RUNNING_LOG_LIMIT = 16384; // characters before trimming
inline constexpr int RUNNING_LOG_KEEP = 8192;   // characters kept by a trim
inline constexpr int EVENT_TEXT_LIMIT = 255;
inline constexpr int EVENT_QUIET_MINUTES = 13;
// Starts the running-log line of an event the database refused.
inline constexpr const char *EVENT_NOT_STORED = "*Event not stored";

// Where status messages go: the main window's status bar and the running
// log window. Installed by the window; without one, messages are only kept.
class StatusSink
{
public:
    virtual ~StatusSink() = default;
    virtual void showStatus(const QString &text) = 0;
    // The running log changed: either `line` was appended, or the whole text
    // was replaced (after a trim), in which case `replaced` is true.
    virtual void runningLogChanged(const QString &line, bool replaced) = 0;
};

void setStatusSink(StatusSink *sink);

// The clock of the log lines and of the 13-minute rule; an empty function
// restores the system clock. Tests move time on without waiting.
void setEventClock(std::function<QDateTime()> clock);

// The running log: one line per message, cut to its last 8192 characters
// when it holds more than 16384 before a line is added.
const QString &runningLogText();
void clearRunningLog();
// The line a message gets in the running log, without its line break.
QString runningLogLine(const QString &text, const QDateTime &when, bool debugMode);
// Appends a line to a log text following the trimming rule; true when trimmed.
bool appendToRunningLog(QString &log, const QString &line);

void logStatus(const QString &text, bool statusOnly = false);
// The steps of a normal poll cycle would bury the messages that matter: they
// reach the running log only while its details are switched on (off at
// start). A detail shows in the status bar as a status message does; a trace
// goes to the running log only.
void setRunningLogDetails(bool on);
bool runningLogDetails();
void logDetail(const QString &text);
void logTrace(const QString &text);
// Stores an event in eventlog. An unforced event that repeats the last stored
// unforced one within 13 minutes of the last stored event is dropped unless
// debug mode is on; a different one is stored. `repeatKey` says what makes
// two events the same (a fault text carries values that change every poll);
// empty means the text itself. True when a row was stored.
bool logEvent(const QString &text, const QString &devid = QStringLiteral("001"), const QString &repeatKey = QString(),
              bool force = false);
// Stores what an operator did (a remote command, a setting sent): always,
// and without moving the 13-minute clock, so a fault right after it is
// still stored.
bool logOperatorAction(const QString &text, const QString &devid = QStringLiteral("001"));
// Forgets the time of the last stored event (a new run, or a test).
void resetEventThrottle();
// Shows a run-time error in the one error format of the station.
void reportError(const QString &context, const QString &description, int number = 0,
                 const QString &source = QStringLiteral("Vantoro"));

} // namespace vantoro
