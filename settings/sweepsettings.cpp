#include "settings/sweepsettings.h"

#include "board/powermodes.h"
#include "settings/settingrules.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {

QJsonValue json(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QString optionalNumber(const std::optional<double> &value)
{
    return value ? Numbers::format(*value) : QString();
}

// An empty cell is not set; anything else must satisfy its rule.
std::optional<double> cellNumber(const QString &cell, const NumberRule &rule, const QString &column, QString *why)
{
    return cell.trimmed().isEmpty() ? std::nullopt : rule.parse(cell, column, why);
}

// The settings that change a measurement, by their key in results.json and
// their option on the command line.
const QList<QPair<const char *, const char *>> measurementKeys = {
    {"port", "--port"}, {"meter", "--meter"}, {"meter_profile", "--meter-profile"}, {"range", "--range"},
    {"nplc", "--nplc"}, {"samples", "--samples"}, {"settle_s", "--settle"}, {"boot_s", "--boot"},
    {"supply_v", "--supply"}, {"supply_unit", "--supply-unit"}, {"supply_profile", "--supply-profile"},
    {"supply_voltages", "--supply"}, {"current_limit_a", "--current-limit"}, {"temperature_c", "--temperature"},
    {"events", "--events"},
};

QString shown(const QJsonValue &value)
{
    if (value.isDouble())
        return Numbers::format(value.toDouble());
    if (value.isArray()) {
        QStringList numbers;
        for (const QJsonValue &number : value.toArray())
            numbers << shown(number);
        return numbers.isEmpty() ? QStringLiteral("none") : numbers.join(QLatin1Char(','));
    }
    if (value.isString())
        return value.toString().isEmpty() ? QStringLiteral("none") : value.toString();
    return value.isUndefined() ? QStringLiteral("nothing recorded") : QStringLiteral("none");
}

} // namespace

std::optional<ResetStrategy> ResetStrategy::parse(const QString &text, QString *error)
{
    static const QList<QPair<QString, Kind>> plain = {
        {QStringLiteral("prompt"), Prompt}, {QStringLiteral("none"), None},
        {QStringLiteral("dtr"), Dtr}, {QStringLiteral("rts"), Rts}, {QStringLiteral("power"), Power},
    };
    for (const auto &entry : plain) {
        if (text == entry.first)
            return ResetStrategy {entry.second, QString()};
    }
    if (text.startsWith(QLatin1String("command:")) && text.size() > 8)
        return ResetStrategy {Command, text.mid(8)};
    *error = QStringLiteral("unknown reset \"%1\"; use prompt, none, command:CMD, dtr, rts or power").arg(text);
    return std::nullopt;
}

QString ResetStrategy::text() const
{
    static const char *const names[] = {"prompt", "none", "command:", "dtr", "rts", "power"};
    return QLatin1String(names[kind]) + command;
}

bool ResetStrategy::namesAProcessId() const
{
    static const QRegularExpression killById(QStringLiteral("\\bkill\\b[^;&|]*\\s-?\\d+\\b"));
    return kind == Command && killById.match(command).hasMatch();
}

QString ResetStrategy::recordedText() const
{
    return kind == Command ? QStringLiteral("command") : text();
}

const QStringList PlanRow::columns = {"range", "nplc", "settle_s", "samples", "entry_check"};

ModePlan PlanRow::over(const ModePlan &defaults) const
{
    ModePlan plan = defaults;
    if (range)
        plan.meter.range = *range;
    plan.meter.nplc = nplc.value_or(defaults.meter.nplc);
    plan.settleSeconds = settleSeconds.value_or(defaults.settleSeconds);
    plan.meter.samples = samples.value_or(defaults.meter.samples);
    return plan;
}

PlanRow PlanRow::parse(const QStringList &cells, QStringList *reasons)
{
    PlanRow row;
    *reasons = QStringList {QString(), QString(), QString(), QString(), QString()};
    if (!cells.value(0).trimmed().isEmpty()) {
        if (const auto range = SettingRules::parseRange(cells.value(0), columns.at(0), &(*reasons)[0]))
            row.range = *range;
    }
    row.nplc = cellNumber(cells.value(1), SettingRules::nplc, columns.at(1), &(*reasons)[1]);
    row.settleSeconds = cellNumber(cells.value(2), SettingRules::settleSeconds, columns.at(2), &(*reasons)[2]);
    if (const auto samples = cellNumber(cells.value(3), SettingRules::samples, columns.at(3), &(*reasons)[3]))
        row.samples = int(*samples);
    if (!cells.value(4).trimmed().isEmpty())
        row.entryCheck = SettingRules::parseSwitch(cells.value(4), columns.at(4), &(*reasons)[4]);
    return row;
}

QStringList PlanRow::cells() const
{
    return {range ? (*range ? Numbers::format(**range) : QStringLiteral("auto")) : QString(), optionalNumber(nplc),
            optionalNumber(settleSeconds), samples ? QString::number(*samples) : QString(),
            entryCheck ? (*entryCheck ? QStringLiteral("on") : QStringLiteral("off")) : QString()};
}

Limits parseLimits(const QStringList &cells, QStringList *reasons)
{
    static const QStringList columns = {QStringLiteral("min_a"), QStringLiteral("max_a")};
    Limits limits;
    *reasons = QStringList {QString(), QString()};
    limits.min = cellNumber(cells.value(0), SettingRules::limitAmperes, columns.at(0), &(*reasons)[0]);
    limits.max = cellNumber(cells.value(1), SettingRules::limitAmperes, columns.at(1), &(*reasons)[1]);
    if (limits.min && limits.max && *limits.min > *limits.max)
        (*reasons)[1] = QStringLiteral("max_a %1 is below min_a %2").arg(cells.value(1).trimmed(), cells.value(0).trimmed());
    return limits;
}

QStringList limitCells(const Limits &limits)
{
    return {optionalNumber(limits.min), optionalNumber(limits.max)};
}

int SweepSettings::defaultSamples(const std::optional<MeterAddress> &meter)
{
    return meter && meter->kind == MeterAddress::Manual ? 1 : 10;
}

QString SweepSettings::checkAgainstProfile() const
{
    if (!meter || meter->kind == MeterAddress::Manual)
        return QString();
    for (int mode : modes) {
        const QString why = SettingRules::checkRange(planFor(mode).meter.range, profile);
        if (!why.isEmpty())
            return QStringLiteral("mode %1: %2").arg(mode).arg(why);
    }
    return QString();
}

bool SweepSettings::measuresWithBox() const
{
    const auto isBox = [](const std::optional<MeterAddress> &address) { return address && address->kind == MeterAddress::Ppk2; };
    return isBox(meter) || (meterIsSupply && isBox(supplyUnit));
}

QString SweepSettings::checkEvents() const
{
    if (defaults.meter.events.isEmpty() || measuresWithBox())
        return QString();
    return QStringLiteral("--events needs a meter that reports its digital inputs and samples fast: --meter ppk2:PORT, "
                          "or --meter supply with --supply-unit ppk2:PORT");
}

QString SweepSettings::checkSupply() const
{
    if (supplyUnit) {
        if (unitVoltages.isEmpty())
            return QStringLiteral("--supply-unit needs --supply VOLTS, the voltage (or voltages) to set");
        if (meterIsSupply && supplyProfile.measureCurrent.isEmpty())
            return QStringLiteral("--meter supply needs the supply profile's measure_current");
        return QString();
    }
    if (reset.kind == ResetStrategy::Power)
        return QStringLiteral("--reset power needs --supply-unit, the supply whose output is switched");
    if (meterIsSupply)
        return QStringLiteral("--meter supply needs --supply-unit, the supply that reads the current");
    return QString();
}

QList<std::optional<double>> SweepSettings::voltages() const
{
    if (!supplyUnit)
        return {supplyVolts};
    QList<std::optional<double>> list;
    for (double volts : unitVoltages)
        list << volts;
    return list;
}

RowSettings SweepSettings::rowSettings(int mode) const
{
    const ModePlan used = planFor(mode);
    return {used.meter.range, used.meter.nplc, used.settleSeconds, used.meter.samples, bootSeconds};
}

QJsonObject SweepSettings::toJson() const
{
    QJsonArray modeList;
    for (int mode : modes)
        modeList << mode;
    QJsonArray voltageList;
    for (double volts : unitVoltages)
        voltageList << volts;
    QJsonArray eventList;
    for (const EventSource &source : defaults.meter.events)
        eventList << source.text();
    return {
        {"port", port}, {"modes", modeList}, {"meter", meterText},
        {"meter_profile", profilePath}, {"samples", defaults.meter.samples},
        {"settle_s", defaults.settleSeconds},
        {"range", defaults.meter.range ? QJsonValue(*defaults.meter.range) : QJsonValue("auto")},
        {"nplc", defaults.meter.nplc}, {"plan", planPath}, {"limits", limitsPath},
        {"reset", reset.recordedText()}, {"boot_s", bootSeconds},
        {"reply_timeout_s", replyTimeoutSeconds}, {"supply_v", json(supplyVolts)},
        {"battery_mah", json(batteryMah)}, {"battery_shelf_years", batteryShelfYears},
        {"supply_unit", supplyUnit ? supplyUnitText : QString()}, {"supply_profile", supplyProfilePath},
        {"supply_voltages", voltageList}, {"current_limit_a", supplyUnit ? QJsonValue(currentLimit) : QJsonValue()},
        {"off_time_s", reset.kind == ResetStrategy::Power ? QJsonValue(offSeconds) : QJsonValue()},
        {"temperature_c", json(temperature)}, {"entry_check", entryCheck}, {"events", eventList},
    };
}

QString SweepSettings::differenceFrom(const QJsonObject &recorded, const QList<ResultRow> &rows) const
{
    const QJsonObject here = toJson();
    for (const auto &key : measurementKeys) {
        const QJsonValue mine = here.value(QLatin1String(key.first));
        const QJsonValue theirs = recorded.value(QLatin1String(key.first));
        if (mine != theirs)
            return QStringLiteral("%1 is %2 here but %3 in the folder").arg(QLatin1String(key.second), shown(mine), shown(theirs));
    }
    for (const ResultRow &row : rows) {
        const RowSettings planned = rowSettings(row.index);
        if (row.settings && !(*row.settings == planned)) {
            return QStringLiteral("%1 was measured with %2; this run would use %3")
                .arg(PowerModes::describe(row.index), row.settings->text(), planned.text());
        }
    }
    return QString();
}

bool SweepSettings::keepIdentityOf(const RunFacts &recorded, QString *difference)
{
    const auto tagsText = [](const QMap<QString, QString> &map) {
        QStringList pairs;
        for (auto tag = map.cbegin(); tag != map.cend(); ++tag)
            pairs << tag.key() + QLatin1Char('=') + tag.value();
        return pairs.join(QLatin1Char(','));
    };
    const struct
    {
        const char *option;
        QString mine, theirs;
    } identity[] = {
        {"--board-id", boardId, recorded.boardId},
        {"--firmware", firmware, recorded.firmware},
        {"--note", note, recorded.note},
        {"--tag", tagsText(tags), tagsText(recorded.tags)},
    };
    for (const auto &option : identity) {
        if (!option.mine.isEmpty() && option.mine != option.theirs) {
            *difference = QStringLiteral("%1 is %2 here but %3 in the folder")
                              .arg(QLatin1String(option.option), option.mine,
                                   option.theirs.isEmpty() ? QStringLiteral("none") : option.theirs);
            return false;
        }
    }
    boardId = recorded.boardId;
    firmware = recorded.firmware;
    note = recorded.note;
    tags = recorded.tags;
    return true;
}
