// One mail sent on a thread of its own; the result comes back on the thread
// that started it, so a slow or silent server never holds up polling or the
// window.
#pragma once

#include "mail/smtp_sender.h"

#include <QObject>
#include <functional>

class QThread;

namespace vantoro {

class SmtpJob : public QObject
{
public:
    using Done = std::function<void(const SmtpResult &)>;

    // Starts at once; `done` runs on this object's thread unless the job is
    // destroyed first.
    SmtpJob(const SmtpConfig &config, const QByteArray &message, Done done, QObject *parent = nullptr);
    // Ends a transfer in progress and waits for its thread.
    ~SmtpJob() override;

    bool isRunning() const;

private:
    std::atomic_bool m_abort{false};
    QThread *m_thread = nullptr;
    SmtpResult m_result;
    Done m_done;
};

} // namespace vantoro
