// Automatic shutdown of the computer: the launcher the program carries and
// writes beside itself, the orderly shutdown, and the under-voltage trigger
// that opens the countdown.
#pragma once

#include "acquisition/param_table.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace vantoro {

inline constexpr int SHUTDOWN_DELAY_SECONDS = 13;
inline constexpr int SHUTDOWN_COUNTDOWN_SECONDS = 60;
// The status parameter whose bit reports DC under-voltage.
inline constexpr const char *UNDER_VOLTAGE_PARACODE = "DCUV";
inline constexpr int STATUS_WORD_SLOT = 10;
inline constexpr int FIRST_STATUS_BIT_SLOT = 14;

// "poweroff" (a shell script) on Linux, "poweroff.cmd" on Windows.
QString powerOffFileName();
// The launcher of this platform as carried in the program.
QByteArray powerOffLauncher();
// Where the launcher lives: beside the program, matched without regard to case.
QString powerOffPath();
// Writes the launcher beside the program when no file of that name is there,
// or when the one there has lost its run bit; any other existing file is
// never touched. True when the launcher is there.
bool extractPowerOff();

// The text the launcher shows to the logged-on users.
QString shutdownComment();
// -s -t 13 -c <comment>
QStringList shutdownArguments();

// Replaces the old-Windows shutdown call (ExitWindowsEx); an empty function
// restores the real one.
void setExitWindowsCall(std::function<bool()> call);

// Starts the launcher (through startDetachedProcess) without waiting for it,
// or on an old Windows asks the system to shut down; sets quitRequested only
// when that worked. A failure is stored as an event and shown, and the
// station keeps running. True when the shutdown is under way.
bool shutdownWindows();

// Says "open the countdown now" once per rising edge of the under-voltage
// bit while the automatic shutdown is on.
class UnderVoltageTrigger
{
public:
    // Call after every poll with the table and the AutoShutDown switch.
    bool update(const ParamTable &table, bool autoShutDown);
    void reset() { m_opened = false; }

    // The status bit of the "DCUV" parameter in the table's status word;
    // false when the table has no such status parameter.
    static bool underVoltage(const ParamTable &table);

private:
    bool m_opened = false;
};

} // namespace vantoro
