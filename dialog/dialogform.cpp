#include "dialog/dialogform.h"

#include "dialog/dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

void DialogForm::setupUi(Dialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("Dialog"));
    dialog->setWindowModality(Qt::NonModal);
    dialog->resize(322, 364);
    QSizePolicy fixed(QSizePolicy::Fixed, QSizePolicy::Fixed);
    fixed.setHorizontalStretch(0);
    fixed.setVerticalStretch(0);
    fixed.setHeightForWidth(dialog->sizePolicy().hasHeightForWidth());
    dialog->setSizePolicy(fixed);
    dialog->setMinimumSize(322, 364);
    dialog->setMaximumSize(322, 364);
    dialog->setFocusPolicy(Qt::NoFocus);
    dialog->setAutoFillBackground(false);
    dialog->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);"));
    dialog->setModal(false);

    gridLayout = new QGridLayout(dialog);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));

    pushButton = new QPushButton(dialog);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setMinimumSize(304, 28);
    pushButton->setMaximumSize(304, 28);
    QFont buttonFont;
    buttonFont.setFamily(QStringLiteral("Berlin Sans FB"));
    buttonFont.setPointSize(12);
    buttonFont.setBold(true);
    buttonFont.setItalic(true);
    buttonFont.setWeight(QFont::Bold);
    pushButton->setFont(buttonFont);
    pushButton->setCursor(QCursor(Qt::OpenHandCursor));
    // The button has no actions, so right-clicking it opens nothing.
    pushButton->setContextMenuPolicy(Qt::ActionsContextMenu);
    pushButton->setCheckable(false);
    pushButton->setAutoDefault(true);
    pushButton->setDefault(false);
    pushButton->setFlat(false);
    gridLayout->addWidget(pushButton, 3, 0, 1, 3);

    rightSpacer = new QSpacerItem(30, 238, QSizePolicy::Fixed, QSizePolicy::Minimum);
    gridLayout->addItem(rightSpacer, 0, 2, 2, 1);
    leftSpacer = new QSpacerItem(30, 238, QSizePolicy::Fixed, QSizePolicy::Minimum);
    gridLayout->addItem(leftSpacer, 0, 0, 2, 1);

    label_4 = new QLabel(dialog);
    label_4->setObjectName(QStringLiteral("label_4"));
    label_4->setMinimumSize(200, 201);
    label_4->setMaximumSize(200, 202);
    QFont emblemFont;
    emblemFont.setFamily(QStringLiteral("Berlin Sans FB Demi"));
    emblemFont.setPointSize(14);
    emblemFont.setBold(true);
    emblemFont.setItalic(true);
    emblemFont.setWeight(QFont::Bold);
    label_4->setFont(emblemFont);
    label_4->setStyleSheet(QStringLiteral("background-image: url(:/images/images/pondra.png);"));
    label_4->setLineWidth(1);
    label_4->setMidLineWidth(0);
    label_4->setTextFormat(Qt::PlainText);
    label_4->setScaledContents(false);
    label_4->setWordWrap(false);
    gridLayout->addWidget(label_4, 0, 1, 1, 1);

    label = new QLabel(dialog);
    label->setObjectName(QStringLiteral("label"));
    label->setMinimumSize(191, 50);
    label->setMaximumSize(190, 50);
    QFont promptFont;
    promptFont.setPointSize(10);
    label->setFont(promptFont);
    gridLayout->addWidget(label, 1, 1, 1, 1);

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    comboBox = new QComboBox(dialog);
    comboBox->setObjectName(QStringLiteral("comboBox"));
    comboBox->setMinimumSize(131, 29);
    comboBox->setMaximumSize(131, 29);
    QFont listFont;
    listFont.setFamily(QStringLiteral("Arial Black"));
    listFont.setPointSize(12);
    listFont.setBold(true);
    listFont.setItalic(false);
    listFont.setWeight(QFont::Bold);
    comboBox->setFont(listFont);
    comboBox->setLayoutDirection(Qt::LeftToRight);
    comboBox->setAutoFillBackground(false);
    comboBox->setModelColumn(0);
    horizontalLayout_2->addWidget(comboBox);
    gridLayout->addLayout(horizontalLayout_2, 2, 0, 1, 3);

    dialog->setWindowTitle(QCoreApplication::translate("Dialog", "BRENKA Pondra Power GUI"));
    pushButton->setText(QCoreApplication::translate("Dialog", "Connect"));
    label_4->setText(QString());
    label->setText(QCoreApplication::translate("Dialog",
        "<html><head/><body><p align=\"center\"><span style=\" font-size:11pt; font-weight:600; "
        "color:#00007f;\">Please select your Port</span></p></body></html>"));

    QMetaObject::connectSlotsByName(dialog);
}
