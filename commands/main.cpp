// pellmora-sweep: measures the board's power modes with a bench multimeter
// and writes a results folder. Results go to files, progress and errors to
// standard error.
#include "board/powermodes.h"
#include "commands/exitcodes.h"
#include "commands/reportcommands.h"
#include "commands/runcommand.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>

namespace {

const char usage[] =
    "usage: pellmora-sweep modes\n"
    "       pellmora-sweep run --port PORT [--modes LIST] [--meter ADDRESS] [--meter-profile FILE]\n"
    "                          [--samples N] [--settle SECONDS] [--range auto|AMPS] [--nplc N] [--plan FILE]\n"
    "                          [--reset prompt|none|command:CMD|dtr|rts] [--boot SECONDS] [--reply-timeout SECONDS]\n"
    "                          [--supply VOLTS] [--battery-mah CAPACITY] [--limits FILE] [--out DIR] [--resume] [--quiet]\n"
    "       pellmora-sweep report DIR [--battery-mah CAPACITY]\n"
    "       pellmora-sweep compare DIR_A DIR_B [--out DIR] [--threshold FACTOR]\n"
    "\n"
    "  modes    prints the indexes and names of the 18 power modes\n"
    "  run      measures them into a results folder; run --help describes every option\n"
    "  report   rebuilds a results folder's chart and report from its results.csv\n"
    "  compare  compares two results folders mode by mode\n"
    "\n"
    "Exit status of run: 0 done and nothing FAIL, 1 a FAIL verdict, 2 bad usage or input,\n"
    "3 the board or the meter failed, 128+N stopped by signal N (130 Ctrl+C, 143 SIGTERM).\n"
    "report: 0 rebuilt, 2 missing or malformed results. compare: 0 no mode changed past the\n"
    "threshold, 1 some did, 2 a missing or malformed folder.\n";

int printModes()
{
    for (int mode = 0; mode < PowerModes::count(); ++mode)
        std::printf("%d %s\n", mode, PowerModes::name(mode).toLocal8Bit().constData());
    return ExitCode::allPassed;
}

} // namespace

int main(int argc, char *argv[])
{
    // Charts are drawn without a display, and a stale DISPLAY must not stop them.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellmora-sweep"));
    const QStringList arguments = QCoreApplication::arguments();
    const QString command = arguments.value(1);

    if (command == QLatin1String("modes") && arguments.size() == 2)
        return printModes();
    if (command == QLatin1String("run"))
        return runSweepCommand(arguments.mid(1));
    if (command == QLatin1String("report"))
        return reportCommand(arguments.mid(1));
    if (command == QLatin1String("compare"))
        return compareCommand(arguments.mid(1));
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(usage, stdout);
        return ExitCode::allPassed;
    }
    std::fputs(usage, stderr);
    return ExitCode::badInput;
}
