// The program's own entry, reporting when its dialog is first painted.
#include "dialog/dialog.h"
#include "paintprobe.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    Dialog dialog;
    reportFirstPaint(&dialog);
    dialog.show();
    return application.exec();
}
