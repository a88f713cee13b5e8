#include "tests/support/dialogdriver.h"

#include "dialog/dialog.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

namespace DialogDriver {

void choosePort(Dialog &dialog, const QString &portName)
{
    auto *list = dialog.findChild<QComboBox *>(QStringLiteral("comboBox"));
    list->addItem(portName);
    list->setCurrentIndex(list->count() - 1);
}

void pressConnect(Dialog &dialog)
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

} // namespace DialogDriver
