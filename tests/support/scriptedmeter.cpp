#include "tests/support/scriptedmeter.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray header(const QByteArray &line)
{
    return line.trimmed().split(' ').first().toUpper();
}

} // namespace

ScriptedMeter::ScriptedMeter(double amperes)
    : meter([amperes] { return amperes; })
{
    server.listen(QHostAddress::LocalHost);
    connect(&server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++accepted;
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine())
                    take(socket, socket->readLine());
            });
        }
    });
}

QString ScriptedMeter::address() const
{
    return QStringLiteral("tcp:127.0.0.1:%1").arg(server.serverPort());
}

void ScriptedMeter::answer(const QByteArray &command, const std::optional<QByteArray> &bytes)
{
    scripted.insert(command, bytes);
}

void ScriptedMeter::fallSilent(const QByteArray &command, int times)
{
    answersLeft.insert(command, times);
}

void ScriptedMeter::thenSend(const QByteArray &command, int milliseconds, const QByteArray &bytes)
{
    followUps.insert(command, {milliseconds, bytes});
}

void ScriptedMeter::take(QTcpSocket *socket, const QByteArray &line)
{
    lines << line.trimmed();
    const QByteArray command = header(line);
    std::optional<QByteArray> reply;
    if (answersLeft.contains(command) && answersLeft[command]-- <= 0)
        reply.reset();
    else if (scripted.contains(command))
        reply = scripted.value(command);
    else if (const std::optional<QByteArray> answered = meter.message(line.trimmed()).response)
        reply = *answered + '\n';   // at once, however long its readings would take
    if (!reply)
        return;
    socket->write(*reply);
    if (followUps.contains(command)) {
        const auto followUp = followUps.value(command);
        QTimer::singleShot(followUp.first, socket, [socket, bytes = followUp.second] { socket->write(bytes); });
    }
}
