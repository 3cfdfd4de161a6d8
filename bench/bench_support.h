// Shared pieces of the timing programs: a private home and settings store,
// order statistics, option parsing and the result lines run_all.sh reads.
#pragma once

#include "core/message_service.h"

#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace vantoro {
class Device;
class Line;
}

namespace vantoro::bench {

// A temporary VANTORO_HOME with copies of the built default files and a
// temporary XDG_CONFIG_HOME, so no timing run touches the user's own store.
// Create it before the QCoreApplication: child processes inherit both.
class BenchHome
{
public:
    BenchHome();
    QString path() const { return m_home.path(); }
    QString file(const QString &name) const;
    QString configPath() const { return m_config.path(); }

private:
    QTemporaryDir m_home;
    QTemporaryDir m_config;
};

// The station as its own process, offscreen and without the station's fixed
// waits, in the VANTORO_HOME and settings store of this process.
class StationProcess
{
public:
    StationProcess();
    ~StationProcess();
    // Starts it; true once its main window is shown (the start-up mark).
    bool start(int timeoutMs = 30000);
    // From just before the process was started to the mark, in ms.
    double startupMs() const { return m_startupMs; }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Asks it to end as the operating system would, then kills it if needed.
    void stop();
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    double m_startupMs = 0;
    QString m_error;
};

// Counts beeps and messages instead of showing them.
class QuietMessages : public MessageService
{
public:
    QuietMessages();
    ~QuietMessages() override;
    void show(const QString &title, const QString &text, MessageIcon icon) override;
    bool askYesNo(const QString &, const QString &) override { return false; }
    void beep() override { ++beeps; }

    int beeps = 0;
    QStringList texts;
};

// Reads the station's settings (and the parameter table unless `settingsOnly`)
// from the bench home; false after printing why.
bool loadStation(const BenchHome &home, bool settingsOnly = false);

// Writes the station's settings straight into its file, holding no
// connection afterwards; false after printing the failing statement.
bool editDatabase(const QString &path, const QStringList &statements);
// Sleeps while keeping child processes' output pipes drained.
void idleFor(double seconds);

// Points the station at the simulator's pseudo-terminal as port 1, no
// retries, `timeoutSeconds` per reply; the line's first device (the
// database's when the line has none) at protocol 2, address 1, its link
// taken as up.
Device &useSimulator(Line &line, const QString &ptyPath, int baud = 9600, float timeoutSeconds = 1);

struct StationCost
{
    double percent = -1;        // of one core; -1 when it could not be measured
    double measuredSeconds = 0;
};
// Starts the station as its own process, lets it settle, and measures the
// CPU it takes over `seconds`; prints why when it cannot.
StationCost stationCpuShare(double settleSeconds, double seconds);

// Milliseconds on a started clock, with its nanoseconds.
double elapsedMs(const QElapsedTimer &clock);

double median(QList<double> values);
double percentile(QList<double> values, double fraction);
double minimum(const QList<double> &values);

// "--name N" among the arguments; `fallback` when absent, nullopt when the
// value is not a positive whole number.
std::optional<int> intOption(const QStringList &args, const QString &name, int fallback);
std::optional<double> realOption(const QStringList &args, const QString &name, double fallback);
bool hasFlag(const QStringList &args, const QString &name);

// One figure for the summary table: "RESULT <key> <value> <unit>".
void printResult(const char *key, double value, const char *unit);

// One small write made durable in `dir` (write and fdatasync of a page):
// the floor under any committed transaction there. Median in ms, -1 on failure.
double flushFloorMs(const QString &dir, int count);

// Resident memory of this process from /proc/self/status, in kB (-1 when unknown).
qint64 residentKb();
// User plus system CPU time of a process from /proc/<pid>/stat, in seconds.
double cpuSeconds(qint64 pid);

} // namespace vantoro::bench
