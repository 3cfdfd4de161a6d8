// The station's "running" marker: a file beside the program that exists
// while the station runs. A crash or power cut leaves it behind, which tells
// the next start that the last stop was unclean.
#pragma once

namespace vantoro {

inline constexpr const char *RUN_MARKER_FILE = "vantoro.running";

// Creates the marker; true when one was already there.
bool markRunStarted();
// Creates the marker and, when one was left behind, stores the event
// "started after an unclean stop" (mailed like every forced event); true
// when it did.
bool noteRunStarted();
// Removes the marker at a clean stop.
void markRunStopped();

} // namespace vantoro
