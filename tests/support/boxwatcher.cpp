#include "tests/support/boxwatcher.h"

#include <QPushButton>
#include <QApplication>
#include <QLabel>
#include <QTextDocument>

namespace {

const char seenProperty[] = "boxWatcherSeen";

BoxRecord recordOf(const QMessageBox &box)
{
    BoxRecord record;
    record.title = box.windowTitle();
    record.text = box.text();
    record.informativeText = box.informativeText();
    record.icon = box.icon();
    record.iconPixmapSize = box.iconPixmap().size();
    record.buttons = box.standardButtons();
    record.defaultButton = box.defaultButton() ? box.standardButton(box.defaultButton()) : QMessageBox::NoButton;
    const auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    record.shownAsRichText = label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    record.parent = box.parentWidget();
    return record;
}

} // namespace

BoxWatcher::BoxWatcher()
{
    lastAnswer.start();
    connect(&timer, &QTimer::timeout, this, &BoxWatcher::poll);
    timer.start(5);
}

void BoxWatcher::holdOpen(const QString &title, std::function<bool()> releaseWhen)
{
    held.insert(title, std::move(releaseWhen));
}

QList<BoxRecord> BoxWatcher::boxes() const
{
    return records;
}

QList<BoxRecord> BoxWatcher::boxes(const QString &title) const
{
    QList<BoxRecord> matching;
    for (const BoxRecord &record : records) {
        if (record.title == title)
            matching << record;
    }
    return matching;
}

void BoxWatcher::clear()
{
    records.clear();
}

qint64 BoxWatcher::sinceLastAnswer() const
{
    return lastAnswer.elapsed();
}

void BoxWatcher::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return;
    if (!box->property(seenProperty).toBool()) {
        box->setProperty(seenProperty, true);
        records << recordOf(*box);
    }
    const auto hold = held.constFind(box->windowTitle());
    if (hold != held.constEnd()) {
        if (!hold.value()())
            return;
        held.erase(hold);
    }
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
    lastAnswer.restart();
}
