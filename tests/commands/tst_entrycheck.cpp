// A run that cannot be right says so: a board that ignored its commands
// (never reset, so it stays in its first mode) gives modes whose current did
// not change after their command (ENTRY?) and CoreMark modes without their
// report (FAIL), in every file a run writes and in its exit status.
#include "results/csv.h"
#include "results/resultsfolder.h"
#include "tests/support/simulatedbench.h"
#include "tests/support/sweepprocess.h"

#include <QXmlStreamReader>
#include <QtTest>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<int, ResultRow> rowsByMode(const QString &folder)
{
    QString error;
    QMap<int, ResultRow> rows;
    for (const ResultRow &row : ResultsFolder::readRows(folder, &error).value_or(QList<ResultRow>()))
        rows.insert(row.index, row);
    return rows;
}

// The failures of a JUnit file: case name to message.
QMap<QString, QString> failuresOf(const QString &path)
{
    QFile file(path);
    QMap<QString, QString> failures;
    if (!file.open(QIODevice::ReadOnly))
        return failures;
    QXmlStreamReader xml(&file);
    QString current;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("testcase"))
            current = xml.attributes().value("name").toString();
        else if (xml.name() == QLatin1String("failure"))
            failures.insert(current, xml.attributes().value("message").toString());
    }
    return failures;
}

} // namespace

class EntryCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void aBoardThatIgnoredItsCommandsFailsTheRun();
    void theCheckCanBeTurnedOffForTheRunOrAMode();
    void aResetBoardTakesEveryCommand();

private:
    QStringList sweepOf(const SimulatedBench &bench, const QString &out, const QString &reset) const;

    QTemporaryDir scratch;
};

// Modes 0, 1 and 15 on the strict board, never reset: it takes the first
// and ignores the rest, staying at 33 nA.
QStringList EntryCheckTest::sweepOf(const SimulatedBench &bench, const QString &out, const QString &reset) const
{
    return {"run", "--port", bench.port(), "--meter", bench.meter(), "--reset", reset, "--modes", "0,1,15", "--settle",
            "0.05", "--boot", "0.1", "--samples", "3", "--reply-timeout", "1", "--history", "none", "--out", out};
}

void EntryCheckTest::aBoardThatIgnoredItsCommandsFailsTheRun()
{
    SimulatedBench bench;
    const QString out = scratch.filePath(QStringLiteral("ignored"));
    const QString junit = scratch.filePath(QStringLiteral("ignored.xml"));
    const ToolRun run = runSweepTool(sweepOf(bench, out, "none") + QStringList {"--junit", junit});
    QCOMPARE(run.exitCode, 1);

    const QMap<int, ResultRow> rows = rowsByMode(out);
    QCOMPARE(rows.size(), 3);
    // Mode 0 was taken: from the board's boot current down to shutdown.
    QCOMPARE(rows.value(0).verdict, QString());
    QVERIFY(*rows.value(0).beforeA > 0.5e-3);
    QCOMPARE(rows.value(1).verdict, QStringLiteral("ENTRY?"));
    QVERIFY(qAbs(*rows.value(1).beforeA / *rows.value(1).mean - 1) < 0.05);
    QVERIFY2(rows.value(1).verdictReason().startsWith(QLatin1String("the current did not change after the command: 3")),
             qPrintable(rows.value(1).verdictReason()));
    // No report and no change: FAIL, for both reasons.
    QCOMPARE(rows.value(15).verdict, QStringLiteral("FAIL"));
    QVERIFY2(rows.value(15).verdictReason().startsWith(QLatin1String("no CoreMark report within 1 s: the board did not run the "
                                                                     "mode; the current did not change after the command")),
             qPrintable(rows.value(15).verdictReason()));

    QVERIFY(contentOf(out + "/results.csv").startsWith(Csv::row(ResultRow::header).toUtf8()));
    QCOMPARE(ResultRow::header.at(23), QStringLiteral("before_a"));
    QVERIFY2(run.errors.contains(QLatin1String("[2/3] 1 STANDBY  mean ")) && run.errors.contains(QLatin1String("  ENTRY? (the current")),
             qPrintable(run.errors));

    const QMap<QString, QString> failures = failuresOf(junit);
    QCOMPARE(failures.keys(), QStringList({"1 STANDBY", "15 RUN_CoreMark Range 1, 80MHz"}));
    QVERIFY(failures.value("15 RUN_CoreMark Range 1, 80MHz").startsWith(QLatin1String("no CoreMark report")));

    // The report marks ENTRY? in amber and says once what it means.
    const QString html = QString::fromUtf8(contentOf(out + "/report.html"));
    QCOMPARE(html.count(QLatin1String("<tr class=\"doubtful\">")), 1);
    QCOMPARE(html.count(QLatin1String("<tr class=\"flagged\">")), 1);
    QCOMPARE(html.count(QLatin1String("ENTRY? marks a mode whose current did not change")), 1);
}

void EntryCheckTest::theCheckCanBeTurnedOffForTheRunOrAMode()
{
    SimulatedBench bench;
    const QString out = scratch.filePath(QStringLiteral("off"));
    const ToolRun off = runSweepTool(sweepOf(bench, out, "none") + QStringList {"--entry-check", "off"});
    QCOMPARE(off.exitCode, 1);   // the CoreMark mode still failed
    const QMap<int, ResultRow> unchecked = rowsByMode(out);
    QCOMPARE(unchecked.value(1).verdict, QString());
    QVERIFY(!unchecked.value(1).beforeA);
    QCOMPARE(unchecked.value(15).verdict, QStringLiteral("FAIL"));
    QCOMPARE(unchecked.value(15).verdictReason(), QStringLiteral("no CoreMark report within 1 s: the board did not run the mode"));

    // A mode meant to draw what the board draws idle: off in the plan for it alone.
    const QString plan = scratch.filePath(QStringLiteral("plan.csv"));
    QFile file(plan);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("index,range,nplc,settle_s,samples,entry_check\n1,,,,,off\n");
    file.close();
    const QString planned = scratch.filePath(QStringLiteral("planned"));
    QCOMPARE(runSweepTool(sweepOf(bench, planned, "none") + QStringList {"--plan", plan}).exitCode, 1);
    const QMap<int, ResultRow> rows = rowsByMode(planned);
    QCOMPARE(rows.value(1).verdict, QString());
    QVERIFY(rows.value(15).verdictReason().contains(QLatin1String("did not change")));

    const ToolRun refused = runSweepTool(sweepOf(bench, scratch.filePath("refused"), "none") + QStringList {"--entry-check", "maybe"});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.errors.contains(QLatin1String("--entry-check takes on or off")), qPrintable(refused.errors));
}

void EntryCheckTest::aResetBoardTakesEveryCommand()
{
    SimulatedBench bench;
    const QString out = scratch.filePath(QStringLiteral("reset"));
    const ToolRun run = runSweepTool(sweepOf(bench, out, bench.resetCommand()) + QStringList {"--reply-timeout", "10"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    for (const ResultRow &row : rowsByMode(out)) {
        QCOMPARE(row.verdict, QString());
        QVERIFY2(row.beforeA && qAbs(*row.beforeA / 1.1e-3 - 1) < 0.05, qPrintable(QString::number(row.beforeA.value_or(-1))));
    }
    QCOMPARE(rowsByMode(out).value(15).coremark, std::optional<double>(166.42));
}

QTEST_GUILESS_MAIN(EntryCheckTest)
#include "tst_entrycheck.moc"
