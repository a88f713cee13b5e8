#ifndef BASELINECHECK_H
#define BASELINECHECK_H

#include "results/resultrow.h"
#include "results/runfacts.h"

#include <QList>
#include <QString>

#include <optional>

class History;
struct Counterpart;

// Which of the board's earlier runs a check compares with.
struct BaselineRule
{
    enum Kind { Last, LastPass, Median, Run };

    Kind kind = Last;
    int runs = 1;    // Median: how many of the newest
    QString runId;   // Run

    // last, last-pass, median:N or a run id.
    static std::optional<BaselineRule> parse(const QString &text, QString *error);
};

// One point of the checked run (a mode at a voltage and temperature)
// against its baseline, or a point it was asked to measure and did not.
struct CheckedMode
{
    enum Verdict { Unchanged, Changed, Failed, NoBaseline };

    int index = 0;
    QString mode;   // with every condition the point has: "RUN-while (1) Range 1, 80MHz at 1.80 V"
    std::optional<double> baseline, measured;   // mean currents
    Verdict verdict = NoBaseline;
    QString reason;   // "mean 9.79 mA vs baseline 5.01 mA (+95 %)", the limit broken, "not measured", or "no baseline"

    bool counts() const { return verdict == Changed || verdict == Failed; }
    // "+95 %"; empty without both means.
    QString change() const;
    // "13 RUN-while (1) Range 1, 80MHz at 1.80 V", as every file names it.
    QString name() const { return QStringLiteral("%1 %2").arg(index).arg(mode); }
};

// How far a mode may move before it counts as changed: the larger of a
// share of the baseline and a floor, so that noise at the lowest currents
// does not fail a build.
struct Tolerance
{
    double share = 0.20;
    double floor = 1e-8;

    bool exceededBy(double baseline, double measured) const;
};

// A results folder set against a baseline from the history, point by
// point: each row is compared only with rows of the same mode at the same
// voltage and temperature, from the same board and not from the folder's
// own run, the baseline chosen for each point apart (the newest run that
// holds it, the median of the newest that do, or a named run). A run with no
// board id is no board, and has a baseline only where one is named. A point
// fails on its own where it is FAIL by its limits, lost the current its
// baseline had, turned to overloads, or was asked for and not measured.
class BaselineCheck
{
public:
    // Empty, with the reason, where the folder, the history or the run id is no good.
    static std::optional<BaselineCheck> of(History &history, const QString &folder, const BaselineRule &rule,
                                           const Tolerance &tolerance, QString *error);

    bool hasBaseline() const { return !baselineRuns.isEmpty(); }
    QString boardId() const { return facts.boardId; }
    QString firmware() const { return facts.firmware; }
    // "run 5f0c… (v1.4.2, 2026-12-01 09:30 UTC)", or how the points' baselines were chosen.
    QString baselineText() const { return described; }
    QList<CheckedMode> modes() const { return checked; }
    int countingModes() const;

    // How the run ended, as its folder says (empty for a folder from before
    // outcomes were recorded), and how many of the points it was asked for it measured.
    QString runOutcome() const { return facts.outcome; }
    bool ranWhole() const { return facts.outcome.isEmpty() || facts.outcome == QLatin1String("completed"); }
    int askedPoints() const { return asked; }
    int measuredPoints() const { return measuredAsked; }
    QString runId() const { return facts.runId; }
    // For a gate that must not pass blind: a point without a baseline fails.
    void requireBaselines();

private:
    std::optional<QList<Counterpart>> baselineOf(History &history, const ResultRow &row, const BaselineRule &rule,
                                                 const QList<ResultRow> &namedRun, QString *error) const;
    CheckedMode compare(const ResultRow &row, const QList<Counterpart> &baseline, const Tolerance &tolerance) const;

    RunFacts facts;
    QString described;
    QStringList baselineRuns;   // every run some point was compared with
    QList<CheckedMode> checked;
    int asked = 0;
    int measuredAsked = 0;
};

#endif // BASELINECHECK_H
