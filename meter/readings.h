#ifndef READINGS_H
#define READINGS_H

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>
#include <vector>

// One reading of a current meter: amperes, or an overload (9.9E37 from most
// meters, which is never a current), and when it reached the host.
struct Reading
{
    double amperes = 0;
    bool overload = false;
    qint64 arrivedAt = 0;   // Readings::now() when it came
};
Q_DECLARE_METATYPE(Reading)

// Numbers as meters, files and command lines write them: always with a
// decimal point, whatever the desktop's locale.
namespace Numbers {

QString format(double value);                  // shortest form that reads back exactly
std::optional<double> parse(const QString &text);   // a finite decimal or exponent number

// A number and one of `units` after it ("20us", "0.5 ms", "2 /min"): the
// number times the unit's factor; none for another unit or no number.
struct Unit
{
    const char *symbol;
    double factor;
};
std::optional<double> parseWithUnit(const QString &text, const std::vector<Unit> &units);

} // namespace Numbers

namespace Readings {

// Nanoseconds on the monotonic clock that arrivedAt counts on.
qint64 now();

// A meter's reply: one value or a comma-separated list, ending in LF or CR LF.
// Anything that is not a list of numbers is an error that quotes the reply;
// a value of `overloadAbove` or more, either sign, is an overload.
struct Parsed
{
    QList<Reading> readings;
    QString error;
};
constexpr double standardOverload = 9.9e37;
Parsed parseReply(const QByteArray &reply, double overloadAbove = standardOverload);

// A reading typed by the operator: "32n", "12.3u", "12.3 uA", "0.45m",
// "1.2e-6", "4.5 mA". Empty when the text is no current; why goes to *error.
std::optional<double> parseTyped(const QString &text, QString *error = nullptr);

// "312 nA", "1.05 mA", "33.0 nA": three significant digits and an SI
// prefix, the number and its unit apart by `separator` (a no-break space
// where text may wrap).
QString formatAmperes(double amperes, QChar separator = QLatin1Char(' '));
QString formatSi(double value, const QString &unit, QChar separator = QLatin1Char(' '));   // any unit: "34.3 mW"

// Three significant digits, trailing zeros kept: 9.80, 98.0, 980, 0.0123.
QString threeDigits(double value);

// A fraction as a percentage, a decimal kept below 10 %: "7.6 %", "71 %".
QString formatShare(double share);

// A value someone set rather than measured, as briefly as it reads back:
// "1 µA", "250 µA", "9.5 mA".
QString formatSetting(double value, const QString &unit);

} // namespace Readings

#endif // READINGS_H
