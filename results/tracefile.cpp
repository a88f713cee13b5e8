#include "results/tracefile.h"

#include "results/atomicfile.h"
#include "results/csv.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace {

// Written out in pieces of about this size.
constexpr int chunkBytes = 1 << 20;

// What a file's rows hold beside the bins: the voltage of runs of several,
// and the digital inputs, which files from before them lack.
struct Layout
{
    bool byVoltage = false;
    bool withLogic = true;
};

QByteArray headerLine(const Layout &layout)
{
    QStringList names = TraceFile::header;
    if (layout.byVoltage)
        names.insert(1, QStringLiteral("vdd_v"));
    if (!layout.withLogic)
        names.removeLast();
    return Csv::row(names).toLatin1();
}

// The layout a header line gives, or none where it is no trace file's.
std::optional<Layout> layoutOf(const QByteArray &line)
{
    for (const Layout layout : {Layout {false, true}, Layout {true, true}, Layout {false, false}, Layout {true, false}}) {
        if (line == headerLine(layout))
            return layout;
    }
    return std::nullopt;
}

// No row of the file is near this long; a longer line is no row of it.
constexpr qint64 longestLine = 4096;

// The next line without its end, or none where it is too long to be a row.
std::optional<QByteArray> nextLine(QFile &file)
{
    QByteArray line = file.readLine(longestLine);
    if (!line.endsWith('\n') && !file.atEnd())
        return std::nullopt;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// A row of the file, or none where it is not one.
struct TraceRow
{
    int index = 0;
    int voltageKey = ResultRow::noVoltage;
    TraceBin bin;
};

// On the bytes as read, not on text: an hour of trace is 14 million cells.
std::optional<double> numberCell(const QByteArray &cell)
{
    bool ok = false;
    const double value = cell.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::optional<TraceRow> parseRow(const QByteArray &line, const Layout &layout)
{
    const QList<QByteArray> cells = line.split(',');
    const int first = layout.byVoltage ? 2 : 1;
    if (cells.size() != first + (layout.withLogic ? 5 : 4))
        return std::nullopt;
    TraceRow row;
    bool ok = false;
    row.index = cells.at(0).toInt(&ok);
    if (!ok)
        return std::nullopt;
    if (layout.byVoltage) {
        const std::optional<double> volts = numberCell(cells.at(1));
        if (!volts)
            return std::nullopt;
        row.voltageKey = int(std::lround(*volts * 100));
    }
    if (!numberCell(cells.at(first)))
        return std::nullopt;
    const std::optional<double> mean = numberCell(cells.at(first + 1)), min = numberCell(cells.at(first + 2)),
                                max = numberCell(cells.at(first + 3));
    if (mean && min && max)
        row.bin = {*mean, *min, *max};
    else if (cells.at(first + 1).isEmpty() && cells.at(first + 2).isEmpty() && cells.at(first + 3).isEmpty())
        row.bin = TraceBin::none();
    else
        return std::nullopt;
    if (layout.withLogic) {
        const int logic = cells.at(first + 4).toInt(&ok);
        if (!ok || logic < 0 || logic > 255)
            return std::nullopt;
        row.bin.logic = quint8(logic);
    }
    return row;
}

QByteArray rowLine(const QByteArray &lead, qint64 at, const TraceBin &bin, const Layout &layout)
{
    const auto cell = [&bin](double value) { return bin.empty() ? QByteArray() : Csv::number(value).toLatin1(); };
    QByteArray line = lead + QLocale::c().toString(at * ModeCapture::binSeconds, 'f', 3).toLatin1() + ',' + cell(bin.mean) + ','
        + cell(bin.min) + ',' + cell(bin.max);
    if (layout.withLogic)
        line += ',' + QByteArray::number(bin.logic);
    return line + '\n';
}

// The earlier rows `keep` takes, copied as they are.
bool copyKept(QFile &old, const Layout &layout, const std::function<bool(int, int)> &keep, AtomicFile &out, QString *error)
{
    // The header was read before.
    QByteArray chunk;
    for (qint64 number = 2; !old.atEnd(); ++number) {
        const std::optional<QByteArray> line = nextLine(old);
        const std::optional<TraceRow> row = line ? parseRow(*line, layout) : std::nullopt;
        if (!row) {
            *error = QStringLiteral("%1:%2: not a trace row").arg(old.fileName()).arg(number);
            return false;
        }
        if (keep(row->index, row->voltageKey))
            chunk += *line + '\n';
        if (chunk.size() > chunkBytes && !out.write(std::exchange(chunk, {})))
            return true;   // the commit says why
    }
    out.write(chunk);
    return true;
}

bool append(const TraceFile::Addition &added, const Layout &layout, AtomicFile &out, ModeTrace *trace, QString *error)
{
    QFile bins(added.binsPath);
    if (!bins.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(added.binsPath, bins.errorString());
        return false;
    }
    QByteArray lead = QByteArray::number(added.index) + ',';
    if (layout.byVoltage)
        lead += QLocale::c().toString(added.voltageKey / 100.0, 'f', 2).toLatin1() + ',';
    TraceThinner thinner(added.index, layout.byVoltage ? added.voltageKey : ResultRow::noVoltage);
    QByteArray chunk;
    TraceBin bin;
    for (qint64 at = 0; at < added.binCount; ++at) {
        if (bins.read(reinterpret_cast<char *>(&bin), sizeof bin) != sizeof bin) {
            *error = QStringLiteral("cannot read %1: it ends early").arg(added.binsPath);
            return false;
        }
        thinner.add(bin);
        chunk += rowLine(lead, at, bin, layout);
        if (chunk.size() > chunkBytes && !out.write(std::exchange(chunk, {})))
            break;   // the commit says why
    }
    out.write(chunk);
    *trace = thinner.take();
    return true;
}

} // namespace

namespace TraceFile {

const QStringList header = {"index", "t_s", "mean_a", "min_a", "max_a", "logic"};

bool rewrite(const QString &path, bool byVoltage, const std::function<bool(int, int)> &keep, const Addition *added,
             ModeTrace *addedTrace, QString *error)
{
    QFile old(path);
    const bool hadFile = old.exists();
    if (!hadFile && !added)
        return true;
    if (hadFile && !old.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, old.errorString());
        return false;
    }
    // A file from before the digital inputs keeps its columns.
    Layout layout {byVoltage, true};
    if (hadFile) {
        const std::optional<Layout> found = layoutOf(nextLine(old).value_or(QByteArray()) + '\n');
        if (!found || found->byVoltage != byVoltage) {
            *error = QStringLiteral("%1 has other columns than this run's").arg(path);
            return false;
        }
        layout = *found;
    }
    AtomicFile out(path);
    out.write(headerLine(layout));
    if (hadFile && !copyKept(old, layout, keep, out, error))
        return false;
    if (added && !append(*added, layout, out, addedTrace, error))
        return false;
    return out.commit(error);
}

std::optional<QList<ModeTrace>> read(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return QList<ModeTrace>();
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const std::optional<Layout> layout = layoutOf(nextLine(file).value_or(QByteArray()) + '\n');
    if (!layout) {
        *error = QStringLiteral("%1:1: not the header of a trace file").arg(path);
        return std::nullopt;
    }
    QList<ModeTrace> traces;
    std::optional<TraceThinner> thinner;
    int index = 0, voltageKey = ResultRow::noVoltage;
    for (qint64 number = 2; !file.atEnd(); ++number) {
        const std::optional<QByteArray> line = nextLine(file);
        const std::optional<TraceRow> row = line ? parseRow(*line, *layout) : std::nullopt;
        if (!row) {
            *error = QStringLiteral("%1:%2: not a trace row").arg(path).arg(number);
            return std::nullopt;
        }
        if (!thinner || row->index != index || row->voltageKey != voltageKey) {
            if (thinner)
                traces << thinner->take();
            index = row->index;
            voltageKey = row->voltageKey;
            thinner.emplace(index, voltageKey);
        }
        thinner->add(row->bin);
    }
    if (thinner)
        traces << thinner->take();
    return traces;
}

} // namespace TraceFile
