#ifndef SWEEP_H
#define SWEEP_H

#include "meter/modecapture.h"
#include "results/resultsfolder.h"
#include "settings/sweepsettings.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <functional>
#include <memory>

class BoardReset;
class History;
class Meter;
class Supply;
class TypedMeter;

// Measures the board's power modes one after the other on the event loop:
// for each mode it sets the meter up, resets the board, sends the mode's
// command as the program does, lets it settle, takes the readings, waits for
// a CoreMark report where one comes, and commits the mode to the results
// folder and, where it is given one, to the run history. With a supply unit
// it powers the board, every mode at each voltage in turn, and checks the
// voltage the supply reads back. It never blocks:
// prompts go out as signals and come back as calls, and it can be stopped at
// any moment, keeping every finished mode. The folder is the record of
// truth: a history that fails midway is let go with a warning, and the
// sweep goes on.
class Sweep : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Completed, Failed, Stopped };
    Q_ENUM(Outcome)

    explicit Sweep(const SweepSettings &settings, std::unique_ptr<History> history = nullptr, QObject *parent = nullptr);
    ~Sweep() override;

    // What can be checked before anything is sent: the folder is there and
    // takes files (and, to resume, holds results of these settings), and the
    // board's port opens. False with the reason otherwise.
    bool prepare(QString *error);
    void start();

    void resetDone();                             // answers resetWanted()
    QString enterReading(const QString &typed);   // answers readingWanted(); why a typo is refused
    void endOfInput();                            // no more answers will come
    void stop();

    QString folderPath() const;
    QList<ResultRow> rows() const;
    QList<ModeTrace> traces() const;
    bool anyFailed() const;
    QString runId() const { return facts.runId; }
    const SweepSettings &settingsInUse() const { return settings; }
    // Why the history missed part of this run; empty when it has all of it.
    QString historyFailure() const { return historyLost; }

signals:
    void meterIdentified(const QString &identity);
    void modeStarted(int position, int count, int index);
    void resetWanted(int index);
    void readingWanted(int index, int number, int of);
    void sampleTaken(int index, const Sample &sample);
    void binsTaken(int index, const QVector<TraceBin> &bins);   // a fast meter's latest milliseconds
    void eventsTaken(int index, const QVector<ModeEvent> &events);   // and the events found in them
    void modeFinished(int position, int count, const ResultRow &row, double secondsLeft);
    void recorded();   // the results folder holds a new mode
    void warning(const QString &text);
    void finished(Sweep::Outcome outcome, const QString &message);

private:
    void startMeter();
    void nextMode();
    void powerThePoint();
    void configureMeter();
    void resetBoard();
    void powerOn();
    void supplied();
    void readBefore();
    void sendCommand();
    void measure();
    void takeReadings(const QList<Reading> &readings);
    QString rawPath() const;
    void readBack();
    void takeReadback(std::optional<double> readback);
    void awaitCoreMark();
    static void addEvents(ResultRow &row, const ModeCapture &taken);
    void record();
    void collectReply();
    void boardPortFailed(QSerialPort::SerialPortError error);
    void recordRun();
    void letHistoryGo(const QString &reason);
    void fail(const QString &reason);
    void end(Outcome outcome, const QString &message);
    void after(double seconds, void (Sweep::*step)());
    double expectedSeconds(int index) const;
    int instrumentsClosing = 0;
    double secondsLeft() const;

    SweepSettings settings;
    std::unique_ptr<ResultsFolder> folder;
    QSerialPort board;
    std::unique_ptr<Supply> supply;
    std::unique_ptr<Meter> meter;
    TypedMeter *typedMeter = nullptr;
    BoardReset *reset = nullptr;
    RunFacts facts;
    std::unique_ptr<History> history;
    QString historyLost;

    // A mode at a voltage: the supply unit's, the one given, or none.
    struct Point
    {
        int index;
        std::optional<double> volts;
    };
    QList<Point> pending;    // still to measure
    int position = 0;
    int count = 0;
    int mode = -1;
    std::optional<double> volts;          // of the point being measured
    std::optional<double> appliedVolts;   // what the supply unit's output is on at
    std::optional<double> vdd;            // this point's readback, or the voltage given
    std::function<void()> whenSupplied;   // what follows the supply unit's answer
    QDateTime modeStartedAt;
    qint64 commandSentAt = 0;   // Readings::now()
    QElapsedTimer sinceStart;
    int modesTimed = 0;
    double expectedOfTimed = 0;  // what the finished modes' own waits and readings took
    QList<Sample> samples;
    std::optional<ModeCapture> capture;   // of a meter that samples fast
    QByteArray reply;
    std::optional<double> beforeCommand;   // the current read just before the command, where the entry is checked
    bool reportMissing = false;            // a CoreMark report that never came
    QTimer wait;
    std::function<void()> whenWaited;
    bool awaitingCoreMark = false;
    bool running = false;
};

#endif // SWEEP_H
