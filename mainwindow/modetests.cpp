#include "mainwindow/modetests.h"

#include "board/powermodes.h"

#include <array>

namespace {

// One per entry of the board's list, in its order; the texts are the operators' familiar ones.
const std::array<ModeTest, PowerModes::modeCount> modeTests = {{
    {"Executing test (SHUTDOWN)</font></p>", false},
    {"Executing test (STANDBY)</font></p>", false},
    {"Executing test (STANDBY + RTC)</font></p>", false},
    {"Executing test (STANDBY + RTC + SRAM2)</font></p>", false},
    {"Executing test (STOP2)</font></p>", false},
    {"Executing test (STOP2 + RTC)</font></p>", false},
    {"Executing test (STOP1 + MR OFF)</font></p>", false},
    {"Executing test (STOP1 + MR OFF + RTC)</font></p>", false},
    {"Executing test (LPSLEEP, 2MHz)</font></p>", false},
    {"Executing test (LPRUN, 2MHz)</font></p>", false},
    {"Executing test (SLEEP Range 2, 24MHz)</font></p>", false},
    {"Executing test (SLEEP Range 1, 80MHz)</font></p>", false},
    {"Executing test (RUN_while(1) Range 2, 24MHz,KORA ON exept prefetch)</font></p>", false},
    {"Executing test (RUN_while(1) Range 1, 80MHz ,KORA ON exept prefetch)</font></p>", false},
    {"Executing test (RUN_CoreMark Range 2, 24MHz ,KORA ON exept prefetch)</font></p>", false},
    {"Executing test (RUN_CoreMark Range 1, 80MHz ,KORA ON exept prefetch)</font></p>", true},
    {"Executing test (RUN_reduced_code Range 2, 24MHz ,KORA ON exept prefetch)</font></p>", false},
    {"Executing test (RUN_reduced_code Range 1, 80MHz ,KORA ON exept prefetch)</font></p>", false},
}};

} // namespace

namespace ModeTests {

const ModeTest *find(int modeIndex)
{
    if (modeIndex < 0 || modeIndex >= int(modeTests.size()))
        return nullptr;
    return &modeTests[size_t(modeIndex)];
}

} // namespace ModeTests
