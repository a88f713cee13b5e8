#include "simulator/metersimulator.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double overload = 9.9e37;
constexpr double functionDialectOverload = 1e30;
// Relative noise at one power-line cycle; it shrinks with the square root of the integration time.
constexpr double noiseAtOneCycle = 0.01;
constexpr double powerLineCycleMs = 20;
// Measuring volts on its current terminals, the meter reads its own shunt's burden.
constexpr double shuntOhms = 0.1;

const QList<QPair<MeterDialect, QString>> dialectNames = {
    {MeterDialect::Conf, QStringLiteral("conf")},
    {MeterDialect::Sense, QStringLiteral("sense")},
    {MeterDialect::Function, QStringLiteral("function")},
};

const char *const identities[] = {
    "Pellmora,Simulated DMM 6.5,SIM0001,1.0",
    "PELLMORA INSTRUMENTS INC.,MODEL 2000 SIM,SIM0003,A01",
    "Pellmora,SIM3058,SIM0004,00.02.03",
};

// A function's mnemonic as headers write it, and its name in a quoted FUNCtion parameter.
struct FunctionName
{
    const char *mnemonic;
    const char *shortName;
};
const FunctionName functionNames[] = {{"CURRent", "CURR"}, {"VOLTage", "VOLT"}};

// The function dialect's integration rates, in power-line cycles.
const QStringList rateWords = {QStringLiteral("F|FAST"), QStringLiteral("M|MEDIUM"), QStringLiteral("S|SLOW")};
const double rateCycles[] = {0.1, 1, 10};

// The sense dialect's reading elements.
enum Element { ReadingElement = 1, UnitsElement = 2, TimestampElement = 4 };
const QStringList elementWords = {QStringLiteral("READ|READING"), QStringLiteral("UNIT|UNITS"), QStringLiteral("TST|TSTAMP")};
const char *const elementNames[] = {"READ", "UNIT", "TST"};

} // namespace

namespace MeterDialects {

std::optional<MeterDialect> parse(const QString &name)
{
    for (const auto &entry : dialectNames) {
        if (entry.second == name)
            return entry.first;
    }
    return std::nullopt;
}

QStringList names()
{
    QStringList all;
    for (const auto &entry : dialectNames)
        all << entry.second;
    return all;
}

} // namespace MeterDialects

MeterSimulator::MeterSimulator(std::function<double()> currentNow, MeterDialect dialect)
    : ScpiInstrument(identities[int(dialect)])
    , current(std::move(currentNow))
    , speaks(dialect)
{
    switch (speaks) {
    case MeterDialect::Conf:
        addConf();
        break;
    case MeterDialect::Sense:
        addSense();
        break;
    case MeterDialect::Function:
        addFunction();
        break;
    }
    onReset([this] { reset(); });
    reset();
}

void MeterSimulator::reset()
{
    function = speaks == MeterDialect::Sense ? Voltage : Current;
    const double nplc = speaks == MeterDialect::Conf ? 10 : 1;
    settings = {FunctionSettings {true, 0, nplc}, FunctionSettings {true, 0, nplc}};
    samples = 1;
    triggers = 1;
    elements = ReadingElement | UnitsElement | TimestampElement;
    fetched.reset();
    settling = false;
    sinceReset.start();
}

const QList<double> &MeterSimulator::ranges(Function of) const
{
    static const QList<double> currentRanges = {1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 0.1, 1, 3, 10};
    static const QList<double> voltageRanges = {0.1, 1, 10, 100, 1000};
    static const QList<double> currentSteps = {2e-4, 2e-3, 2e-2, 0.2, 2, 10};
    static const QList<double> voltageSteps = {0.2, 2, 20, 200, 1000};
    if (speaks == MeterDialect::Function)
        return of == Current ? currentSteps : voltageSteps;
    return of == Current ? currentRanges : voltageRanges;
}

// The smallest range that holds a value; the largest for one above them all.
int MeterSimulator::rangeHolding(Function of, double value) const
{
    const QList<double> &all = ranges(of);
    for (int i = 0; i < all.size(); ++i) {
        if (std::fabs(value) <= all.at(i))
            return i;
    }
    return all.size() - 1;
}

double MeterSimulator::valueOf(Function of) const
{
    return of == Current ? current() : current() * shuntOhms;
}

double MeterSimulator::rangeOf(Function of) const
{
    const FunctionSettings &set = settings.at(of);
    return ranges(of).at(set.autoRange ? rangeHolding(of, valueOf(of)) : set.rangeIndex);
}

MeterSimulator::Measured MeterSimulator::measure(int count)
{
    const FunctionSettings &set = settings.at(function);
    Measured measured;
    measured.milliseconds = int(std::lround(count * set.nplc * powerLineCycleMs)) + (std::exchange(settling, false) ? settlingMilliseconds : 0);
    const double spread = noiseAtOneCycle / std::sqrt(set.nplc);
    const double top = ranges(function).at(set.autoRange ? ranges(function).size() - 1 : set.rangeIndex) * 1.2;
    QByteArrayList values;
    for (int i = 0; i < count; ++i) {
        const double value = valueOf(function);
        const qint64 at = sinceReset.elapsed() + qint64(i * set.nplc * powerLineCycleMs);
        if (std::fabs(value) > top)
            values << reading(speaks == MeterDialect::Function ? functionDialectOverload : overload, at);
        else
            values << reading(value * (1 + spread * (2 * noise.generateDouble() - 1)), at);
    }
    measured.readings = values.join(',');
    return measured;
}

QByteArray MeterSimulator::measureNow(int count)
{
    const Measured measured = measure(count);
    delayResponse(measured.milliseconds);
    return measured.readings;
}

QByteArray MeterSimulator::reading(double value, qint64 atMilliseconds) const
{
    if (speaks == MeterDialect::Function)
        return QByteArray::number(value, 'e', 8);
    if (speaks == MeterDialect::Conf)
        return nr3(value);
    const bool units = elements & UnitsElement;
    QByteArrayList parts;
    if (elements & ReadingElement)
        parts << nr3(value) + (units ? (function == Current ? "ADC" : "VDC") : "");
    if (elements & TimestampElement)
        parts << '+' + QByteArray::number(atMilliseconds / 1000.0, 'f', 3).rightJustified(11, '0') + (units ? "SECS" : "");
    return parts.join(',');
}

void MeterSimulator::switched()
{
    if (speaks != MeterDialect::Function)
        return;
    settling = true;
    busyFor(busyMilliseconds);
}

bool MeterSimulator::setRange(const ScpiCall &call, Function of)
{
    const QByteArray word = call.parameters.value(0).toUpper();
    if (!call.quoted.value(0) && (word == "AUTO" || word == "DEF" || word == "DEFAULT")) {
        settings[of].autoRange = true;
        return true;
    }
    const std::optional<double> value = call.number(0, 0, ranges(of).last());
    if (!value)
        return false;
    settings[of].autoRange = false;
    settings[of].rangeIndex = rangeHolding(of, *value);
    return true;
}

QByteArray MeterSimulator::configuration() const
{
    const double range = rangeOf(function);
    return '"' + QByteArray(functionNames[function].shortName) + ' ' + nr3(range) + ',' + nr3(range * 1e-6) + '"';
}

// Which function a quoted FUNCtion parameter names: "CURR", 'CURRent:DC', "VOLT:DC".
std::optional<MeterSimulator::Function> MeterSimulator::functionNamed(const ScpiCall &call) const
{
    const QList<QByteArray> words = call.parameters.value(0).toUpper().split(':');
    const bool dc = words.size() == 1 || (words.size() == 2 && words.last() == "DC");
    for (const Function candidate : {Current, Voltage}) {
        const QByteArray mnemonic = QByteArray(functionNames[candidate].mnemonic).toUpper();
        if (call.quoted.value(0) && dc && (words.first() == functionNames[candidate].shortName || words.first() == mnemonic))
            return candidate;
    }
    call.instrument.error(-224);
    return std::nullopt;
}

// What the conf and sense dialects share: [SENSe:] settings of each function,
// the sample and trigger counts, and INITiate, FETCh? and READ?.
void MeterSimulator::addSenseSubsystem(int mostSamples)
{
    const double lowestNplc = 0.02;
    const double highestNplc = 100;
    for (const Function of : {Current, Voltage}) {
        const QByteArray node = QByteArray("[SENSe:]") + functionNames[of].mnemonic + "[:DC]";
        add({
            {node + ":NPLCycles", 1, 1, [this, of, lowestNplc, highestNplc](const ScpiCall &call) {
                 if (const std::optional<double> cycles = call.number(0, lowestNplc, highestNplc, speaks == MeterDialect::Conf ? 10 : 1))
                     settings[of].nplc = *cycles;
                 return QByteArray();
             }},
            {node + ":NPLCycles?", 0, 0, [this, of](const ScpiCall &) { return nr3(settings.at(of).nplc); }},
            {node + ":RANGe[:UPPer]", 1, 1, [this, of](const ScpiCall &call) {
                 setRange(call, of);
                 return QByteArray();
             }},
            {node + ":RANGe[:UPPer]?", 0, 0, [this, of](const ScpiCall &) { return nr3(rangeOf(of)); }},
            {node + ":RANGe:AUTO", 1, 1, [this, of](const ScpiCall &call) {
                 if (!call.quoted.value(0) && call.parameters.first().toUpper() == "ONCE") {
                     settings[of].rangeIndex = rangeHolding(of, valueOf(of));
                     settings[of].autoRange = false;
                 } else if (const std::optional<bool> on = call.boolean(0)) {
                     if (!*on)
                         settings[of].rangeIndex = ranges(of).indexOf(rangeOf(of));
                     settings[of].autoRange = *on;
                 }
                 return QByteArray();
             }},
            {node + ":RANGe:AUTO?", 0, 0, [this, of](const ScpiCall &) { return QByteArray(settings.at(of).autoRange ? "1" : "0"); }},
        });
    }
    const auto count = [mostSamples](int *field) {
        return [field, mostSamples](const ScpiCall &call) {
            if (const std::optional<double> value = call.number(0, 1, mostSamples, 1))
                *field = int(std::lround(*value));
            return QByteArray();
        };
    };
    add({
        {"[SENSe:]FUNCtion[:ON]", 1, 1, [this](const ScpiCall &call) {
             if (const std::optional<Function> named = functionNamed(call))
                 function = *named;
             return QByteArray();
         }},
        {"[SENSe:]FUNCtion[:ON]?", 0, 0, [this](const ScpiCall &) {
             return '"' + QByteArray(functionNames[function].shortName) + (speaks == MeterDialect::Sense ? ":DC\"" : "\"");
         }},
        {"SAMPle:COUNt", 1, 1, count(&samples)},
        {"SAMPle:COUNt?", 0, 0, [this](const ScpiCall &) { return QByteArray::number(samples); }},
        {"TRIGger:COUNt", 1, 1, count(&triggers)},
        {"TRIGger:COUNt?", 0, 0, [this](const ScpiCall &) { return QByteArray::number(triggers); }},
        // Readings start at once; a bus or external trigger is not wired here.
        {"TRIGger:SOURce", 1, 1, [](const ScpiCall &call) {
             call.choice(0, {QStringLiteral("IMM|IMMEDIATE")});
             return QByteArray();
         }},
        {"TRIGger:SOURce?", 0, 0, [](const ScpiCall &) { return QByteArray("IMM"); }},
        // The readings are taken in the background; FETCh?, *OPC? and *WAI wait for them.
        {"INITiate[:IMMediate]", 0, 0, [this](const ScpiCall &) {
             const Measured measured = measure(samples * triggers);
             fetched = measured.readings;
             operationFor(measured.milliseconds);
             return QByteArray();
         }},
        {"FETCh?", 0, 0, [this](const ScpiCall &call) {
             if (!fetched) {
                 call.instrument.error(-230);
                 return QByteArray();
             }
             delayResponse(operationLeft());
             return *fetched;
         }},
        {"READ?", 0, 0, [this](const ScpiCall &) { return measureNow(samples * triggers); }},
    });
    for (const Function of : {Current, Voltage}) {
        add({{QByteArray("MEASure:") + functionNames[of].mnemonic + "[:DC]?", 0, 2, [this, of](const ScpiCall &call) {
                  if (!call.parameters.isEmpty() && !setRange(call, of))
                      return QByteArray();
                  if (call.parameters.isEmpty())
                      settings[of].autoRange = true;
                  function = of;
                  samples = 1;
                  triggers = 1;
                  return measureNow(1);
              }}});
    }
}

void MeterSimulator::addConf()
{
    addSenseSubsystem(50000);
    for (const Function of : {Current, Voltage}) {
        add({{QByteArray("CONFigure:") + functionNames[of].mnemonic + "[:DC]", 0, 2, [this, of](const ScpiCall &call) {
                  // CONFigure starts the function afresh: integration and counts return to their defaults.
                  settings[of] = FunctionSettings();
                  if (!call.parameters.isEmpty() && !setRange(call, of))
                      return QByteArray();
                  function = of;
                  samples = 1;
                  triggers = 1;
                  fetched.reset();
                  return QByteArray();
              }}});
    }
    add({
        {"CONFigure?", 0, 0, [this](const ScpiCall &) { return configuration(); }},
        {"SYSTem:REMote", 0, 0, [](const ScpiCall &) { return QByteArray(); }},
        {"SYSTem:LOCal", 0, 0, [](const ScpiCall &) { return QByteArray(); }},
    });
}

void MeterSimulator::addSense()
{
    addSenseSubsystem(1024);
    add({
        {"FORMat:ELEMents", 1, 3, [this](const ScpiCall &call) {
             int chosen = 0;
             for (int i = 0; i < call.parameters.size(); ++i) {
                 const std::optional<int> element = call.choice(i, elementWords);
                 if (!element)
                     return QByteArray();
                 chosen |= 1 << *element;
             }
             elements = chosen;
             return QByteArray();
         }},
        {"FORMat:ELEMents?", 0, 0, [this](const ScpiCall &) {
             QByteArrayList names;
             for (int i = 0; i < elementWords.size(); ++i) {
                 if (elements & (1 << i))
                     names << elementNames[i];
             }
             return names.join(',');
         }},
    });
}

void MeterSimulator::addFunction()
{
    for (const Function of : {Current, Voltage}) {
        const QByteArray mnemonic = QByteArray(functionNames[of].mnemonic) + "[:DC]";
        add({
            {"FUNCtion:" + mnemonic, 0, 0, [this, of](const ScpiCall &) {
                 function = of;
                 switched();
                 return QByteArray();
             }},
            {"MEASure:" + mnemonic, 1, 1, [this, of](const ScpiCall &call) {
                 if (const std::optional<double> index = call.number(0, 0, ranges(of).size() - 1, 0)) {
                     settings[of].rangeIndex = int(std::lround(*index));
                     settings[of].autoRange = false;
                     switched();
                 }
                 return QByteArray();
             }},
            {"MEASure:" + mnemonic + ":RANGe?", 0, 0, [this, of](const ScpiCall &) {
                 return QByteArray::number(ranges(of).indexOf(rangeOf(of)));
             }},
            {"MEASure:" + mnemonic + "?", 0, 0, [this, of](const ScpiCall &) {
                 if (function != of) {
                     function = of;
                     settling = true;
                 }
                 return measureNow(1);
             }},
            {"RATE:" + mnemonic, 1, 1, [this, of](const ScpiCall &call) {
                 if (const std::optional<int> rate = call.choice(0, rateWords)) {
                     settings[of].nplc = rateCycles[*rate];
                     switched();
                 }
                 return QByteArray();
             }},
            {"RATE:" + mnemonic + "?", 0, 0, [this, of](const ScpiCall &) {
                 const int rate = int(std::find(std::begin(rateCycles), std::end(rateCycles), settings.at(of).nplc) - std::begin(rateCycles));
                 return rateWords.value(rate).left(1).toLatin1();
             }},
        });
    }
    add({
        {"FUNCtion?", 0, 0, [this](const ScpiCall &) { return QByteArray(function == Current ? "DCI" : "DCV"); }},
        {"MEASure:AUTO", 0, 0, [this](const ScpiCall &) {
             settings[function].autoRange = true;
             switched();
             return QByteArray();
         }},
        {"MEASure:MANUal", 0, 0, [this](const ScpiCall &) {
             settings[function].rangeIndex = ranges(function).indexOf(rangeOf(function));
             settings[function].autoRange = false;
             switched();
             return QByteArray();
         }},
        {"MEASure:AUTO?", 0, 0, [this](const ScpiCall &) { return QByteArray(settings.at(function).autoRange ? "1" : "0"); }},
    });
}
