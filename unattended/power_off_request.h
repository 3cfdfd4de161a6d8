// The unattended station's power-off: asked of the login manager over the
// system bus, so the request is the system's to carry out and outlives the
// station's own unit, which the shutdown stops first.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace vantoro {

inline constexpr const char *LOGIN_MANAGER_SERVICE = "org.freedesktop.login1";
inline constexpr const char *LOGIN_MANAGER_PATH = "/org/freedesktop/login1";
inline constexpr const char *LOGIN_MANAGER_INTERFACE = "org.freedesktop.login1.Manager";

class PowerOffRequest : public QObject
{
public:
    enum class State { Idle, Waiting, Accepted, Refused };

    // `answered` is called on this object's thread with the outcome and the
    // answer as logged (the error name and text of a refusal).
    explicit PowerOffRequest(std::function<void(bool accepted, const QString &answer)> answered,
                             QObject *parent = nullptr);

    // Calls PowerOff(interactive = false) without waiting for the answer; a
    // request while one is waiting is not sent twice.
    void request();
    State state() const { return m_state; }

private:
    void finish(bool accepted, const QString &answer);

    std::function<void(bool, const QString &)> m_answered;
    State m_state = State::Idle;
};

} // namespace vantoro
