// Simulator process for the end-to-end tests.
#include "sim_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <cstdio>

namespace vantoro::test {

SimProcess::SimProcess()
{
    m_process.setProgram(QStringLiteral(VANTORO_SIM_PATH));
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList &arguments, int timeoutMs)
{
    m_ptyPath.clear();
    m_error.clear();
    QFile::remove(recordPath());
    if (!QFile::exists(m_dir.filePath(QStringLiteral("scenario.txt"))))
        writeScenario(QString());
    // The simulator also ends when our end of its standard input closes, so
    // a crashed test leaves nothing behind.
    m_process.setArguments(arguments
        + QStringList{QStringLiteral("--scenario"), m_dir.filePath(QStringLiteral("scenario.txt")),
            QStringLiteral("--record"), recordPath(), QStringLiteral("--exit-on-stdin-eof")});
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            m_error = QStringLiteral("no path line from the simulator: %1").arg(standardError());
            stop();
            return false;
        }
    }
    const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    // "PTY /dev/pts/N", or the address of a loopback gateway ("TCP tcp://...").
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const QString kind = line.left(space);
    if (space < 0 || (kind != QLatin1String("PTY") && kind != QLatin1String("TCP") && kind != QLatin1String("MODBUS-TCP"))) {
        m_error = QStringLiteral("unexpected first line: %1").arg(line);
        stop();
        return false;
    }
    m_ptyPath = line.mid(space + 1);
    return true;
}

bool SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    bool clean = m_process.waitForFinished(3000);
    if (!clean) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    m_stderr += m_process.readAllStandardError();
    return clean && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString SimProcess::standardError()
{
    m_stderr += m_process.readAllStandardError();
    return QString::fromLocal8Bit(m_stderr);
}

bool SimProcess::writeScenario(const QString &text)
{
    // A rename replaces the file in one step, so the simulator never reads
    // half of it; no sync to disk is wanted (QSaveFile's costs ~50 ms).
    const QString path = m_dir.filePath(QStringLiteral("scenario.txt"));
    QFile file(path + QStringLiteral(".new"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) != text.toUtf8().size())
        return false;
    file.close();
    return std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) == 0;
}

QString SimProcess::recordPath() const
{
    return m_dir.filePath(QStringLiteral("record.txt"));
}

QStringList SimProcess::recordLines() const
{
    QFile file(recordPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace vantoro::test
