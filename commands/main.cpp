// pellmora-sweep: measures the board's power modes with a bench multimeter
// and writes a results folder. Results go to files, progress and errors to
// standard error.
#include "board/powermodes.h"
#include "commands/budgetcommand.h"
#include "commands/exitcodes.h"
#include "commands/historycommands.h"
#include "commands/reportcommands.h"
#include "commands/runcommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const char usage[] =
    "usage: pellmora-sweep modes\n"
    "       pellmora-sweep run --port PORT [--modes LIST] [--meter ADDRESS] [--meter-profile FILE]\n"
    "                          [--samples N] [--settle SECONDS] [--range auto|AMPS] [--nplc N] [--plan FILE]\n"
    "                          [--reset prompt|none|command:CMD|dtr|rts|power] [--boot SECONDS] [--reply-timeout SECONDS]\n"
    "                          [--entry-check on|off] [--raw] [--events D0[,D1...]|current:AMPS[,min=T][,gap=T]]\n"
    "                          [--supply VOLTS[,VOLTS...]] [--supply-unit ADDRESS] [--supply-profile FILE]\n"
    "                          [--current-limit AMPS] [--off-time SECONDS] [--temperature CELSIUS]\n"
    "                          [--battery-mah CAPACITY] [--battery-shelf-years YEARS] [--limits FILE]\n"
    "                          [--note TEXT] [--out DIR] [--resume] [--quiet]\n"
    "                          [--history L] [--board-id ID] [--firmware LABEL] [--tag KEY=VALUE] [--junit FILE]\n"
    "       pellmora-sweep report DIR [--battery-mah CAPACITY] [--battery-shelf-years YEARS]\n"
    "       pellmora-sweep compare DIR_A DIR_B [--out DIR] [--threshold FACTOR]\n"
    "       pellmora-sweep history [--history L] [--board ID] [--firmware LABEL] [--tag KEY=VALUE]\n"
    "                              [--since YYYY-MM-DD] [--limit N] [--format table|csv|json]\n"
    "       pellmora-sweep import DIR... [--history L] [--board-id ID] [--firmware LABEL] [--tag KEY=VALUE]\n"
    "       pellmora-sweep trend [--history L] [--board ID] [--firmware LABEL] [--tag KEY=VALUE]\n"
    "                            [--modes LIST] [--since YYYY-MM-DD] [--out DIR]\n"
    "       pellmora-sweep table [--history L] [--firmware LABEL] [--tag KEY=VALUE] [--since YYYY-MM-DD]\n"
    "                            [--modes LIST] [--out DIR]\n"
    "       pellmora-sweep check DIR [--history L] [--baseline last|last-pass|median:N|RUN_ID]\n"
    "                            [--tolerance PERCENT] [--floor AMPS] [--junit FILE] [--markdown FILE]\n"
    "       pellmora-sweep budget PROFILE [--from DIR | --board ID [--firmware LABEL] [--tag KEY=VALUE] [--history L]]\n"
    "                             [--vdd VOLTS] [--battery MAH] [--battery-shelf-years N] [--derate FRACTION] [--out DIR]\n"
    "\n"
    "  modes    prints the indexes and names of the 18 power modes\n"
    "  run      measures them into a results folder and the history; run --help describes every option\n"
    "  report   rebuilds a results folder's chart and report from its results.csv\n"
    "  compare  compares two results folders mode by mode\n"
    "  history  lists the runs the history holds, newest first\n"
    "  import   brings results folders into the history\n"
    "  trend    draws chosen modes' currents over the runs of the history\n"
    "  table    builds a datasheet's current table across boards, voltages and temperatures\n"
    "  check    sets a results folder against a baseline from the history, for CI\n"
    "  budget   costs a product's period in the board's modes: average current, battery life, what dominates\n"
    "\n"
    "The history is the file or PostgreSQL database --history names, else $PELLMORA_HISTORY,\n"
    "else ~/.local/share/pellmora/history.sqlite (on Windows %LOCALAPPDATA%\\pellmora\\history.sqlite);\n"
    "--history none keeps a run out of it.\n"
    "\n"
    "Exit status of run: 0 done and nothing FAIL, 1 a FAIL or ENTRY? verdict, 2 bad usage or input,\n"
    "3 the board or the meter failed, 128+N stopped by signal N (130 Ctrl+C, 143 SIGTERM).\n"
    "report: 0 rebuilt, 2 missing or malformed results. compare: 0 no mode changed past the\n"
    "threshold, 1 some did, 2 a missing or malformed folder. history and import: 0 done, 2 bad input\n"
    "or an unreadable history. trend and table: 0 written, 2 bad input, an unreadable history or\n"
    "nothing that matches. check: 0 no mode changed or failed, 1 some did, the run did not\n"
    "complete, or (--require-baseline) a mode has no baseline, 2 bad input or an unreadable history.\n"
    "budget: 0 written, 2 bad input (a profile line, named as PROFILE:LINE), modes not measured, an unreadable\n"
    "folder or history.\n"
    "history, trend, check and table never create a history: one that does not exist is exit 2.\n";

int printModes(const QStringList &arguments)
{
    if (arguments.size() != 1) {
        std::fputs("usage: pellmora-sweep modes\n", stderr);
        return ExitCode::badInput;
    }
    for (int mode = 0; mode < PowerModes::count(); ++mode)
        std::printf("%d %s\n", mode, PowerModes::name(mode).toLocal8Bit().constData());
    return ExitCode::allPassed;
}

struct Command
{
    const char *name;
    bool draws;   // needs fonts and painting, so a GUI application
    int (*run)(const QStringList &arguments);
};

const Command commands[] = {
    {"modes", false, &printModes},
    {"run", true, &runSweepCommand},
    {"report", true, &reportCommand},
    {"compare", true, &compareCommand},
    {"history", false, &historyCommand},
    {"import", false, &importCommand},
    {"trend", true, &trendCommand},
    {"table", true, &tableCommand},
    {"check", false, &checkCommand},
    {"budget", true, &budgetCommand},
};

// Qt wants a runtime folder of the user's own and warns on every run where
// there is none (root under cron or CI); the tool then makes one for its run.
class RuntimeFolder
{
public:
    RuntimeFolder()
    {
#ifndef Q_OS_WIN
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && folder.isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
#endif
    }

private:
#ifndef Q_OS_WIN
    QTemporaryDir folder;
#endif
};

int runCommand(const Command &command, int argc, char *argv[])
{
    const RuntimeFolder runtime;
    std::unique_ptr<QCoreApplication> application;
    if (command.draws) {
        // Charts are drawn without a display, and a stale DISPLAY must not stop them.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("pellmora-sweep"));
    return command.run(QCoreApplication::arguments().mid(1));
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // Messages are written in the system's ANSI code page; a console shows its OEM one unless told.
    SetConsoleOutputCP(GetACP());
#endif
    const QByteArray name = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    for (const Command &command : commands) {
        if (name == command.name)
            return runCommand(command, argc, argv);
    }
    if (name == "--help" || name == "-h") {
        std::fputs(usage, stdout);
        return ExitCode::allPassed;
    }
    std::fputs(usage, stderr);
    return ExitCode::badInput;
}
