#ifndef SIMULATEDBENCH_H
#define SIMULATEDBENCH_H

#include <QProcess>
#include <QString>

// The standalone board simulator with its meter, as scripts/sweep starts it;
// stopped with the object.
class SimulatedBench
{
public:
    // `extra`: more of the simulator's options, such as --meter-scale.
    explicit SimulatedBench(bool strict = true, const QStringList &extra = {});
    ~SimulatedBench();

    QString port() const { return terminal; }
    QString meter() const;          // as --meter takes it
    QString resetCommand() const;   // as --reset takes it: SIGUSR1 to the simulator

private:
    QProcess process;
    QString terminal;
    QString meterLine;
};

#endif // SIMULATEDBENCH_H
