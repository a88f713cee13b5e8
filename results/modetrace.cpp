#include "results/modetrace.h"

TraceThinner::TraceThinner(int index, int voltageKey)
{
    trace.index = index;
    trace.voltageKey = voltageKey;
}

void TraceThinner::add(const TraceBin &bin)
{
    partial.add(bin);
    if (++pending < perBin)
        return;
    trace.bins << partial.result();
    partial = TraceBinMerge();
    pending = 0;
    if (trace.bins.size() == 2 * limit)
        mergePairs();
}

void TraceThinner::mergePairs()
{
    QVector<TraceBin> merged;
    merged.reserve(limit);
    for (int i = 0; i + 1 < trace.bins.size(); i += 2) {
        TraceBinMerge pair;
        pair.add(trace.bins.at(i));
        pair.add(trace.bins.at(i + 1));
        merged << pair.result();
    }
    trace.bins = merged;
    perBin *= 2;
    trace.binSeconds = perBin * ModeCapture::binSeconds;
}

// The last bin may span less than the others: it is the mode's end.
ModeTrace TraceThinner::take()
{
    if (pending > 0)
        trace.bins << partial.result();
    partial = TraceBinMerge();
    pending = 0;
    return trace;
}
