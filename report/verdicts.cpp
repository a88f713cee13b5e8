#include "report/verdicts.h"

#include "report/markuptext.h"

namespace {

QString caseName(int index, const QString &mode)
{
    return QStringLiteral("%1 %2").arg(index).arg(mode);
}

QString amperes(const std::optional<double> &value)
{
    return value ? Readings::formatAmperes(*value) : QStringLiteral("—");
}

// A table cell: no pipe or line end may end it early.
QString cell(const QString &text)
{
    QString safe = MarkupText::printable(text);
    safe.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('|'), QLatin1String("\\|"));
    safe.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return safe;
}

QString verdictCell(const CheckedMode &mode)
{
    switch (mode.verdict) {
    case CheckedMode::Changed:
        return QStringLiteral("**changed**");
    case CheckedMode::Failed:
        return QStringLiteral("**failed**: ") + cell(mode.reason);
    case CheckedMode::NoBaseline:
        return cell(mode.reason);
    case CheckedMode::Unchanged:
        break;
    }
    return QStringLiteral("ok");
}

} // namespace

namespace Verdicts {

QList<TestCaseResult> ofLimits(const QList<ResultRow> &rows)
{
    QList<TestCaseResult> cases;
    for (const ResultRow &row : rows) {
        const TestCaseResult::Result result = row.verdict == QLatin1String("FAIL") ? TestCaseResult::Failed
                                            : row.verdict == QLatin1String("PASS") ? TestCaseResult::Passed
                                                                                   : TestCaseResult::Skipped;
        cases << TestCaseResult {caseName(row.index, row.mode), result,
                                 result == TestCaseResult::Skipped ? QStringLiteral("no limits") : row.limitBroken()};
    }
    return cases;
}

QList<TestCaseResult> ofCheck(const BaselineCheck &check)
{
    QList<TestCaseResult> cases;
    for (const CheckedMode &mode : check.modes()) {
        const TestCaseResult::Result result = mode.counts()                                ? TestCaseResult::Failed
                                            : mode.verdict == CheckedMode::NoBaseline ? TestCaseResult::Skipped
                                                                                           : TestCaseResult::Passed;
        cases << TestCaseResult {caseName(mode.index, mode.mode), result, result == TestCaseResult::Passed ? QString() : mode.reason};
    }
    return cases;
}

QByteArray markdown(const BaselineCheck &check)
{
    const QList<CheckedMode> modes = check.modes();
    QString text = QStringLiteral("### Pellmora check: %1 of %2 modes changed or failed\n\n")
                       .arg(check.countingModes()).arg(modes.size());
    const QString board = check.boardId().isEmpty() ? QStringLiteral("with no board id") : QStringLiteral("`%1`").arg(cell(check.boardId()));
    text += check.hasBaseline() ? QStringLiteral("Board %1, against %2.\n\n").arg(board, cell(check.baselineText()))
                                : QStringLiteral("Board %1 has no baseline yet.\n\n").arg(board);
    text += QStringLiteral("| Mode | Baseline | Measured | Change | Verdict |\n|---|--:|--:|--:|---|\n");
    for (const CheckedMode &mode : modes) {
        const QString name = cell(caseName(mode.index, mode.mode));
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 |\n")
                    .arg(mode.counts() ? QStringLiteral("**%1**").arg(name) : name, amperes(mode.baseline),
                         amperes(mode.measured), mode.change(), verdictCell(mode));
    }
    return text.toUtf8();
}

} // namespace Verdicts
