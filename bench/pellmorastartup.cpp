// The program's own entry, reporting when its dialog is first painted.
#include "app/desktopfonts.h"
#include "app/rasteronly.h"
#include "dialog/dialog.h"
#include "paintprobe.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv, QT_VERSION_CHECK(5, 3, 0));
    RasterOnly::skipOpenGl();
    DesktopFonts::standInForMissingFonts();
    Dialog dialog;
    reportFirstPaint(&dialog);
    dialog.show();
    return application.exec();
}
