#ifndef SUPPLYMETER_H
#define SUPPLYMETER_H

#include "meter/meter.h"

class Supply;

// The supply as the board's meter, for a source-measure unit: each reading
// is one current measurement of its output. It does not own the supply,
// which the sweep starts and closes as the board's supply.
class SupplyMeter : public Meter
{
    Q_OBJECT

public:
    explicit SupplyMeter(Supply *supply, QObject *parent = nullptr);

    void setIdentity(const QString &identity) { supplyIdentity = identity; }

    void start() override;
    void configure(const MeterSettings &settings) override;
    void measure() override;
    bool readsBefore() const override { return true; }
    void readBefore() override;
    void finish() override;
    void abort() override;

private:
    void take(const Reading &reading);

    Supply *supply;
    QString supplyIdentity;
    int wanted = 0;
    QList<Reading> readings;
    bool measuring = false;
    bool readingBefore = false;
};

#endif // SUPPLYMETER_H
