#ifndef PPK2DEVICE_H
#define PPK2DEVICE_H

#include "ppk2/ppk2protocol.h"

#include <QByteArray>

// What the simulated Power Profiler Kit II knows of itself: calibration
// constants that are not the nominal ones (a host that ignores them reads
// wrong), its metadata text as the firmware prints it, and how a current
// becomes a sample word: the range the box would pick, the ADC field, the
// counter and the logic inputs.
class Ppk2Device
{
public:
    Ppk2Device();

    const Ppk2Calibration &calibration() const { return constants; }
    QByteArray metadata(int vddMillivolts, Ppk2::PowerMode mode) const;

    // The range a current falls in, by the published spans.
    static int rangeFor(double amperes);
    // A sample word for a current, at the source voltage the host set.
    quint32 word(double amperes, int counter, double vddVolts, quint8 logic = 0) const;
    // The same word with a range of the device's choosing, for switch transients.
    quint32 word(double amperes, int range, int counter, double vddVolts, quint8 logic) const;
    // The ADC field a current gives in a range, before it is rounded to a count.
    double exactField(double amperes, int range, double vddVolts) const;
    static quint32 word(int field, int range, int counter, quint8 logic);

private:
    Ppk2Calibration constants;
};

#endif // PPK2DEVICE_H
