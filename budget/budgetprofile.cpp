#include "budget/budgetprofile.h"

#include "board/powermodes.h"
#include "meter/readings.h"

#include <QFile>
#include <QRegularExpression>


namespace {

const std::vector<Numbers::Unit> timeUnits = {{"s", 1}, {"ms", 1e-3}, {"us", 1e-6}, {"\u00b5s", 1e-6}, {"min", 60}, {"h", 3600}, {"d", 86400}};
const std::vector<Numbers::Unit> rateUnits = {{"/s", 1}, {"/min", 1.0 / 60}, {"/h", 1.0 / 3600}, {"/d", 1.0 / 86400}};

// Times and rates are never negative.
std::optional<double> withUnit(const QString &text, const std::vector<Numbers::Unit> &units)
{
    const std::optional<double> value = Numbers::parseWithUnit(text, units);
    return value && *value >= 0 ? value : std::nullopt;
}

std::optional<int> modeNumber(const QString &text)
{
    bool ok = false;
    const int mode = text.trimmed().toInt(&ok);
    return ok && PowerModes::find(mode) ? std::optional<int>(mode) : std::nullopt;
}

} // namespace

std::optional<BudgetProfile> BudgetProfile::parse(const QString &text, const QString &name, QString *error)
{
    BudgetProfile profile;
    const QStringList lines = text.split(QLatin1Char('\n'));
    int restLine = 0;
    static const QRegularExpression eventForm(QStringLiteral("^event\\s+(\\S+)\\s+(\\S+)$"));
    static const QRegularExpression dutyForm(QStringLiteral("^(.+)/(.+)$"));
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        const QString content = lines.at(i).section(QLatin1Char('#'), 0, 0).trimmed();
        if (content.isEmpty())
            continue;
        const auto refuse = [&](const QString &why) {
            *error = QStringLiteral("%1:%2: %3").arg(name).arg(number).arg(why);
            return std::nullopt;
        };
        const int equals = content.indexOf(QLatin1Char('='));
        if (equals < 0)
            return refuse(QStringLiteral("not KEY = VALUE: %1").arg(content));
        const QString key = content.left(equals).trimmed();
        const QString value = content.mid(equals + 1).trimmed();
        if (key == QLatin1String("period_s")) {
            const std::optional<double> seconds = Numbers::parse(value);
            if (!seconds || *seconds <= 0)
                return refuse(QStringLiteral("period_s takes seconds above 0, not \"%1\"").arg(value));
            profile.periodSeconds = *seconds;
            profile.periodLine = number;
            continue;
        }
        Line line;
        line.number = number;
        const QRegularExpressionMatch event = eventForm.match(key);
        if (event.hasMatch()) {
            const std::optional<int> mode = modeNumber(event.captured(1));
            if (!mode)
                return refuse(QStringLiteral("no power mode \"%1\" (they are 0 to %2)").arg(event.captured(1)).arg(PowerModes::count() - 1));
            static const QRegularExpression sourceForm(QStringLiteral("^(D[0-7]|current)$"));
            if (!sourceForm.match(event.captured(2)).hasMatch())
                return refuse(QStringLiteral("an event's source is D0 to D7 or current, not \"%1\"").arg(event.captured(2)));
            const std::optional<double> rate = withUnit(value, rateUnits);
            if (!rate)
                return refuse(QStringLiteral("an event line takes a rate such as 0.1 /s, 6 /min or 2 /h, not \"%1\"").arg(value));
            line.kind = Line::Kind::Event;
            line.mode = *mode;
            line.source = event.captured(2);
            line.perSecond = *rate;
            for (const Line &earlier : qAsConst(profile.lines)) {
                if (earlier.kind == Line::Kind::Event && earlier.mode == line.mode && earlier.source == line.source)
                    return refuse(QStringLiteral("mode %1's %2 events again, already on line %3").arg(line.mode).arg(line.source).arg(earlier.number));
            }
            profile.lines << line;
            continue;
        }
        const std::optional<int> mode = modeNumber(key);
        if (!mode) {
            return refuse(key.contains(QRegularExpression(QStringLiteral("^\\d+$")))
                              ? QStringLiteral("no power mode %1 (they are 0 to %2)").arg(key).arg(PowerModes::count() - 1)
                              : QStringLiteral("not a profile line: %1").arg(content));
        }
        line.mode = *mode;
        for (const Line &earlier : qAsConst(profile.lines)) {
            if (earlier.kind != Line::Kind::Event && earlier.mode == line.mode)
                return refuse(QStringLiteral("mode %1 again, already on line %2").arg(line.mode).arg(earlier.number));
        }
        const QRegularExpressionMatch duty = dutyForm.match(value);
        if (value == QLatin1String("rest")) {
            if (restLine > 0)
                return refuse(QStringLiteral("a second rest line; line %1 already takes the rest of the period").arg(restLine));
            restLine = number;
            line.kind = Line::Kind::Rest;
        } else if (value.endsWith(QLatin1Char('%'))) {
            const std::optional<double> percent = Numbers::parse(value.chopped(1));
            if (!percent || *percent < 0 || *percent > 100)
                return refuse(QStringLiteral("a duty in percent is 0 to 100 %, not \"%1\"").arg(value));
            line.share = *percent / 100;
        } else if (duty.hasMatch()) {
            const std::optional<double> on = withUnit(duty.captured(1), timeUnits);
            const std::optional<double> every = withUnit(duty.captured(2), timeUnits);
            if (!on || !every || *every <= 0 || *on > *every)
                return refuse(QStringLiteral("a duty is a time in a longer one, such as 1 s / 60 s, not \"%1\"").arg(value));
            line.share = *on / *every;
        } else {
            const std::optional<double> seconds = withUnit(value, timeUnits);
            if (!seconds)
                return refuse(QStringLiteral("a mode's line takes a time (0.005 s, 5 ms), a duty (1 s / 60 s, 2 %) or rest, not \"%1\"").arg(value));
            line.seconds = *seconds;
        }
        profile.lines << line;
    }
    if (profile.periodSeconds <= 0) {
        *error = QStringLiteral("%1: no period_s line, the period the product repeats").arg(name);
        return std::nullopt;
    }
    return profile;
}

std::optional<BudgetProfile> BudgetProfile::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return parse(QString::fromUtf8(file.readAll()), path, error);
}
