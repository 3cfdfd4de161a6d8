// Turns a quit asked by the operating system (SIGTERM, SIGINT, SIGHUP, or the
// session ending) into one call on the user-interface thread.
#pragma once

#include <functional>

namespace vantoro {

void watchOperatingSystemQuit(std::function<void()> onQuit);

} // namespace vantoro
