#include "simulator/metersimulator.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cmath>

namespace {

constexpr double overload = 9.9e37;
// Relative noise at one power-line cycle; it shrinks with the square root of the integration time.
constexpr double noiseAtOneCycle = 0.01;
const char identity[] = "Pellmora,Simulated DMM 6.5,SIM0001,1.0";

} // namespace

ScpiResponder::ScpiResponder(std::function<double()> currentNow)
    : current(std::move(currentNow))
{
    reset();
}

void ScpiResponder::reset()
{
    range.reset();
    nplc = 10;
    samples = 1;
}

std::optional<QByteArray> ScpiResponder::answer(const QByteArray &line)
{
    const QByteArray command = ScpiServer::headerOf(line.trimmed());
    const QByteArray value = ScpiServer::argumentOf(line.trimmed());
    bool ok = true;
    if (command == "*IDN?")
        return QByteArray(identity);
    if (command == "*RST") {
        reset();
    } else if (command == "*CLS") {
        errors.clear();
    } else if (command == "CONF:CURR:DC") {
        reset();
        if (!value.isEmpty() && value != "AUTO") {
            const double fixed = value.toDouble(&ok);
            if (ok && fixed > 0)
                range = fixed;
            else
                errors << QStringLiteral("-222,\"Data out of range\"");
        }
    } else if (command == "CURR:DC:NPLC") {
        const double cycles = value.toDouble(&ok);
        if (ok && cycles >= 0.02 && cycles <= 100)
            nplc = cycles;
        else
            errors << QStringLiteral("-222,\"Data out of range\"");
    } else if (command == "SAMP:COUN") {
        const int count = value.toInt(&ok);
        if (ok && count >= 1 && count <= 1000)
            samples = count;
        else
            errors << QStringLiteral("-222,\"Data out of range\"");
    } else if (command == "READ?") {
        return readings(samples);
    } else if (command == "MEAS:CURR:DC?") {
        reset();
        return readings(1);
    } else if (command == "SYST:ERR?") {
        return errors.isEmpty() ? QByteArray("+0,\"No error\"") : errors.takeFirst().toLatin1();
    } else if (!command.isEmpty()) {
        errors << QStringLiteral("-113,\"Undefined header\"");
    }
    return std::nullopt;
}

QByteArray ScpiResponder::readings(int count)
{
    QByteArrayList values;
    for (int i = 0; i < count; ++i) {
        const double amperes = current();
        if (range && std::fabs(amperes) > *range * 1.2) {
            values << ScpiServer::number(overload);
            continue;
        }
        const double spread = noiseAtOneCycle / std::sqrt(nplc);
        values << ScpiServer::number(amperes * (1 + spread * (2 * noise.generateDouble() - 1)));
    }
    return values.join(',');
}

ScpiServer::ScpiServer(Answer answerLine, QObject *parent)
    : QObject(parent)
    , answer(std::move(answerLine))
    , server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &ScpiServer::accept);
}

QByteArray ScpiServer::number(double value)
{
    return QByteArray::number(value, 'E', 8);
}

QByteArray ScpiServer::headerOf(const QByteArray &line)
{
    return line.split(' ').first().toUpper();
}

QByteArray ScpiServer::argumentOf(const QByteArray &line)
{
    const int space = line.indexOf(' ');
    return space < 0 ? QByteArray() : line.mid(space + 1).trimmed().toUpper();
}

bool ScpiServer::listen(quint16 port)
{
    return server->listen(QHostAddress::LocalHost, port);
}

quint16 ScpiServer::port() const
{
    return server->serverPort();
}

void ScpiServer::accept()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            while (socket->canReadLine()) {
                if (const std::optional<QByteArray> reply = answer(socket->readLine()))
                    socket->write(*reply + '\n');
            }
        });
    }
}

MeterSimulator::MeterSimulator(std::function<double()> currentNow, QObject *parent)
    : ScpiServer([this](const QByteArray &line) { return responder.answer(line); }, parent)
    , responder(std::move(currentNow))
{
}
