// The unattended station's voice: every running-log line, message and Qt
// warning goes to standard error as one plain line with a level, and no
// message ever waits for an answer.
#pragma once

#include "core/message_service.h"
#include "events/event_log.h"

#include <QString>

namespace vantoro {

enum class LogLevel { Debug, Info, Notice, Warning, Error };

// "DEBUG", "INFO", "NOTICE", "WARN", "ERROR".
QString logLevelName(LogLevel level);
// One line as written: the level, padded, then the text.
QString consoleLine(LogLevel level, const QString &text);
// The level of a running-log line: "*" lines are debug, stored events
// warnings, an event the database refused an error, the rest info.
LogLevel runningLogLevel(const QString &line);

class ConsoleLog : public StatusSink, public MessageService
{
public:
    // Installs itself as status sink, message service and Qt message
    // handler; the destructor removes all three.
    ConsoleLog();
    ~ConsoleLog() override;
    ConsoleLog(const ConsoleLog &) = delete;
    ConsoleLog &operator=(const ConsoleLog &) = delete;

    static void write(LogLevel level, const QString &text);

    // StatusSink: the status bar has no place here; running-log lines do.
    void showStatus(const QString &) override {}
    void runningLogChanged(const QString &line, bool replaced) override;

    // MessageService: a box becomes a line; a question is answered No.
    void show(const QString &title, const QString &text, MessageIcon icon) override;
    bool askYesNo(const QString &title, const QString &text) override;
    void beep() override {}
};

} // namespace vantoro
