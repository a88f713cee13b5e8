#include "tests/support/simulatedbench.h"

SimulatedBench::SimulatedBench(bool strict, const QStringList &extra)
{
    QStringList arguments = QStringList {QStringLiteral("--meter"), QStringLiteral("0")} + extra;
    if (strict)
        arguments.prepend(QStringLiteral("--strict"));
    process.start(QStringLiteral(SIMULATOR_PROGRAM), arguments);
    process.waitForStarted();
    while (process.state() == QProcess::Running && !meterLine.startsWith(QLatin1String("meter"))) {
        if (process.canReadLine() || process.waitForReadyRead(5000)) {
            const QString line = QString::fromLatin1(process.readLine().trimmed());
            (line.startsWith(QLatin1String("/dev/")) ? terminal : meterLine) = line;
        }
    }
}

SimulatedBench::~SimulatedBench()
{
    process.terminate();
    process.waitForFinished(5000);
}

QString SimulatedBench::meter() const
{
    return QStringLiteral("tcp:") + meterLine.mid(6);
}

QString SimulatedBench::resetCommand() const
{
    return QStringLiteral("command:kill -USR1 %1").arg(process.processId());
}
