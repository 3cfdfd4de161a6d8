// The login manager's PowerOff, called asynchronously on the system bus.
#include "unattended/power_off_request.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vantoro {

namespace {

// The login manager answers at once; a bus that does not is as good as a
// refusal, and the station must hear so while the supply still lasts.
constexpr int ANSWER_TIMEOUT_MS = 10000;

QString errorText(const QDBusError &error)
{
    return error.name() + QStringLiteral(": ") + error.message();
}

} // namespace

PowerOffRequest::PowerOffRequest(std::function<void(bool, const QString &)> answered, QObject *parent)
    : QObject(parent)
    , m_answered(std::move(answered))
{
}

void PowerOffRequest::request()
{
    if (m_state == State::Waiting)
        return;
    m_state = State::Waiting;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        finish(false, QStringLiteral("no system bus (") + errorText(bus.lastError()) + QLatin1Char(')'));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(LOGIN_MANAGER_SERVICE),
                                                       QLatin1String(LOGIN_MANAGER_PATH),
                                                       QLatin1String(LOGIN_MANAGER_INTERFACE),
                                                       QStringLiteral("PowerOff"));
    // Nobody is there to answer a password prompt: the permission must be
    // granted beforehand (the package's polkit rule).
    call << false;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, ANSWER_TIMEOUT_MS), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        const QDBusPendingReply<> reply = *done;
        done->deleteLater();
        if (reply.isError())
            finish(false, errorText(reply.error()));
        else
            finish(true, QStringLiteral("accepted"));
    });
}

void PowerOffRequest::finish(bool accepted, const QString &answer)
{
    m_state = accepted ? State::Accepted : State::Refused;
    if (m_answered)
        m_answered(accepted, answer);
}

} // namespace vantoro
