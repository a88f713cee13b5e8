#ifndef MODETESTS_H
#define MODETESTS_H

// What the window tells the operator about each power mode's test, by the
// mode's index in the board's list.
struct ModeTest
{
    const char *testLine;     // the test box's first paragraph, markup included
    bool coreMarkWaitNotice;  // after the test the status label asks to wait for the score
};

namespace ModeTests {

// The test of a mode index, or nullptr for an index that has none.
const ModeTest *find(int modeIndex);

} // namespace ModeTests

#endif // MODETESTS_H
