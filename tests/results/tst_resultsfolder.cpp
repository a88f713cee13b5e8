// What a results folder holds: each mode's statistics and verdict from its
// readings, the board's reply as it came, and files that are replaced whole,
// never shared by two runs and never left half written.
#include "results/resultsfolder.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(Limits)

namespace {

QList<Sample> samplesOf(const QList<double> &amperes, int overloads = 0)
{
    QList<Sample> samples;
    for (double current : amperes)
        samples << Sample {1.0, {current, false}};
    for (int i = 0; i < overloads; ++i)
        samples << Sample {1.0, {0, true}};
    return samples;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ino_t inodeOf(const QString &path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

class ResultsFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void statisticsAndVerdictOfTheReadings_data();
    void statisticsAndVerdictOfTheReadings();
    void keepsAllTheBoardSentButNuls();
    void replacesFilesWholeNeverInPlace();
    void aModeMeasuredAgainReplacesItsReadings();
    void freshFoldersNeverCollide();
    void aClaimedFolderIsOneRunsAndLeavesNothingEmpty();

private:
    QTemporaryDir scratch;
};

void ResultsFolderTest::statisticsAndVerdictOfTheReadings_data()
{
    QTest::addColumn<QList<double>>("currents");
    QTest::addColumn<int>("overloads");
    QTest::addColumn<Limits>("limits");
    QTest::addColumn<QString>("stdev");     // empty: none
    QTest::addColumn<QString>("verdict");
    // The sample standard deviation, over n − 1: √(5/3) µA, where n would give √(5/4).
    QTest::newRow("four readings") << QList<double> {1e-6, 2e-6, 3e-6, 4e-6} << 0 << Limits {1e-6, 3e-6} << "1.290994449e-06"
                                   << "PASS";
    QTest::newRow("a single reading") << QList<double> {2e-6} << 0 << Limits {} << "" << "";
    QTest::newRow("mean above the maximum") << QList<double> {4e-6} << 0 << Limits {std::nullopt, 3e-6} << "" << "FAIL";
    // An overload may lie above any maximum: none can be shown to pass it.
    QTest::newRow("one in range, nine overloads") << QList<double> {1e-6} << 9 << Limits {std::nullopt, 3e-6} << "" << "FAIL";
    QTest::newRow("every reading an overload") << QList<double>() << 10 << Limits {std::nullopt, 3e-6} << "" << "FAIL";
    QTest::newRow("overloads and a minimum only") << QList<double>() << 10 << Limits {1e-6, std::nullopt} << "" << "";
}

void ResultsFolderTest::statisticsAndVerdictOfTheReadings()
{
    QFETCH(QList<double>, currents);
    QFETCH(int, overloads);
    QFETCH(Limits, limits);
    QFETCH(QString, stdev);
    QFETCH(QString, verdict);
    const ResultRow row = ResultRow::measured(4, QDateTime::currentDateTimeUtc(), samplesOf(currents, overloads), {}, limits, 3.3);
    QCOMPARE(row.fields().at(7), stdev);
    QCOMPARE(row.verdict, verdict);
    QCOMPARE(row.overloads, overloads);
    QCOMPARE(row.missingCurrent().isEmpty(), !currents.isEmpty());
}

void ResultsFolderTest::keepsAllTheBoardSentButNuls()
{
    // A NUL from a glitch at reset, one in the text, and a byte that is no UTF-8.
    const QByteArray reply("\0CoreMark 1.0 : 166.42 / GCC\r\nA\0B\xff" "C", 36);
    const ResultRow row = ResultRow::measured(15, QDateTime::currentDateTimeUtc(), samplesOf({10e-3}), reply, {}, {});
    QCOMPARE(row.boardReply, QStringLiteral("CoreMark 1.0 : 166.42 / GCC\r\nAB\ufffdC"));
    QCOMPARE(row.coremark, std::optional<double>(166.42));
}

void ResultsFolderTest::replacesFilesWholeNeverInPlace()
{
    const QString path = scratch.filePath(QStringLiteral("replaced"));
    ResultsFolder folder(path);
    QString error;
    QVERIFY2(folder.claim(&error), qPrintable(error));
    QVERIFY(folder.commit(ResultRow::measured(0, QDateTime::currentDateTimeUtc(), samplesOf({33e-9}), {}, {}, {}),
                          samplesOf({33e-9}), QJsonObject(), RunFacts(), &error));
    // A reader that holds the file meanwhile keeps reading the whole old one.
    const QString held = scratch.filePath(QStringLiteral("held.csv"));
    QCOMPARE(::link(QFile::encodeName(folder.filePath(QStringLiteral("results.csv"))).constData(),
                    QFile::encodeName(held).constData()), 0);
    const QByteArray before = contentOf(held);
    const ino_t inode = inodeOf(folder.filePath(QStringLiteral("results.csv")));
    QVERIFY(folder.commit(ResultRow::measured(1, QDateTime::currentDateTimeUtc(), samplesOf({118e-9}), {}, {}, {}),
                          samplesOf({118e-9}), QJsonObject(), RunFacts(), &error));
    QCOMPARE(contentOf(held), before);
    QVERIFY(inodeOf(folder.filePath(QStringLiteral("results.csv"))) != inode);
    QCOMPARE(ResultsFolder::readRows(path, &error)->size(), 2);
    // No temporary file is left beside them.
    QCOMPARE(QDir(path).entryList(QDir::Files | QDir::Hidden),
             QStringList({".pellmora.lock", "results.csv", "results.json", "samples.csv"}));
}

void ResultsFolderTest::aModeMeasuredAgainReplacesItsReadings()
{
    const QString path = scratch.filePath(QStringLiteral("again"));
    QString error;
    {
        ResultsFolder folder(path);
        QVERIFY(folder.claim(&error));
        QVERIFY(folder.commit(ResultRow::measured(0, QDateTime::currentDateTimeUtc(), samplesOf({1e-6, 1e-6, 1e-6}), {}, {}, {}),
                              samplesOf({1e-6, 1e-6, 1e-6}), QJsonObject(), RunFacts(), &error));
    }
    ResultsFolder resumed(path);
    QVERIFY(resumed.claim(&error) && resumed.load(&error));
    QVERIFY(resumed.commit(ResultRow::measured(0, QDateTime::currentDateTimeUtc(), samplesOf({2e-6, 2e-6}), {}, {}, {}),
                           samplesOf({2e-6, 2e-6}), QJsonObject(), RunFacts(), &error));
    QCOMPARE(ResultsFolder::readRows(path, &error)->size(), 1);
    const QByteArray samples = contentOf(resumed.filePath(QStringLiteral("samples.csv")));
    QCOMPARE(samples, QByteArray("index,mode,sample,t_s,current_a,vdd_v\n0,SHUTDOWN,1,1.000,2e-06,\n0,SHUTDOWN,2,1.000,2e-06,\n"));
}

void ResultsFolderTest::freshFoldersNeverCollide()
{
    QString error;
    QStringList made;
    for (int run = 0; run < 3; ++run)
        made << ResultsFolder::createFresh(scratch.path(), QStringLiteral("sweep"), &error).value_or(QString());
    QCOMPARE(made.size(), 3);
    QVERIFY2(made.at(0) != made.at(1) && made.at(1) != made.at(2) && made.at(0) != made.at(2), qPrintable(made.join(' ')));
    for (const QString &folder : made)
        QVERIFY(QFileInfo(folder).isDir());
}

void ResultsFolderTest::aClaimedFolderIsOneRunsAndLeavesNothingEmpty()
{
    const QString path = scratch.filePath(QStringLiteral("claimed"));
    QString error;
    {
        ResultsFolder first(path);
        QVERIFY2(first.claim(&error), qPrintable(error));
        ResultsFolder second(path);
        QVERIFY(!second.claim(&error));
        QCOMPARE(error, QStringLiteral("another sweep is writing to %1").arg(path));
    }
    QVERIFY2(!QFileInfo::exists(path), "a folder made for a run that finished nothing is removed");

    {
        ResultsFolder kept(path);
        QVERIFY(kept.claim(&error));
        QVERIFY(kept.commit(ResultRow::measured(0, QDateTime::currentDateTimeUtc(), samplesOf({1e-6}), {}, {}, {}),
                            samplesOf({1e-6}), QJsonObject(), RunFacts(), &error));
    }
    QCOMPARE(ResultsFolder::readRows(path, &error)->size(), 1);

    // A file where the folder should be is refused, and left alone.
    QFile file(scratch.filePath(QStringLiteral("a-file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(!ResultsFolder(file.fileName()).claim(&error));
    QVERIFY2(error.contains(QLatin1String("is a file, not a folder")), qPrintable(error));
}

QTEST_GUILESS_MAIN(ResultsFolderTest)
#include "tst_resultsfolder.moc"
