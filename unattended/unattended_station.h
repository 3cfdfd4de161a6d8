// The station without a window: the start sequence of the core, polling
// from the start, the after-cycle rules, the services, the power-off asked
// of the login manager, and an orderly quit on SIGTERM.
#pragma once

#include "acquisition/serial_port.h"
#include "plant/line.h"
#include "unattended/power_off_request.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

namespace vantoro {

class InstanceLock;
class Poller;
class ShutdownCountdown;
class StationServices;

class UnattendedStation : public QObject
{
public:
    // The port defaults to the line of the settings (a serial port or a
    // gateway), made once they are read; the
    // countdown ticks once a second except in tests.
    explicit UnattendedStation(std::unique_ptr<SerialPort> port = {}, int countdownTickMs = 1000,
                               QObject *parent = nullptr);
    ~UnattendedStation() override;

    // Runs the start sequence in the data folder appDir(); false with the
    // reason in failure() when the station cannot run.
    bool start();
    QString failure() const { return m_failure; }

    // Stops polling, saves settings and values, stops the services and ends
    // the event loop with exitCode(); safe to call twice. Asked during
    // start(), it runs once the event loop does.
    void quit();
    // 0 after a clean stop, 1 when the last save failed.
    int exitCode() const { return m_exitCode; }
    bool running() const { return m_running; }

    Poller &poller() const { return *m_poller; }
    Line &line() const { return *m_line; }
    ShutdownCountdown &countdown() const { return *m_countdown; }
    // Where the last power-off request stands (Idle before the first).
    PowerOffRequest::State powerOffState() const;

private:
    bool fail(const QString &reason);
    bool startSequence();
    void afterCycle(Device &device);
    void powerOffAnswered(bool accepted, const QString &answer);

    std::unique_ptr<InstanceLock> m_lock;
    std::unique_ptr<Line> m_line;
    QTimer m_timerReloadData;
    std::unique_ptr<Poller> m_poller;
    std::unique_ptr<StationServices> m_services;
    std::unique_ptr<ShutdownCountdown> m_countdown;
    std::unique_ptr<PowerOffRequest> m_powerOff;
    QString m_failure;
    int m_countdownTickMs;
    int m_exitCode = 0;
    bool m_starting = false;
    bool m_quitAsked = false;
    bool m_running = false;
};

} // namespace vantoro
