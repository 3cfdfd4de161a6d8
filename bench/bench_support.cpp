// Shared pieces of the timing programs.
#include "bench_support.h"

#include "acquisition/param_table.h"
#include "acquisition/serial_link.h"
#include "plant/line.h"
#include "core/system_settings.h"
#include "core/user_settings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace vantoro::bench {

BenchHome::BenchHome()
{
    qputenv("VANTORO_HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    for (const char *name : {"vantoro.db", "VANTORO.INI", "langcn.ini", "langen.ini", "PARAMS.INI"}) {
        const QString source = QDir(QStringLiteral(VANTORO_DEFAULTS_DIR)).filePath(QString::fromLatin1(name));
        if (!QFile::exists(source))
            continue;
        QFile::copy(source, file(QString::fromLatin1(name)));
        QFile::setPermissions(file(QString::fromLatin1(name)), QFile::ReadOwner | QFile::WriteOwner);
    }
}

QString BenchHome::file(const QString &name) const
{
    return QDir(m_home.path()).filePath(name);
}

StationProcess::StationProcess()
{
    m_process.setProgram(QStringLiteral(VANTORO_STATION_PATH));
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.txt")));
}

StationProcess::~StationProcess()
{
    stop();
}

bool StationProcess::start(int timeoutMs)
{
    const QString mark = m_dir.filePath(QStringLiteral("shown"));
    QFile::remove(mark);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VANTORO_SKIP_FIXED_WAITS"), QStringLiteral("1"));
    env.insert(QStringLiteral("VANTORO_STARTUP_MARK"), mark);
    m_process.setProcessEnvironment(env);
    const qint64 startNs = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray shownNs;
    while (shownNs.isEmpty()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            stop();
            QFile errors(m_dir.filePath(QStringLiteral("stderr.txt")));
            errors.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("no start-up mark from the station; its errors:\n")
                + QString::fromLocal8Bit(errors.readAll().right(2000));
            return false;
        }
        QThread::msleep(2);
        QFile file(mark);
        if (file.open(QIODevice::ReadOnly))
            shownNs = file.readAll().trimmed();
    }
    m_startupMs = double(shownNs.toLongLong() - startNs) / 1e6;
    return true;
}

void StationProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QuietMessages::QuietMessages()
{
    setMessageService(this);
}

QuietMessages::~QuietMessages()
{
    setMessageService(nullptr);
}

void QuietMessages::show(const QString &title, const QString &text, MessageIcon icon)
{
    Q_UNUSED(icon);
    texts << title + QLatin1String(": ") + text;
}

double percentile(QList<double> values, double fraction)
{
    if (values.isEmpty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const double position = fraction * double(values.size() - 1);
    const auto low = qsizetype(std::floor(position));
    const auto high = qsizetype(std::ceil(position));
    return values[low] + (values[high] - values[low]) * (position - double(low));
}

bool loadStation(const BenchHome &home, bool settingsOnly)
{
    initGlobals();
    ParamTable table;
    if (loadSystemSettings() && (settingsOnly || loadParamTable(table, QString::fromLatin1(PARAM_DEVICE_ID))))
        return true;
    std::fprintf(stderr, "cannot load the default settings from %s\n", qPrintable(home.path()));
    return false;
}

bool editDatabase(const QString &path, const QStringList &statements)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-edit"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery query(db);
        for (const QString &sql : statements) {
            if (ok && !query.exec(sql)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(query.lastError().text()));
                ok = false;
            }
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-edit"));
    return ok;
}

void idleFor(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < qint64(seconds * 1000)) {
        QCoreApplication::processEvents();
        QThread::msleep(50);
    }
}

Device &useSimulator(Line &line, const QString &ptyPath, int baud, float timeoutSeconds)
{
    setPortDeviceName(1, ptyPath);
    SystemSettings &s = sysSettings;
    s.comport = 1;
    s.ComSettings = QStringLiteral("%1,N,8,1").arg(baud);
    s.TimeOut = timeoutSeconds;
    s.retrytimes = 0;
    // The database's device with its parameter table, or one of its own.
    if (line.devices().empty() && !line.load())
        line.addDevice(DeviceRecord());
    Device &device = *line.first();
    DeviceRecord r = device.record();
    r.address = 1;
    r.protocol = 2;
    device.setRecord(r);
    device.link().linkOk = 1;
    return device;
}

StationCost stationCpuShare(double settleSeconds, double seconds)
{
    StationProcess station;
    if (!station.start()) {
        std::fprintf(stderr, "station: %s\n", qPrintable(station.errorText()));
        return {};
    }
    idleFor(settleSeconds);
    const double before = cpuSeconds(station.pid());
    QElapsedTimer clock;
    clock.start();
    idleFor(seconds);
    const double after = cpuSeconds(station.pid());
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    const bool alive = station.running();
    station.stop();
    if (before < 0 || after < 0 || !alive) {
        std::fprintf(stderr, "station ended during the measurement\n");
        return {};
    }
    return {(after - before) / wall * 100.0, wall};
}

double elapsedMs(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

double median(QList<double> values)
{
    return percentile(std::move(values), 0.5);
}

double minimum(const QList<double> &values)
{
    return values.isEmpty() ? std::nan("") : *std::min_element(values.begin(), values.end());
}

std::optional<double> realOption(const QStringList &args, const QString &name, double fallback)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return fallback;
    bool ok = false;
    const double value = at + 1 < args.size() ? args[at + 1].toDouble(&ok) : 0;
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

std::optional<int> intOption(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return fallback;
    bool ok = false;
    const int value = at + 1 < args.size() ? args[at + 1].toInt(&ok) : 0;
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

bool hasFlag(const QStringList &args, const QString &name)
{
    return args.contains(name);
}

void printResult(const char *key, double value, const char *unit)
{
    std::printf("RESULT %s %.6g %s\n", key, value, unit);
    std::fflush(stdout);
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QStringList lines = QString::fromLatin1(status.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("VmRSS:")))
            return line.mid(6).trimmed().section(QLatin1Char(' '), 0, 0).toLongLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The command name may hold blanks and parentheses: fields count from the last ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() < 13)
        return -1;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks;
}

double flushFloorMs(const QString &dir, int count)
{
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/flush-floor.bin"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return -1;
    const QByteArray page(4096, 'x');
    QList<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (::pwrite(fd, page.constData(), size_t(page.size()), 0) != page.size() || ::fdatasync(fd) != 0)
            break;
        times << double(clock.nsecsElapsed()) / 1e6;
    }
    ::close(fd);
    ::unlink(path.constData());
    return times.size() == count ? median(times) : -1;
}

} // namespace vantoro::bench
