// Campaigns: pellmora-sweep driving a supply unit that powers the simulated
// board (voltages in turn, power resets, readback, the closing OUTP OFF at
// every end), the supply as meter, the refusals before anything is sent,
// the datasheet table across boards, and what was written before the
// supply's columns.
#include "history/datasheet.h"
#include "history/history.h"
#include "results/csv.h"
#include "results/resultsfolder.h"
#include "simulator/boardsimulator.h"
#include "simulator/metersimulator.h"
#include "simulator/scpiserver.h"
#include "simulator/supplysimulator.h"
#include "supply/supplyprofile.h"
#include "tests/support/resultsfixture.h"
#include "tests/support/scriptedmeter.h"
#include "tests/support/sweepprocess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <cmath>

namespace {

// A board powered by its own supply unit, with a meter in series that reads
// `scale` times what the board draws, as another part of the same type would.
struct PoweredBench
{
    explicit PoweredBench(double scale = 1)
        : meter([this, scale] { return board.current() * scale; })
        , supply(board)
    {
        board.setStrict(true);
        meterPort.listen(0);
        supplyPort.listen(0);
    }

    QString meterAddress() const { return QStringLiteral("tcp:127.0.0.1:%1").arg(meterPort.port()); }
    QString supplyAddress() const { return QStringLiteral("tcp:127.0.0.1:%1").arg(supplyPort.port()); }
    int count(const QByteArray &command) const { return int(supply.received().count(command)); }

    BoardSimulator board;
    MeterSimulator meter;
    SupplySimulator supply;
    ScpiServer meterPort {meter};
    ScpiServer supplyPort {supply};
};

QStringList quick(const QString &folder)
{
    return {"--settle", "0.05", "--boot", "0.1", "--off-time", "0.05", "--samples", "3", "--history", "none", "--out", folder};
}

QList<ResultRow> rowsOf(const QString &folder)
{
    QString error;
    const auto rows = ResultsFolder::readRows(folder, &error);
    if (!rows)
        qWarning("%s", qPrintable(error));
    return rows.value_or(QList<ResultRow>());
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The commands the unit was sent from the `from`th on.
QList<QByteArray> sentSince(const PoweredBench &bench, int from)
{
    return bench.supply.received().mid(from);
}

} // namespace

class CampaignTest : public QObject
{
    Q_OBJECT

private slots:
    void measuresEveryModeAtEachVoltageWithAPowerReset();
    void ctrlCSwitchesTheOutputOffAndResumeTakesTheRest();
    void theSupplyUnitIsAlsoTheMeter();
    void aFoldedBackOutputFailsTheSweep();
    void aReadbackOffTheSetVoltageIsAFailure_data();
    void aReadbackOffTheSetVoltageIsAFailure();
    void loadsSupplyProfiles_data();
    void loadsSupplyProfiles();
    void theReadmesProfilesDriveTheSupply_data();
    void theReadmesProfilesDriveTheSupply();
    void refusesBeforeSendingAnything_data();
    void refusesBeforeSendingAnything();
    void tablesTwoBoardsAtTwoVoltages();
    void eachBoardCountsOnceWithItsNewestRun();
    void comparePairsRowsByModeAndVoltage();
    void readsFoldersAndHistoriesFromBeforeTheConditions();

private:
    QTemporaryDir scratch;
};

void CampaignTest::measuresEveryModeAtEachVoltageWithAPowerReset()
{
    PoweredBench bench;
    const QString out = scratch.filePath(QStringLiteral("two-voltages"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", bench.board.portPath(), "--meter", bench.meterAddress(),
                                                  "--supply-unit", bench.supplyAddress(), "--supply", "1.8,3.3", "--reset",
                                                  "power", "--modes", "0,13", "--temperature", "-40"}
                                     + quick(out));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));

    // The voltage is the outer loop; each row holds the supply's readback.
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 4);
    const QList<QPair<int, double>> expected {{0, 1.8}, {13, 1.8}, {0, 3.3}, {13, 3.3}};
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows.at(i).index, expected.at(i).first);
        QVERIFY(rows.at(i).vddV && qAbs(*rows.at(i).vddV / expected.at(i).second - 1) < 0.01);
        QCOMPARE(rows.at(i).temperatureC, std::optional<double>(-40));
        QCOMPARE(rows.at(i).samples, 3);
    }
    // A regulated core: the run mode hardly follows the supply, the shutdown mode more.
    const double runRatio = *rows.at(3).mean / *rows.at(1).mean;
    QVERIFY2(runRatio > 0.9 && runRatio < 1.15, qPrintable(QString::number(runRatio)));
    QVERIFY(qAbs(*rows.at(2).mean / *rows.at(0).mean - std::pow(3.3 / 1.8, 0.3)) < 0.05);
    QVERIFY(qAbs(*rows.at(3).mean / BoardSimulator::modeCurrent(13) - 1) < 0.02);
    QVERIFY(qAbs(*rows.at(3).powerW / (*rows.at(3).mean * *rows.at(3).vddV) - 1) < 1e-6);

    // Every mode began with the output off, then on; the sweep ended with it off.
    QCOMPARE(bench.count("OUTP ON"), 4);
    QCOMPARE(bench.count("OUTP OFF"), 5);
    QCOMPARE(bench.supply.received().last(), QByteArray("OUTP OFF"));
    QVERIFY(!bench.supply.isOn());
    // After the first switch-off and its look at the error queue.
    const QList<QByteArray> setting = bench.supply.received().mid(bench.supply.received().indexOf("OUTP OFF") + 2, 5);
    QCOMPARE(setting, QList<QByteArray>({"*CLS", "CURR 0.1", "VOLT 1.8", "OUTP ON", "SYST:ERR?"}));

    QVERIFY(contentOf(out + "/samples.csv").startsWith("index,mode,sample,t_s,current_a,vdd_v\n"));
    const QJsonObject document = QJsonDocument::fromJson(contentOf(out + "/results.json")).object();
    QCOMPARE(document.value("supply_identity").toString(), QStringLiteral("Pellmora,Simulated PSU 6V 3A,SIM0002,1.0"));
    QCOMPARE(document.value("settings").toObject().value("supply_unit").toString(), bench.supplyAddress());
    // The report charts a mark per voltage on each mode's row.
    const QByteArray svg = contentOf(out + "/chart.svg");
    QVERIFY(svg.contains("at 1.80 V") && svg.contains("at 3.30 V"));
}

void CampaignTest::ctrlCSwitchesTheOutputOffAndResumeTakesTheRest()
{
    PoweredBench bench;
    const QString out = scratch.filePath(QStringLiteral("interrupted"));
    const QStringList arguments = QStringList {"run", "--port", bench.board.portPath(), "--meter", bench.meterAddress(),
                                               "--supply-unit", bench.supplyAddress(), "--supply", "1.8,3.3", "--reset",
                                               "power", "--modes", "0,13"}
                                  + quick(out);
    const ToolRun stopped = runSweepTool(arguments, [](const QString &progress) { return progress.contains(QLatin1String("[2/4]")); });
    QCOMPARE(stopped.exitCode, 130);
    QCOMPARE(bench.supply.received().last(), QByteArray("OUTP OFF"));
    QVERIFY(!bench.supply.isOn());
    QCOMPARE(rowsOf(out).size(), 2);

    // The resumed run measures only the pairs of mode and voltage still missing.
    const int before = bench.supply.received().size();
    const ToolRun resumed = runSweepTool(arguments + QStringList {"--resume"});
    QVERIFY2(resumed.exitCode == 0, qPrintable(resumed.errors));
    QVERIFY(!sentSince(bench, before).contains("VOLT 1.8"));
    QCOMPARE(int(sentSince(bench, before).count("VOLT 3.3")), 2);
    QList<QPair<int, int>> points;
    for (const ResultRow &row : rowsOf(out))
        points << qMakePair(row.index, row.voltageKey());
    QCOMPARE(points, (QList<QPair<int, int>> {{0, 180}, {13, 180}, {0, 330}, {13, 330}}));
}

void CampaignTest::theSupplyUnitIsAlsoTheMeter()
{
    PoweredBench bench;
    const QString out = scratch.filePath(QStringLiteral("supply-as-meter"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", bench.board.portPath(), "--meter", "supply", "--supply-unit",
                                                  bench.supplyAddress(), "--supply", "3.3", "--reset", "power", "--modes", "0,13"}
                                     + quick(out));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 2);
    QVERIFY(qAbs(*rows.at(0).mean / BoardSimulator::modeCurrent(0) - 1) < 0.02);
    QVERIFY(qAbs(*rows.at(1).mean / BoardSimulator::modeCurrent(13) - 1) < 0.02);
    QCOMPARE(bench.count("MEAS:CURR?"), 8);   // three readings and one before each command
    QCOMPARE(rows.at(1).beforeA.has_value(), true);   // the board as it boots, before mode 13's command
    QVERIFY(*rows.at(1).beforeA < 2e-3);
    QCOMPARE(bench.supply.received().last(), QByteArray("OUTP OFF"));
}

void CampaignTest::aFoldedBackOutputFailsTheSweep()
{
    // A 1 mA limit holds the run mode's 10 mA down: the output folds back.
    PoweredBench bench;
    const QString out = scratch.filePath(QStringLiteral("folded"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", bench.board.portPath(), "--meter", bench.meterAddress(),
                                                  "--supply-unit", bench.supplyAddress(), "--supply", "3.3", "--current-limit",
                                                  "0.001", "--reset", "power", "--modes", "0,13"}
                                     + quick(out));
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(QRegularExpression(QStringLiteral("supply reads 0\\.3\\d V, 3\\.30 V was set")).match(run.errors).hasMatch(),
             qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().index, 0);
    QCOMPARE(bench.supply.received().last(), QByteArray("OUTP OFF"));
}

// A supply that answers what it is told, but whose readback is scripted.
void CampaignTest::aReadbackOffTheSetVoltageIsAFailure_data()
{
    QTest::addColumn<QByteArray>("readback");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("within 5 %") << QByteArray("3.14\n") << 0 << QString();
    QTest::newRow("more than 5 % low") << QByteArray("2.91\n") << 3 << "supply reads 2.91 V, 3.30 V was set";
    QTest::newRow("more than 5 % high") << QByteArray("+3.47E+00\n") << 3 << "supply reads 3.47 V, 3.30 V was set";
    QTest::newRow("two numbers") << QByteArray("3.3,3.3\n") << 3 << "supply answered 2 numbers to MEAS:VOLT?";
    QTest::newRow("no number") << QByteArray("OK\n") << 3 << "supply's answer to MEAS:VOLT?";
}

void CampaignTest::aReadbackOffTheSetVoltageIsAFailure()
{
    QFETCH(QByteArray, readback);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    BoardSimulator board;
    ScriptedMeter unit;
    for (const char *command : {"VOLT", "CURR", "OUTP"})
        unit.answer(command, std::nullopt);
    unit.answer("SYST:ERR?", QByteArray("+0,\"No error\"\n"));
    unit.answer("MEAS:VOLT?", readback);
    const QString out = scratch.filePath(QStringLiteral("readback-") + QTest::currentDataTag());
    const ToolRun run = runSweepTool(QStringList {"run", "--port", board.portPath(), "--meter", "none", "--supply-unit",
                                                  unit.address(), "--supply", "3.3", "--reset", "none", "--modes", "0,1"}
                                     + quick(out));
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.errors.contains(said), qPrintable(run.errors));
    // The failing mode is not recorded: the first.
    if (exitCode == 0)
        QCOMPARE(rowsOf(out).size(), 2);
    else
        QVERIFY(!QFileInfo::exists(out + "/results.csv") || rowsOf(out).isEmpty());
    QCOMPARE(unit.received().last(), QByteArray("OUTP OFF"));
}

void CampaignTest::loadsSupplyProfiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("refusal");      // empty: loaded
    QTest::addColumn<QString>("setVoltage");   // at 1.8 V, as sent
    QTest::addColumn<QStringList>("closing");
    QTest::newRow("generic") << QByteArray("# nothing changed\n") << QString() << "VOLT 1.8" << QStringList {"OUTP OFF"};
    QTest::newRow("channel filled in everywhere")
        << QByteArray("channel = 3\nset_voltage = INST:NSEL {channel};:VOLT {volts}\non_close = OUTP OFF,(@{channel})\n")
        << QString() << "INST:NSEL 3;:VOLT 1.8" << QStringList {"OUTP OFF,(@3)"};
    QTest::newRow("closing replaced, twice") << QByteArray("on_close = OUTP OFF\non_close = SYST:LOC\n") << QString()
                                             << "VOLT 1.8" << QStringList {"OUTP OFF", "SYST:LOC"};
    QTest::newRow("closing that leaves the board powered") << QByteArray("on_close = SYST:LOC\n") << QString() << "VOLT 1.8"
                                                           << QStringList {"SYST:LOC"};
    QTest::newRow("a placeholder it does not fill") << QByteArray("set_voltage = VOLT {voltage}\n") << "{voltage}" << QString()
                                                    << QStringList();
    QTest::newRow("volts where no voltage goes") << QByteArray("output_on = OUTP ON {volts}\n") << "{volts}" << QString()
                                                 << QStringList();
    QTest::newRow("a key it does not know") << QByteArray("set_volts = VOLT {volts}\n") << "set_volts" << QString()
                                            << QStringList();
    QTest::newRow("channel 0") << QByteArray("channel = 0\n") << "channel" << QString() << QStringList();
    QTest::newRow("no way to switch the output on") << QByteArray("output_on =\n") << "set_voltage and output_on are needed"
                                                    << QString() << QStringList();
}

void CampaignTest::loadsSupplyProfiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, refusal);
    QFETCH(QString, setVoltage);
    QFETCH(QStringList, closing);
    const QString path = scratch.filePath(QStringLiteral("profile.ini"));
    QFile written(path);
    QVERIFY(written.open(QIODevice::WriteOnly | QIODevice::Truncate));
    written.write(file);
    written.close();
    QString error;
    const std::optional<SupplyProfile> profile = SupplyProfile::load(path, &error);
    QCOMPARE(bool(profile), refusal.isEmpty());
    if (!profile) {
        QVERIFY2(error.contains(refusal), qPrintable(error));
        return;
    }
    QCOMPARE(profile->filled(profile->setVoltage, 1.8, 0.1), setVoltage);
    QCOMPARE(profile->closing(), closing);
}

void CampaignTest::theReadmesProfilesDriveTheSupply_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("meter");
    QTest::addColumn<QByteArray>("firstCommand");
    QTest::newRow("single channel") << "single-channel.ini" << "meter" << QByteArray("*IDN?");
    QTest::newRow("multi-channel") << "multi-channel.ini" << "meter" << QByteArray("INST:NSEL 1");
    QTest::newRow("SMU as meter") << "smu.ini" << "supply" << QByteArray("SOUR:FUNC VOLT");
}

void CampaignTest::theReadmesProfilesDriveTheSupply()
{
    QFETCH(QString, profile);
    QFETCH(QString, meter);
    QFETCH(QByteArray, firstCommand);
    PoweredBench bench;
    const QString out = scratch.filePath(QStringLiteral("profile-") + profile);
    const ToolRun run = runSweepTool(QStringList {"run", "--port", bench.board.portPath(), "--meter",
                                                  meter == QLatin1String("supply") ? meter : bench.meterAddress(), "--supply-unit",
                                                  bench.supplyAddress(), "--supply-profile",
                                                  QStringLiteral(SOURCE_DIR "/docs/supply-profiles/") + profile, "--supply", "3.3",
                                                  "--reset", "power", "--modes", "13"}
                                     + quick(out));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(bench.supply.received().first(), firstCommand);
    QCOMPARE(bench.supply.received().last(), QByteArray("OUTP OFF"));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), 1);
    QVERIFY(qAbs(*rows.first().mean / BoardSimulator::modeCurrent(13) - 1) < 0.02);
}

void CampaignTest::refusesBeforeSendingAnything_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("reason");
    QTest::newRow("33 V") << QStringList {"--supply-unit", "UNIT", "--supply", "33"} << "a voltage from 0.5 to 6 V";
    QTest::newRow("0.3 V in a list") << QStringList {"--supply-unit", "UNIT", "--supply", "1.8,0.3"} << "a voltage from 0.5 to 6 V";
    QTest::newRow("no voltage") << QStringList {"--supply-unit", "UNIT"} << "--supply-unit needs --supply";
    QTest::newRow("limit past 3 A") << QStringList {"--supply-unit", "UNIT", "--supply", "3.3", "--current-limit", "5"}
                                    << "a current from 1 µA to 3 A";
    QTest::newRow("power reset, no unit") << QStringList {"--reset", "power"} << "--reset power needs --supply-unit";
    QTest::newRow("list, no unit") << QStringList {"--supply", "1.8,3.3"} << "a list needs a supply unit";
    QTest::newRow("supply as meter, no unit") << QStringList {"--meter", "supply"} << "--meter supply needs --supply-unit";
    QTest::newRow("temperature not a number") << QStringList {"--temperature", "warm"} << "a temperature in °C";
    QTest::newRow("33 V recorded, no unit") << QStringList {"--supply", "33"} << "a voltage from 0.5 to 6 V";
}

void CampaignTest::refusesBeforeSendingAnything()
{
    QFETCH(QStringList, options);
    QFETCH(QString, reason);
    PoweredBench bench;
    options.replaceInStrings(QStringLiteral("UNIT"), bench.supplyAddress());
    if (!options.contains(QStringLiteral("--meter")))
        options << "--meter" << bench.meterAddress();
    const QString out = scratch.filePath(QStringLiteral("refused"));
    const ToolRun run = runSweepTool(QStringList {"run", "--port", bench.board.portPath(), "--modes", "0", "--history", "none",
                                                  "--out", out}
                                     + options);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(reason), qPrintable(run.errors));
    QVERIFY(bench.supply.received().isEmpty());
    QVERIFY(bench.board.received().isEmpty());
    QVERIFY(!QFileInfo::exists(out));
}

void CampaignTest::tablesTwoBoardsAtTwoVoltages()
{
    const QString history = scratch.filePath(QStringLiteral("campaign.sqlite"));
    QList<QString> folders;
    for (const auto &board : QList<QPair<QString, double>> {{"A", 1.0}, {"B", 1.1}}) {
        PoweredBench bench(board.second);
        folders << scratch.filePath(QStringLiteral("campaign-") + board.first);
        QStringList arguments {"run", "--port", bench.board.portPath(), "--meter", bench.meterAddress(), "--supply-unit",
                               bench.supplyAddress(), "--supply", "1.8,3.3", "--reset", "power", "--modes", "0,13",
                               "--temperature", "25", "--board-id", board.first, "--firmware", "fw1"};
        arguments += quick(folders.last());
        arguments.replace(arguments.indexOf("none"), history);
        const ToolRun run = runSweepTool(arguments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    }

    const QString out = scratch.filePath(QStringLiteral("table"));
    const ToolRun table = runSweepTool({"table", "--history", history, "--firmware", "fw1", "--out", out});
    QVERIFY2(table.exitCode == 0, qPrintable(table.errors));
    QCOMPARE(table.output.trimmed(), out);
    QString error;
    const auto csv = Csv::read(out + "/table.csv", QStringList {"index", "mode", "vdd_v", "temperature_c", "boards", "typ_a",
                                                               "min_a", "max_a", "stdev_a"},
                               &error);
    QVERIFY2(csv, qPrintable(error));
    QCOMPARE(csv->rows.size(), 4);
    const QList<ResultRow> a = rowsOf(folders.at(0));
    const QList<ResultRow> b = rowsOf(folders.at(1));
    for (const QStringList &cells : csv->rows) {
        const auto at = [&cells](const ResultRow &row) {
            return QString::number(row.index) == cells.at(0) && QString::number(row.voltageKey() / 100.0, 'f', 2) == cells.at(2);
        };
        const ResultRow &fromA = *std::find_if(a.cbegin(), a.cend(), at);
        const ResultRow &fromB = *std::find_if(b.cbegin(), b.cend(), at);
        const double low = std::min(*fromA.mean, *fromB.mean);
        const double high = std::max(*fromA.mean, *fromB.mean);
        QCOMPARE(cells.at(3), QStringLiteral("25"));
        QCOMPARE(cells.at(4), QStringLiteral("2"));
        QVERIFY(qAbs(cells.at(5).toDouble() / ((low + high) / 2) - 1) < 1e-8);
        QVERIFY(qAbs(cells.at(6).toDouble() / low - 1) < 1e-8);
        QVERIFY(qAbs(cells.at(7).toDouble() / high - 1) < 1e-8);
        QVERIFY(qAbs(cells.at(8).toDouble() / ((high - low) / std::sqrt(2.0)) - 1) < 1e-6);
        QVERIFY(qAbs(high / low - 1.1) < 0.03);   // the second part draws 10 % more
    }
    const QString html = QString::fromUtf8(contentOf(out + "/table.html"));
    QVERIFY(html.contains(QStringLiteral("T = 25\u00a0°C, Vdd = 1.80 V")));
    QVERIFY(html.contains(QStringLiteral("Fewer than 3 boards")));
    QVERIFY(html.contains(QStringLiteral("2: A, B")));

    const ToolRun none = runSweepTool({"table", "--history", history, "--firmware", "fw2", "--out", out + "-none"});
    QCOMPARE(none.exitCode, 2);
    QVERIFY(none.errors.contains(QLatin1String("holds no completed run that matches")));
    QVERIFY(!QFileInfo::exists(out + "-none"));

    // Board A again, drawing half as much again: check sets each mode at each
    // voltage against the same mode at the same voltage and temperature of A's last run.
    PoweredBench hungrier(1.5);
    const QString again = scratch.filePath(QStringLiteral("campaign-A-again"));
    QStringList arguments {"run", "--port", hungrier.board.portPath(), "--meter", hungrier.meterAddress(), "--supply-unit",
                           hungrier.supplyAddress(), "--supply", "1.8,3.3", "--reset", "power", "--modes", "0,13",
                           "--temperature", "25", "--board-id", "A"};
    arguments += quick(again);
    arguments.replace(arguments.indexOf("none"), history);
    QCOMPARE(runSweepTool(arguments).exitCode, 0);
    const ToolRun check = runSweepTool({"check", again, "--history", history});
    QCOMPARE(check.exitCode, 1);
    const QStringList lines = check.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    const QRegularExpression changed(QStringLiteral("^changed  (0|13) .* at (1\\.80|3\\.30) V, 25 °C  .*\\(\\+(\\d+) %\\)$"));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = changed.match(line);
        QVERIFY2(match.hasMatch() && qAbs(match.captured(3).toInt() - 50) <= 5, qPrintable(line));
    }
}

void CampaignTest::eachBoardCountsOnceWithItsNewestRun()
{
    const auto point = [](const QString &board, int day, double mean, int voltage) {
        DatasheetPoint p;
        p.runId = board + QString::number(day);
        p.started = ResultsFixture::day(day);
        p.boardId = board;
        p.index = 5;
        p.mode = QStringLiteral("STOP2 + RTC");
        p.mean = mean;
        p.voltageKey = voltage;
        return p;
    };
    // Newest first, as the history gives them: A's older 9 µA is left out.
    const Datasheet sheet = Datasheet::of({point("A", 3, 1e-6, 330), point("B", 2, 2e-6, 330), point("C", 2, 4e-6, 330),
                                           point("A", 1, 9e-6, 330), point("A", 1, 5e-6, 180)});
    QCOMPARE(sheet.entries().size(), 2);
    const DatasheetEntry &one = sheet.entries().at(0);
    QCOMPARE(one.voltageKey, 180);
    QCOMPARE(one.boards, QStringList {"A"});
    QVERIFY(!one.stdev);
    const DatasheetEntry &three = sheet.entries().at(1);
    QCOMPARE(three.boards, QStringList({"A", "B", "C"}));
    QVERIFY(!three.tooFewBoards());
    QCOMPARE(three.typical, 7e-6 / 3);
    QCOMPARE(three.lowest, 1e-6);
    QCOMPARE(three.highest, 4e-6);
    QVERIFY(qAbs(*three.stdev - std::sqrt(((1 - 7.0 / 3) * (1 - 7.0 / 3) + (2 - 7.0 / 3) * (2 - 7.0 / 3)
                                           + (4 - 7.0 / 3) * (4 - 7.0 / 3)) / 2) * 1e-6) < 1e-15);
}

void CampaignTest::comparePairsRowsByModeAndVoltage()
{
    // Mode 13 doubled at 3.3 V only; paired by mode alone it would not show.
    const auto rowAt = [](int index, double mean, double volts) {
        ResultRow row = ResultsFixture::row(index, mean);
        row.vddV = volts * 1.001;
        row.supplySetV = volts;
        return row;
    };
    QString error;
    const QString before = scratch.filePath(QStringLiteral("compare-before"));
    const QString after = scratch.filePath(QStringLiteral("compare-after"));
    for (const QString &folder : {before, after}) {
        const double late = folder == after ? 2 : 1;
        QVERIFY2(ResultsFixture::writeFolder(folder, QStringLiteral("C"), ResultsFixture::day(folder == after ? 2 : 1),
                                             {rowAt(0, 30e-9, 1.8), rowAt(13, 5.4e-3, 1.8), rowAt(0, 33e-9, 3.3),
                                              rowAt(13, 9.8e-3 * late, 3.3)},
                                             RunFacts::newRunId(), &error),
                 qPrintable(error));
    }
    const ToolRun compared = runSweepTool({"compare", before, after, "--out", scratch.filePath("compare-out")});
    QCOMPARE(compared.exitCode, 1);
    QCOMPARE(compared.output, QStringLiteral("changed  13 mode 13 at 3.30 V  ratio 2.00  (9.80 mA -> 19.6 mA)\n"));
}

void CampaignTest::readsFoldersAndHistoriesFromBeforeTheConditions()
{
    // Folders as sweeps wrote them before: results.csv without the newer columns.
    QString error;
    QStringList folders;
    for (int build = 0; build < 2; ++build) {
        folders << scratch.filePath(QStringLiteral("older-%1").arg(build));
        QVERIFY2(ResultsFixture::writeFolder(folders.last(), QStringLiteral("old board"), ResultsFixture::day(1 + build),
                                             {ResultsFixture::row(0, 1e-6), ResultsFixture::row(13, 1e-2 * (1 + build))},
                                             RunFacts::newRunId(), &error),
                 qPrintable(error));
        QFile csv(folders.last() + "/results.csv");
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = csv.readAll().split('\n');
        csv.close();
        // The first folder as the first sweeps wrote it, the second with the supply's columns only.
        const QStringList older = build == 0 ? ResultRow::olderHeader : ResultRow::conditionsHeader;
        const QByteArray headerTail = ',' + QStringList(ResultRow::header.mid(older.size())).join(',').toUtf8();
        QVERIFY(lines.first().endsWith(headerTail));
        for (QByteArray &line : lines)
            line.chop(line.isEmpty() ? 0 : line.startsWith("index") ? headerTail.size() : ResultRow::header.size() - older.size());
        QVERIFY(csv.open(QIODevice::WriteOnly | QIODevice::Truncate));
        csv.write(lines.join('\n'));
    }
    const QString history = scratch.filePath(QStringLiteral("older.sqlite"));
    QCOMPARE(runSweepTool({"report", folders.first()}).exitCode, 0);
    QCOMPARE(runSweepTool({"compare", folders.first(), folders.last(), "--out", scratch.filePath("older-compare")}).exitCode, 1);
    const ToolRun imported = runSweepTool({"import", folders.first(), "--history", history});
    QVERIFY2(imported.exitCode == 0, qPrintable(imported.errors));
    const ToolRun checked = runSweepTool({"check", folders.last(), "--history", history});
    QCOMPARE(checked.exitCode, 1);
    QVERIFY2(checked.output.contains(QLatin1String("changed  13 ")), qPrintable(checked.output));

    // A history of the first schema: a mode row per mode, no voltage; it is brought up to date.
    const QString older = scratch.filePath(QStringLiteral("schema-one.sqlite"));
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema one"));
        file.setDatabaseName(older);
        QVERIFY(file.open());
        QSqlQuery query(file);
        for (const char *statement :
             {"CREATE TABLE runs (run_id TEXT PRIMARY KEY, started_utc TEXT NOT NULL, ended_utc TEXT, outcome TEXT NOT NULL,"
              " host TEXT NOT NULL, login TEXT NOT NULL, port TEXT NOT NULL, board_id TEXT NOT NULL, firmware TEXT NOT NULL,"
              " note TEXT NOT NULL, meter_identity TEXT NOT NULL, settings TEXT NOT NULL, folder TEXT NOT NULL)",
              "CREATE TABLE tags (run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE, tag TEXT NOT NULL,"
              " value TEXT NOT NULL, PRIMARY KEY (run_id, tag))",
              "CREATE TABLE modes (run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE, idx INTEGER NOT NULL,"
              " mode TEXT NOT NULL, started_utc TEXT NOT NULL, samples INTEGER NOT NULL, mean_a DOUBLE PRECISION,"
              " min_a DOUBLE PRECISION, max_a DOUBLE PRECISION, stdev_a DOUBLE PRECISION, overloads INTEGER NOT NULL,"
              " power_w DOUBLE PRECISION, coremark DOUBLE PRECISION, coremark_per_ma DOUBLE PRECISION,"
              " limit_min_a DOUBLE PRECISION, limit_max_a DOUBLE PRECISION, verdict TEXT NOT NULL, PRIMARY KEY (run_id, idx))",
              "INSERT INTO runs VALUES ('r1', '2026-11-02T10:00:00.000Z', '2026-11-02T10:05:00.000Z', 'completed', 'h', 'u', 'p',"
              " 'old', 'v1', '', 'meter', '{\"nplc\":1}', '/nowhere')",
              "INSERT INTO modes VALUES ('r1', 5, 'STOP2 + RTC', '2026-11-02T10:01:00.000Z', 10, 1.3e-6, 1.2e-6, 1.4e-6, 1e-8,"
              " 0, NULL, NULL, NULL, NULL, NULL, '')",
              "PRAGMA user_version = 1"})
            QVERIFY2(query.exec(QLatin1String(statement)), qPrintable(query.lastError().text()));
        file.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema one"));
    const ToolRun table = runSweepTool({"table", "--history", older, "--out", scratch.filePath("older-table")});
    QVERIFY2(table.exitCode == 0, qPrintable(table.errors));
    QCOMPARE(contentOf(scratch.filePath("older-table/table.csv")),
             QByteArray("index,mode,vdd_v,temperature_c,boards,typ_a,min_a,max_a,stdev_a\n5,STOP2 + RTC,,,1,1.3e-06,1.3e-06,1.3e-06,\n"));
    const auto migrated = History::openChosen(older, &error);
    QVERIFY2(migrated, qPrintable(error));
    const auto rows = migrated->modeRows(QStringLiteral("r1"), &error);
    QVERIFY2(rows && rows->size() == 1, qPrintable(error));
    QCOMPARE(rows->first().voltageKey(), ResultRow::noVoltage);
}

QTEST_MAIN(CampaignTest)
#include "tst_campaign.moc"
