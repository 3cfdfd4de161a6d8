// Log lines on standard error.
#include "unattended/console_log.h"

#include "core/localisation.h"

#include <QDateTime>
#include <cstdio>

namespace vantoro {

namespace {

void qtMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    LogLevel level = LogLevel::Debug;
    switch (type) {
    case QtDebugMsg: level = LogLevel::Debug; break;
    case QtInfoMsg: level = LogLevel::Info; break;
    case QtWarningMsg: level = LogLevel::Warning; break;
    case QtCriticalMsg:
    case QtFatalMsg: level = LogLevel::Error; break;
    }
    ConsoleLog::write(level, text);
}

// The text of a running-log line, after its "[date time] " stamp.
QString textOf(const QString &line)
{
    const int end = line.indexOf(QLatin1String("] "));
    return line.startsWith(QLatin1Char('[')) && end > 0 ? line.mid(end + 2) : line;
}

// Line breaks inside a message would split it into lines without a level.
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" | "));
    text.replace(QLatin1Char('\r'), QLatin1String(" | "));
    text.replace(QLatin1Char('\n'), QLatin1String(" | "));
    return text;
}

} // namespace

QString logLevelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug: return QStringLiteral("DEBUG");
    case LogLevel::Info: return QStringLiteral("INFO");
    case LogLevel::Notice: return QStringLiteral("NOTICE");
    case LogLevel::Warning: return QStringLiteral("WARN");
    case LogLevel::Error: return QStringLiteral("ERROR");
    }
    return {};
}

QString consoleLine(LogLevel level, const QString &text)
{
    return logLevelName(level).leftJustified(7) + oneLine(text);
}

ConsoleLog::ConsoleLog()
{
    setStatusSink(this);
    setMessageService(this);
    qInstallMessageHandler(qtMessage);
}

ConsoleLog::~ConsoleLog()
{
    qInstallMessageHandler(nullptr);
    setMessageService(nullptr);
    setStatusSink(nullptr);
}

void ConsoleLog::write(LogLevel level, const QString &text)
{
    // One write per line, flushed, so lines of a dying process are not lost
    // and never interleave.
    const QByteArray bytes = (consoleLine(level, text) + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

LogLevel runningLogLevel(const QString &line)
{
    const QString text = textOf(line);
    // Nobody reads a debug line of an unattended station: a lost event is
    // an error there.
    if (text.startsWith(QLatin1String(EVENT_NOT_STORED)))
        return LogLevel::Error;
    if (text.startsWith(QLatin1Char('*')))
        return LogLevel::Debug;
    if (text.startsWith(langText(QStringLiteral("Application"), QStringLiteral("SysEvent"))))
        return LogLevel::Warning;
    return LogLevel::Info;
}

void ConsoleLog::runningLogChanged(const QString &line, bool)
{
    write(runningLogLevel(line), line);
}

void ConsoleLog::show(const QString &title, const QString &text, MessageIcon icon)
{
    LogLevel level = LogLevel::Notice;
    if (icon == MessageIcon::Error || title.contains(QLatin1String("error"), Qt::CaseInsensitive))
        level = LogLevel::Error;
    else if (icon == MessageIcon::Warning)
        level = LogLevel::Warning;
    write(level, title.trimmed() + QStringLiteral(": ") + text.trimmed());
}

bool ConsoleLog::askYesNo(const QString &title, const QString &text)
{
    write(LogLevel::Notice, title.trimmed() + QStringLiteral(": ") + text.trimmed() + QStringLiteral(" -> No"));
    return false;
}

} // namespace vantoro
