#ifndef TERMINALPROMPTS_H
#define TERMINALPROMPTS_H

#include <QObject>
#include <QSocketNotifier>

#include <functional>

// Asks on standard error and takes the answer, a line, from standard input,
// without blocking the event loop. Lines typed before a question are kept
// for it, as a terminal keeps them.
class TerminalPrompts : public QObject
{
    Q_OBJECT

public:
    explicit TerminalPrompts(QObject *parent = nullptr);

    void ask(const QString &question, std::function<void(const QString &line)> answer);
    void cancel();

signals:
    void endOfInput();

private:
    void readInput();
    void deliver();

    QSocketNotifier input;
    QByteArray buffered;
    bool ended = false;
    std::function<void(const QString &)> pending;
};

#endif // TERMINALPROMPTS_H
