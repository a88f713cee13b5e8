// A board that goes away, or a port that stays busy, never crashes the
// program or keeps it busy, and the operator hears of it at the next Confirm.
#include "board/seriallink.h"
#include "tests/support/dialogonboard.h"
#include "tests/support/processorclock.h"
#include "tests/support/windowonboard.h"

#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

namespace {

// Holds a box open: unplugs the board as soon as the box is up, then
// measures the processor time the program takes in the next three seconds.
std::function<bool()> unplugDuringBox(BoardSimulator &board, double &processorSeconds)
{
    auto clock = std::make_shared<ProcessorClock>();
    auto since = std::make_shared<QElapsedTimer>();
    return [&board, &processorSeconds, clock, since] {
        if (!since->isValid()) {
            board.vanish();
            clock->start();
            since->start();
        }
        if (since->elapsed() < 3000)
            return false;
        processorSeconds = clock->seconds();
        return true;
    };
}

double processorSecondsOverThreeIdleSeconds()
{
    ProcessorClock clock;
    clock.start();
    QTest::qWait(3000);
    return clock.seconds();
}

void confirm(MainWindow &window, int mode)
{
    window.findChild<QComboBox *>(QStringLiteral("comboBox_2"))->setCurrentIndex(mode);
    window.findChild<QPushButton *>(QStringLiteral("pushButton_2"))->click();
}

} // namespace

class PortFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void boardUnpluggedDuringTheDeviceStatusBox();
    void boardUnpluggedDuringABox_data();
    void boardUnpluggedDuringABox();
    void boardUnpluggedJustBeforeConfirm();
    void connectPressedFiftyTimesOnABusyPort();
    void oneOfTwoBoardsUnplugged();
};

void PortFaultsTest::cleanup()
{
    qDeleteAll(powerModeWindows());
}

void PortFaultsTest::boardUnpluggedDuringTheDeviceStatusBox()
{
    DialogOnBoard rig;
    double busy = -1;
    rig.watcher.holdOpen(QStringLiteral("Device status"), unplugDuringBox(rig.board, busy));

    rig.pressConnect();

    QVERIFY2(busy >= 0 && usedUnderAThirdOfACore(busy, 3), qPrintable(QString::number(busy)));
    QVERIFY(!rig.port()->isOpen());
    QCOMPARE(powerModeWindows().size(), 1);
    rig.watcher.clear();
    confirm(*powerModeWindows().first(), 0);
    QCOMPARE(rig.watcher.boxes().size(), 1);
    QCOMPARE(rig.watcher.boxes().first().title, QStringLiteral("ERROR"));
}

void PortFaultsTest::boardUnpluggedDuringABox_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("test box") << QStringLiteral("Power consumption test");
    QTest::newRow("score box") << QStringLiteral("CoreMark Score Display");
}

void PortFaultsTest::boardUnpluggedDuringABox()
{
    QFETCH(QString, box);
    WindowOnBoard rig;
    double busy = -1;
    rig.watcher.holdOpen(box, unplugDuringBox(rig.board, busy));

    rig.confirm(15);   // the board answers with its CoreMark report
    QTRY_VERIFY_WITH_TIMEOUT(busy >= 0, 10000);

    QVERIFY2(usedUnderAThirdOfACore(busy, 3), qPrintable(QString::number(busy)));
    QVERIFY(!rig.port()->isOpen());
    rig.watcher.clear();
    rig.confirm(0);
    QCOMPARE(rig.watcher.boxes().size(), 1);
    QCOMPARE(rig.watcher.boxes().first().title, QStringLiteral("ERROR"));
}

void PortFaultsTest::boardUnpluggedJustBeforeConfirm()
{
    WindowOnBoard rig;
    rig.board.vanish();
    // No event has run since, so no read error has closed the port yet.
    QVERIFY(rig.port()->isOpen());

    rig.confirm(0);

    QCOMPARE(rig.watcher.boxes().size(), 1);
    QCOMPARE(rig.watcher.boxes().first().title, QStringLiteral("ERROR"));
    QVERIFY(!rig.watcher.boxes().first().informativeText.isEmpty());
}

void PortFaultsTest::connectPressedFiftyTimesOnABusyPort()
{
    DialogOnBoard rig;
    QSerialPort holder;
    QVERIFY(SerialLink::open(holder, rig.board.portPath()));

    for (int press = 0; press < 50; ++press)
        rig.pressConnect();

    QCOMPARE(rig.watcher.boxes(QStringLiteral("Port status")).size(), 50);
    QCOMPARE(rig.watcher.boxes().size(), 50);
    QVERIFY(powerModeWindows().isEmpty());
    QVERIFY(!rig.port()->isOpen());
    const double busy = processorSecondsOverThreeIdleSeconds();
    QVERIFY2(usedUnderAThirdOfACore(busy, 3), qPrintable(QString::number(busy)));
}

void PortFaultsTest::oneOfTwoBoardsUnplugged()
{
    WindowOnBoard first;
    BoardSimulator secondBoard;
    first.folder.writeHandOff(secondBoard.portPath().toLocal8Bit() + '\n');
    MainWindow second;

    first.board.vanish();
    const double busy = processorSecondsOverThreeIdleSeconds();
    QVERIFY2(usedUnderAThirdOfACore(busy, 3), qPrintable(QString::number(busy)));

    confirm(second, 9);
    QTRY_COMPARE(secondBoard.received(), QByteArray("9\r"));
    first.confirm(9);
    QCOMPARE(first.watcher.boxes().size(), 2);
    QCOMPARE(first.watcher.boxes().first().title, QStringLiteral("Power consumption test"));
    QCOMPARE(first.watcher.boxes().last().title, QStringLiteral("ERROR"));
}

QTEST_MAIN(PortFaultsTest)
#include "tst_portfaults.moc"
