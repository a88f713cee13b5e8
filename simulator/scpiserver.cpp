#include "simulator/scpiserver.h"

#include "simulator/scpiinstrument.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <functional>
#include <unistd.h>

// One way into the instrument: its input split into messages, and the
// response of the last query waiting for its time.
class ScpiServer::Channel : public QObject
{
public:
    using Send = std::function<void(const QByteArray &bytes)>;

    Channel(ScpiInstrument &served, QByteArray endOfLine, Send sendBytes, QObject *parent)
        : QObject(parent)
        , instrument(served)
        , terminator(std::move(endOfLine))
        , send(std::move(sendBytes))
    {
        pending.setSingleShot(true);
        pending.setTimerType(Qt::PreciseTimer);
        connect(&pending, &QTimer::timeout, this, [this] { send(response + terminator); });
    }

    void take(const QByteArray &bytes)
    {
        input += bytes;
        for (int end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
            const QByteArray line = input.left(end).trimmed();
            input.remove(0, end + 1);
            if (pending.isActive()) {
                pending.stop();
                instrument.interrupted();
            }
            const ScpiInstrument::Reply reply = instrument.message(line);
            if (!reply.response)
                continue;
            response = *reply.response;
            if (reply.milliseconds > 0)
                pending.start(reply.milliseconds);
            else
                send(response + terminator);
        }
    }

private:
    ScpiInstrument &instrument;
    QByteArray terminator;
    Send send;
    QByteArray input;
    QByteArray response;
    QTimer pending;
};

ScpiServer::ScpiServer(ScpiInstrument &servedInstrument, QObject *parent)
    : QObject(parent)
    , instrument(servedInstrument)
    , server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server->nextPendingConnection()) {
            auto *channel = new Channel(instrument, "\n", [socket](const QByteArray &bytes) { socket->write(bytes); }, socket);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, channel, [socket, channel] { channel->take(socket->readAll()); });
        }
    });
}

ScpiServer::~ScpiServer()
{
    if (serial.masterFd >= 0) {
        ::close(serial.masterFd);
        ::close(serial.slaveFd);
    }
}

bool ScpiServer::listen(quint16 port)
{
    return server->listen(QHostAddress::LocalHost, port);
}

quint16 ScpiServer::port() const
{
    return server->serverPort();
}

bool ScpiServer::openSerial()
{
    serial = PseudoTerminal::open();
    if (serial.masterFd < 0)
        return false;
    const int fd = serial.masterFd;
    // What the host has not read yet waits here until the line drains.
    auto *writer = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    writer->setEnabled(false);
    const auto flush = [this, fd, writer] {
        while (!serialOutput.isEmpty()) {
            const ssize_t written = ::write(fd, serialOutput.constData(), size_t(serialOutput.size()));
            if (written < 0) {
                writer->setEnabled(errno == EAGAIN || errno == EINTR);
                return;
            }
            serialOutput.remove(0, int(written));
        }
        writer->setEnabled(false);
    };
    connect(writer, &QSocketNotifier::activated, this, flush);
    // Serial instruments end their lines with CR LF.
    serialChannel = new Channel(instrument, "\r\n", [this, flush](const QByteArray &bytes) {
        serialOutput += bytes;
        flush();
    }, this);
    auto *reader = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(reader, &QSocketNotifier::activated, this, [this, fd] {
        char chunk[4096];
        ssize_t count;
        while ((count = ::read(fd, chunk, sizeof chunk)) > 0)
            serialChannel->take(QByteArray(chunk, int(count)));
    });
    return true;
}
