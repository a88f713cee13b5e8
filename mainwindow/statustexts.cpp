#include "mainwindow/statustexts.h"

namespace StatusTexts {

const char resetPrompt[] =
    "<html><head/><body><p align=\"center\"><span style=\" color:#00007f;\">Please press reset button</span></p>"
    "<p align=\"center\"><span style=\" color:#00007f;\">then select a mode option from below</span></p></body></html>";

const char coreMarkWaitNotice[] =
    "<html><head/><body><p align=\"center\"><span style=\" color:#00007f;\">Calculating CoreMark score </span></p>"
    "<p align=\"center\"><span style=\" color:#00007f;\">Please wait...</span></p></body></html>";

} // namespace StatusTexts
