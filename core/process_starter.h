// Starting another program without waiting for it, behind one replaceable
// function so tests record what would be started instead of starting it.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace vantoro {

using ProcessStarter = std::function<bool(const QString &program, const QStringList &arguments)>;

// Starts `program` detached with an argument list (never through a shell);
// true when it started.
bool startDetachedProcess(const QString &program, const QStringList &arguments);
// Replaces the starter; an empty function restores the real one.
void setProcessStarter(ProcessStarter starter);

} // namespace vantoro
