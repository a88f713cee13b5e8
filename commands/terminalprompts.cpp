#include "commands/terminalprompts.h"

#include <cstdio>

TerminalPrompts::TerminalPrompts(QObject *parent)
    : QObject(parent)
{
    connect(&input, &StandardInput::received, this, [this](const QByteArray &bytes) {
        buffered += bytes;
        deliver();
    });
    connect(&input, &StandardInput::ended, this, [this] {
        ended = true;
        deliver();
    });
}

void TerminalPrompts::ask(const QString &question, std::function<void(const QString &)> answer)
{
    // On a terminal, keys pressed before the question answer nothing: an
    // Enter pressed twice must not answer the next reset prompt. Lines from
    // a pipe or a file are answers given in advance, and are kept.
    if (StandardInput::isTerminal()) {
        StandardInput::discardTyped();
        buffered.clear();
    }
    std::fputs(question.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    pending = std::move(answer);
    deliver();
}

void TerminalPrompts::cancel()
{
    pending = nullptr;
    input.setEnabled(false);
}

void TerminalPrompts::deliver()
{
    if (!pending)
        return;
    const int end = buffered.indexOf('\n');
    if (end >= 0) {
        const QString line = QString::fromLocal8Bit(buffered.left(end)).trimmed();
        buffered.remove(0, end + 1);
        input.setEnabled(false);
        auto answer = std::move(pending);
        pending = nullptr;
        answer(line);
        return;
    }
    if (ended) {
        input.setEnabled(false);
        pending = nullptr;
        emit endOfInput();
        return;
    }
    input.setEnabled(true);
}
