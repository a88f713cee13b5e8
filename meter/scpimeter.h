#ifndef SCPIMETER_H
#define SCPIMETER_H

#include "meter/meter.h"
#include "meter/meterlink.h"
#include "meter/meterprofile.h"

#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// A meter that speaks SCPI over a link. Each operation is a queue of
// commands; a query waits for its reply until a deadline, and a meter that
// misses it is dropped, so a late reply is never taken for the next answer.
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

private:
    // A reply handler returns an error, or an empty string to go on.
    using ReplyHandler = std::function<QString(const QByteArray &reply)>;
    struct Step
    {
        QString command;
        ReplyHandler onReply;   // none: a command without a reply
        int deadline = 0;
    };

    void run(std::deque<Step> steps, std::function<void()> done);
    void next();
    void takeLine(const QByteArray &line);
    void missDeadline();
    void fail(const QString &reason);
    void readErrorQueue(const QString &failure, const QStringList &found);
    void stop();

    std::unique_ptr<MeterLink> link;
    MeterProfile profile;
    MeterSettings settings;
    std::deque<Step> queue;
    std::function<void()> whenDone;
    std::optional<Step> awaiting;
    bool connecting = false;
    QTimer deadline;
};

#endif // SCPIMETER_H
