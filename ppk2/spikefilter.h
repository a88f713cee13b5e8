#ifndef SPIKEFILTER_H
#define SPIKEFILTER_H

// The host's smoothing of the samples just after the box switches range,
// where a switch can leave a transient: for a few samples the output is an
// exponential average instead of the sample. It removes a one-sample
// transient, not every longer one.
class SpikeFilter
{
public:
    static constexpr int samples = 3;
    static constexpr double alpha = 0.18;       // ranges 0 to 3
    static constexpr double alphaTop = 0.06;    // range 4

    double apply(double amperes, int range);
    void reset();

private:
    bool started = false;
    double average = 0;
    double averageTop = 0;
    int previousRange = -1;
    int countdown = 0;
    int sinceSwitch = 0;
};

#endif // SPIKEFILTER_H
