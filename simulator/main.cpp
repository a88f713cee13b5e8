// pellmora-board-simulator [LINK]
// Plays the evaluation board on a pseudo-terminal: prints the terminal's path,
// optionally links LINK to it, and logs every mode the program sets.
#include "simulator/boardsimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void printLine(const QString &line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

// Turns SIGINT and SIGTERM into an orderly quit, so the link is removed.
void quitOnTermination(QCoreApplication &app)
{
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGINT);
    sigaddset(&termination, SIGTERM);
    sigprocmask(SIG_BLOCK, &termination, nullptr);
    const int fd = signalfd(-1, &termination, SFD_CLOEXEC);
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments.first().startsWith(QLatin1Char('-')))) {
        QTextStream(stderr) << "usage: pellmora-board-simulator [LINK]" << Qt::endl;
        return 2;
    }

    BoardSimulator board;
    if (!board.isAttached()) {
        QTextStream(stderr) << "pellmora-board-simulator: cannot open a pseudo-terminal" << Qt::endl;
        return 1;
    }
    const QString link = arguments.value(0);
    if (!link.isEmpty()) {
        // A stale link from an earlier run is replaced; any other file is left alone.
        if (QFileInfo(link).isSymLink())
            QFile::remove(link);
        if (!QFile::link(board.portPath(), link)) {
            QTextStream(stderr) << "pellmora-board-simulator: cannot create " << link << Qt::endl;
            return 1;
        }
    }

    QObject::connect(&board, &BoardSimulator::logLine, &printLine);
    quitOnTermination(app);
    printLine(board.portPath());

    const int result = app.exec();
    if (!link.isEmpty())
        QFile::remove(link);
    return result;
}
