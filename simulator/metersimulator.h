#ifndef METERSIMULATOR_H
#define METERSIMULATOR_H

#include "simulator/scpiinstrument.h"

#include <QRandomGenerator>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

// The ways bench meters are commanded, each with a profile of ours:
// - conf: CONFigure sets function and range, SAMPle:COUNt, READ? or INIT
//   and FETCh?; it powers up measuring current;
// - sense: [SENSe:]FUNCtion 'CURR:DC' (it powers up measuring volts), no
//   CONFigure, and readings carrying units and a timestamp until
//   FORMat:ELEMents READ;
// - function: :FUNCtion:CURRent:DC, a range by index, integration by rate
//   (S, M, F) and no sample count: :MEASure:CURRent:DC? gives one reading.
//   It is deaf for 30 ms after switching its front end, its first reading
//   after a switch takes 1.2 s, and it reports an overload as 1E+30.
enum class MeterDialect { Conf, Sense, Function };

namespace MeterDialects {
std::optional<MeterDialect> parse(const QString &name);
QStringList names();
} // namespace MeterDialects

// A bench multimeter in series with the board's supply: the current comes
// from a function, so the readings follow whatever it measures; measuring
// volts, it reads the burden across its shunt. Readings take their
// integration time, and a fixed range overloads above 120 % of itself.
class MeterSimulator : public ScpiInstrument
{
public:
    explicit MeterSimulator(std::function<double()> current, MeterDialect dialect = MeterDialect::Conf);

    MeterDialect dialect() const { return speaks; }

    static constexpr int busyMilliseconds = 30;
    static constexpr int settlingMilliseconds = 1200;

private:
    enum Function { Current, Voltage };
    struct FunctionSettings
    {
        bool autoRange = true;
        int rangeIndex = 0;   // of the function's ranges, when not auto
        double nplc = 10;
    };

    struct Measured
    {
        QByteArray readings;
        int milliseconds = 0;   // what taking them takes
    };

    void addConf();
    void addSense();
    void addFunction();
    void addSenseSubsystem(int mostSamples);

    void reset();
    const QList<double> &ranges(Function of) const;
    int rangeHolding(Function of, double value) const;
    double valueOf(Function of) const;
    double rangeOf(Function of) const;
    // Readings of the present function at its settings, formatted by the dialect.
    Measured measure(int count);
    // The same as a query's response, which comes when they are taken.
    QByteArray measureNow(int count);
    QByteArray reading(double value, qint64 atMilliseconds) const;
    // Settings changed: the function dialect's front end switches.
    void switched();
    bool setRange(const ScpiCall &call, Function of);
    std::optional<Function> functionNamed(const ScpiCall &call) const;
    QByteArray configuration() const;

    std::function<double()> current;
    MeterDialect speaks;
    Function function = Current;
    std::array<FunctionSettings, 2> settings;
    int samples = 1;
    int triggers = 1;
    int elements = 0;                 // the sense dialect's reading elements
    bool settling = false;            // the next reading takes the settling time
    std::optional<QByteArray> fetched; // INITiate's readings, for FETCh?
    QElapsedTimer sinceReset;
    QRandomGenerator noise {20261207};
};

#endif // METERSIMULATOR_H
