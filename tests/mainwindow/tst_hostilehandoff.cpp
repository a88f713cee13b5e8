// Whatever data.txt holds, the window opens, and a Confirm reports the ERROR
// box unless the file really names a serial port.
#include "mainwindow/mainwindow.h"
#include "simulator/boardsimulator.h"
#include "tests/support/boxwatcher.h"
#include "tests/support/scratchfolder.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

class HostileHandOffTest : public QObject
{
    Q_OBJECT

private slots:
    void confirmReportsAnErrorForANameThatIsNoPort_data();
    void confirmReportsAnErrorForANameThatIsNoPort();
};

void HostileHandOffTest::confirmReportsAnErrorForANameThatIsNoPort_data()
{
    // $BOARD stands for the simulated board's port, $FOLDER for the working folder.
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("10 MB in one line") << QByteArray(10 * 1024 * 1024, 'a') + '\n';
    QTest::newRow("zero bytes only") << QByteArray("\0\0\0\n", 4);
    QTest::newRow("a port, a zero byte and more") << QByteArray("$BOARD\0/../ptmx\n", 16);
    QTest::newRow("invalid UTF-8") << QByteArray("/dev/\xff\xfe\xc0\x80tty\n");
    QTest::newRow("a regular file") << QByteArray("$FOLDER/notes\n");
    QTest::newRow("a directory") << QByteArray("$FOLDER\n");
    QTest::newRow("/dev/null") << QByteArray("/dev/null\n");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("a directory named data.txt") << QByteArray();
}

void HostileHandOffTest::confirmReportsAnErrorForANameThatIsNoPort()
{
    QFETCH(QByteArray, content);
    ScratchFolder folder;
    BoardSimulator board;
    BoxWatcher watcher;
    QFile notes(folder.path() + QStringLiteral("/notes"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("a regular file\n");
    notes.close();
    if (content.isNull())
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("data.txt")));
    else
        folder.writeHandOff(content.replace("$BOARD", board.portPath().toLocal8Bit())
                                   .replace("$FOLDER", folder.path().toLocal8Bit()));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.findChild<QSerialPort *>()->isOpen());
    window.findChild<QPushButton *>(QStringLiteral("pushButton_2"))->click();

    QCOMPARE(watcher.boxes().size(), 1);
    QCOMPARE(watcher.boxes().first().title, QStringLiteral("ERROR"));
    QTest::qWait(50);
    QCOMPARE(board.received(), QByteArray());
}

QTEST_MAIN(HostileHandOffTest)
#include "tst_hostilehandoff.moc"
