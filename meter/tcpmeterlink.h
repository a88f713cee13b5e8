#ifndef TCPMETERLINK_H
#define TCPMETERLINK_H

#include "meter/meterlink.h"

#include <QTcpSocket>

// A raw SCPI socket, as LAN instruments serve on port 5025.
class TcpMeterLink : public MeterLink
{
    Q_OBJECT

public:
    TcpMeterLink(const QString &host, quint16 port, QObject *parent = nullptr);

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
    void reportError();

    QString host;
    quint16 port;
    QTcpSocket socket;
};

#endif // TCPMETERLINK_H
