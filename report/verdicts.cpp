#include "report/verdicts.h"

#include "report/markuptext.h"

namespace {

QString amperes(const std::optional<double> &value)
{
    return value ? Readings::formatAmperes(*value) : QStringLiteral("—");
}

using MarkupText::markdownCell;

QString verdictCell(const CheckedMode &mode)
{
    switch (mode.verdict) {
    case CheckedMode::Changed:
        return QStringLiteral("**changed**");
    case CheckedMode::Failed:
        return QStringLiteral("**failed**: ") + markdownCell(mode.reason);
    case CheckedMode::NoBaseline:
        return markdownCell(mode.reason);
    case CheckedMode::Unchanged:
        break;
    }
    return QStringLiteral("ok");
}

// "Board B7, firmware v1.4, against …": what was checked, each free text escaped.
QString heading(const BaselineCheck &check)
{
    QString about = check.boardId().isEmpty() ? QStringLiteral("A run with no board id")
                                              : QStringLiteral("Board ") + markdownCell(check.boardId());
    if (!check.firmware().isEmpty())
        about += QStringLiteral(", firmware ") + markdownCell(check.firmware());
    return check.hasBaseline() ? QStringLiteral("%1, against %2.\n\n").arg(about, markdownCell(check.baselineText()))
                               : QStringLiteral("%1 has no baseline.\n\n").arg(about);
}

} // namespace

namespace Verdicts {

QList<TestCaseResult> ofLimits(const QList<ResultRow> &rows)
{
    QList<TestCaseResult> cases;
    for (const ResultRow &row : rows) {
        const TestCaseResult::Result result = row.failsTheRun()                    ? TestCaseResult::Failed
                                            : row.verdict == QLatin1String("PASS") ? TestCaseResult::Passed
                                                                                   : TestCaseResult::Skipped;
        cases << TestCaseResult {row.verdictName(), result,
                                 result == TestCaseResult::Skipped ? QStringLiteral("no limits") : row.verdictReason()};
    }
    return cases;
}

QList<TestCaseResult> ofCheck(const BaselineCheck &check)
{
    QList<TestCaseResult> cases;
    for (const CheckedMode &mode : check.modes()) {
        const TestCaseResult::Result result = mode.counts()                           ? TestCaseResult::Failed
                                            : mode.verdict == CheckedMode::NoBaseline ? TestCaseResult::Skipped
                                                                                      : TestCaseResult::Passed;
        cases << TestCaseResult {mode.name(), result, result == TestCaseResult::Passed ? QString() : mode.reason};
    }
    return cases;
}

QByteArray markdown(const BaselineCheck &check)
{
    const QList<CheckedMode> modes = check.modes();
    QString text = QStringLiteral("### Pellmora check: %1 of %2 modes changed or failed\n\n")
                       .arg(check.countingModes()).arg(modes.size());
    text += heading(check);
    text += QStringLiteral("| Mode | Baseline | Measured | Change | Verdict |\n|---|--:|--:|--:|---|\n");
    for (const CheckedMode &mode : modes) {
        const QString name = markdownCell(mode.name());
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 |\n")
                    .arg(mode.counts() ? QStringLiteral("**%1**").arg(name) : name, amperes(mode.baseline),
                         amperes(mode.measured), mode.change(), verdictCell(mode));
    }
    return text.toUtf8();
}

} // namespace Verdicts
