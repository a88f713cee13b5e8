#include "sweep/terminationsignals.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSemaphore>

#include <csignal>
#include <windows.h>

// Ctrl+C and Ctrl+Break stop a sweep as SIGINT does; closing the console
// (or logging off) as SIGTERM does. Windows calls the handler on a thread of
// its own and ends the process when a close's handler returns, so that one
// waits, a few seconds at most, until the event loop has finished.
namespace {

QPointer<QObject> watcher;
std::function<void(int)> onStop;
QSemaphore finished;

BOOL WINAPI consoleEvent(DWORD type)
{
    const bool closing = type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
    const int signal = closing ? SIGTERM : SIGINT;
    if (!watcher)
        return FALSE;
    QMetaObject::invokeMethod(watcher, [signal] { onStop(signal); }, Qt::QueuedConnection);
    // Windows gives a closing console five seconds.
    if (closing)
        finished.tryAcquire(1, 4500);
    return TRUE;
}

} // namespace

void holdTerminationSignals()
{
    // Console events come on a thread of their own; nothing to hold.
}

void watchTerminationSignals(QObject *context, std::function<void(int)> stop)
{
    watcher = context;
    onStop = std::move(stop);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { finished.release(); });
    SetConsoleCtrlHandler(consoleEvent, TRUE);
}
