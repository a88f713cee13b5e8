// The chart's axis, the one-file report, and the comparison of two runs, as
// pellmora-sweep writes them on a machine without a display.
#include "report/logaxis.h"
#include "report/sweepreport.h"
#include "results/resultsfolder.h"
#include "tests/support/sweepprocess.h"

#include <QImage>
#include <QtTest>

namespace {

// Two readings 2 % either side of a current.
QList<Sample> readings(double amperes)
{
    return {{2.1, {amperes * 0.98, false}}, {2.1, {amperes * 1.02, false}}};
}

// A results folder of three modes at 3.3 V, written as the sweep writes it;
// mode 1 (STANDBY) has the readings given.
void writeFolder(const QString &path, const QList<Sample> &standby, const QByteArray &standbyReply = {})
{
    QDir().mkpath(path);
    ResultsFolder folder(path);
    const QDateTime started = QDateTime::fromString(QStringLiteral("2026-12-07T10:00:00Z"), Qt::ISODate);
    RunFacts meter;
    meter.meterIdentity = QStringLiteral("Keysight Technologies,34465A,MY0000,A.03");
    const QJsonObject settings {{"supply_v", 3.3}, {"reset", "command"}};
    QString error;
    QVERIFY2(folder.commit(ResultRow::measured(0, started, readings(33e-9), {}, {std::nullopt, 30e-9}, 3.3), readings(33e-9),
                           settings, meter, &error)
                 && folder.commit(ResultRow::measured(1, started, standby, standbyReply, {}, 3.3), standby, settings, meter, &error)
                 && folder.commit(ResultRow::measured(15, started, readings(10.4e-3),
                                                      "CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK\r\n", {}, 3.3),
                                  readings(10.4e-3), settings, meter, &error),
             qPrintable(error));
}

void writeFolder(const QString &path, double standbyCurrent)
{
    writeFolder(path, readings(standbyCurrent));
}

// Replaces a line of a file that starts with `start`.
void editLine(const QString &path, const QString &start, const QString &line)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    file.close();
    for (QString &each : lines) {
        if (each.startsWith(start))
            each = line;
    }
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join(QLatin1Char('\n')).toUtf8());
}

// Whether a file is XML that a strict reader takes to its end.
QString xmlError(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QXmlStreamReader xml(&file);
    while (!xml.atEnd())
        xml.readNext();
    return xml.hasError() ? xml.errorString() : QString();
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
    void batteryLifeReadsWell_data();
    void batteryLifeReadsWell();
    void reportHoldsTheTableAndTheChartAndNothingOutside();
    void compareNamesTheModeThatDoubled();
    void compareCountsChangesBothWaysAndLostCurrents_data();
    void compareCountsChangesBothWaysAndLostCurrents();
    void reportShowsWhateverTheBoardSentSafely();
    void reportRecomputesWhatAnEditChanged();
    void chartDrawsCurrentsOffItsAxisAsArrows_data();
    void chartDrawsCurrentsOffItsAxisAsArrows();
    void reportNamesTheBoardFirmwareAndRun();
    void aFastMetersSettlingAndWaveformReadWell();
    void otherRenderersDrawTheWholeChart_data();
    void otherRenderersDrawTheWholeChart();

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

void ReportTest::batteryLifeReadsWell_data()
{
    QTest::addColumn<double>("amperes");
    QTest::addColumn<QString>("life");
    // Of a 220 mAh battery: three digits in the largest unit that fits.
    QTest::newRow("hours") << 12e-3 << "18.3 hours";
    QTest::newRow("days, not rounded to whole ones") << 220e-3 / (3.51 * 24) << "3.51 days";
    QTest::newRow("years") << 220e-3 / (2.4 * 24 * 365.25) << "2.40 years";
    QTest::newRow("past the shelf life") << 33e-9 << "> 10 years (shelf life)";
}

void ReportTest::batteryLifeReadsWell()
{
    QFETCH(double, amperes);
    QFETCH(QString, life);
    QCOMPARE(SweepReport::batteryLife(220, amperes, 10), life);
}

void ReportTest::reportHoldsTheTableAndTheChartAndNothingOutside()
{
    const QString folder = scratch.filePath(QStringLiteral("small"));
    writeFolder(folder, 118e-9);
    const ToolRun run = sweepTool({QStringLiteral("report"), folder, QStringLiteral("--battery-mah"), QStringLiteral("220")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));

    const QString html = read(folder + QStringLiteral("/report.html"));
    for (const char *expected : {"Keysight Technologies,34465A", "33.0\u00a0nA", "118\u00a0nA", "10.4\u00a0mA", "166.42", "FAIL", "<svg",
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

void ReportTest::compareCountsChangesBothWaysAndLostCurrents_data()
{
    QTest::addColumn<QList<Sample>>("after");
    QTest::addColumn<QString>("printed");
    QTest::newRow("halved") << readings(59e-9) << "changed  1 STANDBY  ratio 0.50  (118 nA -> 59.0 nA)";
    QTest::newRow("every reading an overload") << QList<Sample> {{2.1, {0, true}}, {2.1, {0, true}}}
                                                << "changed  1 STANDBY  current lost  (118 nA -> every reading an overload)";
    QTest::newRow("no current") << QList<Sample>() << "changed  1 STANDBY  current lost  (118 nA -> no current measured)";
}

void ReportTest::compareCountsChangesBothWaysAndLostCurrents()
{
    QFETCH(QList<Sample>, after);
    QFETCH(QString, printed);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const QString before = scratch.filePath(QStringLiteral("lost-before-") + tag);
    const QString changed = scratch.filePath(QStringLiteral("lost-after-") + tag);
    const QString out = scratch.filePath(QStringLiteral("lost-comparison-") + tag);
    writeFolder(before, 118e-9);
    writeFolder(changed, after);
    const ToolRun run = sweepTool({QStringLiteral("compare"), before, changed, QStringLiteral("--out"), out});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.output, printed + QLatin1Char('\n'));
    QCOMPARE(xmlError(out + QStringLiteral("/compare.svg")), QString());
}

void ReportTest::reportShowsWhateverTheBoardSentSafely()
{
    // Markup, a control character and a spreadsheet formula from the board;
    // a mode name edited to hold a control character.
    const QString folder = scratch.filePath(QStringLiteral("hostile"));
    const QByteArray reply = "<script>alert(1)</script> & \x07" "bell\r\n=HYPERLINK(\"http://x\")\r\n";
    writeFolder(folder, readings(118e-9), reply);
    editLine(folder + QStringLiteral("/results.csv"), QStringLiteral("0,SHUTDOWN,"),
             QStringLiteral("0,SHUT\u0001DOWN,") + read(folder + QStringLiteral("/results.csv")).section(QLatin1Char('\n'), 1, 1).section(QLatin1Char(','), 2));
    QString error;
    QCOMPARE(ResultsFolder::readRows(folder, &error)->at(1).boardReply, QString::fromUtf8(reply));

    const ToolRun run = sweepTool({QStringLiteral("report"), folder});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QString html = read(folder + QStringLiteral("/report.html"));
    QVERIFY(html.contains(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt; &amp; \u2407bell")));
    QVERIFY(!html.contains(QLatin1String("<script")));
    QVERIFY(html.contains(QStringLiteral("SHUT\u2401DOWN")));
    for (const QChar c : html)
        QVERIFY2(c.unicode() >= 0x20 || c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'),
                 qPrintable(QString::number(c.unicode())));
    QCOMPARE(xmlError(folder + QStringLiteral("/chart.svg")), QString());
    // The reset command is never repeated; it may hold credentials.
    QVERIFY(read(folder + QStringLiteral("/results.json")).contains(QLatin1String("\"reset\": \"command\"")));
}

void ReportTest::reportRecomputesWhatAnEditChanged()
{
    // Mode 0 measured 33 nA against a 30 nA maximum: FAIL, 109 nW at 3.3 V.
    const QString folder = scratch.filePath(QStringLiteral("edited"));
    writeFolder(folder, 118e-9);
    editLine(folder + QStringLiteral("/results.csv"), QStringLiteral("0,SHUTDOWN,"),
             QStringLiteral("0,SHUTDOWN,2026-12-07T10:00:00.000Z,2,2.5e-08,3.234e-08,3.366e-08,9.3e-10,0,1.089e-07,,,,3e-08,FAIL,,3.3,,,,,,,,,,,"));
    const ToolRun run = sweepTool({QStringLiteral("report"), folder});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(run.errors, QStringLiteral("pellmora-sweep report: warning: mode 0: its mean, 2.5e-08, lies outside its own min to max, "
                                        "3.234e-08 to 3.366e-08\n"));
    const QString html = read(folder + QStringLiteral("/report.html"));
    const QString modeZero = html.section(QStringLiteral("<td>SHUTDOWN</td>"), 1).section(QStringLiteral("</tr>"), 0, 0);
    QVERIFY2(modeZero.contains(QLatin1String("<td>PASS</td>")) && modeZero.contains(QStringLiteral("82.5\u00a0nW")), qPrintable(modeZero));

    // One mode twice is refused, naming the line (the header is line 1;
    // mode 15's reply spans lines 4 and 5).
    QFile csv(folder + QStringLiteral("/results.csv"));
    QVERIFY(csv.open(QIODevice::Append));
    csv.write(read(folder + QStringLiteral("/results.csv")).section(QLatin1Char('\n'), 2, 2).toUtf8() + '\n');
    csv.close();
    const ToolRun twice = sweepTool({QStringLiteral("report"), folder});
    QCOMPARE(twice.exitCode, 2);
    QVERIFY2(twice.errors.contains(QLatin1String("results.csv:6: mode 1 at 3.30 V again, already on line 3")), qPrintable(twice.errors));
}

void ReportTest::chartDrawsCurrentsOffItsAxisAsArrows_data()
{
    QTest::addColumn<double>("amperes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a meter's offset below zero") << -1.5e-9 << ">-1.50 nA</text>";
    QTest::newRow("past the axis's 100 mA") << 12.0 << ">12.0 A</text>";
}

void ReportTest::chartDrawsCurrentsOffItsAxisAsArrows()
{
    QFETCH(double, amperes);
    QFETCH(QString, shown);
    const QString folder = scratch.filePath(QStringLiteral("off-axis-%1").arg(amperes));
    writeFolder(folder, {{2.1, {amperes, false}}, {2.1, {amperes, false}}});
    QCOMPARE(sweepTool({QStringLiteral("report"), folder}).exitCode, 0);
    QVERIFY2(read(folder + QStringLiteral("/chart.svg")).contains(shown), "the mean says its value beside its arrow");
}

// The heading block, compare.html and the chart's title say what they are about.
void ReportTest::reportNamesTheBoardFirmwareAndRun()
{
    QStringList folders;
    for (const QString &firmware : {QStringLiteral("v1.4.1"), QStringLiteral("v1.4.2")}) {
        folders << scratch.filePath(QStringLiteral("named-") + firmware);
        ResultsFolder folder(folders.last());
        RunFacts facts;
        facts.runId = RunFacts::newRunId();
        facts.boardId = QStringLiteral("B7");
        facts.firmware = firmware;
        facts.tags = {{"bench", "3"}, {"jumper", "JP5"}};
        QString error;
        QVERIFY2(folder.claim(&error) && folder.commit(ResultRow::measured(0, QDateTime::currentDateTimeUtc(), readings(33e-9), {}, {}, 3.3),
                                                       readings(33e-9), QJsonObject(), facts, &error),
                 qPrintable(error));
        folder.release();
        QCOMPARE(sweepTool({QStringLiteral("report"), folders.last()}).exitCode, 0);
        const QString html = read(folders.last() + QStringLiteral("/report.html"));
        QVERIFY(html.contains(QLatin1String("<dt>Board</dt><dd>B7</dd>")));
        QVERIFY(html.contains(QStringLiteral("<dt>Firmware</dt><dd>%1</dd>").arg(firmware)));
        QVERIFY(html.contains(QLatin1String("<dt>Tags</dt><dd>bench=3, jumper=JP5</dd>")));
        QVERIFY(html.contains(QStringLiteral("<dt>Run</dt><dd>%1</dd>").arg(facts.runId)));
        QVERIFY(html.indexOf(QLatin1String("<dt>Board</dt>")) < html.indexOf(QLatin1String("<dt>Meter</dt>")));
        QVERIFY(read(folders.last() + QStringLiteral("/chart.svg"))
                    .contains(QStringLiteral("Current per power mode: board B7, firmware %1").arg(firmware)));
    }
    const QString out = scratch.filePath(QStringLiteral("named-compare"));
    QCOMPARE(sweepTool({QStringLiteral("compare"), folders.first(), folders.last(), QStringLiteral("--out"), out}).exitCode, 0);
    const QString html = read(out + QStringLiteral("/compare.html"));
    QVERIFY2(html.contains(QLatin1String("<dt>Before&#x27;s run</dt><dd>board B7, firmware v1.4.1, tags bench=3, jumper=JP5, run "))
                 || html.contains(QLatin1String("<dt>Before's run</dt><dd>board B7, firmware v1.4.1, tags bench=3, jumper=JP5, run ")),
             qPrintable(html.section(QLatin1String("<dl"), 1, 1).left(600)));
    QVERIFY(html.contains(QLatin1String("firmware v1.4.2")));
}

// Settling at once reads 0 s, never 0.00 ps; a mode that never settled says
// so; a steady 1.12 µA lies a decade above its axis's bottom line.
void ReportTest::aFastMetersSettlingAndWaveformReadWell()
{
    const QString folder = scratch.filePath(QStringLiteral("settling"));
    ResultsFolder files(folder);
    QString error;
    QVERIFY2(files.claim(&error), qPrintable(error));
    QFile binsFile(files.tracePartPath());
    QVERIFY(binsFile.open(QIODevice::WriteOnly));
    for (int i = 0; i < 100; ++i) {
        const TraceBin bin {1.12e-6, 1.1e-6, 1.14e-6};
        binsFile.write(reinterpret_cast<const char *>(&bin), sizeof bin);
    }
    binsFile.close();
    for (int index : {4, 5}) {
        ResultRow row = ResultRow::measured(index, QDateTime::currentDateTimeUtc(), readings(1.12e-6), {}, {}, 3.3);
        row.lostSamples = 0;
        row.peakA = 1.14e-6;
        row.chargeC = 1e-7;
        row.settledAfterS = index == 4 ? std::optional<double>(0) : std::nullopt;
        ModeCapture capture;
        capture.binsPath = files.tracePartPath();
        capture.binCount = index == 4 ? 100 : 0;
        QVERIFY2(files.commit(row, readings(1.12e-6), QJsonObject(), RunFacts(), &error, index == 4 ? &capture : nullptr),
                 qPrintable(error));
    }
    files.release();
    QCOMPARE(sweepTool({QStringLiteral("report"), folder}).exitCode, 0);
    const QString html = read(folder + QStringLiteral("/report.html"));
    QVERIFY2(html.contains(QStringLiteral("<td>0\u00a0s</td>")), "settled at once");
    QVERIFY(!html.contains(QLatin1String("ps</td>")));
    QVERIFY(html.contains(QLatin1String("<td>not settled within the window</td>")));
    // The waveform's axis: 100 nA at its foot, not 1 µA.
    const QString waveform = html.section(QLatin1String("<figure class=\"waveform\">"), 1, 1);
    QVERIFY2(waveform.contains(QLatin1String(">100 nA<")), "a decade below the lowest current");
}

void ReportTest::otherRenderersDrawTheWholeChart_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");   // SVG and PNG in their places
    QTest::newRow("librsvg") << "rsvg-convert" << QStringList {"-o", "{png}", "{svg}"};
    QTest::newRow("ImageMagick's own") << "convert" << QStringList {"MSVG:{svg}", "{png}"};
}

// Each mode's mark, and the legend's, drawn in every band of the chart: a
// renderer that stops at a primitive it refuses leaves the rows below blank.
void ReportTest::otherRenderersDrawTheWholeChart()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    if (QStandardPaths::findExecutable(program).isEmpty())
        QSKIP("the renderer is not installed");
    const QString folder = scratch.filePath(QStringLiteral("rendered-%1").arg(program));
    writeFolder(folder, 118e-9);
    QCOMPARE(sweepTool({QStringLiteral("report"), folder}).exitCode, 0);
    const QString png = folder + QStringLiteral("/rendered.png");
    arguments.replaceInStrings(QStringLiteral("{png}"), png).replaceInStrings(QStringLiteral("{svg}"), folder + "/chart.svg");
    QProcess renderer;
    renderer.start(program, arguments);
    QVERIFY(renderer.waitForFinished(30000));
    const QByteArray said = renderer.readAllStandardError();
    QVERIFY2(renderer.exitCode() == 0 && said.isEmpty(), said.constData());
    const QImage image(png);
    QVERIFY(!image.isNull());
    // The marks' fill, the series colour darkened: the bands of rows that hold one.
    const QColor mark = QColor(0x2f, 0x6f, 0xc0).darker(140);
    int bands = 0;
    bool inBand = false;
    for (int y = 0; y < image.height(); ++y) {
        bool found = false;
        for (int x = 0; x < image.width() && !found; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            found = qAbs(pixel.red() - mark.red()) < 12 && qAbs(pixel.green() - mark.green()) < 12 && qAbs(pixel.blue() - mark.blue()) < 12;
        }
        bands += found && !inBand ? 1 : 0;
        inBand = found;
    }
    QCOMPARE(bands, 3 + 1);   // three modes, and the legend's mark
}

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
