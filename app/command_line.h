#pragma once
// The command line of display-test, read before any application object exists: --help
// and --version answer without a display, and a wrong option is refused before Qt would
// look for one.

#include <string>
#include <vector>

namespace app {

struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    std::string error;  // for Wrong: what is wrong, for the user
    std::string port;   // --port: the port to choose at start; empty for the first listed
};

// The arguments after the program name. Qt's own options (-platform NAME, -style NAME,
// -reverse...) pass untouched: the application takes them afterwards.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help; of --version.
std::string UsageText();
std::string VersionText();

}  // namespace app
