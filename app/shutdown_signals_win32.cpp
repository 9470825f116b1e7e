#include "app/shutdown_signals.h"

namespace app {

// Windows ends a program with a window through its window messages (WM_CLOSE, WM_ENDSESSION),
// which Qt turns into the panel's own close.
struct ShutdownSignals::Platform {};

ShutdownSignals::ShutdownSignals(QObject* parent)
    : QObject(parent)
{
}

ShutdownSignals::~ShutdownSignals() = default;

}  // namespace app
