// Turns the quit signals of the operating system (SIGTERM, SIGINT, SIGHUP)
// into one call on the thread of the event loop.
#pragma once

#include <functional>

namespace vantoro {

// Installs the handlers and holds what they catch until watchQuitSignals
// hands it to the event loop; needs no application object, so it can run
// before anything else.
void catchQuitSignals();
// Installs the handlers once (catchQuitSignals when not yet done) and calls
// `onQuit` on the event loop's thread for each signal; a later call
// replaces the function called.
void watchQuitSignals(std::function<void()> onQuit);

} // namespace vantoro
