#ifndef BOARDRESET_H
#define BOARDRESET_H

#include "settings/sweepsettings.h"
#include "sweep/commandprocess.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

class QSerialPort;

// Resets the board before a mode, the way the bench is wired: the operator
// presses the button (asked through wanted(), answered by pressed()), a
// command does it, or the DTR or RTS line of the board's port is pulsed.
class BoardReset : public QObject
{
    Q_OBJECT

public:
    BoardReset(const ResetStrategy &strategy, QSerialPort *boardPort, QObject *parent = nullptr);

    void start();      // then done() or failed()
    void pressed();    // the operator has pressed the button
    void cancel();

signals:
    void wanted();
    void done();
    void failed(const QString &reason);

private:
    void commandFinished(int exitCode, QProcess::ExitStatus status);
    void setLine(bool asserted);

    ResetStrategy strategy;
    QSerialPort *port;
    CommandProcess command;
    QTimer timer;
    bool waitingForOperator = false;
};

#endif // BOARDRESET_H
