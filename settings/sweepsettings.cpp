#include "settings/sweepsettings.h"

#include "board/powermodes.h"
#include "results/atomicfile.h"
#include "results/csv.h"

#include <QJsonArray>

namespace {

const QStringList planHeader = {"index", "range", "nplc", "settle_s", "samples"};
const QStringList limitsHeader = {"index", "min_a", "max_a"};

std::optional<int> modeIndex(const QString &text)
{
    bool ok = false;
    const int index = text.trimmed().toInt(&ok);
    if (!ok || !PowerModes::find(index))
        return std::nullopt;
    return index;
}

// An empty cell keeps what was there; anything else must be a number that `valid` accepts.
template <typename Valid>
bool overrideNumber(const QString &cell, double &value, Valid valid)
{
    if (cell.trimmed().isEmpty())
        return true;
    const std::optional<double> number = Numbers::parse(cell);
    if (!number || !valid(*number))
        return false;
    value = *number;
    return true;
}

bool save(const QString &path, const QStringList &header, const QList<QStringList> &rows, QString *error)
{
    QByteArray content = Csv::row(header).toUtf8();
    for (const QStringList &row : rows)
        content += Csv::row(row).toUtf8();
    return saveAtomically(path, content, error);
}

QString optionalNumber(const std::optional<double> &value)
{
    return value ? Numbers::format(*value) : QString();
}

QJsonValue json(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

std::optional<ResetStrategy> ResetStrategy::parse(const QString &text, QString *error)
{
    static const QList<QPair<QString, Kind>> plain = {
        {QStringLiteral("prompt"), Prompt}, {QStringLiteral("none"), None},
        {QStringLiteral("dtr"), Dtr}, {QStringLiteral("rts"), Rts},
    };
    for (const auto &entry : plain) {
        if (text == entry.first)
            return ResetStrategy {entry.second, QString()};
    }
    if (text.startsWith(QLatin1String("command:")) && text.size() > 8)
        return ResetStrategy {Command, text.mid(8)};
    *error = QStringLiteral("unknown reset \"%1\"; use prompt, none, command:CMD, dtr or rts").arg(text);
    return std::nullopt;
}

QString ResetStrategy::text() const
{
    static const char *const names[] = {"prompt", "none", "command:", "dtr", "rts"};
    return QLatin1String(names[kind]) + command;
}

QJsonObject SweepSettings::toJson() const
{
    QJsonArray modeList;
    for (int mode : modes)
        modeList << mode;
    return {
        {"port", port}, {"modes", modeList}, {"meter", meterText},
        {"meter_profile", profilePath}, {"samples", defaults.meter.samples},
        {"settle_s", defaults.settleSeconds},
        {"range", defaults.meter.range ? QJsonValue(*defaults.meter.range) : QJsonValue("auto")},
        {"nplc", defaults.meter.nplc}, {"plan", planPath}, {"limits", limitsPath},
        {"reset", reset.text()}, {"boot_s", bootSeconds},
        {"reply_timeout_s", replyTimeoutSeconds}, {"supply_v", json(supplyVolts)},
        {"battery_mah", json(batteryMah)},
    };
}

namespace SweepInput {

std::optional<QList<int>> parseModes(const QString &text, QString *error)
{
    QList<int> modes;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList bounds = item.split(QLatin1Char('-'));
        const std::optional<int> first = modeIndex(bounds.first());
        const std::optional<int> last = bounds.size() == 2 ? modeIndex(bounds.last()) : first;
        if (bounds.size() > 2 || !first || !last || *last < *first) {
            *error = QStringLiteral("unknown mode \"%1\" in \"%2\"; modes are 0 to %3, as in 0-7,15")
                         .arg(item, text).arg(PowerModes::count() - 1);
            return std::nullopt;
        }
        for (int mode = *first; mode <= *last; ++mode)
            modes << mode;
    }
    return modes;
}

std::optional<std::optional<double>> parseRange(const QString &text)
{
    if (text.trimmed() == QLatin1String("auto"))
        return std::optional<double>();
    const std::optional<double> amperes = Numbers::parse(text);
    if (!amperes || *amperes <= 0)
        return std::nullopt;
    return amperes;
}

std::optional<QMap<int, ModePlan>> loadPlan(const QString &path, const ModePlan &defaults, QString *error)
{
    const std::optional<Csv::Table> table = Csv::read(path, planHeader, error);
    if (!table)
        return std::nullopt;
    QMap<int, ModePlan> plan;
    for (int i = 0; i < table->rows.size(); ++i) {
        const QStringList &row = table->rows.at(i);
        ModePlan mode = defaults;
        const std::optional<int> index = modeIndex(row.at(0));
        const std::optional<std::optional<double>> range =
            row.at(1).trimmed().isEmpty() ? std::optional<std::optional<double>>(defaults.meter.range) : parseRange(row.at(1));
        double samples = defaults.meter.samples;
        const bool valid = index && range && !plan.contains(*index)
            && overrideNumber(row.at(2), mode.meter.nplc, [](double n) { return n > 0 && n <= 100; })
            && overrideNumber(row.at(3), mode.settleSeconds, [](double s) { return s >= 0; })
            && overrideNumber(row.at(4), samples, [](double n) { return n >= 1 && n <= 1000 && n == int(n); });
        if (!valid) {
            *error = QStringLiteral("%1:%2: not a plan row (index of a mode, range auto or amperes, nplc, settle_s, "
                                    "samples): %3").arg(path).arg(table->rowLines.at(i)).arg(row.join(QLatin1Char(',')));
            return std::nullopt;
        }
        mode.meter.range = *range;
        mode.meter.samples = int(samples);
        plan.insert(*index, mode);
    }
    return plan;
}

bool savePlan(const QString &path, const QMap<int, ModePlan> &plan, QString *error)
{
    QList<QStringList> rows;
    for (auto mode = plan.cbegin(); mode != plan.cend(); ++mode) {
        const MeterSettings &meter = mode.value().meter;
        rows << QStringList {QString::number(mode.key()), meter.range ? Numbers::format(*meter.range) : QStringLiteral("auto"),
                             Numbers::format(meter.nplc), Numbers::format(mode.value().settleSeconds),
                             QString::number(meter.samples)};
    }
    return save(path, planHeader, rows, error);
}

std::optional<QMap<int, Limits>> loadLimits(const QString &path, QString *error)
{
    const std::optional<Csv::Table> table = Csv::read(path, limitsHeader, error);
    if (!table)
        return std::nullopt;
    QMap<int, Limits> limits;
    for (int i = 0; i < table->rows.size(); ++i) {
        const QStringList &row = table->rows.at(i);
        const std::optional<int> index = modeIndex(row.at(0));
        Limits bounds;
        bool valid = index && !limits.contains(*index);
        for (int column : {1, 2}) {
            if (row.at(column).trimmed().isEmpty())
                continue;
            const std::optional<double> bound = Numbers::parse(row.at(column));
            valid = valid && bound;
            (column == 1 ? bounds.min : bounds.max) = bound;
        }
        if (!valid || (bounds.min && bounds.max && *bounds.min > *bounds.max)) {
            *error = QStringLiteral("%1:%2: not a limits row (index of a mode, min_a, max_a): %3")
                         .arg(path).arg(table->rowLines.at(i)).arg(row.join(QLatin1Char(',')));
            return std::nullopt;
        }
        limits.insert(*index, bounds);
    }
    return limits;
}

bool saveLimits(const QString &path, const QMap<int, Limits> &limits, QString *error)
{
    QList<QStringList> rows;
    for (auto mode = limits.cbegin(); mode != limits.cend(); ++mode)
        rows << QStringList {QString::number(mode.key()), optionalNumber(mode.value().min), optionalNumber(mode.value().max)};
    return save(path, limitsHeader, rows, error);
}

} // namespace SweepInput
