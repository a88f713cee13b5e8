#include "simulator/supplysimulator.h"

#include "simulator/boardsimulator.h"

namespace {

const char identity[] = "Pellmora,Simulated PSU 6V 3A,SIM0002,1.0";
constexpr double readbackNoise = 0.002;   // relative
constexpr double currentNoise = 0.005;
constexpr double defaultLimit = 0.1;

// One channel: a suffix other than 1 names an output it does not have.
bool onOurChannel(const ScpiCall &call)
{
    if (call.suffix != 1)
        call.instrument.error(-114);
    return call.suffix == 1;
}

// A handler for a command that sets a value on our channel.
ScpiInstrument::Handler setter(double lowest, double highest, double byDefault, std::function<void(double)> set)
{
    return [=](const ScpiCall &call) {
        if (!onOurChannel(call))
            return QByteArray();
        if (const std::optional<double> value = call.number(0, lowest, highest, byDefault))
            set(*value);
        return QByteArray();
    };
}

} // namespace

SupplySimulator::SupplySimulator(BoardSimulator &poweredBoard)
    : ScpiInstrument(identity)
    , board(poweredBoard)
{
    const auto voltsSetter = setter(0, highestVolts, 0, [this](double value) { setVolts(value); });
    const auto limitSetter = setter(0.001, highestAmps, defaultLimit, [this](double value) { limit = value; });
    const auto voltsQuery = [this](const ScpiCall &call) { return onOurChannel(call) ? nr3(volts) : QByteArray(); };
    const auto limitQuery = [this](const ScpiCall &call) { return onOurChannel(call) ? nr3(limit) : QByteArray(); };
    add({
        {"[SOURce#:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", 1, 1, voltsSetter},
        {"[SOURce#:]VOLTage[:LEVel][:IMMediate][:AMPLitude]?", 0, 0, voltsQuery},
        {"[SOURce#:]CURRent[:LEVel][:IMMediate][:AMPLitude]", 1, 1, limitSetter},
        {"[SOURce#:]CURRent[:LEVel][:IMMediate][:AMPLitude]?", 0, 0, limitQuery},
        {"[SOURce#:]VOLTage:ILIMit[:LEVel]", 1, 1, limitSetter},
        {"[SOURce#:]VOLTage:ILIMit[:LEVel]?", 0, 0, limitQuery},
        // It sources voltage and measures current, and nothing else.
        {"SOURce#:FUNCtion[:MODE]", 1, 1, [](const ScpiCall &call) {
             if (onOurChannel(call))
                 call.choice(0, {QStringLiteral("VOLT|VOLTAGE")});
             return QByteArray();
         }},
        {"SOURce#:FUNCtion[:MODE]?", 0, 0, [](const ScpiCall &) { return QByteArray("VOLT"); }},
        {"[SENSe#:]FUNCtion[:ON]", 1, 1, [](const ScpiCall &call) {
             const QByteArray named = call.parameters.first().toUpper();
             if (named != "CURR" && named != "CURR:DC" && named != "CURRENT" && named != "CURRENT:DC")
                 call.instrument.error(-224);
             return QByteArray();
         }},
        {"[SENSe#:]FUNCtion[:ON]?", 0, 0, [](const ScpiCall &) { return QByteArray("\"CURR:DC\""); }},
        {"OUTPut#[:STATe]", 1, 1, [this](const ScpiCall &call) {
             if (!onOurChannel(call))
                 return QByteArray();
             if (const std::optional<bool> on = call.boolean(0))
                 setOutput(*on);
             return QByteArray();
         }},
        {"OUTPut#[:STATe]?", 0, 0, [this](const ScpiCall &call) {
             return onOurChannel(call) ? QByteArray(output ? "1" : "0") : QByteArray();
         }},
        {"MEASure[:SCALar]:VOLTage[:DC]?", 0, 0, [this](const ScpiCall &) {
             return nr3(outputVolts() * (1 + readbackNoise * (2 * noise.generateDouble() - 1)));
         }},
        {"MEASure[:SCALar]:CURRent[:DC]?", 0, 0, [this](const ScpiCall &) {
             return nr3(board.current() * (1 + currentNoise * (2 * noise.generateDouble() - 1)));
         }},
        {"INSTrument:NSELect", 1, 1, [](const ScpiCall &call) {
             call.number(0, 1, 1, 1);
             return QByteArray();
         }},
        {"INSTrument:NSELect?", 0, 0, [](const ScpiCall &) { return QByteArray("1"); }},
        {"APPLy", 1, 2, [this](const ScpiCall &call) {
             const std::optional<double> set = call.number(0, 0, highestVolts, 0);
             const std::optional<double> amps = call.parameters.size() > 1 ? call.number(1, 0.001, highestAmps, defaultLimit) : limit;
             if (set && amps) {
                 limit = *amps;
                 setVolts(*set);
             }
             return QByteArray();
         }},
        {"APPLy?", 0, 0, [this](const ScpiCall &) { return nr3(volts) + ',' + nr3(limit); }},
    });
    onReset([this] { reset(); });
    board.setPower(false, 0);
}

void SupplySimulator::reset()
{
    volts = 0;
    limit = defaultLimit;
    setOutput(false);
}

void SupplySimulator::setVolts(double set)
{
    volts = set;
    if (output)
        board.setPower(true, volts);
}

void SupplySimulator::setOutput(bool on)
{
    output = on;
    board.setPower(output, volts);
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
