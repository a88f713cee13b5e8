#ifndef MODECAPTURE_H
#define MODECAPTURE_H

#include <QMetaType>
#include <QVector>

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

// What a meter that samples fast records of a mode, from its command to the
// end of its readings, beyond the readings themselves.
struct ModeCapture
{
    static constexpr double binSeconds = 1e-3;

    double peak = 0;                      // the highest sample, filtered as the readings are
    double charge = 0;                    // coulombs, over the readings' window only
    std::optional<double> settledAfter;   // seconds from the command; none if not within the settle time
    qint64 lostSamples = 0;               // numbered by the meter, never received
    qint64 spanSamples = 0;               // the span's samples, lost ones included
    QVector<TraceBin> bins;               // from the command on
};

Q_DECLARE_METATYPE(ModeCapture)
Q_DECLARE_METATYPE(QVector<TraceBin>)

#endif // MODECAPTURE_H
