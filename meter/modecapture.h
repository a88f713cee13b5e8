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
    bool empty() const { return min > max; }   // no sample came in it
    static TraceBin none() { return {0, 1, 0}; }
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
};

Q_DECLARE_METATYPE(ModeCapture)
Q_DECLARE_METATYPE(QVector<TraceBin>)

#endif // MODECAPTURE_H
