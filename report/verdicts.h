#ifndef VERDICTS_H
#define VERDICTS_H

#include "history/baselinecheck.h"
#include "report/junitfile.h"
#include "results/resultrow.h"

#include <QByteArray>
#include <QList>

// Verdicts as a CI server or a pull request takes them.
namespace Verdicts {

// A run's limits verdicts; a mode without limits has none to pass, and is skipped.
QList<TestCaseResult> ofLimits(const QList<ResultRow> &rows);
// A check's modes; a mode without a baseline is skipped.
QList<TestCaseResult> ofCheck(const BaselineCheck &check);
// Every mode of a check as a row of a Markdown table, the changed and failed ones marked.
QByteArray markdown(const BaselineCheck &check);

} // namespace Verdicts

#endif // VERDICTS_H
