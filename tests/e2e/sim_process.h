// Runs the device simulator for a test: starts it on a pseudo-terminal,
// hands out the path, drives its scenario file and reads its record file.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace vantoro::test {

class SimProcess
{
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts vantoro-sim with `arguments` plus its scenario and record files;
    // true once it printed its pseudo-terminal path.
    bool start(const QStringList &arguments = {}, int timeoutMs = 5000);
    // SIGTERM, then a kill if it does not end; true when it ended by itself with code 0.
    bool stop();

    QString ptyPath() const { return m_ptyPath; }
    // The pseudo-terminal's path or the gateway's address, as the station names its line.
    QString lineAddress() const { return m_ptyPath; }
    QString errorText() const { return m_error; }
    QString standardError();

    // Replaces the scenario in one step (the simulator reads it before each request).
    bool writeScenario(const QString &text);
    QString recordPath() const;
    QStringList recordLines() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_ptyPath;
    QString m_error;
    QByteArray m_stderr;
};

} // namespace vantoro::test
