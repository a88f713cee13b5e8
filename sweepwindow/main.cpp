// pellmora-sweep-window [--port PORT] [--meter ADDRESS] [--reset HOW] [--boot SECONDS]
//                       [--supply-unit ADDRESS] [--supply VOLTS[,VOLTS...]] [--temperature CELSIUS]
//                       [--plan FILE] [--limits FILE] [--battery-mah CAPACITY] [--note TEXT] [--out DIR]
//                       [--history LOCATION] [--board-id ID] [--firmware LABEL] [--tag KEY=VALUE]...
//                       [--settings FILE]
// The characterisation of the board's power modes in a desktop window. The
// options fill the set-up in, over the settings of the last run.
#include "meter/readings.h"
#include "sweep/terminationsignals.h"
#include "sweepwindow/modetable.h"
#include "sweepwindow/powerfields.h"
#include "sweepwindow/setupform.h"
#include "sweepwindow/sweepwindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Before the display connection's thread starts.
    holdTerminationSignals();
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Pellmora"));
    QApplication::setApplicationName(QStringLiteral("Pellmora Sweep"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pellmora")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the board's power modes in a desktop window."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("port"), QStringLiteral("The board's serial port."), QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("meter"), QStringLiteral("tcp:HOST[:PORT], serial:PORT[@BAUD], usbtmc:PATH, manual, supply or none."),
                      QStringLiteral("ADDRESS")});
    parser.addOption({QStringLiteral("reset"), QStringLiteral("prompt, command:CMD, dtr, rts, power or none."), QStringLiteral("HOW")});
    parser.addOption({QStringLiteral("boot"), QStringLiteral("Wait after each reset, in seconds."), QStringLiteral("SECONDS")});
    parser.addOption({QStringLiteral("supply-unit"), QStringLiteral("A supply that powers the board: tcp:, serial: or usbtmc:."),
                      QStringLiteral("ADDRESS")});
    parser.addOption({QStringLiteral("supply"), QStringLiteral("The board's voltage; with a supply unit, the voltages in turn."),
                      QStringLiteral("VOLTS")});
    parser.addOption({QStringLiteral("temperature"), QStringLiteral("The temperature, in °C, recorded as given."),
                      QStringLiteral("CELSIUS")});
    parser.addOption({QStringLiteral("plan"), QStringLiteral("Per-mode settings, as pellmora-sweep run takes them."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("limits"), QStringLiteral("Limits on each mode's mean current."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("battery-mah"), QStringLiteral("A battery's capacity, for the battery life."),
                      QStringLiteral("CAPACITY")});
    parser.addOption({QStringLiteral("note"), QStringLiteral("A note for the report."), QStringLiteral("TEXT")});
    parser.addOption({QStringLiteral("out"), QStringLiteral("The folder that results go in."), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("history"),
                      QStringLiteral("The run history: a file, postgresql://[USER@]HOST[:PORT]/DATABASE, or none "
                                     "(default: $PELLMORA_HISTORY, else ~/.local/share/pellmora/history.sqlite, on Windows %LOCALAPPDATA%\\pellmora\\history.sqlite)."),
                      QStringLiteral("LOCATION")});
    parser.addOption({QStringLiteral("board-id"), QStringLiteral("The board, as the history tells boards apart."), QStringLiteral("ID")});
    parser.addOption({QStringLiteral("firmware"), QStringLiteral("The firmware's label."), QStringLiteral("LABEL")});
    parser.addOption({QStringLiteral("tag"), QStringLiteral("A tag for the history; repeatable."), QStringLiteral("KEY=VALUE")});
    parser.addOption({QStringLiteral("events"), QStringLiteral("With a Power Profiler Kit II, events as pellmora-sweep run takes them; "
                                                               "repeatable."), QStringLiteral("SOURCES")});
    parser.addOption({QStringLiteral("settings"),
                      QStringLiteral("Keep the window's settings in this file, not in the user's own (for simulated instruments)."),
                      QStringLiteral("FILE")});
    parser.process(application);

    SweepWindow window(parser.value(QStringLiteral("settings")));
    SetupForm *setup = window.setupForm();
    if (parser.isSet(QStringLiteral("port")))
        setup->setPort(parser.value(QStringLiteral("port")));
    if (parser.isSet(QStringLiteral("meter")))
        setup->setMeter(parser.value(QStringLiteral("meter")));
    if (parser.isSet(QStringLiteral("reset")))
        setup->setReset(parser.value(QStringLiteral("reset")));
    PowerFields *power = setup->powerFields();
    if (parser.isSet(QStringLiteral("supply-unit")))
        power->setSupplyUnit(parser.value(QStringLiteral("supply-unit")));
    if (parser.isSet(QStringLiteral("supply")))
        power->setVoltages(parser.value(QStringLiteral("supply")));
    if (parser.isSet(QStringLiteral("temperature")))
        power->setTemperature(parser.value(QStringLiteral("temperature")));
    if (const auto boot = Numbers::parse(parser.value(QStringLiteral("boot"))))
        setup->setBootSeconds(*boot);
    if (const auto battery = Numbers::parse(parser.value(QStringLiteral("battery-mah"))))
        setup->setBatteryMah(*battery);
    if (parser.isSet(QStringLiteral("note")))
        setup->setNote(parser.value(QStringLiteral("note")));
    if (parser.isSet(QStringLiteral("out")))
        setup->setResultsFolder(parser.value(QStringLiteral("out")));
    if (parser.isSet(QStringLiteral("board-id")))
        setup->setBoardId(parser.value(QStringLiteral("board-id")));
    if (parser.isSet(QStringLiteral("firmware")))
        setup->setFirmware(parser.value(QStringLiteral("firmware")));
    if (parser.isSet(QStringLiteral("tag")))
        setup->setTags(parser.values(QStringLiteral("tag")));
    if (parser.isSet(QStringLiteral("events")))
        setup->setEvents(parser.values(QStringLiteral("events")));
    window.setHistoryLocation(parser.value(QStringLiteral("history")));
    QString error;
    if ((parser.isSet(QStringLiteral("plan")) && !window.modeTable()->loadPlan(parser.value(QStringLiteral("plan")), &error))
        || (parser.isSet(QStringLiteral("limits")) && !window.modeTable()->loadLimits(parser.value(QStringLiteral("limits")), &error))) {
        std::fprintf(stderr, "pellmora-sweep-window: %s\n", qPrintable(error));
        return 2;
    }
    watchTerminationSignals(&window, [&window](int) { window.stopAndClose(); });
    window.show();
    return application.exec();
}
