#include "commands/standardinput.h"

#include <QSocketNotifier>

#include <termios.h>
#include <unistd.h>

class StandardInput::Reader : public QSocketNotifier
{
public:
    explicit Reader(StandardInput *input)
        : QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, input)
    {
        setEnabled(false);
        connect(this, &QSocketNotifier::activated, input, [input] {
            char chunk[4096];
            const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (count > 0)
                emit input->received(QByteArray(chunk, int(count)));
            else
                emit input->ended();
        });
    }
};

StandardInput::StandardInput(QObject *parent)
    : QObject(parent)
    , reader(new Reader(this))
{
}

StandardInput::~StandardInput() = default;

void StandardInput::setEnabled(bool enabled)
{
    reader->setEnabled(enabled);
}

bool StandardInput::isTerminal()
{
    return isatty(STDIN_FILENO);
}

void StandardInput::discardTyped()
{
    tcflush(STDIN_FILENO, TCIFLUSH);
}
