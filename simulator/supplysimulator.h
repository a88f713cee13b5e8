#ifndef SUPPLYSIMULATOR_H
#define SUPPLYSIMULATOR_H

#include "simulator/scpiinstrument.h"

#include <QRandomGenerator>

class BoardSimulator;

// A one-channel programmable supply that powers the simulated board, as
// SCPI has one: [SOURce1:]VOLTage[:LEVel][:IMMediate][:AMPLitude],
// CURRent likewise, OUTPut1[:STATe], MEASure[:SCALar]:VOLTage[:DC]? and
// CURRent[:DC]?, APPLy, INSTrument:NSELect 1; and a source-measure unit's
// SOURce:FUNCtion VOLTage, VOLTage:ILIMit and [SENSe:]FUNCtion "CURR".
// Switching its output on starts the board out of reset at the set voltage;
// switched off, the board is dead. A board that draws more than the current
// limit pulls the output down, as a supply's constant-current mode does,
// and MEASure:VOLTage? shows it.
class SupplySimulator : public ScpiInstrument
{
public:
    explicit SupplySimulator(BoardSimulator &board);

    bool isOn() const { return output; }

    static constexpr double highestVolts = 6;
    static constexpr double highestAmps = 3;

private:
    void reset();
    double outputVolts() const;
    void setVolts(double set);
    void setOutput(bool on);

    BoardSimulator &board;
    double volts = 0;
    double limit = 0.1;
    bool output = false;
    QRandomGenerator noise {20261208};
};

#endif // SUPPLYSIMULATOR_H
