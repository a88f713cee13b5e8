#include "board/seriallink.h"
#include "mainwindow/mainwindow.h"
#include "tests/support/dialogonboard.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QtTest>

namespace {

const char notConnectedText[] = "<p><b><font face=\"arial\" color=\"black\">DEVICE NOT CONNECTED !!\n"
                                "PLEASE VERIFY YOUR CONNECTION THEN RESTART APPLICATION</font></p>";

} // namespace

class DialogTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void showsItsFormAsBuilt();
    void listsThePlatformsPorts();
    void connectOpensAPowerModeWindowOnTheTestedPort();
    void connectOnAnEmptyListOrABusyPortFails_data();
    void connectOnAnEmptyListOrABusyPortFails();
    void connectRefusesAPortNameThatCannotBeSaved();
    void connectOnAPortWhoseWindowWasClosedWorksAgain();
};

void DialogTest::cleanup()
{
    qDeleteAll(powerModeWindows());
}

void DialogTest::showsItsFormAsBuilt()
{
    Dialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.windowTitle(), QStringLiteral("BRENKA Pondra Power GUI"));
    QCOMPARE(dialog.size(), QSize(322, 364));
    QCOMPARE(dialog.minimumSize(), QSize(322, 364));
    QCOMPARE(dialog.maximumSize(), QSize(322, 364));
    QVERIFY(!dialog.isModal());

    auto *connectButton = dialog.findChild<QPushButton *>(QStringLiteral("pushButton"));
    auto *list = dialog.findChild<QComboBox *>(QStringLiteral("comboBox"));
    auto *emblem = dialog.findChild<QLabel *>(QStringLiteral("label_4"));
    auto *prompt = dialog.findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(connectButton && list && emblem && prompt);
    QVERIFY(dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout")));
    QVERIFY(dialog.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout_2")));

    QCOMPARE(connectButton->text(), QStringLiteral("Connect"));
    QCOMPARE(connectButton->size(), QSize(304, 28));
    QCOMPARE(connectButton->cursor().shape(), Qt::OpenHandCursor);
    QCOMPARE(list->size(), QSize(131, 29));
    QVERIFY(emblem->text().isEmpty());
    QCOMPARE(emblem->width(), 200);
    QVERIFY(emblem->height() >= 201 && emblem->height() <= 202);
    QVERIFY(prompt->width() >= 191);
    QVERIFY(prompt->text().contains(QStringLiteral(">Please select your Port<")));

    // The tab order follows creation: Connect comes before the list above it.
    QWidget *afterButton = connectButton->nextInFocusChain();
    while (afterButton->focusPolicy() == Qt::NoFocus)
        afterButton = afterButton->nextInFocusChain();
    QCOMPARE(afterButton, list);

    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5));
    QApplication::sendEvent(connectButton, &rightClick);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    QCOMPARE(connectButton->contextMenuPolicy(), Qt::ActionsContextMenu);
}

void DialogTest::listsThePlatformsPorts()
{
    Dialog dialog;
    auto *list = dialog.findChild<QComboBox *>(QStringLiteral("comboBox"));
    QStringList expected;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        expected << info.portName();
    QStringList listed;
    for (int i = 0; i < list->count(); ++i)
        listed << list->itemText(i);
    QCOMPARE(listed, expected);
    QCOMPARE(list->currentIndex(), expected.isEmpty() ? -1 : 0);
    QVERIFY(!list->isEditable());
}

void DialogTest::connectOpensAPowerModeWindowOnTheTestedPort()
{
    DialogOnBoard rig;

    rig.pressConnect();

    QCOMPARE(rig.watcher.boxes().size(), 1);
    const BoxRecord box = rig.watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Device status"));
    QCOMPARE(box.text, QStringLiteral("<p><b><font face=\"arial\" color=\"black\">DEVICE CONNECTED !!</font></p>"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QCOMPARE(box.iconPixmapSize, QSize(96, 96));
    QCOMPARE(box.parent, &rig.dialog);

    QVERIFY(!rig.port()->isOpen());
    QCOMPARE(rig.folder.handOffContent(), rig.board.portPath().toLocal8Bit() + '\n');
    const QList<MainWindow *> windows = powerModeWindows();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows.first()->isVisible());
    QVERIFY(rig.dialog.isVisible());
    auto *windowPort = windows.first()->findChild<QSerialPort *>();
    QVERIFY(windowPort->isOpen());
    QCOMPARE(windowPort->portName(), rig.port()->portName());
}

void DialogTest::connectOnAnEmptyListOrABusyPortFails_data()
{
    QTest::addColumn<bool>("busy");
    QTest::newRow("empty list") << false;
    QTest::newRow("busy port") << true;
}

void DialogTest::connectOnAnEmptyListOrABusyPortFails()
{
    QFETCH(bool, busy);
    DialogOnBoard rig;
    rig.folder.writeHandOff("ttyOLD\nsecond line\n");
    QSerialPort holder;
    if (busy)
        QVERIFY(SerialLink::open(holder, rig.board.portPath()));
    else
        rig.list()->clear();

    rig.pressConnect();

    QCOMPARE(rig.watcher.boxes().size(), 1);
    const BoxRecord box = rig.watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Port status"));
    QCOMPARE(box.text, QString::fromLatin1(notConnectedText));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.parent, &rig.dialog);
    QVERIFY(powerModeWindows().isEmpty());
    QVERIFY(!rig.port()->isOpen());
    QCOMPARE(rig.folder.handOffContent(), busy ? rig.board.portPath().toLocal8Bit() + '\n' : QByteArray("\n"));
}

void DialogTest::connectRefusesAPortNameThatCannotBeSaved()
{
    DialogOnBoard rig;
    BoardSimulator oldBoard;
    rig.folder.writeHandOff(oldBoard.portPath().toLocal8Bit() + '\n');
    rig.folder.makeReadOnly();

    rig.pressConnect();

    QCOMPARE(rig.watcher.boxes().size(), 1);
    const BoxRecord box = rig.watcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Port status"));
    QCOMPARE(box.text, QStringLiteral("<p><b><font face=\"arial\" color=\"black\">CANNOT SAVE THE PORT NAME TO data.txt !!\n"
                                      "PLEASE START THE APPLICATION FROM A WRITABLE FOLDER</font></p>"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(powerModeWindows().isEmpty());
    QVERIFY(!rig.port()->isOpen());
    QCOMPARE(rig.folder.handOffContent(), oldBoard.portPath().toLocal8Bit() + '\n');
}

void DialogTest::connectOnAPortWhoseWindowWasClosedWorksAgain()
{
    DialogOnBoard rig;

    rig.pressConnect();
    QCOMPARE(powerModeWindows().size(), 1);
    rig.pressConnect();
    QCOMPARE(rig.watcher.boxes().last().title, QStringLiteral("Port status"));
    QCOMPARE(powerModeWindows().size(), 1);

    QPointer<MainWindow> window = powerModeWindows().first();
    window->close();
    QTRY_VERIFY(window.isNull());
    rig.pressConnect();
    QCOMPARE(rig.watcher.boxes().last().title, QStringLiteral("Device status"));
    QCOMPARE(powerModeWindows().size(), 1);
    QVERIFY(powerModeWindows().first()->findChild<QSerialPort *>()->isOpen());
}

QTEST_MAIN(DialogTest)
#include "tst_dialog.moc"
