// Meters of three dialects, each run end to end with its profile from
// docs/meter-profiles over a socket and a serial line; each quirk a profile
// may name, shown needed by the dialect that has it; and the README's
// profiles, which must be the ones the suite runs.
#include "results/resultsfolder.h"
#include "simulator/boardsimulator.h"
#include "simulator/metersimulator.h"
#include "simulator/scpiserver.h"
#include "tests/support/sweepprocess.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

const QString profiles = QStringLiteral(SOURCE_DIR "/docs/meter-profiles/");

// The board and a meter of one dialect in series with it, on both its ports.
struct DialectBench
{
    explicit DialectBench(MeterDialect dialect)
        : meter([this] { return board.current(); }, dialect)
    {
        ports.listen(0);
        ports.openSerial();
    }

    QString address(bool serial) const
    {
        return serial ? QStringLiteral("serial:%1").arg(ports.serialPath()) : QStringLiteral("tcp:127.0.0.1:%1").arg(ports.port());
    }

    BoardSimulator board;
    MeterSimulator meter;
    ScpiServer ports {meter};
};

QList<ResultRow> rowsOf(const QString &folder)
{
    QString error;
    return ResultsFolder::readRows(folder, &error).value_or(QList<ResultRow>());
}

// A profile's file with one key's lines left out.
QString withoutKey(const QString &profile, const QString &key, const QString &folder)
{
    QFile in(profiles + profile);
    in.open(QIODevice::ReadOnly | QIODevice::Text);
    const QString path = folder + QLatin1Char('/') + key + QLatin1String(".ini");
    QFile out(path);
    out.open(QIODevice::WriteOnly | QIODevice::Text);
    for (const QByteArray &line : in.readAll().split('\n')) {
        if (!line.startsWith(key.toLatin1() + ' '))
            out.write(line + '\n');
    }
    return path;
}

// The lines of a profile that say something: no comments, no blank lines.
QStringList settingsOf(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty() && !line.trimmed().startsWith(QLatin1Char('#')))
            lines << line.trimmed();
    }
    return lines;
}

} // namespace

class MeterDialectsTest : public QObject
{
    Q_OBJECT

private slots:
    void eachDialectRunsWithItsProfile_data();
    void eachDialectRunsWithItsProfile();
    void aFixedRangeByIndexOverloadsAsTheDialectSays();
    void eachQuirkIsNeededByTheDialectThatHasIt_data();
    void eachQuirkIsNeededByTheDialectThatHasIt();
    void theReadmesProfilesAreTheOnesRun();

private:
    QTemporaryDir scratch;
};

void MeterDialectsTest::eachDialectRunsWithItsProfile_data()
{
    QTest::addColumn<QString>("dialect");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("modes");
    for (const QString &dialect : MeterDialects::names()) {
        // The function dialect takes over a second a mode: one is enough.
        const QString modes = dialect == QLatin1String("function") ? QStringLiteral("13") : QStringLiteral("4,9,13");
        QTest::newRow(qPrintable(dialect + QLatin1String(" tcp"))) << dialect << false << modes;
        QTest::newRow(qPrintable(dialect + QLatin1String(" serial"))) << dialect << true << modes;
    }
}

void MeterDialectsTest::eachDialectRunsWithItsProfile()
{
    QFETCH(QString, dialect);
    QFETCH(bool, serial);
    QFETCH(QString, modes);
    DialectBench bench(*MeterDialects::parse(dialect));
    const QString out = scratch.filePath(QStringLiteral("%1-%2").arg(dialect).arg(serial));
    const ToolRun run = runSweepTool({"run", "--port", bench.board.portPath(), "--meter", bench.address(serial), "--meter-profile",
                                      profiles + dialect + ".ini", "--reset", "none", "--modes", modes, "--samples", "3",
                                      "--nplc", "0.1", "--settle", "0.1", "--boot", "0.1", "--history", "none", "--out", out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QList<ResultRow> rows = rowsOf(out);
    QCOMPARE(rows.size(), modes.split(QLatin1Char(',')).size());
    for (const ResultRow &row : rows) {
        QCOMPARE(row.overloads, 0);
        QVERIFY2(qAbs(*row.mean / BoardSimulator::modeCurrent(row.index) - 1) < 0.05,
                 qPrintable(QStringLiteral("mode %1: %2").arg(row.index).arg(*row.mean)));
    }
    // Without a sample count, a read per reading, and one for the entry check.
    if (dialect == QLatin1String("function"))
        QCOMPARE(int(bench.meter.received().count(":MEAS:CURR:DC?")), 3 + 1);
}

// 2 mA is range 1 of the function dialect's, which reads 9.8 mA as its 1E+30.
void MeterDialectsTest::aFixedRangeByIndexOverloadsAsTheDialectSays()
{
    DialectBench bench(MeterDialect::Function);
    const QString out = scratch.filePath(QStringLiteral("range-by-index"));
    const ToolRun run = runSweepTool({"run", "--port", bench.board.portPath(), "--meter", bench.address(false), "--meter-profile",
                                      profiles + "function.ini", "--reset", "none", "--modes", "13", "--samples", "2", "--range",
                                      "0.0015", "--settle", "0.1", "--boot", "0.1", "--entry-check", "off", "--history", "none",
                                      "--out", out});
    QVERIFY2(bench.meter.received().contains(":FUNC:CURR:DC;:MEAS:CURR:DC 1"), qPrintable(bench.meter.received().join(' ')));
    const QList<ResultRow> rows = rowsOf(out);
    QVERIFY2(rows.size() == 1, qPrintable(run.errors));
    QCOMPARE(rows.first().overloads, 2);
    QVERIFY(!rows.first().mean);
}

// The function dialect's profile without one of its quirks' keys fails as
// such a meter would make it fail.
void MeterDialectsTest::eachQuirkIsNeededByTheDialectThatHasIt_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("failure");
    // The commands after a switch are lost, the error query among them.
    QTest::newRow("command_delay_ms") << "command_delay_ms" << "meter did not answer :SYST:ERR? within 1.0 s";
    // The first reading after a switch takes longer than its readings need.
    QTest::newRow("read_timeout_s") << "read_timeout_s" << "meter did not answer :MEAS:CURR:DC? within";
    // One read gives one reading, not the three asked for.
    QTest::newRow("readings_per_read") << "readings_per_read" << "say how many readings each read gives (readings_per_read = 1)";
}

void MeterDialectsTest::eachQuirkIsNeededByTheDialectThatHasIt()
{
    QFETCH(QString, key);
    QFETCH(QString, failure);
    DialectBench bench(MeterDialect::Function);
    const QString profile = withoutKey(QStringLiteral("function.ini"), key, scratch.path());
    const ToolRun run = runSweepTool({"run", "--port", bench.board.portPath(), "--meter", bench.address(false), "--meter-profile",
                                      profile, "--reset", "none", "--modes", "13", "--samples", "3", "--settle", "0.1", "--boot",
                                      "0.1", "--history", "none", "--out", scratch.filePath(key)});
    QVERIFY2(run.exitCode == 2 || run.exitCode == 3, qPrintable(run.errors));
    QVERIFY2(run.errors.contains(failure), qPrintable(run.errors));
}

// Every profile the README shows is a file of docs/ the suite runs, line for line.
void MeterDialectsTest::theReadmesProfilesAreTheOnesRun()
{
    QFile readme(QStringLiteral(SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(readme.readAll());
    static const QRegularExpression block(QStringLiteral("```ini\\n# ([a-z-]+\\.ini):[^\\n]*\\n(.*?)```"),
                                          QRegularExpression::DotMatchesEverythingOption);
    QStringList shown;
    for (auto match = block.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const QString name = found.captured(1);
        QString path;
        for (const QString &folder : {QStringLiteral("meter-profiles"), QStringLiteral("supply-profiles")}) {
            if (QFileInfo::exists(QStringLiteral(SOURCE_DIR "/docs/%1/%2").arg(folder, name)))
                path = QStringLiteral(SOURCE_DIR "/docs/%1/%2").arg(folder, name);
        }
        QVERIFY2(!path.isEmpty(), qPrintable(name + QLatin1String(" is no file of docs/")));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(settingsOf(found.captured(2)), settingsOf(QString::fromUtf8(file.readAll())));
        shown << name;
    }
    // Every ini block is one of them: none without its file's name.
    QCOMPARE(int(text.count(QLatin1String("```ini"))), shown.size());
    for (const QString &dialect : MeterDialects::names())
        QVERIFY2(shown.contains(dialect + QLatin1String(".ini")), qPrintable(dialect));
}

QTEST_GUILESS_MAIN(MeterDialectsTest)
#include "tst_meterdialects.moc"
