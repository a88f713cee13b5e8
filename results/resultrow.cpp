#include "results/resultrow.h"

#include "board/coremarkreport.h"
#include "board/powermodes.h"

#include <cmath>

namespace {

// Ten significant digits: more than any meter resolves, without the last
// digits of rounding that an exact form would carry.
QString cell(const std::optional<double> &value)
{
    return value ? QLocale::c().toString(*value, 'g', 10) : QString();
}

QJsonValue json(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

const QStringList ResultRow::header = {
    "index", "mode", "started_utc", "samples", "mean_a", "min_a", "max_a", "stdev_a", "overloads", "power_w",
    "coremark", "coremark_per_ma", "limit_min_a", "limit_max_a", "verdict", "board_reply"};

ResultRow ResultRow::measured(int index, const QDateTime &started, const QList<Sample> &samples,
                              const QByteArray &boardReply, const Limits &limits, std::optional<double> supplyVolts)
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
        double squares = 0;
        for (double current : currents)
            squares += (current - *row.mean) * (current - *row.mean);
        row.stdev = currents.size() > 1 ? std::sqrt(squares / (currents.size() - 1)) : 0.0;
    }
    if (row.mean && supplyVolts)
        row.powerW = *row.mean * *supplyVolts;
    row.coremark = CoreMarkReport::score(boardReply);
    if (row.coremark && row.mean && *row.mean > 0)
        row.coremarkPerMa = *row.coremark / (*row.mean * 1e3);
    row.limitMin = limits.min;
    row.limitMax = limits.max;
    if (row.mean && (limits.min || limits.max)) {
        const bool pass = (!limits.min || *row.mean >= *limits.min) && (!limits.max || *row.mean <= *limits.max);
        row.verdict = pass ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    }
    row.boardReply = QString::fromUtf8(boardReply);
    return row;
}

QStringList ResultRow::fields() const
{
    return {QString::number(index), mode, startedUtc, QString::number(samples), cell(mean), cell(min), cell(max),
            cell(stdev), QString::number(overloads), cell(powerW), cell(coremark), cell(coremarkPerMa),
            cell(limitMin), cell(limitMax), verdict, boardReply};
}

std::optional<ResultRow> ResultRow::fromFields(const QStringList &fields, QString *error)
{
    ResultRow row;
    bool ok = fields.size() == header.size();
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
    ok = ok && (row.verdict.isEmpty() || row.verdict == QLatin1String("PASS") || row.verdict == QLatin1String("FAIL"));
    if (!ok) {
        *error = QStringLiteral("not a results row: %1").arg(fields.join(QLatin1Char(',')).left(120));
        return std::nullopt;
    }
    return row;
}

QJsonObject ResultRow::toJson() const
{
    return {
        {"index", index}, {"mode", mode}, {"started_utc", startedUtc}, {"samples", samples}, {"mean_a", json(mean)},
        {"min_a", json(min)}, {"max_a", json(max)}, {"stdev_a", json(stdev)}, {"overloads", overloads},
        {"power_w", json(powerW)}, {"coremark", json(coremark)}, {"coremark_per_ma", json(coremarkPerMa)},
        {"limit_min_a", json(limitMin)}, {"limit_max_a", json(limitMax)}, {"verdict", verdict},
        {"board_reply", boardReply},
    };
}

