#include "simulator/pseudoterminal.h"

#include <QFile>
#include <QVector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A program that opened the terminal with this number before, through Qt's
// serial port, may not have removed its lock file yet: it closes the port
// first and removes the lock after, and in between the number is free again.
bool lockedByAnotherProgram(const QString &slavePath)
{
    QString name = slavePath.mid(QStringLiteral("/dev/").size());
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QFile::exists(QStringLiteral("/var/lock/LCK..") + name) || QFile::exists(QStringLiteral("/run/lock/LCK..") + name);
}

PseudoTerminal openOne()
{
    // Close-on-exec: a program started meanwhile must not hold the device's
    // end, or the device could never be unplugged from under it.
    PseudoTerminal terminal;
    terminal.masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (terminal.masterFd < 0 || grantpt(terminal.masterFd) != 0 || unlockpt(terminal.masterFd) != 0) {
        if (terminal.masterFd >= 0)
            ::close(terminal.masterFd);
        terminal.masterFd = -1;
        return terminal;
    }
    terminal.slavePath = QString::fromLocal8Bit(ptsname(terminal.masterFd));
    terminal.slaveFd = ::open(ptsname(terminal.masterFd), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw {};
    tcgetattr(terminal.masterFd, &raw);
    cfmakeraw(&raw);
    tcsetattr(terminal.masterFd, TCSANOW, &raw);
    return terminal;
}

void closeBoth(const PseudoTerminal &terminal)
{
    ::close(terminal.masterFd);
    if (terminal.slaveFd >= 0)
        ::close(terminal.slaveFd);
}

} // namespace

// A number still locked is held aside while the next is taken, so the
// kernel cannot hand out the same one again.
PseudoTerminal PseudoTerminal::open()
{
    constexpr int tries = 8;
    QVector<PseudoTerminal> aside;
    PseudoTerminal terminal = openOne();
    while (terminal.masterFd >= 0 && aside.size() < tries && lockedByAnotherProgram(terminal.slavePath)) {
        aside << terminal;
        terminal = openOne();
    }
    for (const PseudoTerminal &held : qAsConst(aside))
        closeBoth(held);
    return terminal;
}
