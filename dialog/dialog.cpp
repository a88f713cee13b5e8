#include "dialog/dialog.h"

#include "board/seriallink.h"
#include "dialog/dialogform.h"
#include "mainwindow/mainwindow.h"
#include "serial/handofffile.h"

#include <QComboBox>
#include <QMessageBox>
#include <QSerialPort>
#include <QSerialPortInfo>

namespace {

const char notConnectedText[] =
    QT_TRANSLATE_NOOP("Dialog", "<p><b><font face=\"arial\" color=\"black\">DEVICE NOT CONNECTED !!\n"
                                "PLEASE VERIFY YOUR CONNECTION THEN RESTART APPLICATION</font></p>");
const char cannotSaveText[] =
    QT_TRANSLATE_NOOP("Dialog", "<p><b><font face=\"arial\" color=\"black\">CANNOT SAVE THE PORT NAME TO data.txt !!\n"
                                "PLEASE START THE APPLICATION FROM A WRITABLE FOLDER</font></p>");

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , port(nullptr)
    , ui(new DialogForm)
{
    ui->setupUi(this);

    // Listed once: a board plugged in later needs a restart to show up.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        ui->comboBox->addItem(info.portName());

    // Last, so the port is the dialog's last child.
    port = new QSerialPort(this);
    SerialLink::closeOnLineFailure(port);
}

Dialog::~Dialog()
{
    port->close();
    delete ui;
}

void Dialog::on_pushButton_clicked()
{
    portName = ui->comboBox->currentText();
    SerialLink::open(*port, portName);
    const bool saved = savePortName();

    if (!port->isOpen()) {
        reportFailure(notConnectedText);
        return;
    }
    // The window reads its port from the file: a stale name would send every
    // command to another board.
    if (!saved) {
        port->close();
        reportFailure(cannotSaveText);
        return;
    }

    reportConnected();
    // The window opens this same port, so ours must be closed first.
    port->close();
    (new MainWindow)->show();
}

bool Dialog::savePortName()
{
    return HandOffFile::write(portName);
}

void Dialog::reportConnected()
{
    QMessageBox deviceStatus(this);
    deviceStatus.setWindowTitle(QStringLiteral("Device status"));
    deviceStatus.setText(QStringLiteral("<p><b><font face=\"arial\" color=\"black\">DEVICE CONNECTED !!</font></p>"));
    deviceStatus.setStandardButtons(QMessageBox::Ok);
    deviceStatus.setDefaultButton(QMessageBox::Ok);
    deviceStatus.setIconPixmap(QPixmap(QStringLiteral(":/images/images/Actions-network-connect-icon.png")));
    deviceStatus.exec();
}

void Dialog::reportFailure(const char *text)
{
    QMessageBox::critical(this, tr("Port status"), tr(text), QMessageBox::Ok);
}
