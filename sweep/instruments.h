#ifndef INSTRUMENTS_H
#define INSTRUMENTS_H

#include "settings/sweepsettings.h"

#include <memory>

class Meter;
class Supply;
class TypedMeter;

// The sweep's meter and supply unit as its settings name them. A Power
// Profiler Kit II named as both is one connection serving both: the supply
// sets its source mode, the meter samples.
struct Instruments
{
    std::unique_ptr<Supply> supply;
    std::unique_ptr<Meter> meter;
    TypedMeter *typedMeter = nullptr;   // the meter, where its readings are typed

    static Instruments of(const SweepSettings &settings);
};

#endif // INSTRUMENTS_H
