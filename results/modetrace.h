#ifndef MODETRACE_H
#define MODETRACE_H

#include "meter/modecapture.h"
#include "results/resultrow.h"

#include <QVector>

// A mode's waveform from a fast meter, from its command on, as trace.csv
// holds it, thinned for showing: however long the mode, a few thousand bins.
struct ModeTrace
{
    int index = 0;
    int voltageKey = ResultRow::noVoltage;   // none where the run had one voltage
    QVector<TraceBin> bins;
    double binSeconds = ModeCapture::binSeconds;   // what each bin spans

    bool belongsTo(const ResultRow &row) const
    {
        return index == row.index && (voltageKey == ResultRow::noVoltage || voltageKey == row.voltageKey());
    }
};

// Takes a mode's 1 ms bins one by one into a ModeTrace of fewer than twice
// `limit` bins: when it would hold that many, neighbours merge in pairs and
// each bin spans twice as long from then on.
class TraceThinner
{
public:
    static constexpr int limit = 8192;

    TraceThinner(int index, int voltageKey);
    void add(const TraceBin &bin);
    ModeTrace take();

private:
    void mergePairs();

    ModeTrace trace;
    int perBin = 1;          // 1 ms bins in each of the trace's
    int pending = 0;         // of them taken into `partial` so far
    TraceBinMerge partial;
};

#endif // MODETRACE_H
