#include "ppk2/spikefilter.h"

double SpikeFilter::apply(double amperes, int range)
{
    const double before = average;
    const double beforeTop = averageTop;
    if (!started) {
        average = averageTop = amperes;
        started = true;
    } else {
        average = alpha * amperes + (1 - alpha) * average;
        averageTop = alphaTop * amperes + (1 - alphaTop) * averageTop;
    }
    if (previousRange >= 0 && range != previousRange) {
        countdown = samples;
        sinceSwitch = 0;
    }
    previousRange = range;
    if (countdown <= 0)
        return amperes;
    --countdown;
    if (range == 4 && sinceSwitch < 2) {
        // Into the top range the spike is not absorbed: the average before it stands.
        average = before;
        averageTop = beforeTop;
    }
    ++sinceSwitch;
    return range == 4 ? averageTop : average;
}

void SpikeFilter::reset()
{
    *this = SpikeFilter();
}
