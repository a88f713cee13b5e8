#ifndef SERIALMETERLINK_H
#define SERIALMETERLINK_H

#include "meter/meterlink.h"

#include <QSerialPort>

// A meter on a serial line: 8N1 at the given rate, DTR asserted (many meters
// power their interface from it or ignore a host that does not assert it).
class SerialMeterLink : public MeterLink
{
    Q_OBJECT

public:
    SerialMeterLink(const QString &portName, qint32 baudRate, QObject *parent = nullptr);

    void open() override;
    void close() override;
    bool isOpen() const override;
    void writeLine(const QByteArray &line) override;
    QList<QByteArray> drain() override;
    void discardLateReplies() override;
    QString description() const override;
    QString whatToCheck() const override;

private:
    void readReplies();
    void reportError(QSerialPort::SerialPortError error);

    QString portName;
    qint32 baudRate;
    QSerialPort port;
};

#endif // SERIALMETERLINK_H
