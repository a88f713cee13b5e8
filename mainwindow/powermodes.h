#ifndef POWERMODES_H
#define POWERMODES_H

// One row per entry of the power-mode list. The row's position is the mode
// number the firmware receives, so the order must not change.
struct PowerMode
{
    const char *listItem;   // shown in the list, translated in the "MainWindow" context
    const char *testLine;   // the test box's first paragraph, markup included
    bool coreMarkWaitNotice; // after the test the status label asks to wait for the score
};

namespace PowerModes {

int count();

// The row of a mode index, or nullptr for an index that has none.
const PowerMode *find(int modeIndex);

} // namespace PowerModes

#endif // POWERMODES_H
