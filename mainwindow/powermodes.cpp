#include "mainwindow/powermodes.h"

#include <QtGlobal>

#include <array>

namespace {

// Spacing, case and spelling are the operators' familiar texts; keep them exact.
const std::array<PowerMode, 18> powerModes = {{
    {QT_TRANSLATE_NOOP("MainWindow", "SHUTDOWN"),
     "Executing test (SHUTDOWN)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "STANDBY"),
     "Executing test (STANDBY)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "STANDBY + RTC"),
     "Executing test (STANDBY + RTC)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "STANDBY + RTC + SRAM2"),
     "Executing test (STANDBY + RTC + SRAM2)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "STOP2"),
     "Executing test (STOP2)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "STOP2   + RTC"),
     "Executing test (STOP2 + RTC)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "STOP1   + MR OFF"),
     "Executing test (STOP1 + MR OFF)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "STOP1   + MR OFF + RTC"),
     "Executing test (STOP1 + MR OFF + RTC)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "LPSLEEP,  2MHz"),
     "Executing test (LPSLEEP, 2MHz)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "LPRUN,    2MHz"),
     "Executing test (LPRUN, 2MHz)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "SLEEP Range 2, 24MHz"),
     "Executing test (SLEEP Range 2, 24MHz)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "SLEEP Range 1, 80MHz"),
     "Executing test (SLEEP Range 1, 80MHz)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "RUN_while (1)   Range 2, 24MHz"),
     "Executing test (RUN_while(1) Range 2, 24MHz,KORA ON exept prefetch)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "RUN-while (1)   Range 1, 80MHz"),
     "Executing test (RUN_while(1) Range 1, 80MHz ,KORA ON exept prefetch)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "RUN_CoreMark Range 2, 24MHz"),
     "Executing test (RUN_CoreMark Range 2, 24MHz ,KORA ON exept prefetch)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "RUN_CoreMark Range 1, 80MHz"),
     "Executing test (RUN_CoreMark Range 1, 80MHz ,KORA ON exept prefetch)</font></p>", true},
    {QT_TRANSLATE_NOOP("MainWindow", "RUN_reduced_code Range 2, 24MHz"),
     "Executing test (RUN_reduced_code Range 2, 24MHz ,KORA ON exept prefetch)</font></p>", false},
    {QT_TRANSLATE_NOOP("MainWindow", "RUN_reduced_code Range 1, 80Mhz"),
     "Executing test (RUN_reduced_code Range 1, 80MHz ,KORA ON exept prefetch)</font></p>", false},
}};

} // namespace

namespace PowerModes {

int count()
{
    return int(powerModes.size());
}

const PowerMode *find(int modeIndex)
{
    if (modeIndex < 0 || modeIndex >= count())
        return nullptr;
    return &powerModes[size_t(modeIndex)];
}

} // namespace PowerModes
