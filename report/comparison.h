#ifndef COMPARISON_H
#define COMPARISON_H

#include "report/currentchart.h"
#include "results/resultsfolder.h"

#include <QList>
#include <QString>

#include <optional>

// One mode in two runs; a side is missing where that run lacks the mode or its current.
struct ComparedMode
{
    int index = 0;
    QString mode;            // with its voltage and temperature where the runs differ in them
    std::optional<double> before, after;   // the means
    bool inBefore = false, inAfter = false;
    QString afterMissing;                  // why the after run has no mean

    std::optional<double> ratio() const;   // after / before
    QString change() const;                // "×1.25", or "current lost"
    // The mode had a current before and has none after: every reading an overload, or none taken.
    bool lostItsCurrent() const { return before && inAfter && !after; }
};

// Two results folders mode by mode: what a firmware change did.
class Comparison
{
public:
    static std::optional<Comparison> of(const QString &before, const QString &after, double threshold, QString *error);

    QList<ComparedMode> modes() const { return compared; }
    // Changed by more than the threshold's factor, up or down, or lost its
    // current; a mode in one run only never is.
    bool changed(const ComparedMode &mode) const;
    QList<ComparedMode> changedModes() const;

    CurrentChart chart() const;

    // compare.csv, compare.svg, compare.png and compare.html in the folder.
    bool write(const QString &folder, QString *error) const;

private:
    QString beforeFolder, afterFolder;
    double threshold = 1.2;
    QList<ComparedMode> compared;
    QList<ResultRow> beforeRows, afterRows;
    QList<ResultRow> points;   // a row of either run for each compared mode, by which it is found
};

#endif // COMPARISON_H
