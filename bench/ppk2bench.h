#ifndef PPK2BENCH_H
#define PPK2BENCH_H

#include <QtGlobal>

// What streaming a Power Profiler Kit II at its full rate costs the host:
// pellmora-sweep measuring one mode for the whole run, against the
// simulated box in a process of its own: as settle time, or, finding
// events, as its readings' window.
struct Ppk2StreamCost
{
    double seconds = 0;               // of streaming
    qint64 lostSamples = -1;          // by the counter; -1 where the run failed
    bool shortOfRate = false;         // whole blocks lost unseen, by the nominal rate
    double residentGrowthMiB = 0;     // from 5 s in to a second before the readings
    double processorShare = 0;        // of one core, over the same span
    double finishingSeconds = 0;      // after the stream: the mode's files written, the report drawn
    int events = 0;                   // whole ones found, where they were looked for
};

Ppk2StreamCost ppk2StreamCost(const char *sweepProgram, const char *simulatorProgram, int seconds);
// The same over a CoreMark mode's blocks, its window the whole run, finding
// its events by the box's D0 and by the current.
Ppk2StreamCost ppk2EventsCost(const char *sweepProgram, const char *simulatorProgram, int seconds);

#endif // PPK2BENCH_H
