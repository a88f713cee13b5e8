#ifndef SUPPLY_H
#define SUPPLY_H

#include "meter/readings.h"

#include <QObject>
#include <QString>

#include <optional>

// The board's supply as the sweep drives it: a programmable supply or a
// source-measure unit. Every operation answers with one signal, or with
// failed(); none blocks the event loop.
class Supply : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start() = 0;                               // ready() with its identity
    // The output on at this voltage, its current limited to `amps`.
    virtual void apply(double volts, double amps) = 0;      // applied()
    virtual void switchOff() = 0;                           // switchedOff()
    virtual void measureVoltage() = 0;                      // voltageMeasured()
    virtual void measureCurrent() = 0;                      // currentMeasured()
    // Whether it can read the board's current back, and so be its meter.
    virtual bool measuresCurrent() const = 0;
    // Its closing commands where it still answers; finished(), never failed().
    virtual void finish() = 0;
    // Stops waiting for whatever is under way; no signal follows.
    virtual void abort() = 0;

signals:
    void ready(const QString &identity);
    void applied();
    void switchedOff();
    void voltageMeasured(std::optional<double> volts);   // none where it cannot read its output back
    void currentMeasured(const Reading &reading);
    void failed(const QString &reason);
    void finished();
    void warning(const QString &text);
};

#endif // SUPPLY_H
