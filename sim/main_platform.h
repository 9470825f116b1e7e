#pragma once
// What display-sim's start-up does differently per platform: whether a window can open,
// where text goes, what a reader that went away does, and how the lines of --text are
// written. main_posix.cpp and main_win32.cpp implement it.

#include <memory>
#include <string>
#include <string_view>

#include "common/shutdown_signals.h"

namespace sim {

// The paragraph of --help on the display's own line and its name.
std::string_view OwnLineUsage();

// Whether a window can open: on POSIX a display server is named; Windows always has one.
bool HasDisplay();

// Windows: display-sim is a program without a console of its own, so that the Start menu
// opens no console beside its window; for text, standard output and standard error that
// lead nowhere are given the console of the program that started it, if any. Elsewhere
// nothing.
void UseParentConsole();

// Why the window could not start, where the user sees it: on Windows a message box, since
// a program started from the Start menu has no console; elsewhere nothing more than the
// line on standard error.
void ShowStartFailure(const std::string& message);

// POSIX: SIGPIPE is ignored from now on: a reader that went away shows as a failed write,
// which ends the display the ordinary way, rather than as a signal that would leave its
// link behind. Windows has no such signal.
void IgnoreBrokenPipe();

// Standard output, written so that a reader that stops reading never holds the display:
// a request to end (common::ShutdownSignals) ends any wait for room.
class Output {
public:
    explicit Output(const common::ShutdownSignals& shutdown);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Writes the text whole. False when it could not: *failure is then the OS's reason,
    // or empty when the reader went away or a request to end came first.
    bool Write(std::string_view text, std::string* failure) const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sim
