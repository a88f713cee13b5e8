#include "commands/terminalprompts.h"

#include <cstdio>
#include <termios.h>
#include <unistd.h>

TerminalPrompts::TerminalPrompts(QObject *parent)
    : QObject(parent)
    , input(STDIN_FILENO, QSocketNotifier::Read)
{
    input.setEnabled(false);
    connect(&input, &QSocketNotifier::activated, this, &TerminalPrompts::readInput);
}

void TerminalPrompts::ask(const QString &question, std::function<void(const QString &)> answer)
{
    // On a terminal, keys pressed before the question answer nothing: an
    // Enter pressed twice must not answer the next reset prompt. Lines from
    // a pipe or a file are answers given in advance, and are kept.
    if (isatty(STDIN_FILENO)) {
        tcflush(STDIN_FILENO, TCIFLUSH);
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

void TerminalPrompts::readInput()
{
    char chunk[4096];
    const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (count > 0)
        buffered.append(chunk, int(count));
    else
        ended = true;
    deliver();
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
