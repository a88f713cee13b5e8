#include "mainwindow/mainwindowform.h"

#include "board/powermodes.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/statustexts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

void MainWindowForm::setupUi(MainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->setEnabled(true);
    window->resize(515, 532);
    QSizePolicy fixed(QSizePolicy::Fixed, QSizePolicy::Fixed);
    fixed.setHorizontalStretch(0);
    fixed.setVerticalStretch(0);
    fixed.setHeightForWidth(window->sizePolicy().hasHeightForWidth());
    window->setSizePolicy(fixed);
    window->setMinimumSize(515, 532);
    window->setMaximumSize(515, 532);
    window->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);"));

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    gridLayout = new QGridLayout(centralWidget);
    gridLayout->setSpacing(6);
    gridLayout->setContentsMargins(11, 11, 11, 11);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));

    label_5 = new QLabel(centralWidget);
    label_5->setObjectName(QStringLiteral("label_5"));
    label_5->setMinimumSize(497, 371);
    label_5->setMaximumSize(497, 371);
    QFont pictureFont;
    pictureFont.setFamily(QStringLiteral("Berlin Sans FB Demi"));
    pictureFont.setPointSize(14);
    pictureFont.setBold(true);
    pictureFont.setItalic(true);
    pictureFont.setWeight(QFont::Bold);
    label_5->setFont(pictureFont);
    label_5->setStyleSheet(QStringLiteral("background-image: url(:/images/images/pondra-Lx.jpg);"));
    label_5->setScaledContents(false);
    gridLayout->addWidget(label_5, 0, 0, 1, 1);

    label = new QLabel(centralWidget);
    label->setObjectName(QStringLiteral("label"));
    QFont statusFont;
    statusFont.setFamily(QStringLiteral("Arial Black"));
    statusFont.setPointSize(11);
    statusFont.setBold(true);
    statusFont.setWeight(QFont::Bold);
    label->setFont(statusFont);
    gridLayout->addWidget(label, 1, 0, 1, 1);

    pushButton_2 = new QPushButton(centralWidget);
    pushButton_2->setObjectName(QStringLiteral("pushButton_2"));
    QFont buttonFont;
    buttonFont.setFamily(QStringLiteral("Berlin Sans FB"));
    buttonFont.setPointSize(12);
    buttonFont.setBold(true);
    buttonFont.setItalic(true);
    buttonFont.setWeight(QFont::Bold);
    pushButton_2->setFont(buttonFont);
    pushButton_2->setCursor(QCursor(Qt::OpenHandCursor));
    pushButton_2->setCheckable(false);
    pushButton_2->setChecked(false);
    pushButton_2->setAutoRepeat(false);
    pushButton_2->setAutoExclusive(false);
    pushButton_2->setAutoDefault(true);
    pushButton_2->setDefault(false);
    pushButton_2->setFlat(false);
    gridLayout->addWidget(pushButton_2, 3, 0, 1, 1);

    comboBox_2 = new QComboBox(centralWidget);
    comboBox_2->setObjectName(QStringLiteral("comboBox_2"));
    QFont listFont;
    listFont.setFamily(QStringLiteral("Arial"));
    listFont.setPointSize(11);
    listFont.setBold(false);
    listFont.setItalic(false);
    listFont.setWeight(QFont::Normal);
    comboBox_2->setFont(listFont);
    comboBox_2->setDuplicatesEnabled(false);
    gridLayout->addWidget(comboBox_2, 2, 0, 1, 1);

    window->setCentralWidget(centralWidget);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);

    retranslateUi(window);

    // Last, so filling the list does not run the window's selection slot.
    QMetaObject::connectSlotsByName(window);
}

void MainWindowForm::retranslateUi(MainWindow *window)
{
    window->setWindowTitle(QCoreApplication::translate("MainWindow", "Power Modes for VAZUVOD4 Pondra"));
    label_5->setText(QString());
    label->setText(QCoreApplication::translate("MainWindow", StatusTexts::resetPrompt));
    pushButton_2->setText(QCoreApplication::translate("MainWindow", "Confirm"));
    pushButton_2->setShortcut(QKeySequence(QCoreApplication::translate("MainWindow", "Return"), QKeySequence::NativeText));

    QStringList listItems;
    for (int mode = 0; mode < PowerModes::count(); ++mode)
        listItems << QCoreApplication::translate("MainWindow", PowerModes::find(mode)->listItem);
    comboBox_2->clear();
    comboBox_2->insertItems(0, listItems);
    comboBox_2->setCurrentText(QCoreApplication::translate("MainWindow", "SHUTDOWN"));
}
