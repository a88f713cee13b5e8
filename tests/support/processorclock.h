#ifndef PROCESSORCLOCK_H
#define PROCESSORCLOCK_H

#include <ctime>

// Processor time this process has used since start(), in seconds.
class ProcessorClock
{
public:
    void start() { startedAt = now(); }
    double seconds() const { return now() - startedAt; }

private:
    static double now()
    {
        timespec time {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
        return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
    }

    double startedAt = 0;
};

// A program that spins after a fault burns a whole core; an idle one uses a
// small fraction of one. A third of a core tells them apart on any machine,
// sanitizers and a busy neighbour included.
inline bool usedUnderAThirdOfACore(double processorSeconds, double wallSeconds)
{
    return processorSeconds < wallSeconds / 3;
}

#endif // PROCESSORCLOCK_H
