#include "meter/serialmeterlink.h"

#include <QTimer>

SerialMeterLink::SerialMeterLink(const QString &portName, qint32 baudRate, QObject *parent)
    : MeterLink(parent)
    , portName(portName)
    , baudRate(baudRate)
{
    connect(&port, &QSerialPort::readyRead, this, &SerialMeterLink::readReplies);
    connect(&port, &QSerialPort::errorOccurred, this, &SerialMeterLink::reportError);
}

void SerialMeterLink::open()
{
    forgetPartialReply();
    port.setPortName(portName);
    port.setBaudRate(baudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    // Either is said from the event loop, as a socket says it.
    if (!port.open(QIODevice::ReadWrite)) {
        const QString reason = QStringLiteral("meter on %1: %2").arg(portName, port.errorString());
        QTimer::singleShot(0, this, [this, reason] { emit failed(reason); });
        return;
    }
    port.setDataTerminalReady(true);
    QTimer::singleShot(0, this, &MeterLink::opened);
}

void SerialMeterLink::close()
{
    if (port.isOpen())
        port.waitForBytesWritten(1000);
    port.close();
}

bool SerialMeterLink::isOpen() const
{
    return port.isOpen();
}

void SerialMeterLink::writeLine(const QByteArray &line)
{
    port.write(line + '\n');
}

QList<QByteArray> SerialMeterLink::drain()
{
    return frameDrained(port.isOpen() ? port.readAll() : QByteArray());
}

void SerialMeterLink::discardLateReplies()
{
    port.close();
    forgetPartialReply();
}

QString SerialMeterLink::description() const
{
    return portName;
}

void SerialMeterLink::readReplies()
{
    deliver(port.readAll());
}

void SerialMeterLink::reportError(QSerialPort::SerialPortError error)
{
    // A line without modem lines (an adapter, a pseudo-terminal) refuses DTR
    // and still carries the meter's replies; a failed open is reported by open().
    static const QList<QSerialPort::SerialPortError> lost = {
        QSerialPort::WriteError, QSerialPort::ReadError, QSerialPort::ResourceError,
    };
    if (!lost.contains(error) || !port.isOpen())
        return;
    const QString reason = QStringLiteral("meter on %1: %2").arg(portName, port.errorString());
    // Queued: the port may not be closed from inside its own notification.
    QTimer::singleShot(0, this, [this, reason] {
        port.close();
        emit failed(reason);
    });
}

QString SerialMeterLink::whatToCheck() const
{
    return QStringLiteral("its port, cable and baud rate, that its remote interface is the serial one, and that nothing else holds the port");
}
