#ifndef RESULTS_H
#define RESULTS_H

#include "meter/readings.h"
#include "sweep/sweepsettings.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A reading and when it came: seconds from the mode's command to the arrival
// of the reply that carried it.
struct Sample
{
    double seconds = 0;
    Reading reading;
};

// One finished mode, as a row of results.csv.
struct ResultRow
{
    int index = 0;
    QString mode;
    QString startedUtc;
    int samples = 0;
    std::optional<double> mean, min, max, stdev;
    int overloads = 0;
    std::optional<double> powerW, coremark, coremarkPerMa, limitMin, limitMax;
    QString verdict;   // PASS, FAIL or empty
    QString boardReply;

    // The row of a measured mode: statistics over the readings that are no
    // overloads, the power at the supply voltage, the CoreMark score found in
    // the board's reply, and the verdict of the mean against the limits.
    static ResultRow measured(int index, const QDateTime &started, const QList<Sample> &samples,
                              const QByteArray &boardReply, const Limits &limits, std::optional<double> supplyVolts);

    static const QStringList header;
    QStringList fields() const;
    // A row read back; empty with the reason where a cell is not what its column holds.
    static std::optional<ResultRow> fromFields(const QStringList &fields, QString *error);
    QJsonObject toJson() const;
};

Q_DECLARE_METATYPE(Sample)
Q_DECLARE_METATYPE(ResultRow)

// "CoreMark 1.0 : 412.34 / ..." gives 412.34.
std::optional<double> coreMarkScore(const QByteArray &boardReply);

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

    bool write(const SweepSettings &settings, const QString &meterIdentity, QString *error) const;
    static QJsonObject settingsJson(const SweepSettings &settings);

    // Rows of results.csv in another folder, for the report and comparison.
    static std::optional<QList<ResultRow>> readRows(const QString &path, QString *error);

    static const QStringList samplesHeader;

private:
    QString folder;
    QList<ResultRow> resultRows;
    QList<QStringList> sampleRows;
};

// Writes the file whole through a temporary one renamed over it.
bool saveAtomically(const QString &path, const QByteArray &content, QString *error);

// A new folder name in the working folder: PREFIX-YYYYMMDD-HHMMSS, with -2,
// -3, ... where that exists.
QString freshFolderName(const QString &prefix);

#endif // RESULTS_H
