// The start sequence of the station, in its fixed order.
#pragma once

#include <memory>

namespace vantoro {

class InstanceLock;
class frmMain;
class SingleInstance;
class StationServices;

class Startup
{
public:
    Startup();
    ~Startup();

    enum class Result { Running, Ended };
    // Runs the sequence; Ended when the station must not go on (a second
    // instance, or no database).
    Result run();
    frmMain *mainWindow() const { return m_main.get(); }

private:
    bool takeInstanceLock(bool fixedWaits);

    std::unique_ptr<InstanceLock> m_lock;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<frmMain> m_main;
    std::unique_ptr<StationServices> m_services;
};

} // namespace vantoro
