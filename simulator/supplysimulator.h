#ifndef SUPPLYSIMULATOR_H
#define SUPPLYSIMULATOR_H

#include "simulator/metersimulator.h"

#include <QRandomGenerator>

class BoardSimulator;

// A programmable supply that powers the simulated board, answering the
// generic SCPI set: *IDN?, *CLS, *RST, CURR, VOLT, OUTP ON|OFF, MEAS:VOLT?,
// MEAS:CURR? and SYST:ERR?; also a one-channel bench supply's INST:NSEL 1 and
// an SMU's SOUR:FUNC VOLT, SOUR:VOLT, SOUR:VOLT:ILIM and SENS:FUNC "CURR". Switching its output on starts the board out of
// reset at the set voltage; switched off, the board is dead. A board that
// draws more than the current limit pulls the output down, as a supply's
// constant-current mode does, and MEAS:VOLT? shows it.
class SupplySimulator : public ScpiServer
{
    Q_OBJECT

public:
    explicit SupplySimulator(BoardSimulator &board, QObject *parent = nullptr);

    bool isOn() const { return output; }
    QList<QByteArray> received() const { return commands; }

private:
    std::optional<QByteArray> answer(const QByteArray &line);
    double outputVolts() const;

    BoardSimulator &board;
    double volts = 0;
    double limit = 0.1;
    bool output = false;
    QStringList errors;
    QList<QByteArray> commands;
    QRandomGenerator noise {20261208};
};

#endif // SUPPLYSIMULATOR_H
