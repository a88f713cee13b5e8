#ifndef SPANMEASURE_H
#define SPANMEASURE_H

#include "meter/modecapture.h"

#include <QString>
#include <QVector>

#include <optional>

// What a span of a mode's waveform drew: its length, mean and peak, and
// the charge and energy that follow, from the 1 ms bins, or from every
// sample where they were kept.
struct SpanMeasure
{
    double fromS = 0;   // seconds from the mode's command
    double toS = 0;
    double mean = 0;
    double peak = 0;
    bool fromSamples = false;

    double seconds() const { return toS - fromS; }
    double chargeC() const { return mean * seconds(); }

    // From bins of `binSeconds` each, the first at `originS`: those the span
    // covers, empty ones left out; none where it covers no sample.
    static std::optional<SpanMeasure> ofBins(const QVector<TraceBin> &bins, double binSeconds, double originS, double fromS, double toS);
    // From a file of every sample (little-endian 32-bit floats from the
    // command on, NaN where one was lost); none, with why, where it cannot be read.
    static std::optional<SpanMeasure> ofSamples(const QString &path, int samplesPerSecond, double fromS, double toS, QString *error);

    // "0.500 s from 1.20 s: mean 1.23 mA, peak 4.56 mA, charge 615 µC, energy 2.03 mJ", the energy where the voltage is known.
    QString text(const std::optional<double> &volts) const;
};

#endif // SPANMEASURE_H
