#include "meter/eventsource.h"

#include "meter/readings.h"

#include <QRegularExpression>

#include <algorithm>


namespace {

const std::vector<Numbers::Unit> timeUnits = {{"s", 1}, {"ms", 1e-3}, {"us", 1e-6}, {"\u00b5s", 1e-6}, {"ns", 1e-9}};

// "20us", "0.1 ms", "1e-5s": seconds above zero, or none.
std::optional<double> parseTime(const QString &text)
{
    const std::optional<double> seconds = Numbers::parseWithUnit(text, timeUnits);
    return seconds && *seconds > 0 ? seconds : std::nullopt;
}

QString timeText(double seconds)
{
    return Numbers::format(seconds * 1e6) + QStringLiteral("us");
}

} // namespace

QString EventSource::name() const
{
    return kind == Kind::Pin ? QStringLiteral("D%1").arg(pin) : QStringLiteral("current");
}

QString EventSource::text() const
{
    if (kind == Kind::Pin)
        return name();
    return QStringLiteral("current:%1,min=%2,gap=%3").arg(Numbers::format(thresholdA), timeText(minSeconds), timeText(gapSeconds));
}

bool EventSource::operator==(const EventSource &other) const
{
    return kind == other.kind && pin == other.pin && thresholdA == other.thresholdA && minSeconds == other.minSeconds
        && gapSeconds == other.gapSeconds;
}

std::optional<QList<EventSource>> EventSource::parse(const QString &text, QString *error)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("current:"))) {
        const QStringList parts = trimmed.mid(8).split(QLatin1Char(','));
        EventSource source;
        source.kind = Kind::Current;
        const std::optional<double> threshold = Numbers::parse(parts.first());
        if (!threshold || *threshold <= 0 || *threshold > 10) {
            *error = QStringLiteral("--events current:AMPS takes a current above 0 A, such as current:0.0001, not \"%1\"").arg(parts.first());
            return std::nullopt;
        }
        source.thresholdA = *threshold;
        for (const QString &part : parts.mid(1)) {
            const QString key = part.section(QLatin1Char('='), 0, 0).trimmed();
            const std::optional<double> seconds = parseTime(part.section(QLatin1Char('='), 1));
            if ((key != QLatin1String("min") && key != QLatin1String("gap")) || !part.contains(QLatin1Char('=')) || !seconds || *seconds > 60) {
                *error = QStringLiteral("--events current: takes min=TIME and gap=TIME (such as min=20us,gap=100us), not \"%1\"").arg(part);
                return std::nullopt;
            }
            (key == QLatin1String("min") ? source.minSeconds : source.gapSeconds) = *seconds;
        }
        return QList<EventSource> {source};
    }
    static const QRegularExpression pinForm(QStringLiteral("^D([0-7])$"));
    QList<EventSource> sources;
    for (const QString &part : trimmed.split(QLatin1Char(','))) {
        const QRegularExpressionMatch match = pinForm.match(part.trimmed());
        if (!match.hasMatch()) {
            *error = QStringLiteral("--events takes digital inputs D0 to D7 (D0,D1) or current:AMPS, not \"%1\"").arg(part.trimmed());
            return std::nullopt;
        }
        EventSource source;
        source.pin = match.captured(1).toInt();
        sources << source;
    }
    return sources;
}

std::optional<QList<EventSource>> EventSource::parseAll(const QStringList &values, QString *error)
{
    QList<EventSource> all;
    for (const QString &value : values) {
        const std::optional<QList<EventSource>> parsed = parse(value, error);
        if (!parsed)
            return std::nullopt;
        for (const EventSource &source : *parsed) {
            if (std::any_of(all.cbegin(), all.cend(), [&source](const EventSource &earlier) { return earlier.name() == source.name(); })) {
                *error = QStringLiteral("--events names %1 twice").arg(source.name());
                return std::nullopt;
            }
            all << source;
        }
    }
    return all;
}
