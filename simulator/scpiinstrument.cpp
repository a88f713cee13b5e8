#include "simulator/scpiinstrument.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

// The standard's texts, and the standard event register's bit of each class.
const QList<QPair<int, const char *>> errorTexts = {
    {-100, "Command error"},        {-102, "Syntax error"},          {-108, "Parameter not allowed"},
    {-109, "Missing parameter"},    {-113, "Undefined header"},      {-114, "Header suffix out of range"},
    {-200, "Execution error"},      {-221, "Settings conflict"},     {-222, "Data out of range"},
    {-224, "Illegal parameter value"}, {-230, "Data corrupt or stale"}, {-350, "Queue overflow"},
    {-410, "Query INTERRUPTED"},    {-420, "Query UNTERMINATED"},
};

constexpr int operationComplete = 1 << 0;
constexpr int queryError = 1 << 2;
constexpr int deviceError = 1 << 3;
constexpr int executionError = 1 << 4;
constexpr int commandError = 1 << 5;

int eventBitOf(int code)
{
    if (code <= -100 && code > -200)
        return commandError;
    if (code <= -200 && code > -300)
        return executionError;
    if (code <= -300 && code > -400)
        return deviceError;
    return code <= -400 && code > -500 ? queryError : 0;
}

// A mnemonic as it is written: letters, then the digits of a suffix.
const QRegularExpression headerSyntax(QStringLiteral("^:?[A-Za-z][A-Za-z0-9]*(:[A-Za-z][A-Za-z0-9]*)*\\??$"));

bool sameWord(const QByteArray &given, const QByteArray &shortForm, const QByteArray &longForm)
{
    const QByteArray upper = given.toUpper();
    return upper == shortForm || upper == longForm;
}

} // namespace

std::optional<double> ScpiCall::number(int at, double lowest, double highest, std::optional<double> byDefault) const
{
    if (at >= parameters.size()) {
        if (!byDefault)
            instrument.error(-109);
        return byDefault;
    }
    const QByteArray word = parameters.at(at).toUpper();
    if (!quoted.value(at)) {
        if (sameWord(word, "MIN", "MINIMUM"))
            return lowest;
        if (sameWord(word, "MAX", "MAXIMUM"))
            return highest;
        if (sameWord(word, "DEF", "DEFAULT") && byDefault)
            return byDefault;
    }
    bool ok = false;
    const double value = quoted.value(at) ? 0 : parameters.at(at).toDouble(&ok);
    if (!ok) {
        instrument.error(-224);
        return std::nullopt;
    }
    if (value < lowest || value > highest) {
        instrument.error(-222);
        return std::nullopt;
    }
    return value;
}

std::optional<bool> ScpiCall::boolean(int at) const
{
    const std::optional<int> chosen = choice(at, {QStringLiteral("OFF"), QStringLiteral("ON"), QStringLiteral("0"), QStringLiteral("1")});
    if (!chosen)
        return std::nullopt;
    return *chosen % 2 == 1;
}

std::optional<int> ScpiCall::choice(int at, const QStringList &words) const
{
    if (at >= parameters.size()) {
        instrument.error(-109);
        return std::nullopt;
    }
    for (int i = 0; i < words.size(); ++i) {
        const QStringList forms = words.at(i).split(QLatin1Char('|'));
        const QByteArray shortForm = forms.first().toLatin1();
        const QByteArray longForm = forms.last().toLatin1();
        if (!quoted.value(at) && sameWord(parameters.at(at), shortForm, longForm))
            return i;
    }
    instrument.error(-224);
    return std::nullopt;
}

ScpiInstrument::ScpiInstrument(const QByteArray &identity)
    : id(identity)
{
    add({
        {"SYSTem:ERRor[:NEXT]?", 0, 0, [this](const ScpiCall &) {
             if (errors.isEmpty())
                 return QByteArray("+0,\"No error\"");
             const int code = errors.takeFirst();
             return QByteArray::number(code) + ",\"" + errorText(code) + '"';
         }},
        {"SYSTem:ERRor:COUNt?", 0, 0, [this](const ScpiCall &) { return QByteArray::number(errors.size()); }},
        {"SYSTem:VERSion?", 0, 0, [](const ScpiCall &) { return QByteArray("1999.0"); }},
    });
}

void ScpiInstrument::add(const QList<Command> &commands)
{
    for (const Command &command : commands)
        tree << compile(command);
}

QByteArray ScpiInstrument::errorText(int code)
{
    const auto found = std::find_if(errorTexts.cbegin(), errorTexts.cend(), [code](const auto &entry) { return entry.first == code; });
    return found == errorTexts.cend() ? QByteArray("Error") : QByteArray(found->second);
}

void ScpiInstrument::error(int code)
{
    ++errorsQueued;
    eventStatus |= eventBitOf(code);
    if (errors.size() < errorQueueSize - 1)
        errors << code;
    else if (errors.size() == errorQueueSize - 1)
        errors << -350;   // the last place says the queue overflowed
}

// "[SENSe:]CURRent[:DC]:NPLCycles?": a node per mnemonic, its short form
// the mnemonic's capitals (and digits), optional where bracketed.
ScpiInstrument::Compiled ScpiInstrument::compile(const Command &command)
{
    Compiled compiled;
    compiled.command = command;
    QByteArray pattern = command.header;
    compiled.query = pattern.endsWith('?');
    if (compiled.query)
        pattern.chop(1);
    for (int at = 0; at < pattern.size();) {
        Node node;
        QByteArray text;
        if (pattern.at(at) == '[') {
            const int close = pattern.indexOf(']', at);
            text = pattern.mid(at + 1, close - at - 1);
            node.optional = true;
            at = close + 1;
        } else {
            int end = at;
            while (end < pattern.size() && pattern.at(end) != '[' && (end == at || pattern.at(end) != ':'))
                ++end;
            text = pattern.mid(at, end - at);
            at = end;
        }
        text.replace(':', QByteArray());
        node.suffixed = text.endsWith('#');
        if (node.suffixed)
            text.chop(1);
        node.longForm = text.toUpper();
        for (char c : qAsConst(text)) {
            if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
                node.shortForm += c;
        }
        compiled.nodes << node;
    }
    return compiled;
}

bool ScpiInstrument::matches(const QList<Node> &nodes, int node, const QList<Mnemonic> &given, int at, int *suffix)
{
    if (node == nodes.size())
        return at == given.size();
    const Node &here = nodes.at(node);
    if (here.optional && matches(nodes, node + 1, given, at, suffix))
        return true;
    if (at == given.size())
        return false;
    const Mnemonic &word = given.at(at);
    if ((word.suffixGiven && !here.suffixed) || !sameWord(word.name, here.shortForm, here.longForm))
        return false;
    if (!matches(nodes, node + 1, given, at + 1, suffix))
        return false;
    if (word.suffixGiven)
        *suffix = word.suffix;
    return true;
}

// "1e-3, AUTO", "'CURR:DC'": values apart by commas, a quoted string whole
// (a doubled quote inside it stands for itself); false where malformed.
bool ScpiInstrument::splitParameters(const QByteArray &text, QList<QByteArray> *parameters, QList<bool> *quoted)
{
    const QByteArray all = text.trimmed();
    if (all.isEmpty())
        return true;
    int at = 0;
    const auto skipSpace = [&] {
        while (at < all.size() && (all.at(at) == ' ' || all.at(at) == '\t'))
            ++at;
    };
    while (true) {
        skipSpace();
        QByteArray value;
        const bool isQuoted = at < all.size() && (all.at(at) == '"' || all.at(at) == '\'');
        if (isQuoted) {
            const char quote = all.at(at++);
            while (true) {
                if (at >= all.size())
                    return false;   // the string never ends
                if (all.at(at) == quote && at + 1 < all.size() && all.at(at + 1) == quote) {
                    value += quote;
                    at += 2;
                } else if (all.at(at) == quote) {
                    ++at;
                    break;
                } else {
                    value += all.at(at++);
                }
            }
            skipSpace();
        } else {
            const int comma = all.indexOf(',', at);
            value = all.mid(at, comma < 0 ? -1 : comma - at).trimmed();
            at = comma < 0 ? all.size() : comma;
            if (value.isEmpty() || value.contains(' ') || value.contains('\t'))
                return false;
        }
        *parameters << value;
        *quoted << isQuoted;
        if (at == all.size())
            return true;
        if (all.at(at) != ',')
            return false;
        ++at;
    }
}

void ScpiInstrument::busyFor(int milliseconds)
{
    busySince.start();
    busyMilliseconds = milliseconds;
}

QByteArray ScpiInstrument::nr3(double value)
{
    QByteArray text = QByteArray::number(value, 'E', 8);
    return text.startsWith('-') ? text : '+' + text;
}

ScpiInstrument::Reply ScpiInstrument::message(const QByteArray &line)
{
    responseDelay = 0;
    if (busySince.isValid() && !busySince.hasExpired(busyMilliseconds))
        return {};
    if (!line.trimmed().isEmpty())
        messages << line.trimmed();
    QList<QByteArray> units;
    QByteArray unitText;
    char quote = 0;
    for (const char c : line) {
        if (quote && c == quote)
            quote = 0;
        else if (!quote && (c == '"' || c == '\''))
            quote = c;
        if (!quote && c == ';') {
            units << unitText;
            unitText.clear();
        } else {
            unitText += c;
        }
    }
    units << unitText;
    QByteArrayList responses;
    QList<QByteArray> path;   // a message begins at the root
    for (const QByteArray &unitText : qAsConst(units)) {
        if (const std::optional<QByteArray> response = unit(unitText.trimmed(), &path))
            responses << *response;
    }
    Reply reply;
    if (!responses.isEmpty())
        reply.response = responses.join(';');
    reply.milliseconds = responseDelay;
    return reply;
}

std::optional<QByteArray> ScpiInstrument::unit(const QByteArray &text, QList<QByteArray> *path)
{
    if (text.isEmpty())
        return std::nullopt;
    int split = text.size();
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == ' ' || text.at(i) == '\t') {
            split = i;
            break;
        }
    }
    const QByteArray header = text.left(split);
    QList<QByteArray> parameters;
    QList<bool> quoted;
    if (!splitParameters(text.mid(split), &parameters, &quoted)) {
        error(-102);
        return std::nullopt;
    }
    if (header.startsWith('*'))
        return common(header.toUpper(), parameters, quoted);
    if (!headerSyntax.match(QString::fromLatin1(header)).hasMatch()) {
        error(-102);
        return std::nullopt;
    }
    QByteArray body = header;
    const bool absolute = body.startsWith(':');
    if (absolute)
        body.remove(0, 1);
    const bool query = body.endsWith('?');
    if (query)
        body.chop(1);
    const QList<QByteArray> written = absolute ? body.split(':') : *path + body.split(':');
    QList<Mnemonic> given;
    for (const QByteArray &word : written) {
        int digits = word.size();
        while (digits > 0 && word.at(digits - 1) >= '0' && word.at(digits - 1) <= '9')
            --digits;
        Mnemonic mnemonic;
        mnemonic.name = word.left(digits).toUpper();
        mnemonic.suffixGiven = digits < word.size();
        mnemonic.suffix = mnemonic.suffixGiven ? word.mid(digits).toInt() : 1;
        given << mnemonic;
    }
    for (const Compiled &compiled : qAsConst(tree)) {
        int suffix = 1;
        if (compiled.query != query || !matches(compiled.nodes, 0, given, 0, &suffix))
            continue;
        *path = written.mid(0, written.size() - 1);
        if (parameters.size() > compiled.command.mostParameters) {
            error(-108);
            return std::nullopt;
        }
        if (parameters.size() < compiled.command.leastParameters) {
            error(-109);
            return std::nullopt;
        }
        const int queuedBefore = errorsQueued;
        const QByteArray response = compiled.command.handler(ScpiCall {parameters, quoted, suffix, *this});
        if (!query || errorsQueued != queuedBefore)
            return std::nullopt;
        return response;
    }
    error(-113);
    return std::nullopt;
}

// The common commands of IEEE 488.2, which leave the current path as it is.
std::optional<QByteArray> ScpiInstrument::common(const QByteArray &header, const QList<QByteArray> &parameters,
                                                 const QList<bool> &quoted)
{
    const bool query = header.endsWith('?');
    const auto takes = [&](int count) {
        if (parameters.size() > count)
            error(-108);
        else if (parameters.size() < count)
            error(-109);
        return parameters.size() == count;
    };
    const auto registerValue = [&]() -> std::optional<int> {
        bool ok = false;
        const int value = quoted.value(0) ? -1 : parameters.at(0).toInt(&ok);
        if (!ok || value < 0 || value > 255) {
            error(ok ? -222 : -224);
            return std::nullopt;
        }
        return value;
    };
    if (header == "*IDN?")
        return takes(0) ? std::optional<QByteArray>(id) : std::nullopt;
    if (header == "*OPC?") {
        if (!takes(0))
            return std::nullopt;
        delayResponse(operationLeft());
        return QByteArray("1");
    }
    if (header == "*TST?")
        return takes(0) ? std::optional<QByteArray>("0") : std::nullopt;
    if (header == "*ESR?") {
        if (!takes(0))
            return std::nullopt;
        return QByteArray::number(std::exchange(eventStatus, 0));
    }
    if (header == "*ESE?" || header == "*SRE?")
        return takes(0) ? std::optional<QByteArray>(QByteArray::number(header == "*ESE?" ? eventEnable : serviceEnable)) : std::nullopt;
    if (header == "*STB?") {
        if (!takes(0))
            return std::nullopt;
        int status = (errors.isEmpty() ? 0 : 1 << 2) | ((eventStatus & eventEnable) ? 1 << 5 : 0);
        if (status & serviceEnable)
            status |= 1 << 6;
        return QByteArray::number(status);
    }
    if (query) {
        error(-113);
        return std::nullopt;
    }
    if (header == "*RST") {
        if (takes(0) && resetHook)
            resetHook();
    } else if (header == "*CLS") {
        if (takes(0)) {
            errors.clear();
            eventStatus = 0;
        }
    } else if (header == "*OPC") {
        if (takes(0))
            eventStatus |= operationComplete;
    } else if (header == "*WAI") {
        if (takes(0))
            delayResponse(operationLeft());
    } else if (header == "*ESE" || header == "*SRE") {
        if (takes(1)) {
            if (const std::optional<int> value = registerValue())
                (header == "*ESE" ? eventEnable : serviceEnable) = *value;
        }
    } else {
        error(-113);
    }
    return std::nullopt;
}
