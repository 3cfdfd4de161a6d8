// The station's command line, shared by the window and the unattended
// service: --help, --version, --service, --home DIR.
#pragma once

#include <QString>
#include <QStringList>

namespace vantoro {

// Exit code of a command line the station does not understand.
inline constexpr int USAGE_EXIT_CODE = 2;

struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    bool service = false;
    QString home;       // --home DIR, empty when not given
    QString text;       // what to print for Help, Version and Error
};

// Parses the arguments (the program name first). Needs no application
// object, so the choice between window and service is made before either
// exists.
CommandLine parseCommandLine(const QStringList &arguments);

// Prints the text of a Help, Version or Error result (help and version to
// standard output, errors to standard error) and gives the exit code.
int finishCommandLine(const CommandLine &line);

} // namespace vantoro
