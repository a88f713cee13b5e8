#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QString>

// A raw pseudo-terminal for a simulated device: the device's end, non-blocking,
// and the program's end held open by us, so that its number is not reused
// while the device is "unplugged", and a number no serial port's lock file
// names. Both ends close on exec. A failed open leaves both descriptors at -1.
struct PseudoTerminal
{
    int masterFd = -1;
    int slaveFd = -1;
    QString slavePath;

    static PseudoTerminal open();
};

#endif // PSEUDOTERMINAL_H
