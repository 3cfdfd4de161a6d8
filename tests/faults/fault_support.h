// Shared pieces of the fault tests: status capture, the helper process, and
// reading back what the database holds.
#pragma once

#include "events/event_log.h"

#include <QProcess>
#include <QStringList>
#include <memory>

namespace vantoro::test {

class StatusCapture : public StatusSink
{
public:
    StatusCapture();
    ~StatusCapture() override;
    void showStatus(const QString &text) override { texts << text; }
    void runningLogChanged(const QString &, bool) override { }
    // The messages containing `part`, joined for a failure message.
    QStringList containing(const QString &part) const;
    QString all() const { return texts.join(QLatin1String(" | ")); }
    QStringList texts;
};

// Starts the fault helper with `arguments` and waits for `line` on its
// standard output; null when it did not come within `timeoutMs`.
std::unique_ptr<QProcess> startHelper(const QStringList &arguments, const QByteArray &line, int timeoutMs = 5000);
// Kills the helper at once (SIGKILL) and waits for it to be gone.
void killHelper(QProcess &helper);
// Waits for the helper to end by itself; true when it ended with code 0.
bool helperEndedCleanly(QProcess &helper, int timeoutMs = 5000);

// The paravalue of every paraset row of device "001", in paraid order,
// read on a connection of its own; empty when the table cannot be read.
QStringList storedParamValues(QString *error = nullptr);
QStringList storedEventNames();
// "ok" for a sound database file.
QString integrityCheck();

} // namespace vantoro::test
