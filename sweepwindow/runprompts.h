#ifndef RUNPROMPTS_H
#define RUNPROMPTS_H

#include <QFrame>

class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;

// A banner inside the window that asks for the board's reset button without
// blocking: "Board reset" (or Return) answers it.
class ResetBanner : public QFrame
{
    Q_OBJECT

public:
    explicit ResetBanner(QWidget *parent = nullptr);

    void ask(const QString &modeText);

signals:
    void boardReset();

private:
    void answer();

    QLabel *text;
    QPushButton *button;
    QShortcut *returnKey;
    QShortcut *enterKey;
};

// Takes a reading typed from the meter's display, such as 12.3u or 4.5 mA,
// and says why it refuses a typo.
class ReadingEntry : public QFrame
{
    Q_OBJECT

public:
    explicit ReadingEntry(QWidget *parent = nullptr);

    void ask(const QString &question);
    // The reading was refused further on; say why and ask again.
    void refuse(const QString &reason);

signals:
    void readingEntered(const QString &typed);

private:
    void take();

    QLabel *question;
    QLineEdit *field;
    QLabel *reason;
};

#endif // RUNPROMPTS_H
