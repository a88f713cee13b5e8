#include "sweepwindow/runprompts.h"

#include "meter/readings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

ResetBanner::ResetBanner(QWidget *parent)
    : QFrame(parent)
    , text(new QLabel(this))
    , button(new QPushButton(tr("Board reset"), this))
    , returnKey(new QShortcut(QKeySequence(Qt::Key_Return), this))
    , enterKey(new QShortcut(QKeySequence(Qt::Key_Enter), this))
{
    setObjectName(QStringLiteral("resetBanner"));
    setStyleSheet(QStringLiteral("#resetBanner { background: #fff4d6; border: 1px solid #e0b84a; border-radius: 4px; }"));
    text->setWordWrap(true);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addWidget(button);
    for (QShortcut *key : {returnKey, enterKey}) {
        key->setContext(Qt::WindowShortcut);
        connect(key, &QShortcut::activated, this, &ResetBanner::answer);
    }
    connect(button, &QPushButton::clicked, this, &ResetBanner::answer);
    hide();
}

void ResetBanner::ask(const QString &modeText)
{
    text->setText(tr("<b>Press the board's reset button</b> for %1, then press Board reset.").arg(modeText.toHtmlEscaped()));
    show();
    button->setFocus();
}

void ResetBanner::answer()
{
    if (!isVisible())
        return;
    hide();
    emit boardReset();
}

ReadingEntry::ReadingEntry(QWidget *parent)
    : QFrame(parent)
    , question(new QLabel(this))
    , field(new QLineEdit(this))
    , reason(new QLabel(this))
{
    setObjectName(QStringLiteral("readingEntry"));
    setStyleSheet(QStringLiteral("#readingEntry { background: #e8f1fc; border: 1px solid #7fa7d9; border-radius: 4px; }"));
    field->setPlaceholderText(tr("12.3u, 4.5 mA, 1.2e-6"));
    reason->setStyleSheet(QStringLiteral("color: #a01c1c;"));
    reason->setWordWrap(true);
    question->setWordWrap(true);
    auto *enter = new QPushButton(tr("Enter"), this);
    auto *row = new QHBoxLayout;
    row->addWidget(question);
    row->addWidget(field, 1);
    row->addWidget(enter);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(reason);
    connect(field, &QLineEdit::returnPressed, this, &ReadingEntry::take);
    connect(enter, &QPushButton::clicked, this, &ReadingEntry::take);
    hide();
}

void ReadingEntry::ask(const QString &text)
{
    question->setText(text);
    field->clear();
    show();
    field->setFocus();
}

void ReadingEntry::refuse(const QString &why)
{
    reason->setText(why);
    field->selectAll();
    field->setFocus();
}

void ReadingEntry::take()
{
    QString why;
    if (!Readings::parseTyped(field->text(), &why)) {
        refuse(why);
        return;
    }
    reason->clear();
    hide();
    emit readingEntered(field->text());
}
