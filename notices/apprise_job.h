// One notice handed to the Apprise program for one channel: a process of its
// own started with an argument list (never a shell), killed when it
// outlasts its time; the URL goes in its environment, not on a command line
// every user of the machine can read.
#pragma once

#include <QObject>
#include <QProcess>
#include <QTimer>
#include <functional>

namespace vantoro {

inline constexpr const char *APPRISE_PROGRAM = "apprise";
inline constexpr int APPRISE_TIMEOUT_MS = 60 * 1000;

struct NoticeResult
{
    bool accepted = false;
    // Apprise's answer in a line or two, the URL masked.
    QString answer;
};

class AppriseJob : public QObject
{
public:
    using Done = std::function<void(const NoticeResult &)>;

    // Starts at once; `done` runs on this object's thread unless the job is
    // destroyed first.
    AppriseJob(const QString &program, const QString &url, const QString &title, const QString &body,
               int timeoutMs, Done done, QObject *parent = nullptr);
    // Kills a run in progress.
    ~AppriseJob() override;

private:
    void finish(bool accepted, const QString &answer);

    QProcess m_process;
    QTimer m_timeout;
    QString m_url;
    QString m_program;
    Done m_done;
};

// The lines Apprise wrote, without their time stamps and chatter.
QString appriseAnswer(const QByteArray &output);

} // namespace vantoro
