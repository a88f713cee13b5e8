#include "tests/support/processorclock.h"
#include "tests/support/windowonboard.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QtTest>


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

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void showsItsFormAsBuilt();
    void returnClicksConfirm();
    void confirmSendsTheModeAndShowsTheTest_data();
    void confirmSendsTheModeAndShowsTheTest();
    void commandIsOnTheLineBeforeTheTestBoxShows();
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
    WindowOnBoard rig;
    MainWindow &window = *rig.window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Power Modes for VAZUVOD4 Pondra"));
    QCOMPARE(window.size(), QSize(515, 532));
    QCOMPARE(window.minimumSize(), QSize(515, 532));
    QCOMPARE(window.maximumSize(), QSize(515, 532));
    QStringList expectedItems;
    for (const ModeRow &row : modeRows)
        expectedItems << QString::fromLatin1(row.listItem);
    QStringList items;
    for (int i = 0; i < rig.list()->count(); ++i)
        items << rig.list()->itemText(i);
    QCOMPARE(items, expectedItems);
    QCOMPARE(rig.list()->currentIndex(), 0);
    QVERIFY(!rig.list()->isEditable());
    QCOMPARE(rig.status()->text(), resetPrompt);

    auto *picture = window.findChild<QLabel *>(QStringLiteral("label_5"));
    QCOMPARE(picture->size(), QSize(497, 371));
    QVERIFY(picture->text().isEmpty());
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
    QCOMPARE(rig.confirmButton()->text(), QStringLiteral("Confirm"));
    QCOMPARE(rig.confirmButton()->cursor().shape(), Qt::OpenHandCursor);

    QWidget *afterButton = rig.confirmButton()->nextInFocusChain();
    while (afterButton->focusPolicy() == Qt::NoFocus)
        afterButton = afterButton->nextInFocusChain();
    QCOMPARE(afterButton, rig.list());
}

void MainWindowTest::returnClicksConfirm()
{
    WindowOnBoard rig;
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    QSignalSpy clicks(rig.confirmButton(), &QPushButton::clicked);

    QTest::keyClick(rig.window.get(), Qt::Key_Return);

    // A shortcut animates the click, which lands a moment later.
    QTRY_COMPARE(clicks.count(), 1);
    QCOMPARE(rig.watcher.boxes(testTitle).size(), 1);
    QTRY_COMPARE(rig.board.received(), QByteArray("0\r"));
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
    WindowOnBoard rig;

    rig.confirm(mode);

    QCOMPARE(rig.watcher.boxes().size(), 1);
    const BoxRecord box = rig.watcher.boxes().first();
    QCOMPARE(box.title, testTitle);
    QCOMPARE(box.text, opener + testLine + opener + instruction);
    QVERIFY(box.shownAsRichText);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QCOMPARE(box.iconPixmapSize, QSize(128, 128));
    QCOMPARE(box.parent, rig.window.get());

    const QByteArray command = QByteArray::number(mode) + '\r';
    QTRY_COMPARE(rig.board.received(), command);
    QCOMPARE(rig.board.commands(), QList<int>{mode});
    QCOMPARE(rig.status()->text(), mode == 15 ? coreMarkWait : resetPrompt);
}

// Sees, as a box appears, what the window's port still holds back.
class UnsentAtShow : public QObject
{
public:
    explicit UnsentAtShow(const QSerialPort *port) : port(port) {}
    qint64 unsent = -1;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox *>(watched))
            unsent = port->bytesToWrite();
        return false;
    }

private:
    const QSerialPort *port;
};

void MainWindowTest::commandIsOnTheLineBeforeTheTestBoxShows()
{
    WindowOnBoard rig;
    UnsentAtShow probe(rig.port());
    qApp->installEventFilter(&probe);
    rig.confirm(11);
    qApp->removeEventFilter(&probe);
    QCOMPARE(probe.unsent, qint64(0));
    QTRY_COMPARE(rig.board.received(), QByteArray("11\r"));
}

void MainWindowTest::coreMarkNoticeComesAndGoes()
{
    WindowOnBoard rig;
    rig.confirm(15);
    QCOMPARE(rig.status()->text(), coreMarkWait);
    rig.list()->setCurrentIndex(3);
    QCOMPARE(rig.status()->text(), coreMarkWait);
    rig.list()->setCurrentIndex(15);
    QCOMPARE(rig.status()->text(), resetPrompt);

    rig.confirm(14);
    QCOMPARE(rig.status()->text(), resetPrompt);
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
    WindowOnBoard rig;
    rig.confirm(0);
    rig.board.send(reply);

    QTRY_COMPARE(rig.watcher.boxes(scoreTitle).size(), 1);
    const BoxRecord box = rig.watcher.boxes(scoreTitle).first();
    QCOMPARE(box.text, shown);
    QVERIFY(!box.shownAsRichText);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.parent, rig.window.get());
}

void MainWindowTest::showsNoBoxForAnEmptyReply()
{
    WindowOnBoard rig;
    rig.confirm(0);
    rig.board.send(QByteArray(1, '\0'));
    QTest::qWait(300);
    QCOMPARE(rig.watcher.boxes(scoreTitle).size(), 0);
    QCOMPARE(rig.port()->bytesAvailable(), qint64(0));
}

void MainWindowTest::showsOutputFromBeforeTheFirstConfirmWithTheFirstReply()
{
    WindowOnBoard rig;
    rig.board.send("early ");
    QTest::qWait(200);
    QCOMPARE(rig.watcher.boxes().size(), 0);

    rig.confirm(0);
    QTest::qWait(200);
    QCOMPARE(rig.watcher.boxes(scoreTitle).size(), 0);
    rig.board.send("late");
    QTRY_COMPARE(rig.watcher.boxes(scoreTitle).size(), 1);
    QCOMPARE(rig.watcher.boxes(scoreTitle).first().text, QStringLiteral("early late"));
}

void MainWindowTest::showsAScoreOnTopOfTheOpenTestBox()
{
    WindowOnBoard rig;
    QString statusWhileTestBoxOpen;
    rig.watcher.holdOpen(testTitle, [&] {
        statusWhileTestBoxOpen = rig.status()->text();
        return !rig.watcher.boxes(scoreTitle).isEmpty();
    });

    rig.confirm(15);

    QCOMPARE(rig.watcher.boxes().size(), 2);
    QCOMPARE(rig.watcher.boxes().first().title, testTitle);
    QVERIFY(rig.watcher.boxes(scoreTitle).first().text.endsWith(
        QStringLiteral("CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK\r\n")));
    QCOMPARE(statusWhileTestBoxOpen, resetPrompt);   // the label changes only once the test box is closed
    QCOMPARE(rig.status()->text(), coreMarkWait);
}

void MainWindowTest::confirmWithoutARowReportsAnError()
{
    WindowOnBoard rig;
    rig.list()->setCurrentIndex(-1);
    rig.status()->setText(coreMarkWait);
    rig.confirmButton()->click();

    QCOMPARE(rig.watcher.boxes().size(), 1);
    const BoxRecord box = rig.watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("ERROR"));
    QCOMPARE(box.text, QStringLiteral("An error has occured"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(rig.status()->text(), resetPrompt);
    QTest::qWait(50);
    QCOMPARE(rig.board.received(), QByteArray());
}

void MainWindowTest::confirmOnAClosedPortReportsAnError()
{
    WindowOnBoard rig("/dev/no-such-board\n");
    QVERIFY(!rig.port()->isOpen());
    rig.status()->setText(coreMarkWait);

    rig.confirm(15);

    QCOMPARE(rig.watcher.boxes().size(), 1);
    const BoxRecord box = rig.watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("ERROR"));
    QCOMPARE(box.text, QStringLiteral("An error has occured"));
    QVERIFY(!box.informativeText.isEmpty());
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(rig.status()->text(), resetPrompt);
}

void MainWindowTest::oneReplyIsReadOnceAfterManyConfirms()
{
    WindowOnBoard rig;
    for (int i = 0; i < 3; ++i)
        rig.confirm(0);
    QCOMPARE(rig.watcher.boxes(testTitle).size(), 3);

    rig.board.send("166.42");
    QTRY_COMPARE(rig.watcher.boxes(scoreTitle).size(), 1);
    // Extra connections would each hold the event loop another 100 ms.
    QTest::qWait(1);
    QVERIFY2(rig.watcher.sinceLastAnswer() < 80, qPrintable(QString::number(rig.watcher.sinceLastAnswer())));
    QTest::qWait(300);
    QCOMPARE(rig.watcher.boxes(scoreTitle).size(), 1);
}

void MainWindowTest::eachWindowTalksToItsOwnBoard()
{
    WindowOnBoard first;
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
    WindowOnBoard rig;
    rig.confirm(0);
    rig.board.vanish();
    QTRY_VERIFY(!rig.port()->isOpen());

    ProcessorClock clock;
    clock.start();
    QTest::qWait(3000);
    const double used = clock.seconds();
    QVERIFY2(usedUnderAThirdOfACore(used, 3), qPrintable(QString::number(used)));

    rig.watcher.clear();
    rig.confirm(1);
    QCOMPARE(rig.watcher.boxes().size(), 1);
    QCOMPARE(rig.watcher.boxes().first().title, QStringLiteral("ERROR"));
}

void MainWindowTest::aChattyBoardCannotGrowTheReadBuffer()
{
    WindowOnBoard rig;
    QElapsedTimer flooding;
    qint64 buffered = -1;
    rig.watcher.holdOpen(scoreTitle, [&] {
        if (!flooding.isValid()) {
            rig.board.send(QByteArray(2 * 1024 * 1024, 'y'));
            flooding.start();
        }
        if (flooding.elapsed() < 500)
            return false;
        buffered = rig.port()->bytesAvailable();
        rig.board.vanish();
        return true;
    });
    rig.confirm(0);
    rig.board.send("x");

    QTRY_VERIFY(buffered >= 0);
    QVERIFY(buffered > 0);
    QVERIFY2(buffered <= 64 * 1024, qPrintable(QString::number(buffered)));
    QTRY_VERIFY(!rig.port()->isOpen());
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
