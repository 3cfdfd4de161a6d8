// The replaceable detached-process starter.
#include "core/process_starter.h"

#include <QProcess>

namespace vantoro {

namespace {

ProcessStarter &starter()
{
    static ProcessStarter current;
    return current;
}

} // namespace

bool startDetachedProcess(const QString &program, const QStringList &arguments)
{
    if (starter())
        return starter()(program, arguments);
    return QProcess::startDetached(program, arguments);
}

void setProcessStarter(ProcessStarter replacement)
{
    starter() = std::move(replacement);
}

} // namespace vantoro
