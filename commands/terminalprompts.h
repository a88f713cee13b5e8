#ifndef TERMINALPROMPTS_H
#define TERMINALPROMPTS_H

#include "commands/standardinput.h"

#include <QObject>

#include <functional>

// Asks on standard error and takes the answer, a line, from standard input,
// without blocking the event loop. On a terminal only what is typed after a
// question answers it; from a pipe or a file, each line answers the next
// question.
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
    void deliver();

    StandardInput input;
    QByteArray buffered;
    bool ended = false;
    std::function<void(const QString &)> pending;
};

#endif // TERMINALPROMPTS_H
