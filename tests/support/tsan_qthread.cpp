// Linked into the panel's tests under ThreadSanitizer only. Qt is not built with the
// sanitizer, so the ordering QThread gives (what a thread did before it quit comes before
// wait() returns true) passes through Qt's own mutex, which the sanitizer cannot see:
// every object that the port's thread used and the window's thread deletes once the
// thread has ended would be reported. These wrap Qt's two calls and tell the sanitizer of
// that ordering, and of nothing more.

#include <QThread>
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

namespace {

template <class Function>
Function QtOwn(const char* symbol)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
}

}  // namespace

void QThread::quit()
{
    static const auto qtQuit = QtOwn<void (*)(QThread*)>("_ZN7QThread4quitEv");
    __tsan_release(this);
    qtQuit(this);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto qtWait = QtOwn<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = qtWait(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}
