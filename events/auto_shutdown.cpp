// The shutdown launcher, the orderly shutdown and the under-voltage trigger.
#include "events/auto_shutdown.h"

#include "core/common.h"
#include "core/message_service.h"
#include "core/process_starter.h"
#include "events/event_log.h"

#include <QFile>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace vantoro {

namespace {

bool systemExitWindows()
{
#ifdef Q_OS_WIN
    return ExitWindowsEx(EWX_SHUTDOWN, 0) != 0;
#else
    return false;
#endif
}

std::function<bool()> &exitWindowsCall()
{
    static std::function<bool()> call;
    return call;
}

// The station keeps running and says so: in the event log, and to the
// operator without waiting for an answer.
void shutdownFailed(const QString &what)
{
    const QString text = QStringLiteral("Automatic shutdown failed: ") + what + QStringLiteral(" not started.");
    logEvent(text, QStringLiteral("001"), QString(), true);
    messages().notify(QStringLiteral("Vantoro"), text, MessageIcon::Warning);
}

} // namespace

QString powerOffFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("poweroff.cmd");
#else
    return QStringLiteral("poweroff");
#endif
}

QByteArray powerOffLauncher()
{
#ifdef Q_OS_WIN
    QFile file(QStringLiteral(":/shutdown/poweroff.cmd"));
#else
    QFile file(QStringLiteral(":/shutdown/poweroff.sh"));
#endif
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString powerOffPath()
{
    return findFileNoCase(appDir(), powerOffFileName());
}

namespace {

bool isRunnable(const QString &path)
{
#ifdef Q_OS_WIN
    return QFile::exists(path);
#else
    return QFile::exists(path) && (QFile::permissions(path) & QFile::ExeOwner);
#endif
}

} // namespace

bool extractPowerOff()
{
    const QString path = powerOffPath();
    // A launcher that lost its run bit could never be started: it is
    // written again rather than kept.
    if (isRunnable(path))
        return true;
    const QByteArray launcher = powerOffLauncher();
    if (launcher.isEmpty() || !saveBytesToFile(launcher, path)) {
        logStatus(QStringLiteral("*Shutdown tool not written: ") + path);
        return false;
    }
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return true;
}

QString shutdownComment()
{
    const QString crlf = QStringLiteral("\r\n");
    return crlf + QStringLiteral(" from Vantoro:") + crlf + crlf + QStringLiteral("由于UPS原因") + crlf
        + QStringLiteral("为了保护数据,系统即将自行关闭. ");
}

QStringList shutdownArguments()
{
    QString comment = shutdownComment();
#ifdef Q_OS_WIN
    // cmd.exe ends a command at a line break, so the launcher gets one line.
    comment.replace(QLatin1String("\r\n"), QLatin1String(" "));
#endif
    return {QStringLiteral("-s"), QStringLiteral("-t"), QString::number(SHUTDOWN_DELAY_SECONDS), QStringLiteral("-c"),
            comment};
}

void setExitWindowsCall(std::function<bool()> call)
{
    exitWindowsCall() = std::move(call);
}

bool shutdownWindows()
{
    if (!isWinNT()) {
        const bool asked = exitWindowsCall() ? exitWindowsCall()() : systemExitWindows();
        if (!asked) {
            shutdownFailed(QStringLiteral("ExitWindowsEx"));
            return false;
        }
        quitRequested = true;
        return true;
    }
    // A launcher deleted since start-up is written again rather than leaving
    // the machine running on a failing supply.
    extractPowerOff();
    if (!startDetachedProcess(powerOffPath(), shutdownArguments())) {
        shutdownFailed(powerOffPath());
        return false;
    }
    // Only now: a station that quit without the launcher running would stop
    // watching just when the supply fails, and leave the computer on.
    quitRequested = true;
    return true;
}

bool UnderVoltageTrigger::underVoltage(const ParamTable &table)
{
    for (int slot = FIRST_STATUS_BIT_SLOT; slot < PARAM_SLOTS; ++slot) {
        if (table[size_t(slot)].paracode.trimmed().compare(QLatin1String(UNDER_VOLTAGE_PARACODE), Qt::CaseInsensitive)
            != 0)
            continue;
        const qint64 status = truncatedInt(table[size_t(STATUS_WORD_SLOT)].number());
        return bitValue(status, slot - FIRST_STATUS_BIT_SLOT) != 0;
    }
    return false;
}

bool UnderVoltageTrigger::update(const ParamTable &table, bool autoShutDown)
{
    if (!underVoltage(table)) {
        m_opened = false;
        return false;
    }
    if (!autoShutDown || m_opened)
        return false;
    m_opened = true;
    return true;
}

} // namespace vantoro
