#include "sweep/terminationsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t terminationSignals()
{
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGINT);
    sigaddset(&termination, SIGTERM);
    return termination;
}

} // namespace

void holdTerminationSignals()
{
    const sigset_t termination = terminationSignals();
    sigprocmask(SIG_BLOCK, &termination, nullptr);
}

void watchTerminationSignals(QObject *context, std::function<void(int)> stop)
{
    holdTerminationSignals();
    const sigset_t termination = terminationSignals();
    const int fd = signalfd(-1, &termination, SFD_CLOEXEC);
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [fd, stop] {
        signalfd_siginfo info {};
        if (::read(fd, &info, sizeof info) == sizeof info)
            stop(int(info.ssi_signo));
    });
}
