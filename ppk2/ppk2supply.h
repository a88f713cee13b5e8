#ifndef PPK2SUPPLY_H
#define PPK2SUPPLY_H

#include "ppk2/ppk2box.h"
#include "supply/supply.h"

#include <memory>

// The Power Profiler Kit II as the board's supply unit, in source mode: it
// sets the voltage and switches the board's power. It has no current limit
// and cannot read its output back, so a mode's voltage is the one set.
class Ppk2Supply : public Supply
{
    Q_OBJECT

public:
    explicit Ppk2Supply(std::shared_ptr<Ppk2Box> box, QObject *parent = nullptr);

    void start() override;
    void apply(double volts, double amps) override;
    void switchOff() override;
    void measureVoltage() override;
    void measureCurrent() override;
    bool measuresCurrent() const override { return true; }
    void finish() override;
    void abort() override {}

private:
    void takeSourceMode();

    std::shared_ptr<Ppk2Box> box;
};

#endif // PPK2SUPPLY_H
