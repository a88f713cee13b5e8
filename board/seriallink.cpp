#include "board/seriallink.h"

#include <QSerialPort>

namespace SerialLink {

bool open(QSerialPort &port, const QString &portName)
{
    // The order matches what the firmware's host tools have always done.
    port.setPortName(portName);
    port.setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
    port.setStopBits(QSerialPort::OneStop);
    port.setParity(QSerialPort::NoParity);
    port.setDataBits(QSerialPort::Data8);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite))
        return false;
#ifdef Q_OS_WIN
    // Wine 8.0 completes QtSerialPort's overlapped WaitCommEvent at once
    // without its completion routine, so readyRead() would never come; a
    // read straight after opening starts the first read itself. On Windows
    // it returns at once with nothing.
    port.readAll();
#endif
    return true;
}

QByteArray modeCommand(int modeIndex)
{
    return QByteArray::number(modeIndex) + '\r';
}

void closeOnLineFailure(QSerialPort *port)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 8, 0)
    const auto errorSignal = &QSerialPort::errorOccurred;
#else
    const auto errorSignal = static_cast<void (QSerialPort::*)(QSerialPort::SerialPortError)>(&QSerialPort::error);
#endif
    // Queued, so the port is not closed from inside its own read notification.
    QObject::connect(port, errorSignal, port, [port](QSerialPort::SerialPortError error) {
        const bool lineLost = error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
        if (lineLost && port->isOpen())
            port->close();
    }, Qt::QueuedConnection);
}

} // namespace SerialLink
