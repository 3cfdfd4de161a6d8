// Turns the quit signals of the operating system (SIGTERM, SIGINT, SIGHUP)
// into one call on the thread of the event loop.
#pragma once

#include <functional>

namespace vantoro {

// Installs the handlers once; a later call replaces the function called.
void watchQuitSignals(std::function<void()> onQuit);

} // namespace vantoro
