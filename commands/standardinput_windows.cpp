#include "commands/standardinput.h"

#include <QCoreApplication>
#include <QPointer>

#include <io.h>
#include <windows.h>

// Windows has no notifier for a console or a pipe: a thread of its own
// blocks on the reads and hands each one to the event loop, where it waits
// until input is taken. The thread is left to end with the process, where
// it may still wait for a line.
class StandardInput::Reader : public QObject
{
public:
    explicit Reader(StandardInput *input)
        : QObject(input)
        , input(input)
    {
        // A thread of the system's: this MinGW's thread model has no std::thread.
        const HANDLE thread = CreateThread(nullptr, 0, &Reader::readAll, new QPointer<Reader>(this), 0, nullptr);
        if (thread)
            CloseHandle(thread);
    }

    void setEnabled(bool on)
    {
        enabled = on;
        take(QByteArray(), false);
    }

    void drop() { held.clear(); }

private:
    static DWORD WINAPI readAll(void *reader)
    {
        const QPointer<Reader> to = *static_cast<QPointer<Reader> *>(reader);
        delete static_cast<QPointer<Reader> *>(reader);
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        char chunk[4096];
        DWORD count = 0;
        while (ReadFile(in, chunk, sizeof chunk, &count, nullptr) && count > 0) {
            const QByteArray bytes(chunk, int(count));
            // Through the application, which outlives the reader: the lambda checks it is still there.
            QMetaObject::invokeMethod(QCoreApplication::instance(), [to, bytes] { if (to) to->take(bytes, false); },
                                      Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [to] { if (to) to->take(QByteArray(), true); },
                                  Qt::QueuedConnection);
        return 0;
    }

    void take(const QByteArray &bytes, bool end)
    {
        held += bytes;
        ended = ended || end;
        if (!enabled)
            return;
        if (!held.isEmpty())
            emit input->received(std::exchange(held, QByteArray()));
        else if (ended)
            emit input->ended();
    }

    StandardInput *input;
    QByteArray held;
    bool enabled = false;
    bool ended = false;
};

namespace {

QPointer<StandardInput::Reader> typedInto;

} // namespace

StandardInput::StandardInput(QObject *parent)
    : QObject(parent)
    , reader(new Reader(this))
{
    typedInto = reader;
}

StandardInput::~StandardInput() = default;

void StandardInput::setEnabled(bool enabled)
{
    reader->setEnabled(enabled);
}

bool StandardInput::isTerminal()
{
    return _isatty(_fileno(stdin));
}

void StandardInput::discardTyped()
{
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    if (typedInto)
        typedInto->drop();
}
