#include "meter/tcpmeterlink.h"

TcpMeterLink::TcpMeterLink(const QString &host, quint16 port, QObject *parent)
    : MeterLink(parent)
    , host(host)
    , port(port)
{
    connect(&socket, &QTcpSocket::connected, this, &MeterLink::opened);
    connect(&socket, &QTcpSocket::readyRead, this, &TcpMeterLink::readReplies);
    connect(&socket, &QTcpSocket::errorOccurred, this, &TcpMeterLink::reportError);
}

void TcpMeterLink::open()
{
    forgetPartialReply();
    socket.connectToHost(host, port);
}

void TcpMeterLink::close()
{
    // The closing commands are sent before the socket closes.
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
}

bool TcpMeterLink::isOpen() const
{
    return socket.state() == QAbstractSocket::ConnectedState;
}

void TcpMeterLink::writeLine(const QByteArray &line)
{
    socket.write(line + '\n');
}

QList<QByteArray> TcpMeterLink::drain()
{
    return frameDrained(socket.readAll());
}

void TcpMeterLink::discardLateReplies()
{
    socket.abort();
    forgetPartialReply();
}

QString TcpMeterLink::description() const
{
    return QStringLiteral("%1 port %2").arg(host).arg(port);
}

void TcpMeterLink::readReplies()
{
    deliver(socket.readAll());
}

void TcpMeterLink::reportError()
{
    const QString reason = QStringLiteral("meter at %1: %2").arg(description(), socket.errorString());
    socket.abort();
    emit failed(reason);
}

QString TcpMeterLink::whatToCheck() const
{
    return QStringLiteral("its address, its LAN settings (a raw socket port, usually 5025) and that nothing else holds its connection");
}
