#include "board/powermodes.h"

#include <array>

namespace {

// Spacing, case and spelling are the operators' familiar texts; keep them exact.
const std::array<PowerMode, PowerModes::modeCount> powerModes = {{
    {"SHUTDOWN", false},
    {"STANDBY", false},
    {"STANDBY + RTC", false},
    {"STANDBY + RTC + SRAM2", false},
    {"STOP2", false},
    {"STOP2   + RTC", false},
    {"STOP1   + MR OFF", false},
    {"STOP1   + MR OFF + RTC", false},
    {"LPSLEEP,  2MHz", false},
    {"LPRUN,    2MHz", false},
    {"SLEEP Range 2, 24MHz", false},
    {"SLEEP Range 1, 80MHz", false},
    {"RUN_while (1)   Range 2, 24MHz", false},
    {"RUN-while (1)   Range 1, 80MHz", false},
    {"RUN_CoreMark Range 2, 24MHz", true},
    {"RUN_CoreMark Range 1, 80MHz", true},
    {"RUN_reduced_code Range 2, 24MHz", false},
    {"RUN_reduced_code Range 1, 80Mhz", false},
}};

} // namespace

namespace PowerModes {

int count()
{
    return modeCount;
}

const PowerMode *find(int modeIndex)
{
    if (modeIndex < 0 || modeIndex >= modeCount)
        return nullptr;
    return &powerModes[size_t(modeIndex)];
}

QString name(int modeIndex)
{
    const PowerMode *mode = find(modeIndex);
    return mode ? QString::fromLatin1(mode->listItem).simplified() : QString();
}

QString describe(int modeIndex)
{
    return QStringLiteral("mode %1 (%2)").arg(modeIndex).arg(name(modeIndex));
}

} // namespace PowerModes
