#ifndef POWERMODES_H
#define POWERMODES_H

#include <QString>

// The firmware's power modes. A mode's index is the number the firmware
// receives, so the order must not change.
struct PowerMode
{
    const char *listItem;   // as the program's list shows it, spacing and spelling included
    bool runsCoreMark;      // the board answers with a CoreMark report
};

namespace PowerModes {

constexpr int modeCount = 18;

int count();

// The row of a mode index, or nullptr for an index that has none.
const PowerMode *find(int modeIndex);

// "STOP2 + RTC": the list item with its spacing tidied, for files and messages.
QString name(int modeIndex);

// "mode 5 (STOP2 + RTC)", as messages name a mode.
QString describe(int modeIndex);

} // namespace PowerModes

#endif // POWERMODES_H
