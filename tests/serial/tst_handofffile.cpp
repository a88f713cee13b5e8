#include "serial/handofffile.h"
#include "tests/support/scratchfolder.h"

#include <QtTest>

class HandOffFileTest : public QObject
{
    Q_OBJECT

private slots:
    void writesTheNameAndOneLineEnd_data();
    void writesTheNameAndOneLineEnd();
    void overwritesAnEarlierLongerFile();
    void readsTheFirstLineOnly_data();
    void readsTheFirstLineOnly();
    void readsAMissingFileAsNoName();
    void reportsAWriteIntoAReadOnlyFolder();
};

void HandOffFileTest::writesTheNameAndOneLineEnd_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("pty") << QStringLiteral("/dev/pts/7") << QByteArray("/dev/pts/7\n");
    QTest::newRow("short name") << QStringLiteral("ttyACM0") << QByteArray("ttyACM0\n");
    QTest::newRow("empty list") << QString() << QByteArray("\n");
}

void HandOffFileTest::writesTheNameAndOneLineEnd()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    ScratchFolder folder;
    QVERIFY(HandOffFile::write(name));
    QCOMPARE(folder.handOffContent(), content);
    QCOMPARE(HandOffFile::read(), name);
}

void HandOffFileTest::overwritesAnEarlierLongerFile()
{
    ScratchFolder folder;
    folder.writeHandOff("/dev/serial/by-id/a-much-longer-earlier-name\nsecond line\n");
    QVERIFY(HandOffFile::write(QStringLiteral("ttyS0")));
    QCOMPARE(folder.handOffContent(), QByteArray("ttyS0\n"));
}

void HandOffFileTest::readsTheFirstLineOnly_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");
    QTest::newRow("several lines") << QByteArray("ttyUSB0\nttyUSB1\n") << QStringLiteral("ttyUSB0");
    QTest::newRow("written on Windows") << QByteArray("COM3\r\nCOM4\r\n") << QStringLiteral("COM3");
    QTest::newRow("no line end") << QByteArray("ttyACM1") << QStringLiteral("ttyACM1");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("no length limit") << QByteArray(100000, 'x') + "\nrest" << QString(100000, QLatin1Char('x'));
}

void HandOffFileTest::readsTheFirstLineOnly()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    ScratchFolder folder;
    folder.writeHandOff(content);
    QCOMPARE(HandOffFile::read(), name);
}

void HandOffFileTest::readsAMissingFileAsNoName()
{
    ScratchFolder folder;
    QCOMPARE(HandOffFile::read(), QString());
}

void HandOffFileTest::reportsAWriteIntoAReadOnlyFolder()
{
    ScratchFolder folder;
    folder.writeHandOff("ttyOLD\n");
    folder.makeReadOnly();
    QVERIFY(!HandOffFile::write(QStringLiteral("ttyNEW")));
    QCOMPARE(folder.handOffContent(), QByteArray("ttyOLD\n"));
}

QTEST_GUILESS_MAIN(HandOffFileTest)
#include "tst_handofffile.moc"
