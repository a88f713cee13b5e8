#include "tests/support/windowonboard.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QElapsedTimer>
#include <QTest>


WindowOnBoard::WindowOnBoard(const QByteArray &handOff)
{
    board.setCoreMarkDelay(20);
    folder.writeHandOff(handOff.isNull() ? board.portPath().toLocal8Bit() + '\n' : handOff);
    window = std::make_unique<MainWindow>();
    window->show();
}

QComboBox *WindowOnBoard::list() const
{
    return window->findChild<QComboBox *>(QStringLiteral("comboBox_2"));
}

QLabel *WindowOnBoard::status() const
{
    return window->findChild<QLabel *>(QStringLiteral("label"));
}

QPushButton *WindowOnBoard::confirmButton() const
{
    return window->findChild<QPushButton *>(QStringLiteral("pushButton_2"));
}

QSerialPort *WindowOnBoard::port() const
{
    return window->findChild<QSerialPort *>();
}

void WindowOnBoard::confirm(int mode)
{
    list()->setCurrentIndex(mode);
    confirmButton()->click();
}

bool WindowOnBoard::waitUntilSettled(int timeout)
{
    const auto settled = [this] {
        return board.unreadByTheProgram() == 0 && (!port()->isOpen() || port()->bytesAvailable() == 0)
            && !QApplication::activeModalWidget();
    };
    // Seen twice a moment apart, so bytes still on their way through the
    // terminal have had the time to show up.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeout) {
        if (settled()) {
            QTest::qWait(10);
            if (settled())
                return true;
        }
        QTest::qWait(5);
    }
    return false;
}
