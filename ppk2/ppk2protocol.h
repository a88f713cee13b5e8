#ifndef PPK2PROTOCOL_H
#define PPK2PROTOCOL_H

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// The Power Profiler Kit II's serial protocol from the host's side: its
// commands, an opcode and fixed argument bytes with no reply but the
// metadata's, and the metadata that calibrates its samples.
namespace Ppk2 {

constexpr quint16 vendorId = 0x1915;
constexpr quint16 productId = 0xC00A;
constexpr int samplesPerSecond = 100000;
constexpr int lowestMillivolts = 800;
constexpr int highestMillivolts = 5000;
constexpr int rangeCount = 5;

enum Opcode : quint8 {
    AverageStart = 0x06,
    AverageStop = 0x07,
    DeviceRunningSet = 0x0C,
    RegulatorSet = 0x0D,
    SetPowerMode = 0x11,
    GetMetadata = 0x19,
};

enum class PowerMode : quint8 { Ampere = 1, Source = 2 };

QByteArray start();
QByteArray stop();
QByteArray metadataRequest();
QByteArray powerMode(PowerMode mode);
// The source voltage, clamped to what the box can set: millivolts, big-endian.
QByteArray regulator(int millivolts);
// The board's power in source mode; the series path in ampere mode.
QByteArray deviceRunning(bool on);
// The samples a box sampling for this long has produced at its nominal rate.
qint64 samplesIn(qint64 nanoseconds);

} // namespace Ppk2

// The box's calibration as its metadata gives it, per range: shunt
// resistance, quadratic and linear gain, ADC offset, the corrections
// proportional to the source voltage and constant, and the user gain. A key
// the text lacks, or prints as nan, keeps its nominal value.
struct Ppk2Calibration
{
    using PerRange = std::array<double, Ppk2::rangeCount>;
    PerRange r {1031.64, 101.65, 10.15, 0.94, 0.043};
    PerRange gs {1, 1, 1, 1, 1};
    PerRange gi {1, 1, 1, 1, 1};
    PerRange o {0, 0, 0, 0, 0};
    PerRange s {0, 0, 0, 0, 0};
    PerRange i {0, 0, 0, 0, 0};
    PerRange ug {1, 1, 1, 1, 1};
    int vddMillivolts = 3300;   // the source voltage the box keeps
    int mode = 1;               // as PowerMode

    // Volts per count of four times the ADC field.
    static constexpr double voltsPerCount = 1.8 / 163840;

    // The metadata reply: from its first "Calibrated:" to "END"; empty, with
    // why, while "END" has not come or where a value cannot be read.
    static std::optional<Ppk2Calibration> parse(const QByteArray &reply, QString *error);
    // Whether a reply holds its end yet, so that a reader knows to wait.
    static bool isComplete(const QByteArray &reply);

    // A sample's current: its 14-bit ADC field in its range, at the source
    // voltage last set.
    double amperes(int adcField, int range, double vddVolts) const;
};

#endif // PPK2PROTOCOL_H
