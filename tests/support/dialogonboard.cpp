#include "tests/support/dialogonboard.h"

#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>

DialogOnBoard::DialogOnBoard()
{
    dialog.show();
    list()->addItem(board.portPath());
    list()->setCurrentIndex(list()->count() - 1);
}

QComboBox *DialogOnBoard::list() const
{
    return dialog.findChild<QComboBox *>(QStringLiteral("comboBox"));
}

QSerialPort *DialogOnBoard::port() const
{
    return dialog.findChild<QSerialPort *>();
}

void DialogOnBoard::pressConnect()
{
    dialog.findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
}

QList<MainWindow *> powerModeWindows()
{
    QList<MainWindow *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<MainWindow *>(widget))
            windows << window;
    }
    return windows;
}
