#ifndef TYPEDMETER_H
#define TYPEDMETER_H

#include "meter/meter.h"

// The operator reads the meter and types each reading. The meter asks
// through readingWanted() and takes the answer through enter().
class TypedMeter : public Meter
{
    Q_OBJECT

public:
    using Meter::Meter;

    void start() override;
    void configure(const MeterSettings &settings) override;
    void measure() override;
    void finish() override;
    void abort() override;

    // Takes a typed reading; a typo is refused with the reason and asked again.
    QString enter(const QString &text);
    // The operator has no more answers (end of input).
    void endOfInput();

signals:
    void readingWanted(int number, int of);

private:
    void askNext();

    int samples = 1;
    QList<Reading> taken;
    bool measuring = false;
};

#endif // TYPEDMETER_H
