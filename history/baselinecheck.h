#ifndef BASELINECHECK_H
#define BASELINECHECK_H

#include "results/resultrow.h"

#include <QList>
#include <QString>

#include <optional>

class History;

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

// One mode of the checked run against its baseline.
struct CheckedMode
{
    enum Verdict { Unchanged, Changed, Failed, NoBaseline };

    int index = 0;
    QString mode;
    std::optional<double> baseline, measured;   // mean currents
    Verdict verdict = NoBaseline;
    QString reason;   // "mean 9.79 mA vs baseline 5.01 mA (+95 %)", the limit broken, or why there is no baseline

    bool counts() const { return verdict == Changed || verdict == Failed; }
    // "+95 %"; empty without both means.
    QString change() const;
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

// A results folder set against a baseline from the history, mode by mode,
// for the same board and without the folder's own run. A mode fails on its
// own where it is FAIL by its limits, lost the current the baseline had, or
// turned to overloads.
class BaselineCheck
{
public:
    // Empty, with the reason, where the folder, the history or the run id is no good.
    static std::optional<BaselineCheck> of(History &history, const QString &folder, const BaselineRule &rule,
                                           const Tolerance &tolerance, QString *error);

    bool hasBaseline() const { return !baselineRuns.isEmpty(); }
    QString boardId() const { return board; }
    // "run 5f0c… (v1.4.2, 2026-12-01 09:30 UTC)" or "the median of 10 runs".
    QString baselineText() const { return described; }
    QList<CheckedMode> modes() const { return checked; }
    int countingModes() const;

private:
    void compare(const QList<ResultRow> &measuredRows, const QList<QList<ResultRow>> &baselineRows, const Tolerance &tolerance);

    QString board;
    QString described;
    QStringList baselineRuns;
    QList<CheckedMode> checked;
};

#endif // BASELINECHECK_H
