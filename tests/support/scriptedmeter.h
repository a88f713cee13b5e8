#ifndef SCRIPTEDMETER_H
#define SCRIPTEDMETER_H

#include "simulator/metersimulator.h"

#include <QByteArrayList>
#include <QMap>
#include <QObject>
#include <QTcpServer>

#include <optional>

class QTcpSocket;

// A LAN meter on 127.0.0.1 that answers as the simulated one does, except
// where a test scripts it otherwise: another answer, no answer, more lines
// than asked, or a line sent later, unasked. It records every line it takes.
class ScriptedMeter : public QObject
{
public:
    explicit ScriptedMeter(double amperes = 1e-6);

    QString address() const;   // as --meter takes it

    // The bytes sent for a command (its header, as "READ?"), line ends
    // included; none: the command goes unanswered.
    void answer(const QByteArray &command, const std::optional<QByteArray> &bytes);
    // Answers the first `times` of a command as usual, then never again.
    void fallSilent(const QByteArray &command, int times);
    // After each answer to a command, sends these bytes unasked.
    void thenSend(const QByteArray &command, int milliseconds, const QByteArray &bytes);

    QByteArrayList received() const { return lines; }
    int connections() const { return accepted; }

private:
    void take(QTcpSocket *socket, const QByteArray &line);

    QTcpServer server;
    MeterSimulator meter;
    QMap<QByteArray, std::optional<QByteArray>> scripted;
    QMap<QByteArray, int> answersLeft;
    QMap<QByteArray, QPair<int, QByteArray>> followUps;
    QByteArrayList lines;
    int accepted = 0;
};

#endif // SCRIPTEDMETER_H
