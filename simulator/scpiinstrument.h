#ifndef SCPIINSTRUMENT_H
#define SCPIINSTRUMENT_H

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

class ScpiInstrument;

// One program message unit as a handler gets it: its parameters, the
// numeric suffix its header carried (OUTPut2: 2; 1 where none was given),
// and the instrument, to report an error or read a number by the rules.
struct ScpiCall
{
    QList<QByteArray> parameters;   // quoted strings without their quotes
    QList<bool> quoted;
    int suffix = 1;
    ScpiInstrument &instrument;

    // A decimal number, or MINimum, MAXimum or DEFault where given those;
    // -224 for a word it does not take, -222 outside [lowest, highest].
    std::optional<double> number(int at, double lowest, double highest, std::optional<double> byDefault = std::nullopt) const;
    // ON, OFF, 1 or 0; -224 otherwise.
    std::optional<bool> boolean(int at) const;
    // One of the words given, in short or long form (as "S|SLOW"), as its index; -224 otherwise.
    std::optional<int> choice(int at, const QStringList &words) const;
};

// An instrument as IEEE 488.2 and SCPI-99 have it: a command tree given as
// data, headers in short or long form and any case, optional nodes and
// numeric suffixes, compound messages (";" keeps the current path, ";:"
// returns to the root), the common commands, an error queue of the
// standard's numbers with the standard event register to match, and a
// response message of every query in a program message.
class ScpiInstrument
{
public:
    // What a command does; a query's handler returns its response, which is
    // not sent where the handler queued an error.
    using Handler = std::function<QByteArray(const ScpiCall &call)>;
    struct Command
    {
        // SCPI notation: "[SENSe:]CURRent[:DC]:NPLCycles", a query with a
        // trailing "?", "#" after a mnemonic that takes a numeric suffix.
        QByteArray header;
        int leastParameters;
        int mostParameters;
        Handler handler;
    };
    // A program message's effect: its response (none without a query in
    // it) and how long the instrument takes before it is given.
    struct Reply
    {
        std::optional<QByteArray> response;
        int milliseconds = 0;
    };

    explicit ScpiInstrument(const QByteArray &identity);
    virtual ~ScpiInstrument() = default;

    void add(const QList<Command> &commands);
    // *RST's own part, beside the status the standard resets.
    void onReset(std::function<void()> reset) { resetHook = std::move(reset); }

    // A program message, one line without its terminator.
    Reply message(const QByteArray &line);
    // For a query that takes time: the response comes after this long.
    void delayResponse(int milliseconds) { responseDelay = std::max(responseDelay, milliseconds); }
    // An overlapped operation, such as INITiate's readings: *OPC? and *WAI
    // wait for it, and so may a query that gives its results.
    void operationFor(int milliseconds) { operationDone.setRemainingTime(milliseconds); }
    int operationLeft() const { return int(std::max<qint64>(operationDone.remainingTime(), 0)); }
    // A query whose response was pending when a new message came: -410.
    void interrupted() { error(-410); }
    // An instrument that switches its front end reads no input meanwhile:
    // a message that comes within this long is lost.
    void busyFor(int milliseconds);

    // Queues an error of the standard's numbers, setting its event bit.
    void error(int code);
    static QByteArray errorText(int code);
    // Every program message taken, as it came (without its terminator).
    QList<QByteArray> received() const { return messages; }
    // A number as instruments write them (NR3): +3.30000000E+00.
    static QByteArray nr3(double value);

    static constexpr int errorQueueSize = 20;

private:
    struct Node
    {
        QByteArray longForm;
        QByteArray shortForm;
        bool optional = false;
        bool suffixed = false;
    };
    struct Compiled
    {
        QList<Node> nodes;
        bool query = false;
        Command command;
    };
    struct Mnemonic
    {
        QByteArray name;
        int suffix = 1;
        bool suffixGiven = false;
    };

    static Compiled compile(const Command &command);
    static bool matches(const QList<Node> &nodes, int node, const QList<Mnemonic> &given, int at, int *suffix);
    std::optional<QByteArray> unit(const QByteArray &text, QList<QByteArray> *path);
    std::optional<QByteArray> common(const QByteArray &header, const QList<QByteArray> &parameters, const QList<bool> &quoted);
    static bool splitParameters(const QByteArray &text, QList<QByteArray> *parameters, QList<bool> *quoted);

    QByteArray id;
    QList<Compiled> tree;
    QList<QByteArray> messages;
    std::function<void()> resetHook;
    QList<int> errors;
    int errorsQueued = 0;         // counts on where the queue is full
    int eventStatus = 0;          // the standard event register
    int eventEnable = 0;          // *ESE
    int serviceEnable = 0;        // *SRE
    int responseDelay = 0;
    QDeadlineTimer operationDone;
    QElapsedTimer busySince;
    int busyMilliseconds = 0;
};

#endif // SCPIINSTRUMENT_H
