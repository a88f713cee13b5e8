// The yardstick: a bare Qt dialog with a label and a button.
#include "paintprobe.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Please select your Port")));
    layout->addWidget(new QPushButton(QStringLiteral("Connect")));
    reportFirstPaint(&dialog);
    dialog.show();
    return application.exec();
}
