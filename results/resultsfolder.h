#ifndef RESULTSFOLDER_H
#define RESULTSFOLDER_H

#include "meter/modecapture.h"
#include "results/eventsfile.h"
#include "results/modetrace.h"
#include "results/resultrow.h"
#include "results/tracefile.h"
#include "results/runfacts.h"

#include <QJsonObject>
#include <QList>
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

// The files of a results folder. results.csv is the commit point: a mode is
// finished once it is there. Every file is rewritten whole through a
// temporary file renamed over it, trace.csv, samples.csv, events.csv and
// results.json before results.csv, so an interruption at any instant leaves complete files, and
// results.csv never names a mode whose readings are missing.
class ResultsFolder
{
public:
    explicit ResultsFolder(const QString &path);
    ~ResultsFolder();

    // PARENT/PREFIX-YYYYMMDD-HHMMSS, with -2, -3, ... when that is taken,
    // made at once so that no other run can take the same name.
    static std::optional<QString> createFresh(const QString &parent, const QString &prefix, QString *error);

    QString path() const;
    QString filePath(const QString &name) const;
    bool hasResults() const;

    // For a sweep: the folder exists (made if need be), takes files, and no
    // other sweep writes into it while this object holds it. A folder made
    // by createFresh() for the run counts as made here.
    bool claim(QString *error, bool madeForThisRun = false);
    // Lets go of it; a folder that this object made and that holds no
    // finished mode is removed.
    void release();
    // A sweep holds the folder now.
    static bool inUse(const QString &path);

    // Takes in the finished modes, as results.csv holds them, with their
    // settings and readings from the other files.
    bool load(QString *error);
    QJsonObject recordedSettings() const;
    RunFacts recordedFacts() const;
    QList<ResultRow> rows() const;

    // Adds a mode (replacing an earlier row of its mode and voltage) and writes every
    // file, with its waveform where the meter captured one. When a write
    // fails, this object and results.csv keep what they had.
    bool commit(const ResultRow &row, const QList<Sample> &samples, const QJsonObject &settings, const RunFacts &facts,
                QString *error, const ModeCapture *capture = nullptr);
    // The committed modes' waveforms, thinned.
    QList<ModeTrace> traces() const { return modeTraces; }
    // Writes every file from what this object holds.
    bool rewrite(const QJsonObject &settings, const RunFacts &facts, QString *error);
    // Where a meter leaves the bins of the mode it captures, until its commit.
    QString tracePartPath() const;
    // raw/ with its README, for every sample of a fast meter (--raw).
    bool prepareRawSamples(QString *error) const;
    // raw/INDEX.f32, or raw/INDEX-VDD.f32 for a run of several voltages.
    QString rawSamplesPath(int index, const std::optional<double> &severalVoltagesVdd) const;

    // Rows of results.csv in any folder, each mode once at each voltage,
    // with the settings results.json records for them where it does.
    static std::optional<QList<ResultRow>> readRows(const QString &path, QString *error);

    // What a run asked to measure, as its recorded settings say: each mode
    // (index) at each voltage (key), the voltage the outer loop; none for a
    // folder from before the settings were recorded.
    static QList<QPair<int, int>> askedPoints(const QJsonObject &settings);

    // The events of events.csv in any folder; none where it has no such file.
    static std::optional<QList<EventsFile::Row>> readEvents(const QString &path, QString *error);

    // The waveforms of trace.csv in any folder; none where it has no such file.
    static std::optional<QList<ModeTrace>> readTraces(const QString &path, QString *error);

    static const QStringList samplesHeader;
    static const QStringList olderSamplesHeader;   // of folders from before the supply's column

private:
    bool write(const QList<ResultRow> &rows, const QList<QStringList> &samples, const QList<QStringList> &events,
               const QJsonObject &settings, const RunFacts &facts, QString *error) const;
    bool writeTraces(const QList<ModeTrace> &kept, bool byVoltage, const TraceFile::Addition *added, ModeTrace *addedTrace,
                     QString *error) const;

    QString folder;
    QList<ResultRow> resultRows;
    QList<QStringList> sampleRows;
    QList<QStringList> eventRows;
    QList<ModeTrace> modeTraces;
    bool strayTraces = false;   // trace.csv holds a mode that results.csv does not
    QJsonObject recorded;
    std::unique_ptr<QLockFile> lock;
    bool made = false;
};

#endif // RESULTSFOLDER_H
