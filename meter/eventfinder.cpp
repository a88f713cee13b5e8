#include "meter/eventfinder.h"

#include <algorithm>
#include <cmath>
#include <utility>

EventFinder::EventFinder(const QList<EventSource> &sources, int samplesPerSecond)
    : rate(samplesPerSecond)
{
    for (const EventSource &source : sources) {
        Tracker tracker;
        tracker.source = source;
        trackers << tracker;
    }
}

void EventFinder::begin(qint64 commandPosition)
{
    command = commandPosition;
    first = -1;
    fresh.clear();
    for (Tracker &tracker : trackers) {
        const EventSource source = tracker.source;
        tracker = Tracker();
        tracker.source = source;
        tracker.totals.source = source.name();
    }
}

void EventFinder::add(qint64 position, double amperes, quint8 logic)
{
    if (first < 0)
        first = position;
    for (Tracker &tracker : trackers) {
        const bool high = tracker.source.kind == EventSource::Kind::Pin ? (logic >> tracker.source.pin) & 1
                                                                        : amperes > tracker.source.thresholdA;
        take(tracker, position, amperes, high);
    }
}

void EventFinder::take(Tracker &tracker, qint64 position, double amperes, bool high)
{
    if (!tracker.open) {
        if (!high)
            return;
        tracker.open = true;
        tracker.partial = position == first;   // already under way when the window began
        tracker.start = position;
        tracker.lastHigh = position;
        tracker.sum = amperes;
        tracker.taken = 1;
        tracker.pendingSum = 0;
        tracker.pendingTaken = 0;
        tracker.peak = amperes;
        return;
    }
    if (high) {
        // A gap shorter than the source's is bridged: its samples belong to the event.
        tracker.sum += tracker.pendingSum + amperes;
        tracker.taken += tracker.pendingTaken + 1;
        tracker.pendingSum = 0;
        tracker.pendingTaken = 0;
        tracker.lastHigh = position;
        tracker.peak = std::max(tracker.peak, amperes);
        return;
    }
    const bool pin = tracker.source.kind == EventSource::Kind::Pin;
    const qint64 gapSamples = pin ? 1 : std::max<qint64>(1, std::llround(tracker.source.gapSeconds * rate));
    tracker.pendingSum += amperes;
    ++tracker.pendingTaken;
    if (position - tracker.lastHigh >= gapSamples)
        close(tracker, false);
}

// An event from its first sample to its last high one; a current event
// shorter than the source's least is none.
void EventFinder::close(Tracker &tracker, bool cutAtEnd)
{
    tracker.open = false;
    const qint64 samples = tracker.lastHigh - tracker.start + 1;
    const bool partial = tracker.partial || cutAtEnd;
    const qint64 shortest = tracker.source.kind == EventSource::Kind::Pin
        ? 1 : std::max<qint64>(1, std::llround(tracker.source.minSeconds * rate));
    if (samples < shortest && !partial)
        return;
    ModeEvent event;
    event.source = tracker.totals.source;
    event.partial = partial;
    event.startS = double(tracker.start - command) / rate;
    event.durationS = double(samples) / rate;
    // Samples lost inside it count at its mean.
    event.chargeC = tracker.taken > 0 ? tracker.sum / double(tracker.taken) * event.durationS : 0;
    event.peakA = tracker.peak;
    ModeCapture::EventTotals &totals = tracker.totals;
    totals.chargeC += event.chargeC;
    totals.seconds += event.durationS;
    if (partial) {
        ++totals.partial;
    } else {
        ++totals.whole;
        totals.wholeChargeC += event.chargeC;
    }
    event.n = totals.whole + totals.partial;
    if (tracker.listed.size() < ModeCapture::eventsListed) {
        tracker.listed << event;
        fresh << event;
    }
}

void EventFinder::finish(ModeCapture &capture)
{
    for (Tracker &tracker : trackers) {
        if (tracker.open) {
            // Below the threshold at the end, but not for a whole gap: it may have gone on.
            close(tracker, true);
        }
    }
    capture.events.clear();
    capture.eventTotals.clear();
    for (Tracker &tracker : trackers) {
        capture.events += std::exchange(tracker.listed, {});
        capture.eventTotals << tracker.totals;
    }
}

QVector<ModeEvent> EventFinder::newEvents()
{
    return std::exchange(fresh, {});
}
