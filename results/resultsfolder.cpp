#include "results/resultsfolder.h"

#include "results/atomicfile.h"
#include "results/csv.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

const QStringList ResultsFolder::samplesHeader = {"index", "mode", "sample", "t_s", "current_a"};

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

bool ResultsFolder::write(const QJsonObject &settings, const QString &meterIdentity, QString *error) const
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
        {"settings", settings},
        {"meter_identity", meterIdentity},
        {"results", jsonRows},
    };
    return saveAtomically(filePath(QStringLiteral("results.csv")), results, error)
        && saveAtomically(filePath(QStringLiteral("samples.csv")), samples, error)
        && saveAtomically(filePath(QStringLiteral("results.json")), QJsonDocument(document).toJson(), error);
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

QString freshFolderName(const QString &prefix)
{
    const QString stem = prefix + QLatin1Char('-') + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stem;
    for (int suffix = 2; QFileInfo::exists(name); ++suffix)
        name = stem + QLatin1Char('-') + QString::number(suffix);
    return name;
}
