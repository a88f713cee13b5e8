#include "settings/settingrules.h"

#include "board/powermodes.h"
#include "meter/readings.h"
#include "results/resultrow.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace {

constexpr double unbounded = std::numeric_limits<double>::infinity();

// An hour bounds every wait: longer is a typo, and past it timers overflow.
constexpr double longestWait = 3600;

} // namespace

bool NumberRule::allows(double value) const
{
    const bool aboveLowest = lowestAllowed ? value >= lowest : value > lowest;
    return aboveLowest && value <= highest && (!whole || value == double(qint64(value)));
}

std::optional<double> NumberRule::parse(const QString &text, const QString &label, QString *why) const
{
    const std::optional<double> value = Numbers::parse(text);
    if (value && allows(*value))
        return value;
    *why = QStringLiteral("%1 takes %2, not \"%3\"").arg(label, QString::fromUtf8(expectation), text.trimmed());
    return std::nullopt;
}

namespace SettingRules {

const NumberRule samples {"a whole number of readings from 1 to 10000", 1, true, 10000, true};
const NumberRule settleSeconds {"a number of seconds from 0 to 3600, such as 0.5", 0, true, longestWait, false};
const NumberRule bootSeconds {"a number of seconds from 0 to 3600, such as 0.5", 0, true, longestWait, false};
const NumberRule replyTimeoutSeconds {"a number of seconds from 0 to 3600, such as 60", 0, true, longestWait, false};
const NumberRule nplc {"a number of power-line cycles above 0 and at most 100, such as 10", 0, false, 100, false};
const NumberRule rangeAmperes {"auto or a range in amperes, such as 0.001", 0, false, unbounded, false};
const NumberRule limitAmperes {"a current in amperes, such as 2.5e-6", -unbounded, true, unbounded, false};
// A typo must not feed a board 33 V, nor starve it of current; one recorded
// without a supply unit must not make its power and energy ten times too high.
const NumberRule supplyVolts {"a voltage from 0.5 to 6 V, such as 3.3", 0.5, true, 6, false};
const NumberRule currentLimit {"a current from 1 µA to 3 A, such as 0.1", 1e-6, true, 3, false};
const NumberRule offSeconds {"a number of seconds from 0 to 3600, such as 0.5", 0, true, longestWait, false};
const NumberRule temperature {"a temperature in °C, such as 25 or -40", -273.15, true, 1000, false};
const NumberRule batteryMah {"a capacity in mAh above 0, such as 220", 0, false, unbounded, false};
const NumberRule shelfYears {"a number of years above 0, such as 10", 0, false, 1000, false};

std::optional<std::optional<double>> parseRange(const QString &text, const QString &label, QString *why)
{
    if (text.trimmed() == QLatin1String("auto"))
        return std::optional<double>();
    const std::optional<double> amperes = rangeAmperes.parse(text, label, why);
    if (!amperes)
        return std::nullopt;
    return amperes;
}

std::optional<QMap<QString, QString>> parseTags(const QStringList &pairs, QString *why)
{
    QMap<QString, QString> tags;
    for (const QString &pair : pairs) {
        const int equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0 || pair.left(equals).trimmed().isEmpty()) {
            *why = QStringLiteral("a tag is KEY=VALUE, such as bench=3, not \"%1\"").arg(pair);
            return std::nullopt;
        }
        tags.insert(pair.left(equals).trimmed(), pair.mid(equals + 1).trimmed());
    }
    return tags;
}

std::optional<QList<double>> parseVoltages(const QString &text, const QString &label, QString *why)
{
    QList<double> voltages;
    for (const QString &item : text.split(QLatin1Char(','))) {
        if (item.trimmed().isEmpty())
            continue;
        const std::optional<double> volts = supplyVolts.parse(item, label, why);
        if (!volts)
            return std::nullopt;
        // Rows are told apart by their voltage to 0.01 V: closer ones would overwrite each other.
        const auto same = std::find_if(voltages.cbegin(), voltages.cend(), [&volts](double earlier) {
            return ResultRow::voltageKeyOf(earlier) == ResultRow::voltageKeyOf(volts);
        });
        if (same != voltages.cend()) {
            *why = *same == *volts ? QStringLiteral("%1 lists %2 V twice").arg(label, item.trimmed())
                                   : QStringLiteral("%1 lists %2 V and %3 V, the same voltage to 0.01 V")
                                         .arg(label, Numbers::format(*same), Numbers::format(*volts));
            return std::nullopt;
        }
        voltages << *volts;
    }
    if (voltages.isEmpty()) {
        *why = QStringLiteral("%1 takes %2").arg(label, QString::fromUtf8(supplyVolts.expectation));
        return std::nullopt;
    }
    return voltages;
}

std::optional<bool> parseSwitch(const QString &text, const QString &label, QString *why)
{
    const QString word = text.trimmed();
    if (word == QLatin1String("on") || word == QLatin1String("off"))
        return word == QLatin1String("on");
    *why = QStringLiteral("%1 takes on or off, not \"%2\"").arg(label, word);
    return std::nullopt;
}

std::optional<int> parseModeIndex(const QString &text, QString *why)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*\\d{1,3}\\s*$"));
    const int index = digits.match(text).hasMatch() ? text.trimmed().toInt() : -1;
    if (PowerModes::find(index))
        return index;
    *why = QStringLiteral("\"%1\" is no mode; modes are 0 to %2").arg(text.trimmed()).arg(PowerModes::count() - 1);
    return std::nullopt;
}

std::optional<QList<int>> parseModes(const QString &text, QString *why)
{
    QList<int> modes;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList bounds = item.split(QLatin1Char('-'));
        QString ignored;
        const std::optional<int> first = parseModeIndex(bounds.first(), &ignored);
        const std::optional<int> last = bounds.size() == 2 ? parseModeIndex(bounds.last(), &ignored) : first;
        if (bounds.size() > 2 || !first || !last || *last < *first) {
            *why = QStringLiteral("unknown mode \"%1\" in \"%2\"; modes are 0 to %3, as in 0-7,15")
                       .arg(item, text).arg(PowerModes::count() - 1);
            return std::nullopt;
        }
        for (int mode = *first; mode <= *last; ++mode) {
            if (modes.contains(mode)) {
                *why = QStringLiteral("\"%1\" names mode %2 twice").arg(text).arg(mode);
                return std::nullopt;
            }
            modes << mode;
        }
    }
    return modes;
}

QString checkRange(const std::optional<double> &range, const MeterProfile &profile)
{
    if (!range || profile.ranges.isEmpty() || *range <= profile.ranges.last())
        return QString();
    return QStringLiteral("range %1 is above the meter's largest range, %2")
        .arg(Readings::formatAmperes(*range), Readings::formatAmperes(profile.ranges.last()));
}

} // namespace SettingRules
