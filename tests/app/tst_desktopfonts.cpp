// With the fonts the program really gets on this desktop, every text of both
// windows fits its widget at the windows' fixed sizes.
#include "app/desktopfonts.h"
#include "board/powermodes.h"
#include "mainwindow/statustexts.h"
#include "tests/support/dialogonboard.h"
#include "tests/support/windowonboard.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QtTest>

namespace {

// A rich-text label lays out its HTML; sizeHint() is what that layout needs.
void verifyLabelsFit(const QWidget &window)
{
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        const QSize needed = label->sizeHint();
        QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                 qPrintable(QStringLiteral("%1 needs %2x%3, has %4x%5").arg(label->objectName())
                            .arg(needed.width()).arg(needed.height()).arg(label->width()).arg(label->height())));
    }
}

void verifyButtonFits(const QPushButton &button)
{
    QVERIFY2(button.sizeHint().width() <= button.width(), qPrintable(button.text()));
}

void verifyItemsFit(const QComboBox &list)
{
    QStyleOptionComboBox option;
    option.initFrom(&list);
    option.editable = list.isEditable();
    const QRect field = list.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxEditField, &list);
    for (int item = 0; item < list.count(); ++item) {
        const int needed = list.fontMetrics().horizontalAdvance(list.itemText(item));
        QVERIFY2(needed <= field.width(), qPrintable(QStringLiteral("\"%1\" needs %2 px, has %3")
                                                     .arg(list.itemText(item)).arg(needed).arg(field.width())));
    }
}

} // namespace

class DesktopFontsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dialogTextsFit();
    void powerModeWindowTextsFit();
};

void DesktopFontsTest::initTestCase()
{
    DesktopFonts::standInForMissingFonts();
}

void DesktopFontsTest::dialogTextsFit()
{
    DialogOnBoard rig;
    // The longest name a board's port takes on the desktops it is used on.
    rig.list()->addItem(QStringLiteral("ttyACM10"));
    QVERIFY(QTest::qWaitForWindowExposed(&rig.dialog));

    verifyLabelsFit(rig.dialog);
    verifyButtonFits(*rig.dialog.findChild<QPushButton *>(QStringLiteral("pushButton")));
    verifyItemsFit(*rig.list());
}

void DesktopFontsTest::powerModeWindowTextsFit()
{
    WindowOnBoard rig;
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));

    for (const char *status : {StatusTexts::resetPrompt, StatusTexts::coreMarkWaitNotice}) {
        rig.status()->setText(QString::fromLatin1(status));
        verifyLabelsFit(*rig.window);
    }
    verifyButtonFits(*rig.confirmButton());
    verifyItemsFit(*rig.list());
}

QTEST_MAIN(DesktopFontsTest)
#include "tst_desktopfonts.moc"
