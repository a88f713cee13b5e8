#include "meter/readings.h"

#include <QLocale>
#include <QRegularExpression>

#include <array>
#include <chrono>
#include <cmath>

namespace {

struct Prefix
{
    QChar symbol;
    double factor;
};

// 'µ' and 'u' both mean micro: a terminal rarely offers the first.
const std::array<Prefix, 6> prefixes = {{
    {QLatin1Char('p'), 1e-12}, {QLatin1Char('n'), 1e-9}, {QChar(0x00B5), 1e-6},
    {QLatin1Char('u'), 1e-6}, {QLatin1Char('m'), 1e-3}, {QLatin1Char('A'), 1},
}};

const char typedExample[] = "type a current such as 12.3u, 4.5 mA or 1.2e-6";

// The SI prefix that puts the value's number between 1 and 1000: its factor and symbol.
std::pair<double, const char *> prefixFor(double value)
{
    static const std::array<std::pair<double, const char *>, 5> prefixes = {{
        {1, ""}, {1e-3, "m"}, {1e-6, "\u00b5"}, {1e-9, "n"}, {1e-12, "p"},
    }};
    const double magnitude = std::fabs(value);
    if (magnitude == 0)
        return prefixes.front();   // nothing, in the unit itself: 0.00 s, not 0.00 ps
    for (const auto &prefix : prefixes) {
        // 999.97 nA rounds to 1.00 µA, not to "1.00e+03 nA".
        if (magnitude >= prefix.first * 0.9995)
            return prefix;
    }
    return prefixes.back();
}

} // namespace

namespace Numbers {

QString format(double value)
{
    return QLocale::c().toString(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> parse(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> parseWithUnit(const QString &text, const std::vector<Unit> &units)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([-+0-9.eE]+)\\s*(\\S*)\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    const std::optional<double> number = match.hasMatch() ? parse(match.captured(1)) : std::nullopt;
    if (!number)
        return std::nullopt;
    for (const Unit &unit : units) {
        if (match.captured(2) == QString::fromUtf8(unit.symbol))
            return *number * unit.factor;
    }
    return std::nullopt;
}

} // namespace Numbers

namespace Readings {

qint64 now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Parsed parseReply(const QByteArray &reply, double overloadAbove)
{
    Parsed parsed;
    // A NUL is no part of a number; a conversion that stopped at it would read half of one.
    const QString text = QString::fromLatin1(reply.constData(), reply.size()).trimmed();
    const auto refuse = [&] {
        parsed.readings.clear();
        parsed.error = QStringLiteral("meter answered \"%1\", which is no current").arg(text);
        return parsed;
    };
    if (text.isEmpty())
        return refuse();
    for (const QString &field : text.split(QLatin1Char(','))) {
        // Meters write every reading with a point or an exponent; a bare
        // integer is half of a number written with a decimal comma.
        const bool looksLikeAReading = field.contains(QLatin1Char('.')) || field.contains(QLatin1Char('E'), Qt::CaseInsensitive);
        const std::optional<double> value = looksLikeAReading ? Numbers::parse(field) : std::nullopt;
        if (!value)
            return refuse();
        // Meters report an overload as 9.9E37 (some as 9.91E37, or negative).
        if (std::fabs(*value) >= overloadAbove)
            parsed.readings.append({0, true});
        else
            parsed.readings.append({*value, false});
    }
    return parsed;
}

std::optional<double> parseTyped(const QString &text, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([-+0-9.eE]+)\\s*([pnuµmA]?)A?\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    const std::optional<double> number = match.hasMatch() ? Numbers::parse(match.captured(1)) : std::nullopt;
    if (!number) {
        if (error)
            *error = QStringLiteral("\"%1\" is no current: %2").arg(text.trimmed(), QLatin1String(typedExample));
        return std::nullopt;
    }
    double factor = 1;
    for (const Prefix &prefix : prefixes) {
        if (match.captured(2) == prefix.symbol)
            factor = prefix.factor;
    }
    return *number * factor;
}

QString formatAmperes(double amperes, QChar separator)
{
    return formatSi(amperes, QStringLiteral("A"), separator);
}

QString formatSi(double value, const QString &unit, QChar separator)
{
    const auto prefix = prefixFor(value);
    return threeDigits(value / prefix.first) + separator + QString::fromUtf8(prefix.second) + unit;
}

QString formatSetting(double value, const QString &unit)
{
    const auto prefix = prefixFor(value);
    // Twelve digits hide the last bit of a division: 150, not 149.99999999999997.
    return QLocale::c().toString(value / prefix.first, 'g', 12) + QLatin1Char(' ') + QString::fromUtf8(prefix.second) + unit;
}

QString threeDigits(double value)
{
    if (value == 0)
        return QStringLiteral("0.00");
    // The digits before the point once rounded to three significant ones: 999.7 has four.
    const double rounded = QLocale::c().toDouble(QLocale::c().toString(value, 'g', 3));
    const int whole = int(std::floor(std::log10(std::fabs(rounded)))) + 1;
    return QLocale::c().toString(rounded, 'f', std::max(0, 3 - whole));
}

QString formatShare(double share)
{
    const double percent = share * 100;
    return QLocale::c().toString(percent, 'f', percent < 10 ? 1 : 0) + QStringLiteral(" %");
}

} // namespace Readings
