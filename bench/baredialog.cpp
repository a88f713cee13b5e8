// The yardsticks: a bare Qt dialog with a label and a button; with
// --list-ports it first lists the serial ports, as the port-selection
// dialog must before it can show.
#include "paintprobe.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QVBoxLayout>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Please select your Port")));
    if (QApplication::arguments().contains(QStringLiteral("--list-ports"))) {
        auto *ports = new QComboBox;
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
            ports->addItem(port.portName());
        layout->addWidget(ports);
    }
    layout->addWidget(new QPushButton(QStringLiteral("Connect")));
    reportFirstPaint(&dialog);
    dialog.show();
    return application.exec();
}
