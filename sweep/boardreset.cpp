#include "sweep/boardreset.h"

#include <QSerialPort>

namespace {

constexpr int commandTimeout = 30000;
constexpr int linePulse = 100;

} // namespace

BoardReset::BoardReset(const ResetStrategy &resetStrategy, QSerialPort *boardPort, QObject *parent)
    : QObject(parent)
    , strategy(resetStrategy)
    , port(boardPort)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    // Its messages are the user's to see; its output would mix into ours.
    command.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    command.setStandardOutputFile(QProcess::nullDevice());
    connect(&command, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, &BoardReset::commandFinished);
    connect(&command, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit failed(QStringLiteral("reset command could not be started: %1").arg(command.errorString()));
    });
    connect(&timer, &QTimer::timeout, this, [this] {
        if (command.state() != QProcess::NotRunning) {
            command.endGroup();
            emit failed(QStringLiteral("reset command ran longer than 30 s: %1").arg(strategy.command));
            return;
        }
        setLine(false);
        emit done();
    });
}

void BoardReset::start()
{
    switch (strategy.kind) {
    case ResetStrategy::Prompt:
        waitingForOperator = true;
        emit wanted();
        break;
    case ResetStrategy::None:
        QTimer::singleShot(0, this, &BoardReset::done);
        break;
    case ResetStrategy::Command:
        command.startShell(strategy.command);
        timer.start(commandTimeout);
        break;
    case ResetStrategy::Dtr:
    case ResetStrategy::Rts:
        setLine(true);
        timer.start(linePulse);
        break;
    case ResetStrategy::Power:
        // The sweep switches its supply unit itself; nothing here can.
        QTimer::singleShot(0, this, [this] { emit failed(QStringLiteral("a power reset needs the supply unit")); });
        break;
    }
}

void BoardReset::pressed()
{
    if (!waitingForOperator)
        return;
    waitingForOperator = false;
    emit done();
}

void BoardReset::cancel()
{
    waitingForOperator = false;
    timer.stop();
    if (command.state() != QProcess::NotRunning)
        command.endGroup();
    setLine(false);
}

void BoardReset::commandFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!timer.isActive())
        return;   // killed for running too long, or cancelled
    timer.stop();
    if (status == QProcess::NormalExit && exitCode == 0)
        emit done();
    else
        emit failed(QStringLiteral("reset command failed (%1): %2")
                        .arg(status == QProcess::NormalExit ? QStringLiteral("exit %1").arg(exitCode) : QStringLiteral("crashed"),
                             strategy.command));
}

void BoardReset::setLine(bool asserted)
{
    if (strategy.kind == ResetStrategy::Dtr)
        port->setDataTerminalReady(asserted);
    else if (strategy.kind == ResetStrategy::Rts)
        port->setRequestToSend(asserted);
}
