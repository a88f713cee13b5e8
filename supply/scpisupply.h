#ifndef SCPISUPPLY_H
#define SCPISUPPLY_H

#include "meter/meterlink.h"
#include "meter/scpisession.h"
#include "supply/supply.h"
#include "supply/supplyprofile.h"

#include <memory>

// A supply that speaks SCPI over a LAN, serial or USBTMC link, in its
// profile's commands, through the same session as the meters: deadlines,
// the error queue, and no stray line taken for an answer.
class ScpiSupply : public Supply
{
    Q_OBJECT

public:
    ScpiSupply(std::unique_ptr<MeterLink> link, const SupplyProfile &profile, QObject *parent = nullptr);

    void start() override;
    void apply(double volts, double amps) override;
    void switchOff() override;
    void measureVoltage() override;
    void measureCurrent() override;
    bool measuresCurrent() const override { return !profile.measureCurrent.isEmpty(); }
    void finish() override;
    void abort() override;

private:
    // A query for one number, such as MEAS:VOLT?; `take` gets it.
    ScpiSession::Step numberQuery(const QString &command, std::function<void(const Reading &)> take);
    // Ends a change of the output with a look at the error queue.
    ScpiSession::Step errorCheck(const QString &what);

    ScpiSession session;
    SupplyProfile profile;
};

#endif // SCPISUPPLY_H
