#include "sweep/results.h"

#include "mainwindow/powermodes.h"
#include "sweep/csv.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

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

QString modeName(int index)
{
    const PowerMode *mode = PowerModes::find(index);
    return mode ? QCoreApplication::translate("MainWindow", mode->listItem).simplified() : QString();
}

} // namespace

const QStringList ResultRow::header = {
    "index", "mode", "started_utc", "samples", "mean_a", "min_a", "max_a", "stdev_a", "overloads", "power_w",
    "coremark", "coremark_per_ma", "limit_min_a", "limit_max_a", "verdict", "board_reply"};

const QStringList ResultsFolder::samplesHeader = {"index", "mode", "sample", "t_s", "current_a"};

std::optional<double> coreMarkScore(const QByteArray &boardReply)
{
    static const QRegularExpression score(QStringLiteral("CoreMark 1\\.0 : ([0-9]+(?:\\.[0-9]+)?)"));
    const QRegularExpressionMatch match = score.match(QString::fromLatin1(boardReply));
    return match.hasMatch() ? Numbers::parse(match.captured(1)) : std::nullopt;
}

ResultRow ResultRow::measured(int index, const QDateTime &started, const QList<Sample> &samples,
                              const QByteArray &boardReply, const Limits &limits, std::optional<double> supplyVolts)
{
    ResultRow row;
    row.index = index;
    row.mode = modeName(index);
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
    row.coremark = coreMarkScore(boardReply);
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

ResultsFolder::ResultsFolder(const QString &path)
    : folder(path)
{
}

QString ResultsFolder::path() const
{
    return folder;
}

QString ResultsFolder::filePath(const QString &name) const
{
    return QDir(folder).filePath(name);
}

bool ResultsFolder::hasResults() const
{
    return QFileInfo::exists(filePath(QStringLiteral("results.csv")));
}

bool ResultsFolder::load(QString *error)
{
    const std::optional<QList<ResultRow>> rows = readRows(folder, error);
    if (!rows)
        return false;
    resultRows = *rows;
    const QString samplesPath = filePath(QStringLiteral("samples.csv"));
    if (QFileInfo::exists(samplesPath)) {
        const std::optional<Csv::Table> samples = Csv::read(samplesPath, samplesHeader, error);
        if (!samples)
            return false;
        sampleRows = samples->rows;
    }
    return true;
}

QList<ResultRow> ResultsFolder::rows() const
{
    return resultRows;
}

void ResultsFolder::add(const ResultRow &row, const QList<Sample> &samples)
{
    resultRows << row;
    for (int i = 0; i < samples.size(); ++i) {
        const Sample &sample = samples.at(i);
        sampleRows << QStringList {QString::number(row.index), row.mode, QString::number(i + 1),
                                   QLocale::c().toString(sample.seconds, 'f', 3),
                                   sample.reading.overload ? QStringLiteral("overload") : Numbers::format(sample.reading.amperes)};
    }
}

bool ResultsFolder::write(const SweepSettings &settings, const QString &meterIdentity, QString *error) const
{
    QByteArray results = Csv::row(ResultRow::header).toUtf8();
    QJsonArray jsonRows;
    for (const ResultRow &row : resultRows) {
        results += Csv::row(row.fields()).toUtf8();
        jsonRows << row.toJson();
    }
    QByteArray samples = Csv::row(samplesHeader).toUtf8();
    for (const QStringList &row : sampleRows)
        samples += Csv::row(row).toUtf8();

    const QJsonObject document {
        {"settings", settingsJson(settings)},
        {"meter_identity", meterIdentity},
        {"results", jsonRows},
    };
    return saveAtomically(filePath(QStringLiteral("results.csv")), results, error)
        && saveAtomically(filePath(QStringLiteral("samples.csv")), samples, error)
        && saveAtomically(filePath(QStringLiteral("results.json")), QJsonDocument(document).toJson(), error);
}

QJsonObject ResultsFolder::settingsJson(const SweepSettings &settings)
{
    QJsonArray modes;
    for (int mode : settings.modes)
        modes << mode;
    return {
        {"port", settings.port}, {"modes", modes}, {"meter", settings.meterText},
        {"meter_profile", settings.profilePath}, {"samples", settings.defaults.meter.samples},
        {"settle_s", settings.defaults.settleSeconds},
        {"range", settings.defaults.meter.range ? QJsonValue(*settings.defaults.meter.range) : QJsonValue("auto")},
        {"nplc", settings.defaults.meter.nplc}, {"plan", settings.planPath}, {"limits", settings.limitsPath},
        {"reset", settings.reset.text()}, {"boot_s", settings.bootSeconds},
        {"reply_timeout_s", settings.replyTimeoutSeconds}, {"supply_v", json(settings.supplyVolts)},
        {"battery_mah", json(settings.batteryMah)},
    };
}

std::optional<QList<ResultRow>> ResultsFolder::readRows(const QString &path, QString *error)
{
    const QString file = QDir(path).filePath(QStringLiteral("results.csv"));
    const std::optional<Csv::Table> table = Csv::read(file, ResultRow::header, error);
    if (!table)
        return std::nullopt;
    QList<ResultRow> rows;
    for (int i = 0; i < table->rows.size(); ++i) {
        QString why;
        const std::optional<ResultRow> row = ResultRow::fromFields(table->rows.at(i), &why);
        if (!row) {
            *error = QStringLiteral("%1:%2: %3").arg(file).arg(table->rowLines.at(i)).arg(why);
            return std::nullopt;
        }
        rows << *row;
    }
    return rows;
}

bool saveAtomically(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

QString freshFolderName(const QString &prefix)
{
    const QString stem = prefix + QLatin1Char('-') + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stem;
    for (int suffix = 2; QFileInfo::exists(name); ++suffix)
        name = stem + QLatin1Char('-') + QString::number(suffix);
    return name;
}
