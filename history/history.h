#ifndef HISTORY_H
#define HISTORY_H

#include "history/historylocation.h"
#include "results/resultrow.h"
#include "results/runfacts.h"

#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

// A run as the history keeps it: its facts, its settings and folder, and,
// when listed, how many modes it finished and how many of them FAIL.
struct RunEntry
{
    RunFacts facts;
    QString port;
    QJsonObject settings;
    QString folder;   // absolute
    int modes = 0;
    int fails = 0;

    // The keys of `history --format json`.
    QJsonObject toJson() const;
};

// A point's row in an earlier run, as a baseline takes it.
struct Counterpart
{
    QString runId;
    QDateTime started;
    QString firmware;
    ResultRow row;
};

// Which runs a listing, a trend or a table takes; every filter given must hold.
struct RunFilter
{
    QString boardId;
    QString firmware;
    QMap<QString, QString> tags;
    QDate since;

    // What was chosen, as a page states it: ("Firmware", "v1.4"), …; only the filters given.
    QList<QPair<QString, QString>> described() const;
};

// One mode's mean in one run, for a trend.
struct TrendPoint
{
    QString runId;
    QDateTime started;
    QString boardId;
    QString firmware;
    int index = 0;
    QString mode;
    std::optional<double> mean;
    bool failed = false;                     // FAIL by its limits
    int voltageKey = ResultRow::noVoltage;   // as ResultRow::voltageKey()
};
using TrendPoints = QVector<TrendPoint>;

// One board's mean in one mode of a completed run, with the conditions a
// datasheet states, for the table across boards.
struct DatasheetPoint
{
    QString runId;
    QDateTime started;
    QString boardId;
    QString firmware;
    QString meterIdentity;
    QJsonObject settings;   // the run's, for its integration time
    int index = 0;
    QString mode;
    double mean = 0;
    int voltageKey = ResultRow::noVoltage;   // as ResultRow::voltageKey()
    std::optional<double> temperatureC;
};

// A mode's row in the newest completed run that measured it, with that run.
struct NewestRow
{
    RunEntry run;
    ResultRow row;
};

// Every sweep remembered: a run row when it starts, a row per mode as it
// finishes, and its outcome when it ends; in an SQLite file or a PostgreSQL
// database, through Qt SQL's own drivers. The schema carries its version: a
// newer one is refused untouched, an older one is brought up to date in a
// transaction.
class History
{
public:
    static constexpr int schemaVersion = 3;

    // To write runs into, created with its folder on first use and refused
    // where it cannot be written; or only to read, where it must be there
    // already and may lie on a read-only share or cache.
    enum class Access { Write, Read };

    // The history at a location; empty, with the reason, where it cannot be opened.
    static std::unique_ptr<History> open(const HistoryLocation &location, Access access, QString *error);
    // The history --history (or PELLMORA_HISTORY, or the default) names;
    // empty with no error for "none".
    static std::unique_ptr<History> openChosen(const QString &option, QString *error, Access access = Access::Write);
    ~History();

    QString location() const { return where.text(); }

    // Records a run (or, for a resumed one, takes its row up again).
    bool beginRun(const RunEntry &run, QString *error);
    bool recordMode(const QString &runId, const ResultRow &row, QString *error);
    // Takes a mode's row at its voltage out of the run.
    bool removeMode(const QString &runId, const ResultRow &row, QString *error);
    bool endRun(const QString &runId, const QString &outcome, const QDateTime &ended, QString *error);
    // Runs `work` whole or not at all.
    bool inTransaction(const std::function<bool(QString *error)> &work, QString *error);

    // Newest first; limit 0 for all.
    std::optional<QList<RunEntry>> runs(const RunFilter &filter, int limit, QString *error);
    std::optional<RunEntry> run(const QString &runId, QString *error);
    std::optional<QList<ResultRow>> modeRows(const QString &runId, QString *error);
    // The point's rows (the same mode at the same voltage and temperature)
    // in the board's completed runs that started before `before`, newest
    // first, without `excluded`; with `passingOnly`, of runs with no FAIL.
    std::optional<QList<Counterpart>> counterparts(const QString &boardId, const ResultRow &point, const QDateTime &before,
                                                   const QString &excluded, bool passingOnly, int limit, QString *error);
    // Per mode given, its row in the newest completed run the filter takes
    // that measured it (at the voltage, in hundredths of a volt, where one
    // is given); a mode no such run measured is left out.
    std::optional<QList<NewestRow>> newestRows(const RunFilter &filter, const QList<int> &modes, std::optional<int> voltageKey,
                                               QString *error);
    // The voltages (hundredths of a volt) at which the runs the filter takes measured these modes.
    std::optional<QList<int>> voltagesOf(const RunFilter &filter, const QList<int> &modes, QString *error);
    // How many completed runs the board has, without `excluded`.
    std::optional<int> completedRunCount(const QString &boardId, const QString &excluded, QString *error);
    // Each chosen mode's mean over the runs the filter takes, oldest first.
    std::optional<TrendPoints> trend(const RunFilter &filter, const QList<int> &modes, QString *error);
    // Every mode with a mean in the completed runs the filter takes, newest run first.
    std::optional<QList<DatasheetPoint>> datasheetPoints(const RunFilter &filter, const QList<int> &modes, QString *error);

private:
    History(const HistoryLocation &location, const QString &connection);
    bool prepareSchema(QString *error);
    // For a file: false, with why, where it cannot be opened as asked; whether
    // only reading is possible (a read-only share or cache) in `readOnly`.
    static bool checkFile(const HistoryLocation &location, Access access, bool *readOnly, QString *error);
    std::optional<QList<RunEntry>> listed(const QString &condition, const QVariantList &bound, int limit, QString *error);
    int storedVersion(QString *error);
    // False, with the reason, for a version this tool cannot read (-1: none could be read).
    bool isKnown(int version, QString *error) const;
    QSqlDatabase database() const;

    HistoryLocation where;
    QString connection;
};

#endif // HISTORY_H
