#ifndef SCPIMETER_H
#define SCPIMETER_H

#include "meter/meter.h"
#include "meter/meterlink.h"
#include "meter/meterprofile.h"

#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// A meter that speaks SCPI over a link, as a session in one of four states:
// idle, connecting, awaiting the reply to a named query, or closing. Every
// connect and every query has a deadline, and a meter that misses one is
// dropped. A line that comes when no query is pending is dropped with a
// warning, a reply of more lines than its query asks for is malformed, and
// the next command is sent from the event loop, never from inside the
// delivery of a line, so no late or stray line is ever taken for an answer.
class ScpiMeter : public Meter
{
    Q_OBJECT

public:
    ScpiMeter(std::unique_ptr<MeterLink> link, const MeterProfile &profile, QObject *parent = nullptr);

    void start() override;
    void configure(const MeterSettings &settings) override;
    void measure() override;
    void finish() override;
    void abort() override;

    // How long a query may take: twice what the meter needs for the readings
    // asked for (a power-line cycle of 20 ms at 50 Hz, doubled by autozero),
    // plus a second.
    static int deadlineFor(double nplc, int samples);
    static constexpr int connectDeadline = 5000;

private:
    enum class State { Idle, Connecting, AwaitingReply, Closing };
    // What a reply means: why it is a failure, or an empty string to go on.
    using ReplyHandler = std::function<QString(const QByteArray &reply)>;
    struct Step
    {
        QString command;
        ReplyHandler onReply;   // none: a command without a reply
        int deadline = 0;
    };

    void run(std::deque<Step> steps, std::function<void()> done);
    void advance();
    void takeLines(const QList<QByteArray> &lines);
    void linkOpened();
    void linkFailed(const QString &reason);
    void missDeadline();
    void fail(const QString &reason);
    QString readErrorQueue(const QString &failure, const QStringList &found);
    void warnOfStray(const QByteArray &line);
    void sendClosingCommands();
    void closed();
    void clear();

    std::unique_ptr<MeterLink> link;
    MeterProfile profile;
    MeterSettings settings;
    State state = State::Idle;
    std::deque<Step> steps;
    std::function<void()> whenDone;
    Step query;               // awaiting its reply
    QTimer deadline;
    QTimer advanceTimer;      // sends what is next from the event loop
    bool operating = false;   // an operation has not answered yet
    bool everOpened = false;
    bool warned = false;      // of a stray line, once per mode
};

#endif // SCPIMETER_H
