#include "results/resultsfolder.h"

#include "results/atomicfile.h"
#include "results/csv.h"
#include "results/eventsfile.h"
#include "results/tracefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>

namespace {

const char lockName[] = ".pellmora.lock";
const char tracePartName[] = ".trace.part";

QList<QStringList> sampleRowsOf(const ResultRow &row, const QList<Sample> &samples)
{
    QList<QStringList> rows;
    for (int i = 0; i < samples.size(); ++i) {
        const Sample &sample = samples.at(i);
        rows << QStringList {QString::number(row.index), row.mode, QString::number(i + 1),
                             QLocale::c().toString(sample.seconds, 'f', 3),
                             sample.reading.overload ? QStringLiteral("overload") : Numbers::format(sample.reading.amperes),
                             Csv::number(row.vddV)};
    }
    return rows;
}

// A sample, or a row's record in results.json, belongs to the row of its
// mode and recorded voltage, as every file writes them.
QString sampleKey(const QStringList &sample)
{
    return sample.first() + QLatin1Char(',') + sample.last();
}

QString sampleKey(const ResultRow &row)
{
    return QString::number(row.index) + QLatin1Char(',') + Csv::number(row.vddV);
}

QList<QStringList> withoutRow(const QList<QStringList> &samples, const ResultRow &row)
{
    const QString key = sampleKey(row);
    QList<QStringList> kept;
    for (const QStringList &sample : samples) {
        if (sampleKey(sample) != key)
            kept << sample;
    }
    return kept;
}

// An event row of events.csv belongs to the row of its mode and voltage, its first two cells.
QString eventKey(const QStringList &event)
{
    return event.at(0) + QLatin1Char(',') + event.at(1);
}

QList<QStringList> eventsWithout(const QList<QStringList> &events, const ResultRow &row)
{
    QList<QStringList> kept;
    std::copy_if(events.cbegin(), events.cend(), std::back_inserter(kept),
                 [key = sampleKey(row)](const QStringList &event) { return eventKey(event) != key; });
    return kept;
}

// The run asked for events: events.csv is written, if only with its header.
bool eventsAsked(const QJsonObject &settings)
{
    return !settings.value(QStringLiteral("events")).toArray().isEmpty();
}

// Several voltages in a run: each trace row says which.
bool tracesByVoltage(const QJsonObject &settings)
{
    return settings.value(QStringLiteral("supply_voltages")).toArray().size() > 1;
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

} // namespace

const QStringList ResultsFolder::olderSamplesHeader = {"index", "mode", "sample", "t_s", "current_a"};
const QStringList ResultsFolder::samplesHeader = olderSamplesHeader + QStringList {"vdd_v"};

ResultsFolder::ResultsFolder(const QString &path)
    : folder(path)
{
}

ResultsFolder::~ResultsFolder()
{
    release();
}

std::optional<QString> ResultsFolder::createFresh(const QString &parent, const QString &prefix, QString *error)
{
    const QDir in(parent);
    const QString stem = prefix + QLatin1Char('-') + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // mkdir fails on a name that exists, so two runs never share one.
    for (int suffix = 1; suffix < 1000; ++suffix) {
        const QString name = suffix == 1 ? stem : stem + QLatin1Char('-') + QString::number(suffix);
        if (in.mkdir(name))
            return in.filePath(name);
        if (!in.exists(name))
            break;
    }
    *error = QStringLiteral("cannot create a folder in %1").arg(QDir::toNativeSeparators(in.absolutePath()));
    return std::nullopt;
}

QString ResultsFolder::path() const
{
    return folder;
}

QString ResultsFolder::filePath(const QString &name) const
{
    return QDir(folder).filePath(name);
}

bool ResultsFolder::hasResults() const
{
    return QFileInfo::exists(filePath(QStringLiteral("results.csv")));
}

bool ResultsFolder::claim(QString *error, bool madeForThisRun)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        *error = QStringLiteral("%1 is a file, not a folder").arg(folder);
        return false;
    }
    made = madeForThisRun || !info.exists();
    if (made && !QDir().mkpath(folder)) {
        made = false;
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    QTemporaryFile probe(filePath(QStringLiteral(".pellmora-XXXXXX")));
    if (!probe.open()) {
        *error = QStringLiteral("cannot write in %1: %2").arg(folder, probe.errorString());
        release();
        return false;
    }
    probe.remove();
    lock = std::make_unique<QLockFile>(filePath(QLatin1String(lockName)));
    if (!lock->tryLock(0)) {
        lock.reset();
        *error = QStringLiteral("another sweep is writing to %1").arg(folder);
        release();
        return false;
    }
    QFile::remove(tracePartPath());   // a killed run's
    return true;
}

void ResultsFolder::release()
{
    if (lock)
        QFile::remove(tracePartPath());
    lock.reset();
    if (made && resultRows.isEmpty()) {
        // Only what the run itself may have left: an early failure leaves nothing behind.
        QDir(folder).removeRecursively();
    }
    made = false;
}

bool ResultsFolder::inUse(const QString &path)
{
    QLockFile probe(QDir(path).filePath(QLatin1String(lockName)));
    // A folder we may not write in (an archive) is nobody's sweep.
    return !probe.tryLock(0) && probe.error() == QLockFile::LockFailedError;
}

bool ResultsFolder::load(QString *error)
{
    const std::optional<QList<ResultRow>> rows = readRows(folder, error);
    if (!rows)
        return false;
    recorded = readJson(filePath(QStringLiteral("results.json")));
    resultRows = *rows;
    QStringList finished;
    for (const ResultRow &row : resultRows)
        finished << sampleKey(row);
    // Readings of a mode that results.csv does not hold were never committed.
    sampleRows.clear();
    const QString samplesPath = filePath(QStringLiteral("samples.csv"));
    if (QFileInfo::exists(samplesPath)) {
        const std::optional<Csv::Table> samples = Csv::read(samplesPath, {samplesHeader, olderSamplesHeader}, error);
        if (!samples)
            return false;
        for (QStringList sample : samples->rows) {
            if (sample.size() < samplesHeader.size())
                sample << QString();   // an older file's: no voltage
            if (finished.contains(sampleKey(sample)))
                sampleRows << sample;
        }
    }
    eventRows.clear();
    const QString eventsPath = filePath(QStringLiteral("events.csv"));
    if (QFileInfo::exists(eventsPath)) {
        const std::optional<Csv::Table> events = Csv::read(eventsPath, EventsFile::header, error);
        if (!events)
            return false;
        std::copy_if(events->rows.cbegin(), events->rows.cend(), std::back_inserter(eventRows),
                     [&finished](const QStringList &event) { return finished.contains(eventKey(event)); });
    }
    const std::optional<QList<ModeTrace>> traces = readTraces(folder, error);
    if (!traces)
        return false;
    // Those of a mode that results.csv does not hold go at the next write.
    modeTraces.clear();
    strayTraces = false;
    for (const ModeTrace &trace : *traces) {
        if (std::any_of(resultRows.cbegin(), resultRows.cend(), [&trace](const ResultRow &row) { return trace.belongsTo(row); }))
            modeTraces << trace;
        else
            strayTraces = true;
    }
    return true;
}

QList<QPair<int, int>> ResultsFolder::askedPoints(const QJsonObject &settings)
{
    // A supply unit's voltages, else the one voltage given (or none).
    QList<int> voltageKeys;
    for (const QJsonValue &volts : settings.value(QStringLiteral("supply_voltages")).toArray())
        voltageKeys << ResultRow::voltageKeyOf(volts.toDouble());
    if (voltageKeys.isEmpty()) {
        const QJsonValue given = settings.value(QStringLiteral("supply_v"));
        voltageKeys << ResultRow::voltageKeyOf(given.isDouble() ? std::optional<double>(given.toDouble()) : std::nullopt);
    }
    QList<QPair<int, int>> points;
    for (int voltageKey : qAsConst(voltageKeys)) {
        for (const QJsonValue &mode : settings.value(QStringLiteral("modes")).toArray())
            points << qMakePair(mode.toInt(), voltageKey);
    }
    return points;
}

std::optional<QList<EventsFile::Row>> ResultsFolder::readEvents(const QString &path, QString *error)
{
    const QString file = QDir(path).filePath(QStringLiteral("events.csv"));
    if (!QFileInfo::exists(file))
        return QList<EventsFile::Row>();
    return EventsFile::read(file, error);
}

std::optional<QList<ModeTrace>> ResultsFolder::readTraces(const QString &path, QString *error)
{
    return TraceFile::read(QDir(path).filePath(QStringLiteral("trace.csv")), error);
}

QString ResultsFolder::tracePartPath() const
{
    return filePath(QLatin1String(tracePartName));
}

bool ResultsFolder::prepareRawSamples(QString *error) const
{
    static const char readme[] =
        "Every sample of the meter, from each mode's command to the end of its readings:\n"
        "little-endian 32-bit floats in amperes, 100,000 a second, as the meter sent them\n"
        "(before the host's filter at range switches). A sample the meter numbered but never\n"
        "sent is NaN, so each file keeps the meter's time. INDEX.f32 holds mode INDEX;\n"
        "with several supply voltages, INDEX-VDD.f32 the mode at VDD volts (3-3.30.f32).\n"
        "numpy: numpy.fromfile(\"3.f32\", dtype=\"<f4\")\n";
    if (!QDir().mkpath(filePath(QStringLiteral("raw")))) {
        *error = QStringLiteral("cannot make %1").arg(filePath(QStringLiteral("raw")));
        return false;
    }
    return saveAtomically(filePath(QStringLiteral("raw/README.txt")), readme, error);
}

QString ResultsFolder::rawSamplesPath(int index, const std::optional<double> &severalVoltagesVdd) const
{
    const QString name = severalVoltagesVdd
        ? QStringLiteral("%1-%2.f32").arg(index).arg(QLocale::c().toString(*severalVoltagesVdd, 'f', 2))
        : QStringLiteral("%1.f32").arg(index);
    return filePath(QStringLiteral("raw/") + name);
}

QJsonObject ResultsFolder::recordedSettings() const
{
    return recorded.value(QStringLiteral("settings")).toObject();
}

RunFacts ResultsFolder::recordedFacts() const
{
    return RunFacts::of(recorded);
}

QList<ResultRow> ResultsFolder::rows() const
{
    return resultRows;
}

bool ResultsFolder::commit(const ResultRow &row, const QList<Sample> &samples, const QJsonObject &settings,
                           const RunFacts &facts, QString *error, const ModeCapture *capture)
{
    QList<ResultRow> rows;
    QList<QStringList> allSamples = sampleRows;
    QList<QStringList> allEvents = eventRows;
    for (const ResultRow &earlier : resultRows) {
        if (earlier.index != row.index || earlier.voltageKey() != row.voltageKey()) {
            rows << earlier;
        } else {
            allSamples = withoutRow(allSamples, earlier);
            allEvents = eventsWithout(allEvents, earlier);
        }
    }
    rows << row;
    allSamples += sampleRowsOf(row, samples);
    if (capture) {
        for (const ModeEvent &event : capture->events)
            allEvents << EventsFile::fields(row.index, row.vddV, event);
    }
    QList<ModeTrace> traces;
    std::copy_if(modeTraces.cbegin(), modeTraces.cend(), std::back_inserter(traces),
                 [&row](const ModeTrace &earlier) { return !earlier.belongsTo(row); });
    // The earlier trace of a mode measured again goes, as do a stray's.
    const bool byVoltage = tracesByVoltage(settings);
    const TraceFile::Addition added {row.index, row.voltageKey(), capture ? capture->binsPath : QString(), capture ? capture->binCount : 0};
    ModeTrace addedTrace;
    const bool tracesChange = capture || strayTraces || traces.size() != modeTraces.size();
    if (tracesChange && !writeTraces(traces, byVoltage, capture ? &added : nullptr, &addedTrace, error))
        return false;
    if (capture)
        traces << addedTrace;
    if (!write(rows, allSamples, allEvents, settings, facts, error))
        return false;
    resultRows = rows;
    sampleRows = allSamples;
    eventRows = allEvents;
    modeTraces = traces;
    strayTraces = false;
    return true;
}

bool ResultsFolder::rewrite(const QJsonObject &settings, const RunFacts &facts, QString *error)
{
    if (strayTraces && !writeTraces(modeTraces, tracesByVoltage(settings), nullptr, nullptr, error))
        return false;
    strayTraces = false;
    return write(resultRows, sampleRows, eventRows, settings, facts, error);
}

// trace.csv with the rows of `kept` only, then the added mode's.
bool ResultsFolder::writeTraces(const QList<ModeTrace> &kept, bool byVoltage, const TraceFile::Addition *added,
                                ModeTrace *addedTrace, QString *error) const
{
    const auto keep = [&kept](int index, int voltageKey) {
        return std::any_of(kept.cbegin(), kept.cend(),
                           [&](const ModeTrace &trace) { return trace.index == index && trace.voltageKey == voltageKey; });
    };
    return TraceFile::rewrite(filePath(QStringLiteral("trace.csv")), byVoltage, keep, added, addedTrace, error);
}

bool ResultsFolder::write(const QList<ResultRow> &rows, const QList<QStringList> &samples, const QList<QStringList> &events,
                          const QJsonObject &settings, const RunFacts &facts, QString *error) const
{
    QByteArray results = Csv::row(ResultRow::header).toUtf8();
    QJsonArray jsonRows;
    for (const ResultRow &row : rows) {
        results += Csv::row(row.fields()).toUtf8();
        jsonRows << row.toJson();
    }
    QByteArray samplesCsv = Csv::row(samplesHeader).toUtf8();
    for (const QStringList &sample : samples)
        samplesCsv += Csv::row(sample).toUtf8();
    QJsonObject document {{"settings", settings}, {"results", jsonRows}};
    facts.addTo(document);
    QByteArray eventsCsv = Csv::row(EventsFile::header).toUtf8();
    for (const QStringList &event : events)
        eventsCsv += Csv::row(event).toUtf8();
    const bool withEvents = eventsAsked(settings) || !events.isEmpty();
    // results.csv last: it is the commit point.
    return saveAtomically(filePath(QStringLiteral("samples.csv")), samplesCsv, error)
        && (!withEvents || saveAtomically(filePath(QStringLiteral("events.csv")), eventsCsv, error))
        && saveAtomically(filePath(QStringLiteral("results.json")), QJsonDocument(document).toJson(), error)
        && saveAtomically(filePath(QStringLiteral("results.csv")), results, error);
}

std::optional<QList<ResultRow>> ResultsFolder::readRows(const QString &path, QString *error)
{
    const QString file = QDir(path).filePath(QStringLiteral("results.csv"));
    const std::optional<Csv::Table> table = Csv::read(file, ResultRow::headers, error);
    if (!table)
        return std::nullopt;
    QList<ResultRow> rows;
    QList<int> lines;
    for (int i = 0; i < table->rows.size(); ++i) {
        QString why;
        const std::optional<ResultRow> row = ResultRow::fromFields(table->rows.at(i), &why);
        if (!row) {
            *error = QStringLiteral("%1:%2: %3").arg(file).arg(table->rowLines.at(i)).arg(why);
            return std::nullopt;
        }
        rows << *row;
        lines << table->rowLines.at(i);
    }
    // What each row was measured with and the voltage a supply unit was set
    // to, where results.json records them: the row of the same mode and
    // recorded voltage, as every file writes them.
    QMap<QString, QJsonObject> recorded;
    for (const QJsonValue &value : readJson(QDir(path).filePath(QStringLiteral("results.json"))).value(QStringLiteral("results")).toArray()) {
        const QJsonValue vdd = value.toObject().value(QStringLiteral("vdd_v"));
        recorded.insert(QString::number(value.toObject().value(QStringLiteral("index")).toInt()) + QLatin1Char(',')
                            + Csv::number(vdd.isDouble() ? std::optional<double>(vdd.toDouble()) : std::nullopt),
                        value.toObject());
    }
    for (ResultRow &row : rows) {
        const QJsonObject found = recorded.value(sampleKey(row));
        row.settings = RowSettings::fromJson(found);
        const auto number = [&found](const char *key) {
            const QJsonValue value = found.value(QLatin1String(key));
            return value.isDouble() ? std::optional<double>(value.toDouble()) : std::nullopt;
        };
        row.supplySetV = number("supply_set_v");
        row.entryChecked = found.value(QStringLiteral("entry_checked")).toBool();
        row.reportMissingAfterS = number("report_missing_after_s");
        row.windowS = number("window_s");
        row.eventSource = found.value(QStringLiteral("event_source")).toString();
    }
    // Each mode once at each voltage.
    QMap<QPair<int, int>, int> lineOfPoint;
    for (int i = 0; i < rows.size(); ++i) {
        const QPair<int, int> point(rows.at(i).index, rows.at(i).voltageKey());
        if (lineOfPoint.contains(point)) {
            *error = QStringLiteral("%1:%2: %3 again, already on line %4").arg(file).arg(lines.at(i))
                         .arg(point.second == ResultRow::noVoltage ? QStringLiteral("mode %1").arg(point.first)
                                                                   : QStringLiteral("mode %1 at %2").arg(point.first).arg(ResultRow::voltageText(point.second)))
                         .arg(lineOfPoint.value(point));
            return std::nullopt;
        }
        lineOfPoint.insert(point, lines.at(i));
    }
    return rows;
}
