// pellmora-board-simulator [--strict] [--meter PORT] [--meter-dialect NAME] [--meter-serial]
//                          [--meter-scale [INDEX=]FACTOR]... [--supply-unit PORT] [--ppk2] [LINK]
// Plays the evaluation board on a pseudo-terminal: prints the terminal's path,
// optionally links LINK to it, and logs every mode the program sets. With
// --meter it also plays a bench multimeter in series with the board's supply,
// serving SCPI on 127.0.0.1:PORT, in one of three dialects, and with
// --meter-serial on a terminal of its own too; --meter-scale makes it read
// every current, or one mode's, that many times higher, as a firmware change would. With
// --supply-unit a programmable supply on 127.0.0.1:PORT powers the board:
// it is dead until the supply's output is on, and draws by its voltage. With
// --ppk2 a Power Profiler Kit II on a terminal of its own powers or meters it.
// SIGUSR1 presses the board's reset button.
#include "simulator/boardsimulator.h"
#include "simulator/metersimulator.h"
#include "simulator/ppk2simulator.h"
#include "simulator/scpiserver.h"
#include "simulator/supplysimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <memory>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void printLine(const QString &line)
{
    QTextStream out(stdout);
    out << line << '\n';
    out.flush();
}

int fail(const QString &message)
{
    QTextStream(stderr) << "pellmora-board-simulator: " << message << '\n';
    return 1;
}

// SIGINT and SIGTERM quit in order, so the link is removed; SIGUSR1 resets the board.
void handleSignals(QCoreApplication &app, BoardSimulator &board)
{
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : {SIGINT, SIGTERM, SIGUSR1})
        sigaddset(&handled, signal);
    sigprocmask(SIG_BLOCK, &handled, nullptr);
    const int fd = signalfd(-1, &handled, SFD_CLOEXEC);
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd, &app, &board] {
        signalfd_siginfo info {};
        if (::read(fd, &info, sizeof info) != sizeof info)
            return;
        if (info.ssi_signo == SIGUSR1)
            board.pressReset();
        else
            app.quit();
    });
}

// A TCP port as an option gives it: 0 takes a free one.
bool listenOn(ScpiServer &server, const QString &value)
{
    bool ok = false;
    const uint port = value.toUInt(&ok);
    return ok && port <= 65535 && server.listen(quint16(port));
}

// --meter-scale FACTOR for every current, INDEX=FACTOR for one mode's.
struct MeterScale
{
    double everyCurrent = 1;
    QMap<int, double> byMode;

    static std::optional<MeterScale> parse(const QStringList &values)
    {
        MeterScale scale;
        for (const QString &value : values) {
            const QStringList parts = value.split(QLatin1Char('='));
            bool indexOk = parts.size() == 2;
            const int mode = indexOk ? parts.first().toInt(&indexOk) : -1;
            bool factorOk = false;
            const double factor = parts.last().toDouble(&factorOk);
            if (!factorOk || factor <= 0 || (parts.size() == 2 && (!indexOk || BoardSimulator::modeName(mode).isEmpty()))
                || parts.size() > 2)
                return std::nullopt;
            if (parts.size() == 2)
                scale.byMode.insert(mode, factor);
            else
                scale.everyCurrent = factor;
        }
        return scale;
    }

    double of(int mode) const { return everyCurrent * byMode.value(mode, 1); }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays the evaluation board, and a meter in series with it."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("strict"), QStringLiteral("Ignore commands after the first until reset (SIGUSR1).")});
    parser.addOption({QStringLiteral("meter"), QStringLiteral("Serve a simulated meter's SCPI on 127.0.0.1:PORT (0: any free port)."),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("meter-dialect"),
                      QStringLiteral("The meter's commands: conf (CONFigure, SAMPle:COUNt, READ?; the default), sense "
                                     "([SENSe:]FUNCtion 'CURR:DC', FORMat:ELEMents, READ?) or function (:FUNCtion:CURRent:DC, "
                                     "a range by index, :RATE, one reading per :MEASure:CURRent:DC?); docs/meter-profiles has a "
                                     "profile for each."),
                      QStringLiteral("NAME"), QStringLiteral("conf")});
    parser.addOption({QStringLiteral("meter-serial"),
                      QStringLiteral("Serve the meter on a pseudo-terminal of its own as well (printed as meter-serial PATH), "
                                     "for serial: addresses.")});
    parser.addOption({QStringLiteral("meter-scale"),
                      QStringLiteral("Multiply every current the meter reads by FACTOR, or only mode INDEX's; repeatable."),
                      QStringLiteral("[INDEX=]FACTOR")});
    parser.addOption({QStringLiteral("ppk2"),
                      QStringLiteral("Add a simulated Power Profiler Kit II on a pseudo-terminal of its own, between the board "
                                     "and its supply.")});
    parser.addOption({QStringLiteral("supply-unit"),
                      QStringLiteral("Serve a simulated supply that powers the board on 127.0.0.1:PORT (0: any free port)."),
                      QStringLiteral("PORT")});
    parser.addPositionalArgument(QStringLiteral("LINK"), QStringLiteral("A symbolic link to create to the board's terminal."),
                                 QStringLiteral("[LINK]"));
    if (!parser.parse(app.arguments()) || parser.positionalArguments().size() > 1) {
        QTextStream(stderr) << (parser.errorText().isEmpty() ? QStringLiteral("too many arguments") : parser.errorText())
                            << "\nusage: pellmora-board-simulator [--strict] [--meter PORT] [--meter-dialect NAME] [--meter-serial] "
                               "[--meter-scale [INDEX=]FACTOR]... [--supply-unit PORT] [--ppk2] [LINK]\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();

    BoardSimulator board;
    if (!board.isAttached())
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    board.setStrict(parser.isSet(QStringLiteral("strict")));

    const std::optional<MeterScale> scale = MeterScale::parse(parser.values(QStringLiteral("meter-scale")));
    if (!scale)
        return fail(QStringLiteral("--meter-scale takes a factor above 0, or INDEX=FACTOR for one mode"));
    const std::optional<MeterDialect> dialect = MeterDialects::parse(parser.value(QStringLiteral("meter-dialect")));
    if (!dialect) {
        return fail(QStringLiteral("--meter-dialect takes %1, not %2")
                        .arg(MeterDialects::names().join(QLatin1String(", ")), parser.value(QStringLiteral("meter-dialect"))));
    }
    if ((parser.isSet(QStringLiteral("meter-dialect")) || parser.isSet(QStringLiteral("meter-serial"))) && !parser.isSet(QStringLiteral("meter")))
        return fail(QStringLiteral("--meter-dialect and --meter-serial are the meter's: give --meter PORT too"));
    MeterSimulator meter([&board, &scale] { return board.current() * scale->of(board.mode()); }, *dialect);
    ScpiServer meterPorts(meter);
    if (parser.isSet(QStringLiteral("meter"))) {
        if (!listenOn(meterPorts, parser.value(QStringLiteral("meter"))))
            return fail(QStringLiteral("cannot serve the meter on port %1").arg(parser.value(QStringLiteral("meter"))));
        if (parser.isSet(QStringLiteral("meter-serial")) && !meterPorts.openSerial())
            return fail(QStringLiteral("cannot open a pseudo-terminal for the meter"));
    }

    std::unique_ptr<SupplySimulator> supply;
    std::unique_ptr<ScpiServer> supplyPort;
    if (parser.isSet(QStringLiteral("supply-unit"))) {
        supply = std::make_unique<SupplySimulator>(board);
        supplyPort = std::make_unique<ScpiServer>(*supply);
        if (!listenOn(*supplyPort, parser.value(QStringLiteral("supply-unit"))))
            return fail(QStringLiteral("cannot serve the supply on port %1").arg(parser.value(QStringLiteral("supply-unit"))));
    }

    std::unique_ptr<Ppk2Simulator> ppk2;
    if (parser.isSet(QStringLiteral("ppk2"))) {
        ppk2 = std::make_unique<Ppk2Simulator>(board);
        if (!ppk2->isAttached())
            return fail(QStringLiteral("cannot open a pseudo-terminal for the Power Profiler Kit II"));
        QObject::connect(ppk2.get(), &Ppk2Simulator::logLine, &printLine);
    }

    const QString link = parser.positionalArguments().value(0);
    if (!link.isEmpty()) {
        // A stale link from an earlier run is replaced; any other file is left alone.
        if (QFileInfo(link).isSymLink())
            QFile::remove(link);
        if (!QFile::link(board.portPath(), link))
            return fail(QStringLiteral("cannot create %1").arg(link));
    }

    QObject::connect(&board, &BoardSimulator::logLine, &printLine);
    handleSignals(app, board);
    printLine(board.portPath());
    if (meterPorts.port() != 0)
        printLine(QStringLiteral("meter 127.0.0.1:%1").arg(meterPorts.port()));
    if (!meterPorts.serialPath().isEmpty())
        printLine(QStringLiteral("meter-serial %1").arg(meterPorts.serialPath()));
    if (supplyPort)
        printLine(QStringLiteral("supply 127.0.0.1:%1").arg(supplyPort->port()));
    if (ppk2)
        printLine(QStringLiteral("ppk2 %1").arg(ppk2->portPath()));

    const int result = app.exec();
    if (!link.isEmpty())
        QFile::remove(link);
    return result;
}
