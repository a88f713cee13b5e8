#include "app/desktopfonts.h"
#include "app/rasteronly.h"
#include "dialog/dialog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv, QT_VERSION_CHECK(5, 3, 0));
    RasterOnly::skipOpenGl();
    DesktopFonts::standInForMissingFonts();
    Dialog dialog;
    dialog.show();
    return application.exec();
}
