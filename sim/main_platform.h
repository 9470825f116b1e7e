#pragma once
// What display-sim's start-up does differently per platform: whether a window can open,
// where text goes, how Ctrl+C and the like reach the event loop, and how the lines of
// --text are written. main_posix.cpp and main_win32.cpp implement it.

#include <QCoreApplication>

#include <memory>
#include <string>
#include <string_view>

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

// Ends the event loop the ordinary way when the user or the system asks the display to
// end: SIGINT, SIGTERM and SIGHUP on POSIX (SIGPIPE ignored), Ctrl+C, Ctrl+Break and the
// console closing on Windows. The display's published port then goes as it does on any
// end. What was in place before comes back when the object goes.
class Shutdown {
public:
    explicit Shutdown(QCoreApplication& app);
    ~Shutdown();
    Shutdown(const Shutdown&) = delete;
    Shutdown& operator=(const Shutdown&) = delete;

    // Whether the handlers are in place; when not, Error() says why.
    bool Installed() const noexcept;
    const std::string& Error() const noexcept;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
    friend class Output;
};

// Standard output, written so that a reader that stops reading never holds the display:
// a request to end (Shutdown) ends any wait for room.
class Output {
public:
    explicit Output(const Shutdown& shutdown);
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
