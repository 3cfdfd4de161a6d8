// A send on a worker thread.
#include "mail/smtp_job.h"

#include "core/localisation.h"

#include <QThread>

namespace vantoro {

namespace {

// Named in the station's language, which only its own thread may look up.
QString refusedText(const QList<RefusedRecipient> &refused)
{
    QStringList named;
    for (const RefusedRecipient &r : refused)
        named << r.address + QStringLiteral(" (") + r.reply + QLatin1Char(')');
    return langText(QStringLiteral("Application"), QStringLiteral("msgMailRefused")).trimmed() + QLatin1Char(' ')
        + named.join(QStringLiteral(", "));
}

} // namespace

SmtpJob::SmtpJob(const SmtpConfig &config, const QByteArray &message, Done done, QObject *parent)
    : QObject(parent)
    , m_done(std::move(done))
{
    initSmtp();
    m_thread = QThread::create([this, config, message] { m_result = sendSmtp(config, message, &m_abort); });
    connect(m_thread, &QThread::finished, this, [this] {
        if (!m_result.refused.isEmpty())
            m_result.answer += QStringLiteral("; ") + refusedText(m_result.refused);
        if (m_done)
            m_done(m_result);
    });
    m_thread->start();
}

SmtpJob::~SmtpJob()
{
    m_abort = true;
    m_thread->wait();
    delete m_thread;
}

bool SmtpJob::isRunning() const
{
    return m_thread->isRunning();
}

} // namespace vantoro
