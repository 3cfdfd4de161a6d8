// The automatic shutdown without a window: the same 60 seconds as the
// countdown dialog, written to the log instead of shown; stopping the
// service cancels it.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace vantoro {

class ShutdownCountdown : public QObject
{
public:
    // `shutdown` is called when the count runs out (shutdownWindows, the
    // launcher, when none is given); `tickMs` is one second except in tests.
    explicit ShutdownCountdown(std::function<void()> shutdown = {}, int tickMs = 1000, QObject *parent = nullptr);

    // Starts at 60 unless already counting.
    void start();
    void cancel();
    bool counting() const { return m_timer.isActive(); }
    int secondsLeft() const { return m_secondsLeft; }

private:
    void tick();

    std::function<void()> m_shutdown;
    QTimer m_timer;
    int m_secondsLeft = 0;
};

} // namespace vantoro
