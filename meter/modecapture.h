#ifndef MODECAPTURE_H
#define MODECAPTURE_H

#include <QMetaType>
#include <QString>
#include <QVector>

#include <algorithm>
#include <limits>
#include <optional>

// One millisecond of a waveform: the mean of its samples and their spread,
// so that a spike shorter than the bin survives as its maximum.
struct TraceBin
{
    double mean = 0;
    double min = 0;
    double max = 0;
    quint8 logic = 0;   // the digital inputs high at any of its samples, bit n = Dn
    bool empty() const { return min > max; }   // no sample came in it
    static TraceBin none() { return {0, 1, 0, 0}; }
};

// Neighbouring bins taken into one: the spread of all, the mean of the
// means of those that had samples.
class TraceBinMerge
{
public:
    void add(const TraceBin &bin)
    {
        if (bin.empty())
            return;
        merged.logic |= bin.logic;
        merged.min = filled ? std::min(merged.min, bin.min) : bin.min;
        merged.max = filled ? std::max(merged.max, bin.max) : bin.max;
        meanSum += bin.mean;
        ++filled;
    }
    TraceBin result() const
    {
        TraceBin bin = merged;
        if (filled)
            bin.mean = meanSum / filled;
        return bin;
    }

private:
    TraceBin merged = TraceBin::none();
    double meanSum = 0;
    int filled = 0;
};

// One event of a mode's readings window (see EventSource), its times from
// the mode's command. A partial one was cut by the window's start or end.
struct ModeEvent
{
    QString source;   // "D0", "current"
    int n = 0;        // from 1 within the mode and source
    bool partial = false;
    double startS = 0;
    double durationS = 0;
    double chargeC = 0;
    double peakA = 0;
    double endS() const { return startS + durationS; }
};

// What a meter that samples fast records of a mode, from its command to the
// end of its readings, beyond the readings themselves.
struct ModeCapture
{
    static constexpr double binSeconds = 1e-3;

    double peak = -std::numeric_limits<double>::infinity();   // the highest sample, filtered as the readings are
    double charge = 0;                    // coulombs, over the readings' window only
    std::optional<double> settledAfter;   // seconds from the command; none if not within the settle time
    qint64 lostSamples = 0;               // numbered by the meter, never received
    qint64 spanSamples = 0;               // the span's samples, lost ones included
    // The 1 ms bins from the command on, kept in a file since a long mode's
    // outgrow memory: TraceBin after TraceBin as this machine lays them out.
    QString binsPath;
    qint64 binCount = 0;
    double windowSeconds = 0;             // the readings' window
    // Events in the window: listed in time (up to eventsListed a source,
    // the rest counted only), and each source's totals, in the order given.
    QVector<ModeEvent> events;
    struct EventTotals
    {
        QString source;
        int whole = 0;
        int partial = 0;
        double wholeChargeC = 0;
        double chargeC = 0;     // of every event, partial ones included, within the window
        double seconds = 0;     // their time within the window
    };
    QVector<EventTotals> eventTotals;
    static constexpr int eventsListed = 100000;
};

Q_DECLARE_METATYPE(ModeCapture)
Q_DECLARE_METATYPE(QVector<TraceBin>)
Q_DECLARE_METATYPE(QVector<ModeEvent>)

#endif // MODECAPTURE_H
