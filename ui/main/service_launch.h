// "vantoro --service": the unattended station is its own program, linked
// without the widget library; this one hands the process over to it.
#pragma once

namespace vantoro {

// Replaces this process with vantoro-service from the same folder, with the
// same arguments; returns only on failure, with the exit code to use.
int runServiceProgram(char *argv[]);

} // namespace vantoro
