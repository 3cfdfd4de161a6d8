// Running Apprise.
#include "notices/apprise_job.h"

#include "core/localisation.h"
#include "notices/notice_channels.h"

#include <QProcessEnvironment>
#include <QRegularExpression>

namespace vantoro {

namespace {

QString text(const char *key)
{
    return langText(QStringLiteral("Application"), QString::fromLatin1(key)).trimmed();
}

} // namespace

QString appriseAnswer(const QByteArray &output)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,\\d+ - "));
    QStringList logged;
    QStringList other;
    for (QString line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.contains(stamp)) {
            line.remove(stamp);
            if (!line.contains(QStringLiteral("Notifying ")))
                logged << line;
        } else {
            other << line;
        }
    }
    // Its log says what happened; the usage text it adds on a bad URL does not.
    const QStringList &lines = logged.isEmpty() ? other : logged;
    return lines.mid(qMax(0, int(lines.size()) - 3)).join(QStringLiteral("; ")).left(500);
}

AppriseJob::AppriseJob(const QString &program, const QString &url, const QString &title, const QString &body,
                       int timeoutMs, Done done, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_program(program)
    , m_done(std::move(done))
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Only this channel: no configuration file of the user is read.
    env.remove(QStringLiteral("APPRISE_CONFIG"));
    env.insert(QStringLiteral("APPRISE_URLS"), url);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this, timeoutMs] {
        m_process.kill();
        finish(false, text("msgNoticeTimeout").arg(timeoutMs / 1000.0));
    });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(false, text("msgNoticeNoProgram").arg(m_program));
    });
    connect(&m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const QString answer = maskNoticeUrls(appriseAnswer(m_process.readAll()), {m_url});
        if (status == QProcess::NormalExit && code == 0) {
            finish(true, answer);
            return;
        }
        if (answer.contains(QStringLiteral("Unparseable URL")) || answer.contains(QStringLiteral("no service(s)"))
            || answer.contains(QStringLiteral("at least one server URL")))
            finish(false, text("msgNoticeRejected") + QLatin1Char(' ') + answer);
        else
            finish(false, answer.isEmpty() ? QStringLiteral("exit code %1").arg(code) : answer);
    });
    m_timeout.start(timeoutMs);
    m_process.start(program, {QStringLiteral("-vv"), QStringLiteral("--title"), title, QStringLiteral("--body"), body});
}

AppriseJob::~AppriseJob()
{
    m_done = nullptr;
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

void AppriseJob::finish(bool accepted, const QString &answer)
{
    m_timeout.stop();
    // The first outcome counts: a killed process still reports its end.
    if (Done done = std::exchange(m_done, nullptr))
        done({accepted, answer});
}

} // namespace vantoro
