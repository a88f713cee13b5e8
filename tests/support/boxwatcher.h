#ifndef BOXWATCHER_H
#define BOXWATCHER_H

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QHash>
#include <QSize>
#include <QString>
#include <QTimer>

#include <functional>

// What a message box showed when it came up.
struct BoxRecord
{
    QString title;
    QString text;
    QString informativeText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QSize iconPixmapSize;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool shownAsRichText = false;
    const QWidget *parent = nullptr;
};

// Answers modal message boxes the way an operator would, from a timer that
// also runs inside their nested event loops: each box is recorded once, then
// its Ok button is clicked, unless boxes with its title are being held open.
// While a box is held, the test's own code below it cannot run; a held box is
// let go by a condition that the watcher asks at each tick, inside the box's loop.
class BoxWatcher : public QObject
{
    Q_OBJECT

public:
    BoxWatcher();

    void holdOpen(const QString &title, std::function<bool()> releaseWhen);

    QList<BoxRecord> boxes() const;
    QList<BoxRecord> boxes(const QString &title) const;
    void clear();

    // Time since the last box was answered.
    qint64 sinceLastAnswer() const;

private:
    void poll();

    QTimer timer;
    QHash<QString, std::function<bool()>> held;
    QList<BoxRecord> records;
    QElapsedTimer lastAnswer;
};

#endif // BOXWATCHER_H
