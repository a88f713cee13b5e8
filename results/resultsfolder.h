#ifndef RESULTSFOLDER_H
#define RESULTSFOLDER_H

#include "results/resultrow.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The files of a results folder. Each is rewritten whole after every mode,
// through a temporary file renamed over it, so an interruption leaves either
// the old file or the new one.
class ResultsFolder
{
public:
    explicit ResultsFolder(const QString &path);

    QString path() const;
    QString filePath(const QString &name) const;
    bool hasResults() const;

    // Takes in the rows and samples already in the folder, to add to them.
    bool load(QString *error);
    QList<ResultRow> rows() const;
    void add(const ResultRow &row, const QList<Sample> &samples);

    // The settings as results.json records them, beside the meter's identity.
    bool write(const QJsonObject &settings, const QString &meterIdentity, QString *error) const;

    // Rows of results.csv in another folder, for the report and comparison.
    static std::optional<QList<ResultRow>> readRows(const QString &path, QString *error);

    static const QStringList samplesHeader;

private:
    QString folder;
    QList<ResultRow> resultRows;
    QList<QStringList> sampleRows;
};

// A new folder name in the working folder: PREFIX-YYYYMMDD-HHMMSS, with -2,
// -3, ... where that exists.
QString freshFolderName(const QString &prefix);

#endif // RESULTSFOLDER_H
