#include "simulator/supplysimulator.h"

#include "simulator/boardsimulator.h"

#include <QHash>

namespace {

const char identity[] = "Pellmora,Simulated PSU 6V 3A,SIM0002,1.0";
constexpr double readbackNoise = 0.002;   // relative
constexpr double currentNoise = 0.005;

// An SMU's way of saying the same: it sources voltage and limits current.
const QHash<QByteArray, QByteArray> sourceAliases {{"SOUR:VOLT", "VOLT"}, {"SOUR:VOLT:ILIM", "CURR"}};
// Settings it takes but has one choice of: one channel, a voltage source
// that measures current.
const QHash<QByteArray, QList<QByteArray>> fixedSettings {
    {"INST:NSEL", {"1"}}, {"SOUR:FUNC", {"VOLT"}}, {"SENS:FUNC", {"\"CURR\"", "CURR"}}};

} // namespace

SupplySimulator::SupplySimulator(BoardSimulator &poweredBoard, QObject *parent)
    : ScpiServer([this](const QByteArray &line) { return answer(line); }, parent)
    , board(poweredBoard)
{
    board.setPower(false, 0);
}

// In constant-current mode the output falls until the board draws no more
// than the limit; the board's current follows its voltage, so the output
// settles in proportion.
double SupplySimulator::outputVolts() const
{
    if (!output)
        return 0;
    const double drawn = board.current();
    return drawn > limit ? volts * limit / drawn : volts;
}

std::optional<QByteArray> SupplySimulator::answer(const QByteArray &line)
{
    QByteArray command = ScpiServer::headerOf(line.trimmed());
    const QByteArray value = ScpiServer::argumentOf(line.trimmed());
    if (!command.isEmpty())
        commands << line.trimmed();
    command = sourceAliases.value(command, command);
    bool ok = true;
    if (fixedSettings.contains(command)) {
        if (!fixedSettings.value(command).contains(value))
            errors << QStringLiteral("-224,\"Illegal parameter value\"");
        return std::nullopt;
    }
    if (command == "*IDN?")
        return QByteArray(identity);
    if (command == "*CLS") {
        errors.clear();
    } else if (command == "*RST") {
        output = false;
        board.setPower(false, 0);
    } else if (command == "VOLT") {
        const double set = value.toDouble(&ok);
        if (ok && set >= 0 && set <= 6) {
            volts = set;
            if (output)
                board.setPower(true, volts);
        } else {
            errors << QStringLiteral("-222,\"Data out of range\"");
        }
    } else if (command == "CURR") {
        const double set = value.toDouble(&ok);
        if (ok && set > 0 && set <= 3)
            limit = set;
        else
            errors << QStringLiteral("-222,\"Data out of range\"");
    } else if (command == "OUTP") {
        if (value == "ON" || value == "1" || value == "OFF" || value == "0") {
            output = value == "ON" || value == "1";
            board.setPower(output, volts);
        } else {
            errors << QStringLiteral("-224,\"Illegal parameter value\"");
        }
    } else if (command == "MEAS:VOLT?") {
        return ScpiServer::number(outputVolts() * (1 + readbackNoise * (2 * noise.generateDouble() - 1)));
    } else if (command == "MEAS:CURR?") {
        return ScpiServer::number(board.current() * (1 + currentNoise * (2 * noise.generateDouble() - 1)));
    } else if (command == "SYST:ERR?") {
        return errors.isEmpty() ? QByteArray("+0,\"No error\"") : errors.takeFirst().toLatin1();
    } else if (!command.isEmpty()) {
        errors << QStringLiteral("-113,\"Undefined header\"");
    }
    return std::nullopt;
}
