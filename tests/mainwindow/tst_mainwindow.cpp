#include "mainwindow/mainwindow.h"
#include "simulator/boardsimulator.h"
#include "tests/support/boxwatcher.h"
#include "tests/support/scratchfolder.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

const QString testTitle = QStringLiteral("Power consumption test");
const QString scoreTitle = QStringLiteral("CoreMark Score Display");
const QString opener = QStringLiteral("<p><b><font size=\"4\" face=\"arial\" color=\"black\">");
const QString instruction =
    QStringLiteral("Please measure current then use Reset button to select another test</font></p>");
const QString resetPrompt = QStringLiteral(
    "<html><head/><body><p align=\"center\"><span style=\" color:#00007f;\">Please press reset button</span></p>"
    "<p align=\"center\"><span style=\" color:#00007f;\">then select a mode option from below</span></p></body></html>");
const QString coreMarkWait = QStringLiteral(
    "<html><head/><body><p align=\"center\"><span style=\" color:#00007f;\">Calculating CoreMark score </span></p>"
    "<p align=\"center\"><span style=\" color:#00007f;\">Please wait...</span></p></body></html>");

struct ModeRow
{
    const char *listItem;
    const char *testLine;
};

const ModeRow modeRows[] = {
    {"SHUTDOWN", "SHUTDOWN"},
    {"STANDBY", "STANDBY"},
    {"STANDBY + RTC", "STANDBY + RTC"},
    {"STANDBY + RTC + SRAM2", "STANDBY + RTC + SRAM2"},
    {"STOP2", "STOP2"},
    {"STOP2   + RTC", "STOP2 + RTC"},
    {"STOP1   + MR OFF", "STOP1 + MR OFF"},
    {"STOP1   + MR OFF + RTC", "STOP1 + MR OFF + RTC"},
    {"LPSLEEP,  2MHz", "LPSLEEP, 2MHz"},
    {"LPRUN,    2MHz", "LPRUN, 2MHz"},
    {"SLEEP Range 2, 24MHz", "SLEEP Range 2, 24MHz"},
    {"SLEEP Range 1, 80MHz", "SLEEP Range 1, 80MHz"},
    {"RUN_while (1)   Range 2, 24MHz", "RUN_while(1) Range 2, 24MHz,KORA ON exept prefetch"},
    {"RUN-while (1)   Range 1, 80MHz", "RUN_while(1) Range 1, 80MHz ,KORA ON exept prefetch"},
    {"RUN_CoreMark Range 2, 24MHz", "RUN_CoreMark Range 2, 24MHz ,KORA ON exept prefetch"},
    {"RUN_CoreMark Range 1, 80MHz", "RUN_CoreMark Range 1, 80MHz ,KORA ON exept prefetch"},
    {"RUN_reduced_code Range 2, 24MHz", "RUN_reduced_code Range 2, 24MHz ,KORA ON exept prefetch"},
    {"RUN_reduced_code Range 1, 80Mhz", "RUN_reduced_code Range 1, 80MHz ,KORA ON exept prefetch"},
};

double processorSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A power-mode window on its own simulated board, in its own working folder.
struct Bench
{
    ScratchFolder folder;
    BoardSimulator board;
    BoxWatcher watcher;
    std::unique_ptr<MainWindow> window;

    explicit Bench(const QByteArray &handOff = QByteArray())
    {
        board.setCoreMarkDelay(20);
        folder.writeHandOff(handOff.isNull() ? board.portPath().toLocal8Bit() + '\n' : handOff);
        window = std::make_unique<MainWindow>();
        window->show();
    }
    QComboBox *list() const { return window->findChild<QComboBox *>(QStringLiteral("comboBox_2")); }
    QLabel *status() const { return window->findChild<QLabel *>(QStringLiteral("label")); }
    QPushButton *confirmButton() const { return window->findChild<QPushButton *>(QStringLiteral("pushButton_2")); }
    QSerialPort *port() const { return window->findChild<QSerialPort *>(); }
    void confirm(int mode)
    {
        list()->setCurrentIndex(mode);
        confirmButton()->click();
    }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void showsItsFormAsBuilt();
    void returnClicksConfirm();
    void confirmSendsTheModeAndShowsTheTest_data();
    void confirmSendsTheModeAndShowsTheTest();
    void coreMarkNoticeComesAndGoes();
    void showsTheBoardsReplyAsPlainText_data();
    void showsTheBoardsReplyAsPlainText();
    void showsNoBoxForAnEmptyReply();
    void showsOutputFromBeforeTheFirstConfirmWithTheFirstReply();
    void showsAScoreOnTopOfTheOpenTestBox();
    void confirmWithoutARowReportsAnError();
    void confirmOnAClosedPortReportsAnError();
    void oneReplyIsReadOnceAfterManyConfirms();
    void eachWindowTalksToItsOwnBoard();
    void anUnpluggedBoardLeavesTheProgramIdle();
    void aChattyBoardCannotGrowTheReadBuffer();
};

void MainWindowTest::showsItsFormAsBuilt()
{
    Bench bench;
    MainWindow &window = *bench.window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Power Modes for VAZUVOD4 Pondra"));
    QCOMPARE(window.size(), QSize(515, 532));
    QCOMPARE(window.minimumSize(), QSize(515, 532));
    QCOMPARE(window.maximumSize(), QSize(515, 532));
    QStringList expectedItems;
    for (const ModeRow &row : modeRows)
        expectedItems << QString::fromLatin1(row.listItem);
    QStringList items;
    for (int i = 0; i < bench.list()->count(); ++i)
        items << bench.list()->itemText(i);
    QCOMPARE(items, expectedItems);
    QCOMPARE(bench.list()->currentIndex(), 0);
    QVERIFY(!bench.list()->isEditable());
    QCOMPARE(bench.status()->text(), resetPrompt);

    auto *picture = window.findChild<QLabel *>(QStringLiteral("label_5"));
    QCOMPARE(picture->size(), QSize(497, 371));
    QVERIFY(picture->text().isEmpty());
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
    QCOMPARE(bench.confirmButton()->text(), QStringLiteral("Confirm"));
    QCOMPARE(bench.confirmButton()->cursor().shape(), Qt::OpenHandCursor);

    QWidget *afterButton = bench.confirmButton()->nextInFocusChain();
    while (afterButton->focusPolicy() == Qt::NoFocus)
        afterButton = afterButton->nextInFocusChain();
    QCOMPARE(afterButton, bench.list());
}

void MainWindowTest::returnClicksConfirm()
{
    Bench bench;
    QApplication::setActiveWindow(bench.window.get());
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    QSignalSpy clicks(bench.confirmButton(), &QPushButton::clicked);

    QTest::keyClick(bench.window.get(), Qt::Key_Return);

    // A shortcut animates the click, which lands a moment later.
    QTRY_COMPARE(clicks.count(), 1);
    QCOMPARE(bench.watcher.boxes(testTitle).size(), 1);
    QTRY_COMPARE(bench.board.received(), QByteArray("0\r"));
}

void MainWindowTest::confirmSendsTheModeAndShowsTheTest_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("testLine");
    for (int mode = 0; mode < 18; ++mode) {
        const ModeRow &row = modeRows[mode];
        QTest::newRow(row.listItem) << mode
                                    << QStringLiteral("Executing test (%1)</font></p>").arg(QLatin1String(row.testLine));
    }
}

void MainWindowTest::confirmSendsTheModeAndShowsTheTest()
{
    QFETCH(int, mode);
    QFETCH(QString, testLine);
    Bench bench;

    bench.confirm(mode);

    QCOMPARE(bench.watcher.boxes().size(), 1);
    const BoxRecord box = bench.watcher.boxes().first();
    QCOMPARE(box.title, testTitle);
    QCOMPARE(box.text, opener + testLine + opener + instruction);
    QVERIFY(box.shownAsRichText);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QCOMPARE(box.iconPixmapSize, QSize(128, 128));
    QCOMPARE(box.parent, bench.window.get());

    const QByteArray command = QByteArray::number(mode) + '\r';
    QTRY_COMPARE(bench.board.received(), command);
    QCOMPARE(bench.board.commands(), QList<int>{mode});
    QCOMPARE(bench.status()->text(), mode == 15 ? coreMarkWait : resetPrompt);
}

void MainWindowTest::coreMarkNoticeComesAndGoes()
{
    Bench bench;
    bench.confirm(15);
    QCOMPARE(bench.status()->text(), coreMarkWait);
    bench.list()->setCurrentIndex(3);
    QCOMPARE(bench.status()->text(), coreMarkWait);
    bench.list()->setCurrentIndex(15);
    QCOMPARE(bench.status()->text(), resetPrompt);

    bench.confirm(14);
    QCOMPARE(bench.status()->text(), resetPrompt);
}

void MainWindowTest::showsTheBoardsReplyAsPlainText_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    const QByteArray report = BoardSimulator::coreMarkReport(15);
    QTest::newRow("CoreMark report") << report << QString::fromLatin1(report);
    QTest::newRow("stops at a zero byte") << QByteArray("abc\0def", 7) << QStringLiteral("abc");
    QTest::newRow("looks like markup") << QByteArray("<b>166</b><br>&amp;") << QStringLiteral("<b>166</b><br>&amp;");
    QTest::newRow("invalid UTF-8") << QByteArray("score \xff\xfe!") << QStringLiteral("score \uFFFD\uFFFD!");
    QTest::newRow("UTF-8") << QByteArray("80 MHz \xc2\xb5" "A") << QStringLiteral("80 MHz \u00b5A");
}

void MainWindowTest::showsTheBoardsReplyAsPlainText()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    Bench bench;
    bench.confirm(0);
    bench.board.send(reply);

    QTRY_COMPARE(bench.watcher.boxes(scoreTitle).size(), 1);
    const BoxRecord box = bench.watcher.boxes(scoreTitle).first();
    QCOMPARE(box.text, shown);
    QVERIFY(!box.shownAsRichText);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.parent, bench.window.get());
}

void MainWindowTest::showsNoBoxForAnEmptyReply()
{
    Bench bench;
    bench.confirm(0);
    bench.board.send(QByteArray(1, '\0'));
    QTest::qWait(300);
    QCOMPARE(bench.watcher.boxes(scoreTitle).size(), 0);
    QCOMPARE(bench.port()->bytesAvailable(), qint64(0));
}

void MainWindowTest::showsOutputFromBeforeTheFirstConfirmWithTheFirstReply()
{
    Bench bench;
    bench.board.send("early ");
    QTest::qWait(200);
    QCOMPARE(bench.watcher.boxes().size(), 0);

    bench.confirm(0);
    QTest::qWait(200);
    QCOMPARE(bench.watcher.boxes(scoreTitle).size(), 0);
    bench.board.send("late");
    QTRY_COMPARE(bench.watcher.boxes(scoreTitle).size(), 1);
    QCOMPARE(bench.watcher.boxes(scoreTitle).first().text, QStringLiteral("early late"));
}

void MainWindowTest::showsAScoreOnTopOfTheOpenTestBox()
{
    Bench bench;
    QString statusWhileTestBoxOpen;
    bench.watcher.holdOpen(testTitle, [&] {
        statusWhileTestBoxOpen = bench.status()->text();
        return !bench.watcher.boxes(scoreTitle).isEmpty();
    });

    bench.confirm(15);

    QCOMPARE(bench.watcher.boxes().size(), 2);
    QCOMPARE(bench.watcher.boxes().first().title, testTitle);
    QVERIFY(bench.watcher.boxes(scoreTitle).first().text.endsWith(
        QStringLiteral("CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK\r\n")));
    QCOMPARE(statusWhileTestBoxOpen, resetPrompt);   // the label changes only once the test box is closed
    QCOMPARE(bench.status()->text(), coreMarkWait);
}

void MainWindowTest::confirmWithoutARowReportsAnError()
{
    Bench bench;
    bench.list()->setCurrentIndex(-1);
    bench.status()->setText(coreMarkWait);
    bench.confirmButton()->click();

    QCOMPARE(bench.watcher.boxes().size(), 1);
    const BoxRecord box = bench.watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("ERROR"));
    QCOMPARE(box.text, QStringLiteral("An error has occured"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(bench.status()->text(), resetPrompt);
    QTest::qWait(50);
    QCOMPARE(bench.board.received(), QByteArray());
}

void MainWindowTest::confirmOnAClosedPortReportsAnError()
{
    Bench bench("/dev/no-such-board\n");
    QVERIFY(!bench.port()->isOpen());
    bench.status()->setText(coreMarkWait);

    bench.confirm(15);

    QCOMPARE(bench.watcher.boxes().size(), 1);
    const BoxRecord box = bench.watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("ERROR"));
    QCOMPARE(box.text, QStringLiteral("An error has occured"));
    QVERIFY(!box.informativeText.isEmpty());
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(bench.status()->text(), resetPrompt);
}

void MainWindowTest::oneReplyIsReadOnceAfterManyConfirms()
{
    Bench bench;
    for (int i = 0; i < 3; ++i)
        bench.confirm(0);
    QCOMPARE(bench.watcher.boxes(testTitle).size(), 3);

    bench.board.send("166.42");
    QTRY_COMPARE(bench.watcher.boxes(scoreTitle).size(), 1);
    // Extra connections would each hold the event loop another 100 ms.
    QTest::qWait(1);
    QVERIFY2(bench.watcher.sinceLastAnswer() < 80, qPrintable(QString::number(bench.watcher.sinceLastAnswer())));
    QTest::qWait(300);
    QCOMPARE(bench.watcher.boxes(scoreTitle).size(), 1);
}

void MainWindowTest::eachWindowTalksToItsOwnBoard()
{
    Bench first;
    BoardSimulator secondBoard;
    first.folder.writeHandOff(secondBoard.portPath().toLocal8Bit() + '\n');
    MainWindow second;

    first.confirm(4);
    QTRY_COMPARE(first.board.received(), QByteArray("4\r"));
    second.findChild<QComboBox *>(QStringLiteral("comboBox_2"))->setCurrentIndex(7);
    second.findChild<QPushButton *>(QStringLiteral("pushButton_2"))->click();
    QTRY_COMPARE(secondBoard.received(), QByteArray("7\r"));
    QCOMPARE(first.board.received(), QByteArray("4\r"));

    first.board.send("first");
    QTRY_COMPARE(first.watcher.boxes(scoreTitle).size(), 1);
    QCOMPARE(first.watcher.boxes(scoreTitle).first().parent, first.window.get());
    secondBoard.send("second");
    QTRY_COMPARE(first.watcher.boxes(scoreTitle).size(), 2);
    QCOMPARE(first.watcher.boxes(scoreTitle).last().parent, &second);
    QCOMPARE(first.watcher.boxes(scoreTitle).last().text, QStringLiteral("second"));
}

void MainWindowTest::anUnpluggedBoardLeavesTheProgramIdle()
{
    Bench bench;
    bench.confirm(0);
    bench.board.vanish();
    QTRY_VERIFY(!bench.port()->isOpen());

    const double before = processorSeconds();
    QTest::qWait(3000);
    const double used = processorSeconds() - before;
    QVERIFY2(used < 0.3, qPrintable(QString::number(used)));

    bench.watcher.clear();
    bench.confirm(1);
    QCOMPARE(bench.watcher.boxes().size(), 1);
    QCOMPARE(bench.watcher.boxes().first().title, QStringLiteral("ERROR"));
}

void MainWindowTest::aChattyBoardCannotGrowTheReadBuffer()
{
    Bench bench;
    QElapsedTimer flooding;
    qint64 buffered = -1;
    bench.watcher.holdOpen(scoreTitle, [&] {
        if (!flooding.isValid()) {
            bench.board.send(QByteArray(2 * 1024 * 1024, 'y'));
            flooding.start();
        }
        if (flooding.elapsed() < 500)
            return false;
        buffered = bench.port()->bytesAvailable();
        bench.board.vanish();
        return true;
    });
    bench.confirm(0);
    bench.board.send("x");

    QTRY_VERIFY(buffered >= 0);
    QVERIFY(buffered > 0);
    QVERIFY2(buffered <= 64 * 1024, qPrintable(QString::number(buffered)));
    QTRY_VERIFY(!bench.port()->isOpen());
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
