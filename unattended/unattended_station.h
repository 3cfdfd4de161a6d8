// The station without a window: the start sequence of the core, polling
// from the start, the after-cycle rules, the services, and an orderly quit
// on SIGTERM.
#pragma once

#include "acquisition/serial_port.h"
#include "events/after_cycle.h"

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
    // The port defaults to the real serial port of the settings.
    explicit UnattendedStation(std::unique_ptr<SerialPort> port = {}, QObject *parent = nullptr);
    ~UnattendedStation() override;

    // Runs the start sequence in the data folder appDir(); false with the
    // reason in failure() when the station cannot run.
    bool start();
    QString failure() const { return m_failure; }

    // Stops polling, saves settings and values, stops the services and ends
    // the event loop; safe to call twice.
    void quit();

    Poller &poller() const { return *m_poller; }
    ShutdownCountdown &countdown() const { return *m_countdown; }

private:
    bool fail(const QString &reason);
    void afterCycle();

    std::unique_ptr<InstanceLock> m_lock;
    std::unique_ptr<SerialPort> m_port;
    QTimer m_timerReloadData;
    std::unique_ptr<Poller> m_poller;
    std::unique_ptr<StationServices> m_services;
    std::unique_ptr<ShutdownCountdown> m_countdown;
    AfterCycleRules m_afterCycle;
    QString m_failure;
    bool m_running = false;
};

} // namespace vantoro
