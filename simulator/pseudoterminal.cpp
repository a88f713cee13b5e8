#include "simulator/pseudoterminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal PseudoTerminal::open()
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
