#ifndef EVENTFINDER_H
#define EVENTFINDER_H

#include "meter/eventsource.h"
#include "meter/modecapture.h"

#include <QVector>

// Finds a mode's events in its readings' window as the samples stream by,
// holding none of them: per source, whether an event is open, and its sums.
// An event open when the window begins or ends is partial.
class EventFinder
{
public:
    EventFinder(const QList<EventSource> &sources, int samplesPerSecond);

    // A new window: positions from here on count from `commandPosition`.
    void begin(qint64 commandPosition);
    // A sample of the window; lost samples leave gaps in the positions.
    void add(qint64 position, double amperes, quint8 logic);
    // The window ended with the last sample added.
    void finish(ModeCapture &capture);
    // The events closed since the last call, for a live view.
    QVector<ModeEvent> newEvents();

private:
    struct Tracker
    {
        EventSource source;
        bool open = false;
        bool partial = false;
        qint64 start = 0;
        qint64 lastHigh = 0;     // the latest sample above the threshold or with the pin high
        double sum = 0;          // of the samples taken into the event
        qint64 taken = 0;
        double pendingSum = 0;   // below the threshold since lastHigh: bridged if it rises again in time
        qint64 pendingTaken = 0;
        double peak = 0;
        ModeCapture::EventTotals totals;
        QVector<ModeEvent> listed;
    };
    void take(Tracker &tracker, qint64 position, double amperes, bool high);
    void close(Tracker &tracker, bool partial);

    QVector<Tracker> trackers;
    int rate;
    qint64 command = 0;
    qint64 first = -1;
    QVector<ModeEvent> fresh;
};

#endif // EVENTFINDER_H
