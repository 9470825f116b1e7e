#include "app/shutdown_signals.h"

namespace app {

// Windows asks a program with a window to end through a window message (WM_CLOSE), which Qt
// turns into the panel's own close; there are no such signals to bring in.
struct ShutdownSignals::Platform {};

ShutdownSignals::ShutdownSignals(QObject* parent)
    : QObject(parent)
{
}

ShutdownSignals::~ShutdownSignals() = default;

}  // namespace app
