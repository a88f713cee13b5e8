#include "results/resultrow.h"

#include "board/coremarkreport.h"
#include "board/powermodes.h"
#include "results/csv.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

QJsonValue json(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

const QStringList ResultRow::olderHeader = {
    "index", "mode", "started_utc", "samples", "mean_a", "min_a", "max_a", "stdev_a", "overloads", "power_w",
    "coremark", "coremark_per_ma", "limit_min_a", "limit_max_a", "verdict", "board_reply"};
const QStringList ResultRow::conditionsHeader = olderHeader + QStringList {"vdd_v", "temperature_c"};
const QStringList ResultRow::captureHeader = conditionsHeader
    + QStringList {"peak_a", "charge_c", "energy_j", "settled_after_s", "lost_samples"};
const QStringList ResultRow::entryHeader = captureHeader + QStringList {"before_a"};
const QStringList ResultRow::header = entryHeader + QStringList {"events", "event_rate_hz", "event_charge_c", "between_events_a"};
const QList<QStringList> ResultRow::headers = {header, entryHeader, captureHeader, conditionsHeader, olderHeader};

ResultRow ResultRow::measured(int index, const QDateTime &started, const QList<Sample> &samples,
                              const QByteArray &boardReply, const Limits &limits, std::optional<double> vddVolts)
{
    ResultRow row;
    row.index = index;
    row.mode = PowerModes::name(index);
    row.startedUtc = started.toUTC().toString(Qt::ISODateWithMs);
    row.samples = samples.size();
    QList<double> currents;
    for (const Sample &sample : samples) {
        if (sample.reading.overload)
            ++row.overloads;
        else
            currents << sample.reading.amperes;
    }
    if (!currents.isEmpty()) {
        double sum = 0;
        for (double current : currents)
            sum += current;
        row.mean = sum / currents.size();
        row.min = *std::min_element(currents.cbegin(), currents.cend());
        row.max = *std::max_element(currents.cbegin(), currents.cend());
        // The sample standard deviation (over n − 1); none of a single reading.
        double squares = 0;
        for (double current : currents)
            squares += (current - *row.mean) * (current - *row.mean);
        if (currents.size() > 1)
            row.stdev = std::sqrt(squares / (currents.size() - 1));
    }
    row.coremark = CoreMarkReport::score(boardReply);
    row.limitMin = limits.min;
    row.limitMax = limits.max;
    row.vddV = vddVolts;
    row.derive(vddVolts);
    // A CSV cell cannot carry a NUL, and nothing after one may be lost;
    // bytes that are no UTF-8 become replacement characters.
    QByteArray text = boardReply;
    text.replace('\0', QByteArray());
    row.boardReply = QString::fromUtf8(text.constData(), text.size());
    return row;
}

void ResultRow::derive(std::optional<double> supplyVolts)
{
    powerW = mean && supplyVolts ? std::optional<double>(*mean * *supplyVolts) : std::nullopt;
    coremarkPerMa = coremark && mean && *mean > 0 ? std::optional<double>(*coremark / (*mean * 1e3)) : std::nullopt;
    const bool limited = limitMin || limitMax;
    if (!limitBroken().isEmpty() || reportMissingAfterS)
        verdict = QStringLiteral("FAIL");
    else if (entryUnchanged())
        verdict = QStringLiteral("ENTRY?");
    else
        verdict = limited && mean ? QStringLiteral("PASS") : QString();
}

bool ResultRow::failsTheRun() const
{
    return verdict == QLatin1String("FAIL") || verdict == QLatin1String("ENTRY?");
}

RowMark ResultRow::mark() const
{
    return verdict == QLatin1String("FAIL") ? RowMark::Failed : verdict == QLatin1String("ENTRY?") ? RowMark::Doubtful : RowMark::Plain;
}

bool ResultRow::entryUnchanged() const
{
    if (!entryChecked || !beforeA || !mean)
        return false;
    return std::abs(*mean - *beforeA) <= std::max(3 * stdev.value_or(0), 0.02 * std::abs(*beforeA));
}

QString ResultRow::verdictReason() const
{
    QStringList reasons;
    if (!limitBroken().isEmpty())
        reasons << limitBroken();
    if (reportMissingAfterS) {
        reasons << QStringLiteral("no CoreMark report within %1 s: the board did not run the mode")
                       .arg(Numbers::format(*reportMissingAfterS));
    }
    if (failsTheRun() && entryUnchanged()) {
        reasons << QStringLiteral("the current did not change after the command: %1 before, %2 after; was the board reset?")
                       .arg(Readings::formatAmperes(*beforeA), Readings::formatAmperes(*mean));
    }
    // A row another tool marked FAIL without the cells that say why.
    if (reasons.isEmpty() && failsTheRun())
        reasons << QStringLiteral("outside its limits");
    return reasons.join(QLatin1String("; "));
}

QString ResultRow::missingCurrent() const
{
    if (mean)
        return QString();
    return overloads > 0 ? QStringLiteral("every reading an overload") : QStringLiteral("no current measured");
}

QString ResultRow::limitBroken() const
{
    const auto amperes = [](const std::optional<double> &value) { return Readings::formatAmperes(*value); };
    // An overload may lie above any maximum, so a mode with one cannot be shown to pass it.
    if (limitMax && overloads > 0) {
        return QStringLiteral("%1 of %2 readings an overload, which may lie above the maximum %3")
            .arg(overloads).arg(samples).arg(amperes(limitMax));
    }
    if (mean && limitMax && *mean > *limitMax)
        return QStringLiteral("mean %1 above the maximum %2").arg(amperes(mean), amperes(limitMax));
    if (mean && limitMin && *mean < *limitMin)
        return QStringLiteral("mean %1 below the minimum %2").arg(amperes(mean), amperes(limitMin));
    return QString();
}

int ResultRow::voltageKey() const
{
    return voltageKeyOf(supplySetV ? supplySetV : vddV);
}

int ResultRow::voltageKeyOf(const std::optional<double> &volts)
{
    return volts ? int(std::lround(*volts * 100)) : noVoltage;
}

int ResultRow::temperatureKeyOf(const std::optional<double> &celsius)
{
    return celsius ? int(std::lround(*celsius * 100)) : noTemperature;
}

QString ResultRow::voltageText(int key)
{
    return QStringLiteral("%1 V").arg(QLocale::c().toString(key / 100.0, 'f', 2));
}

QString ResultRow::conditionsText(int voltageKey, int temperatureKey)
{
    QStringList conditions;
    if (voltageKey != noVoltage)
        conditions << voltageText(voltageKey);
    if (temperatureKey != noTemperature)
        conditions << QStringLiteral("%1 °C").arg(Numbers::format(temperatureKey / 100.0));
    return conditions.isEmpty() ? QString() : QStringLiteral(" at ") + conditions.join(QLatin1String(", "));
}

QList<int> ResultRow::voltageKeys(const QList<ResultRow> &rows)
{
    QList<int> keys;
    for (const ResultRow &row : rows) {
        if (!keys.contains(row.voltageKey()))
            keys << row.voltageKey();
    }
    return keys;
}

bool ResultRow::severalTemperatures(const QList<ResultRow> &rows)
{
    return std::any_of(rows.cbegin(), rows.cend(), [&rows](const ResultRow &row) {
        return row.temperatureKey() != rows.first().temperatureKey();
    });
}

bool ResultRow::samePoint(const ResultRow &other) const
{
    return index == other.index && voltageKey() == other.voltageKey() && temperatureKey() == other.temperatureKey();
}

QString ResultRow::modeAt(bool withVoltage, bool withTemperature) const
{
    return mode + conditionsText(withVoltage ? voltageKey() : noVoltage, withTemperature ? temperatureKey() : noTemperature);
}

QString ResultRow::pointName(bool withVoltage, bool withTemperature) const
{
    return QStringLiteral("%1 %2").arg(index).arg(modeAt(withVoltage, withTemperature));
}

QStringList ResultRow::fields() const
{
    using Csv::number;
    return {QString::number(index), mode, startedUtc, QString::number(samples), number(mean), number(min), number(max),
            number(stdev), QString::number(overloads), number(powerW), number(coremark), number(coremarkPerMa),
            number(limitMin), number(limitMax), verdict, boardReply, number(vddV), number(temperatureC),
            number(peakA), number(chargeC), number(energyJ), number(settledAfterS),
            lostSamples ? QString::number(*lostSamples) : QString(), number(beforeA),
            events ? QString::number(*events) : QString(), number(eventRateHz), number(eventChargeC), number(betweenEventsA)};
}

std::optional<ResultRow> ResultRow::fromFields(const QStringList &fields, QString *error)
{
    ResultRow row;
    // A folder from before the supply's columns has none of them, one from
    // before the fast meter's none of those.
    bool ok = std::any_of(headers.cbegin(), headers.cend(), [&fields](const QStringList &one) { return one.size() == fields.size(); });
    const auto number = [&](int column, std::optional<double> &value) {
        if (!ok || fields.at(column).trimmed().isEmpty())
            return;
        value = Numbers::parse(fields.at(column));
        ok = value.has_value();
    };
    const auto whole = [&](int column, int &value) {
        value = ok ? fields.at(column).trimmed().toInt(&ok) : 0;
        ok = ok && value >= 0;
    };
    whole(0, row.index);
    ok = ok && PowerModes::find(row.index);
    if (ok) {
        row.mode = fields.at(1);
        row.startedUtc = fields.at(2);
        row.verdict = fields.at(14);
        row.boardReply = fields.at(15);
    }
    whole(3, row.samples);
    number(4, row.mean);
    number(5, row.min);
    number(6, row.max);
    number(7, row.stdev);
    whole(8, row.overloads);
    number(9, row.powerW);
    number(10, row.coremark);
    number(11, row.coremarkPerMa);
    number(12, row.limitMin);
    number(13, row.limitMax);
    if (fields.size() >= conditionsHeader.size()) {
        number(16, row.vddV);
        number(17, row.temperatureC);
    }
    if (fields.size() >= captureHeader.size()) {
        number(18, row.peakA);
        number(19, row.chargeC);
        number(20, row.energyJ);
        number(21, row.settledAfterS);
        if (ok && !fields.at(22).trimmed().isEmpty()) {
            row.lostSamples = fields.at(22).trimmed().toLongLong(&ok);
            ok = ok && *row.lostSamples >= 0;
        }
    }
    if (fields.size() >= entryHeader.size())
        number(23, row.beforeA);
    if (fields.size() >= header.size()) {
        if (ok && !fields.at(24).trimmed().isEmpty()) {
            int count = 0;
            whole(24, count);
            row.events = count;
        }
        number(25, row.eventRateHz);
        number(26, row.eventChargeC);
        number(27, row.betweenEventsA);
    }
    static const QStringList verdicts = {QString(), QStringLiteral("PASS"), QStringLiteral("FAIL"), QStringLiteral("ENTRY?")};
    ok = ok && verdicts.contains(row.verdict);
    if (!ok) {
        *error = QStringLiteral("not a results row: %1").arg(fields.join(QLatin1Char(',')).left(120));
        return std::nullopt;
    }
    return row;
}

bool RowSettings::operator==(const RowSettings &other) const
{
    return range == other.range && nplc == other.nplc && settleSeconds == other.settleSeconds
        && samplesAsked == other.samplesAsked && bootSeconds == other.bootSeconds;
}

QString RowSettings::text() const
{
    return QStringLiteral("range %1, NPLC %2, settle %3 s, %4 readings, boot %5 s")
        .arg(range ? Readings::formatAmperes(*range) : QStringLiteral("auto"), Numbers::format(nplc),
             Numbers::format(settleSeconds)).arg(samplesAsked).arg(Numbers::format(bootSeconds));
}

void RowSettings::addTo(QJsonObject &row) const
{
    row.insert(QStringLiteral("range"), range ? QJsonValue(*range) : QJsonValue(QStringLiteral("auto")));
    row.insert(QStringLiteral("nplc"), nplc);
    row.insert(QStringLiteral("settle_s"), settleSeconds);
    row.insert(QStringLiteral("samples_asked"), samplesAsked);
    row.insert(QStringLiteral("boot_s"), bootSeconds);
}

std::optional<RowSettings> RowSettings::fromJson(const QJsonObject &row)
{
    const QJsonValue range = row.value(QStringLiteral("range"));
    const bool complete = (range.isDouble() || range.toString() == QLatin1String("auto"))
        && row.value(QStringLiteral("nplc")).isDouble() && row.value(QStringLiteral("settle_s")).isDouble()
        && row.value(QStringLiteral("samples_asked")).isDouble() && row.value(QStringLiteral("boot_s")).isDouble();
    if (!complete)
        return std::nullopt;
    return RowSettings {range.isDouble() ? std::optional<double>(range.toDouble()) : std::nullopt,
                        row.value(QStringLiteral("nplc")).toDouble(), row.value(QStringLiteral("settle_s")).toDouble(),
                        row.value(QStringLiteral("samples_asked")).toInt(), row.value(QStringLiteral("boot_s")).toDouble()};
}

QJsonObject ResultRow::toJson() const
{
    QJsonObject row {
        {"index", index}, {"mode", mode}, {"started_utc", startedUtc}, {"samples", samples}, {"mean_a", json(mean)},
        {"min_a", json(min)}, {"max_a", json(max)}, {"stdev_a", json(stdev)}, {"overloads", overloads},
        {"power_w", json(powerW)}, {"coremark", json(coremark)}, {"coremark_per_ma", json(coremarkPerMa)},
        {"limit_min_a", json(limitMin)}, {"limit_max_a", json(limitMax)}, {"verdict", verdict},
        {"board_reply", boardReply}, {"vdd_v", json(vddV)}, {"temperature_c", json(temperatureC)},
    };
    if (supplySetV)
        row.insert(QStringLiteral("supply_set_v"), *supplySetV);
    if (lostSamples) {
        row.insert(QStringLiteral("peak_a"), json(peakA));
        row.insert(QStringLiteral("charge_c"), json(chargeC));
        row.insert(QStringLiteral("energy_j"), json(energyJ));
        row.insert(QStringLiteral("settled_after_s"), json(settledAfterS));
        row.insert(QStringLiteral("lost_samples"), double(*lostSamples));
    }
    if (settings)
        settings->addTo(row);
    if (entryChecked) {
        row.insert(QStringLiteral("entry_checked"), true);
        row.insert(QStringLiteral("before_a"), json(beforeA));
    }
    if (reportMissingAfterS)
        row.insert(QStringLiteral("report_missing_after_s"), *reportMissingAfterS);
    if (windowS)
        row.insert(QStringLiteral("window_s"), *windowS);
    if (events) {
        row.insert(QStringLiteral("event_source"), eventSource);
        row.insert(QStringLiteral("events"), *events);
        row.insert(QStringLiteral("event_rate_hz"), json(eventRateHz));
        row.insert(QStringLiteral("event_charge_c"), json(eventChargeC));
        row.insert(QStringLiteral("between_events_a"), json(betweenEventsA));
    }
    return row;
}

