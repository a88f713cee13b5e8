// The run history on a lab's PostgreSQL server, a real one started for the
// test: two benches recording at once, and a server that goes down in the
// middle of a sweep.
#include "history/history.h"
#include "results/resultsfolder.h"
#include "tests/support/postgresserver.h"
#include "tests/support/simulatedbench.h"
#include "tests/support/sweepprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

QStringList sweepOf(const SimulatedBench &bench, const QString &modes, const QString &history, const QString &out)
{
    return {"run", "--port", bench.port(), "--meter", bench.meter(), "--reset", bench.resetCommand(), "--modes", modes,
            "--history", history, "--settle", "0.05", "--boot", "0.2", "--samples", "3", "--out", out};
}

QJsonArray listed(const QString &history)
{
    const ToolRun run = runSweepTool({"history", "--history", history, "--format", "json"});
    return QJsonDocument::fromJson(run.output.toUtf8()).array();
}

} // namespace

class HistoryPostgresTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoBenchesRecordAtOnce();
    void aServerThatGoesDownMidSweepLosesNothing();

private:
    std::optional<PostgresServer> server;
    QTemporaryDir scratch;
};

void HistoryPostgresTest::initTestCase()
{
    server.emplace();
    QVERIFY2(server->isRunning() && server->error().isEmpty(), qPrintable(server->error()));
}

// Each run complete, with every mode row its own folder holds, and the
// schema made once with its version.
void HistoryPostgresTest::twoBenchesRecordAtOnce()
{
    SimulatedBench first;
    SimulatedBench second(true, {"--meter-scale", "3"});
    const QString firstOut = scratch.filePath(QStringLiteral("first"));
    const QString secondOut = scratch.filePath(QStringLiteral("second"));
    SweepProcess one(sweepOf(first, "0-5", server->location(), firstOut));
    SweepProcess two(sweepOf(second, "0-5", server->location(), secondOut));
    one.start();
    two.start();
    const ToolRun oneRun = one.finish();
    const ToolRun twoRun = two.finish();
    QVERIFY2(oneRun.exitCode == 0, qPrintable(oneRun.errors));
    QVERIFY2(twoRun.exitCode == 0, qPrintable(twoRun.errors));

    QString error;
    const std::unique_ptr<History> history = History::openChosen(server->location(), &error);
    QVERIFY2(history, qPrintable(error));
    const auto runs = history->runs({}, 0, &error);
    QVERIFY2(runs, qPrintable(error));
    QCOMPARE(runs->size(), 2);
    for (const RunEntry &run : *runs) {
        QCOMPARE(run.facts.outcome, QStringLiteral("completed"));
        QCOMPARE(run.modes, 6);
        const QList<ResultRow> files = *ResultsFolder::readRows(run.folder, &error);
        const QList<ResultRow> stored = *history->modeRows(run.facts.runId, &error);
        QCOMPARE(stored.size(), files.size());
        for (int i = 0; i < files.size(); ++i) {
            QCOMPARE(stored.at(i).index, files.at(i).index);
            QCOMPARE(stored.at(i).mean, files.at(i).mean);
            QCOMPARE(stored.at(i).max, files.at(i).max);
        }
    }
    // The tripled bench's rows went to its own run.
    const RunEntry tripled = runs->at(runs->at(0).folder == QFileInfo(secondOut).absoluteFilePath() ? 0 : 1);
    const RunEntry plain = runs->at(runs->at(0).folder == QFileInfo(secondOut).absoluteFilePath() ? 1 : 0);
    QVERIFY(qAbs(*history->modeRows(tripled.facts.runId, &error)->at(4).mean
                 / *history->modeRows(plain.facts.runId, &error)->at(4).mean - 3) < 0.2);
}

// The folder keeps every mode; the sweep warns once and names the repair,
// which brings the run in whole, once.
void HistoryPostgresTest::aServerThatGoesDownMidSweepLosesNothing()
{
    SimulatedBench bench;
    const QString out = scratch.filePath(QStringLiteral("cut"));
    SweepProcess sweep(sweepOf(bench, "0-7", server->location(), out));
    sweep.start();
    QVERIFY2(sweep.waitForErrors(QStringLiteral("[2/8]")), qPrintable(sweep.errors()));
    QVERIFY2(server->stop(), qPrintable(server->error()));
    const ToolRun run = sweep.finish();
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(run.errors.count(QLatin1String("warning: history at ") + server->location()), 1);
    const QString last = run.errors.trimmed().section(QLatin1Char('\n'), -1);
    QVERIFY2(last.endsWith(QStringLiteral("bring it in with: pellmora-sweep import ") + out), qPrintable(last));
    QString error;
    QCOMPARE(ResultsFolder::readRows(out, &error)->size(), 8);

    QVERIFY2(server->start(), qPrintable(server->error()));
    const QString runId = QJsonDocument::fromJson([&] {
                              QFile file(out + QStringLiteral("/results.json"));
                              file.open(QIODevice::ReadOnly);
                              return file.readAll();
                          }()).object().value("run_id").toString();
    const auto partOf = [&] {
        for (const QJsonValue &entry : listed(server->location())) {
            if (entry.toObject().value("run_id").toString() == runId)
                return entry.toObject();
        }
        return QJsonObject();
    };
    QCOMPARE(partOf().value("outcome").toString(), QStringLiteral("running"));
    QVERIFY(partOf().value("modes").toInt() < 8);

    const ToolRun imported = runSweepTool({"import", out, "--history", server->location()});
    QVERIFY2(imported.exitCode == 0 && imported.errors.contains(QLatin1String("updated run")), qPrintable(imported.errors));
    const ToolRun again = runSweepTool({"import", out, "--history", server->location()});
    QVERIFY2(again.exitCode == 0 && again.errors.contains(QLatin1String("skipped")), qPrintable(again.errors));
    QCOMPARE(partOf().value("outcome").toString(), QStringLiteral("completed"));
    QCOMPARE(partOf().value("modes").toInt(), 8);
    int copies = 0;
    for (const QJsonValue &entry : listed(server->location()))
        copies += entry.toObject().value("run_id").toString() == runId ? 1 : 0;
    QCOMPARE(copies, 1);
}

QTEST_GUILESS_MAIN(HistoryPostgresTest)
#include "tst_historypostgres.moc"
