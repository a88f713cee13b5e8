// The chart's axis, the one-file report, and the comparison of two runs, as
// pellmora-sweep writes them on a machine without a display.
#include "report/logaxis.h"
#include "results/resultsfolder.h"
#include "tests/support/sweepprocess.h"

#include <QtTest>

namespace {

// A results folder of three modes, written as the sweep writes it.
void writeFolder(const QString &path, double standbyCurrent)
{
    QDir().mkpath(path);
    ResultsFolder folder(path);
    const QDateTime started = QDateTime::fromString(QStringLiteral("2026-12-07T10:00:00Z"), Qt::ISODate);
    const auto readings = [](double amperes) {
        return QList<Sample> {{2.1, {amperes * 0.98, false}}, {2.1, {amperes * 1.02, false}}};
    };
    const QString meter = QStringLiteral("Keysight Technologies,34465A,MY0000,A.03");
    QString error;
    QVERIFY2(folder.commit(ResultRow::measured(0, started, readings(33e-9), {}, {std::nullopt, 30e-9}, 3.3), readings(33e-9),
                           QJsonObject(), meter, &error)
                 && folder.commit(ResultRow::measured(1, started, readings(standbyCurrent), {}, {}, 3.3), readings(standbyCurrent),
                                  QJsonObject(), meter, &error)
                 && folder.commit(ResultRow::measured(15, started, readings(10.4e-3),
                                                      "CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK\r\n", {}, 3.3),
                                  readings(10.4e-3), QJsonObject(), meter, &error),
             qPrintable(error));
}

ToolRun sweepTool(const QStringList &arguments)
{
    return runSweepTool(arguments);
}

QString read(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

} // namespace

class ReportTest : public QObject
{
    Q_OBJECT

private slots:
    void axisLabelsEveryDecadeInSiUnits_data();
    void axisLabelsEveryDecadeInSiUnits();
    void reportHoldsTheTableAndTheChartAndNothingOutside();
    void compareNamesTheModeThatDoubled();

private:
    QTemporaryDir scratch;
};

void ReportTest::axisLabelsEveryDecadeInSiUnits_data()
{
    QTest::addColumn<QList<double>>("currents");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("30 nA to 12 mA") << QList<double> {30e-9, 2.4e-6, 12e-3}
                                    << QStringList {"10 nA", "100 nA", "1 \u00b5A", "10 \u00b5A", "100 \u00b5A", "1 mA",
                                                    "10 mA", "100 mA"};
    QTest::newRow("a single value") << QList<double> {2.5e-6} << QStringList {"1 \u00b5A", "10 \u00b5A"};
    QTest::newRow("a decade's edge") << QList<double> {1e-6, 1e-5} << QStringList {"1 \u00b5A", "10 \u00b5A"};
    QTest::newRow("no current at all") << QList<double> {} << QStringList {"1 nA", "10 nA"};
}

void ReportTest::axisLabelsEveryDecadeInSiUnits()
{
    QFETCH(QList<double>, currents);
    QFETCH(QStringList, labels);
    const LogAxis axis = LogAxis::fit(currents);
    QStringList shown;
    for (int decade : axis.decades())
        shown << LogAxis::label(decade);
    QCOMPARE(shown, labels);
    for (double current : currents)
        QVERIFY(axis.position(current) >= 0 && axis.position(current) <= 1);
}

void ReportTest::reportHoldsTheTableAndTheChartAndNothingOutside()
{
    const QString folder = scratch.filePath(QStringLiteral("small"));
    writeFolder(folder, 118e-9);
    const ToolRun run = sweepTool({QStringLiteral("report"), folder, QStringLiteral("--battery-mah"), QStringLiteral("220")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));

    const QString html = read(folder + QStringLiteral("/report.html"));
    for (const char *expected : {"Keysight Technologies,34465A", "33 nA", "118 nA", "10.4 mA", "166.42", "FAIL", "<svg",
                                 ">100 nA</text>", "tr class=\"flagged\"", "years"})
        QVERIFY2(html.contains(QString::fromUtf8(expected)), expected);
    for (const char *outside : {"src=", "href=", "<link", "<script", "url("})
        QVERIFY2(!html.contains(QLatin1String(outside)), outside);
    QVERIFY(read(folder + QStringLiteral("/chart.svg")).contains(QStringLiteral(">1 \u00b5A</text>")));
    QCOMPARE(QImage(folder + QStringLiteral("/chart.png")).size(), QSize(1600, 900));

    QFile::remove(folder + QStringLiteral("/results.csv"));
    const ToolRun missing = sweepTool({QStringLiteral("report"), folder});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY2(missing.errors.contains(QLatin1String("results.csv")), qPrintable(missing.errors));
}

void ReportTest::compareNamesTheModeThatDoubled()
{
    const QString before = scratch.filePath(QStringLiteral("before"));
    const QString after = scratch.filePath(QStringLiteral("after"));
    const QString out = scratch.filePath(QStringLiteral("comparison"));
    writeFolder(before, 118e-9);
    writeFolder(after, 236e-9);

    const ToolRun run = sweepTool({QStringLiteral("compare"), before, after, QStringLiteral("--out"), out});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.output.count(QLatin1Char('\n')), 1);
    QVERIFY2(run.output.startsWith(QLatin1String("changed  1 STANDBY  ratio 2.00")), qPrintable(run.output));
    QVERIFY(read(out + QStringLiteral("/compare.csv")).contains(QStringLiteral("\n1,STANDBY,1.18e-07,2.36e-07,2\n")));
    for (const char *file : {"compare.svg", "compare.png", "compare.html"})
        QVERIFY2(QFileInfo(out + QLatin1Char('/') + QLatin1String(file)).size() > 0, file);

    QCOMPARE(sweepTool({QStringLiteral("compare"), before, before, QStringLiteral("--out"), out}).exitCode, 0);
    QCOMPARE(sweepTool({QStringLiteral("compare"), before, scratch.filePath(QStringLiteral("none"))}).exitCode, 2);
}

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
