#include "history/history.h"

#include "results/csv.h"

#include <QDir>
#include <QHash>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <numeric>
#include <tuple>

namespace {

// Version 1: runs, their tags, and a row per finished mode.
const char *const schemaOne[] = {
    "CREATE TABLE runs (run_id TEXT PRIMARY KEY, started_utc TEXT NOT NULL, ended_utc TEXT, outcome TEXT NOT NULL,"
    " host TEXT NOT NULL, login TEXT NOT NULL, port TEXT NOT NULL, board_id TEXT NOT NULL, firmware TEXT NOT NULL,"
    " note TEXT NOT NULL, meter_identity TEXT NOT NULL, settings TEXT NOT NULL, folder TEXT NOT NULL)",
    "CREATE INDEX runs_by_board ON runs (board_id, started_utc)",
    "CREATE INDEX runs_by_start ON runs (started_utc, run_id)",
    "CREATE TABLE tags (run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE, tag TEXT NOT NULL,"
    " value TEXT NOT NULL, PRIMARY KEY (run_id, tag))",
    "CREATE TABLE modes (run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE, idx INTEGER NOT NULL,"
    " mode TEXT NOT NULL, started_utc TEXT NOT NULL, samples INTEGER NOT NULL, mean_a DOUBLE PRECISION,"
    " min_a DOUBLE PRECISION, max_a DOUBLE PRECISION, stdev_a DOUBLE PRECISION, overloads INTEGER NOT NULL,"
    " power_w DOUBLE PRECISION, coremark DOUBLE PRECISION, coremark_per_ma DOUBLE PRECISION,"
    " limit_min_a DOUBLE PRECISION, limit_max_a DOUBLE PRECISION, verdict TEXT NOT NULL, PRIMARY KEY (run_id, idx))",
};

// Version 2: a mode row per voltage, with the supply's readback, the voltage
// it was set to, its key in hundredths of a volt (-1 for none) and the
// temperature. SQLite cannot change a primary key in place, so the table is
// made anew and the rows copied, in a way PostgreSQL takes too.
const char *const schemaTwo[] = {
    "CREATE TABLE modes_v2 (run_id TEXT NOT NULL REFERENCES runs (run_id) ON DELETE CASCADE, idx INTEGER NOT NULL,"
    " mode TEXT NOT NULL, started_utc TEXT NOT NULL, samples INTEGER NOT NULL, mean_a DOUBLE PRECISION,"
    " min_a DOUBLE PRECISION, max_a DOUBLE PRECISION, stdev_a DOUBLE PRECISION, overloads INTEGER NOT NULL,"
    " power_w DOUBLE PRECISION, coremark DOUBLE PRECISION, coremark_per_ma DOUBLE PRECISION,"
    " limit_min_a DOUBLE PRECISION, limit_max_a DOUBLE PRECISION, verdict TEXT NOT NULL, vdd_v DOUBLE PRECISION,"
    " vdd_set_v DOUBLE PRECISION, temperature_c DOUBLE PRECISION, vdd_cv INTEGER NOT NULL,"
    " PRIMARY KEY (run_id, idx, vdd_cv))",
    "INSERT INTO modes_v2 (run_id, idx, mode, started_utc, samples, mean_a, min_a, max_a, stdev_a, overloads, power_w,"
    " coremark, coremark_per_ma, limit_min_a, limit_max_a, verdict, vdd_cv)"
    " SELECT run_id, idx, mode, started_utc, samples, mean_a, min_a, max_a, stdev_a, overloads, power_w,"
    " coremark, coremark_per_ma, limit_min_a, limit_max_a, verdict, -1 FROM modes",
    "DROP TABLE modes",
    "ALTER TABLE modes_v2 RENAME TO modes",
};

// Version 3: a mode's events, as results.csv has them (empty for runs without).
const char *const schemaThree[] = {
    "ALTER TABLE modes ADD COLUMN events INTEGER",
    "ALTER TABLE modes ADD COLUMN event_rate_hz DOUBLE PRECISION",
    "ALTER TABLE modes ADD COLUMN event_charge_c DOUBLE PRECISION",
    "ALTER TABLE modes ADD COLUMN between_events_a DOUBLE PRECISION",
};

// Each version's statements, from the one before it; the history's own
// version is kept apart (PRAGMA user_version, or schema_version).
const QList<QList<const char *>> migrations = {
    {std::begin(schemaOne), std::end(schemaOne)},
    {std::begin(schemaTwo), std::end(schemaTwo)},
    {std::begin(schemaThree), std::end(schemaThree)},
};

const char modeColumns[] = "idx, mode, started_utc, samples, mean_a, min_a, max_a, stdev_a, overloads, power_w, coremark,"
                           " coremark_per_ma, limit_min_a, limit_max_a, verdict, vdd_v, vdd_set_v, temperature_c, vdd_cv,"
                           " events, event_rate_hz, event_charge_c, between_events_a";

// A driver's message on one line, its sentences kept apart: libpq gives
// each its own line ("... failed: Connection refused", "Is the server
// running ...?"), and Qt's driver adds one more.
QString oneLine(const QString &message)
{
    QString joined;
    for (const QString &line : message.split(QLatin1Char('\n'))) {
        const QString sentence = line.simplified();
        if (sentence.isEmpty())
            continue;
        if (!joined.isEmpty())
            joined += QStringLiteral("?!.").contains(joined.back()) ? QStringLiteral(" ") : QStringLiteral(". ");
        joined += sentence;
    }
    return joined;
}

// "m.idx, m.mode, ...": columns as a join names them.
QString prefixed(const char *columns, const QString &table)
{
    return table + QString::fromLatin1(columns).replace(QLatin1String(", "), QStringLiteral(", ") + table);
}

QString utc(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime fromUtc(const QVariant &text)
{
    return QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
}

// As results.csv holds it, so that a run recorded as it goes and one
// imported from its folder hold the same numbers.
QVariant value(const std::optional<double> &number)
{
    return number ? QVariant(Csv::number(number).toDouble()) : QVariant(QVariant::Double);
}

std::optional<double> number(const QVariant &stored)
{
    return stored.isNull() ? std::nullopt : std::optional<double>(stored.toDouble());
}

// The filters as SQL on the runs (as r) and the values they bind, in order.
QString whereOf(const RunFilter &filter, QVariantList *bound)
{
    QStringList conditions;
    if (!filter.boardId.isEmpty()) {
        conditions << QStringLiteral("r.board_id = ?");
        *bound << filter.boardId;
    }
    if (!filter.firmware.isEmpty()) {
        conditions << QStringLiteral("r.firmware = ?");
        *bound << filter.firmware;
    }
    if (filter.since.isValid()) {
        conditions << QStringLiteral("r.started_utc >= ?");
        *bound << filter.since.toString(Qt::ISODate);
    }
    for (auto tag = filter.tags.cbegin(); tag != filter.tags.cend(); ++tag) {
        conditions << QStringLiteral("EXISTS (SELECT 1 FROM tags t WHERE t.run_id = r.run_id AND t.tag = ? AND t.value = ?)");
        *bound << tag.key() << tag.value();
    }
    return conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QLatin1String(" AND "));
}

// " AND m.idx IN (0,5)" for the chosen modes; nothing for all.
QString modesIn(const QList<int> &modes)
{
    QStringList indexes;
    for (int mode : modes)
        indexes << QString::number(mode);
    return modes.isEmpty() ? QString() : QStringLiteral(" AND m.idx IN (%1)").arg(indexes.join(QLatin1Char(',')));
}

ResultRow rowOf(const QSqlQuery &query, int first)
{
    ResultRow row;
    row.index = query.value(first).toInt();
    row.mode = query.value(first + 1).toString();
    row.startedUtc = query.value(first + 2).toString();
    row.samples = query.value(first + 3).toInt();
    row.mean = number(query.value(first + 4));
    row.min = number(query.value(first + 5));
    row.max = number(query.value(first + 6));
    row.stdev = number(query.value(first + 7));
    row.overloads = query.value(first + 8).toInt();
    row.powerW = number(query.value(first + 9));
    row.coremark = number(query.value(first + 10));
    row.coremarkPerMa = number(query.value(first + 11));
    row.limitMin = number(query.value(first + 12));
    row.limitMax = number(query.value(first + 13));
    row.verdict = query.value(first + 14).toString();
    row.vddV = number(query.value(first + 15));
    row.supplySetV = number(query.value(first + 16));
    row.temperatureC = number(query.value(first + 17));
    if (!query.value(first + 19).isNull())
        row.events = query.value(first + 19).toInt();
    row.eventRateHz = number(query.value(first + 20));
    row.eventChargeC = number(query.value(first + 21));
    row.betweenEventsA = number(query.value(first + 22));
    return row;
}

} // namespace

QList<QPair<QString, QString>> RunFilter::described() const
{
    QStringList tagPairs;
    for (auto tag = tags.cbegin(); tag != tags.cend(); ++tag)
        tagPairs << tag.key() + QLatin1Char('=') + tag.value();
    const QList<QPair<QString, QString>> all {
        {QStringLiteral("Board"), boardId},
        {QStringLiteral("Firmware"), firmware},
        {QStringLiteral("Tags"), tagPairs.join(QLatin1String(", "))},
        {QStringLiteral("Since"), since.isValid() ? since.toString(Qt::ISODate) : QString()},
    };
    QList<QPair<QString, QString>> given;
    std::copy_if(all.cbegin(), all.cend(), std::back_inserter(given), [](const auto &fact) { return !fact.second.isEmpty(); });
    return given;
}

QJsonObject RunEntry::toJson() const
{
    QJsonObject tags;
    for (auto tag = facts.tags.cbegin(); tag != facts.tags.cend(); ++tag)
        tags.insert(tag.key(), tag.value());
    return {
        {"run_id", facts.runId}, {"started_utc", utc(facts.started)}, {"ended_utc", utc(facts.ended)},
        {"outcome", facts.outcome}, {"host", facts.host}, {"board_id", facts.boardId}, {"firmware", facts.firmware},
        {"tags", tags}, {"note", facts.note}, {"modes", modes}, {"fails", fails}, {"folder", folder},
    };
}

// Runs one statement; false with the database's reason. One with values
// is prepared and bound; one without is sent as it is, since PostgreSQL
// cannot prepare BEGIN or COMMIT.
class Statement
{
public:
    Statement(const QSqlDatabase &database, const QString &where, const QString &statement, const QVariantList &values = {})
        : query(database)
        , location(where)
        , sql(statement)
        , bound(!values.isEmpty())
    {
        query.setForwardOnly(true);
        if (!bound)
            return;
        prepared = query.prepare(sql);
        // Qt binds a null QString as NULL; an empty text is still text.
        for (const QVariant &value : values)
            query.addBindValue(value.type() == QVariant::String && value.isNull() ? QVariant(QLatin1String("")) : value);
    }

    bool run(QString *error)
    {
        if (bound ? prepared && query.exec() : query.exec(sql))
            return true;
        *error = QStringLiteral("history at %1: %2").arg(location, oneLine(query.lastError().text()));
        return false;
    }

    QSqlQuery query;

private:
    QString location;
    QString sql;
    bool bound = false;
    bool prepared = false;
};

History::History(const HistoryLocation &location, const QString &connectionName)
    : where(location)
    , connection(connectionName)
{
}

History::~History()
{
    // SQLite plans the history's big queries well only with statistics of
    // its tables, which it keeps up to date cheaply when asked as it closes.
    if (where.kind == HistoryLocation::Sqlite && database().isOpen()) {
        QString ignored;
        Statement(database(), where.text(), QStringLiteral("PRAGMA analysis_limit = 400")).run(&ignored);
        Statement(database(), where.text(), QStringLiteral("PRAGMA optimize")).run(&ignored);
    }
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
}

bool History::checkFile(const HistoryLocation &location, Access access, bool *readOnly, QString *error)
{
    const QFileInfo file(location.path);
    const QFileInfo folder(file.absolutePath());
    if (access == Access::Read && !file.exists()) {
        *error = QStringLiteral("history at %1: there is no such file").arg(location.text());
        return false;
    }
    // SQLite writes a journal beside the file, so its folder must take files too.
    *readOnly = (file.exists() && !file.isWritable()) || (folder.exists() && !folder.isWritable());
    if (access == Access::Write && *readOnly) {
        *error = QStringLiteral("history at %1: cannot write to it (the file or its folder is read-only)").arg(location.text());
        return false;
    }
    if (access == Access::Write && !QDir().mkpath(folder.absoluteFilePath())) {
        *error = QStringLiteral("history at %1: cannot create its folder").arg(location.text());
        return false;
    }
    return true;
}

std::unique_ptr<History> History::open(const HistoryLocation &location, Access access, QString *error)
{
    const QString name = QStringLiteral("pellmora-history-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const bool file = location.kind == HistoryLocation::Sqlite;
    // Made first, so that on a failure it removes the connection after the last handle to it is gone.
    std::unique_ptr<History> history(new History(location, name));
    QSqlDatabase database = QSqlDatabase::addDatabase(file ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
    if (!database.isValid()) {
#ifdef Q_OS_WIN
        // Qt's PostgreSQL driver needs libpq, which has no build for this toolchain here.
        *error = file ? QStringLiteral("history at %1: sqldrivers\\qsqlite.dll is missing beside the program; install it again")
                            .arg(location.text())
                      : QStringLiteral("history at %1: this Windows build has no PostgreSQL driver; keep the history in a file "
                                       "(--history C:\\path\\history.sqlite), or run the tools on Linux for a lab's server")
                            .arg(location.text());
#else
        *error = QStringLiteral("history at %1: Qt has no %2 driver here (install %3)")
                     .arg(location.text(), file ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL"),
                          file ? QStringLiteral("libqt5sql5-sqlite") : QStringLiteral("libqt5sql5-psql"));
#endif
        return nullptr;
    }
    bool readOnly = false;
    if (file) {
        if (!checkFile(location, access, &readOnly, error))
            return nullptr;
        // A second sweep, the window and a query may all use the file at
        // once. One that may only be read is opened as immutable: SQLite
        // could not make the shared-memory file a WAL journal needs beside it.
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");
        if (readOnly) {
            options += QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
            database.setDatabaseName(QUrl::fromLocalFile(QFileInfo(location.path).absoluteFilePath()).toString(QUrl::FullyEncoded)
                                     + QStringLiteral("?immutable=1"));
        } else {
            database.setDatabaseName(location.path);
        }
        database.setConnectOptions(options);
    } else {
        database.setHostName(location.host);
        database.setPort(location.port);
        database.setDatabaseName(location.database);
        database.setUserName(location.user);
        // A server that vanishes from the network, rather than closing the
        // connection, must not hold the sweep for the minutes TCP would wait.
        database.setConnectOptions(QStringLiteral("connect_timeout=5;tcp_user_timeout=5000;keepalives_idle=10;"
                                                  "keepalives_interval=2;keepalives_count=3"));
    }
    if (!database.open()) {
        *error = QStringLiteral("history at %1: %2").arg(location.text(), oneLine(database.lastError().text()));
        return nullptr;
    }
    // A newer tool's history is left as it is, journal mode included.
    const int version = history->storedVersion(error);
    if (!history->isKnown(version, error))
        return nullptr;
    if (access == Access::Read && version == 0) {
        *error = QStringLiteral("history at %1: it holds no history").arg(location.text());
        return nullptr;
    }
    if (readOnly) {
        if (version == schemaVersion)
            return history;
        *error = QStringLiteral("history at %1: its schema is version %2, and it is read-only here; bring it up to version %3 "
                                "where it can be written, with any pellmora-sweep command")
                     .arg(location.text()).arg(version).arg(schemaVersion);
        return nullptr;
    }
    if (file) {
        for (const char *pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", "PRAGMA foreign_keys=ON"}) {
            if (!Statement(database, location.text(), QLatin1String(pragma)).run(error))
                return nullptr;
        }
    }
    if (!history->prepareSchema(error))
        return nullptr;
    return history;
}

std::unique_ptr<History> History::openChosen(const QString &option, QString *error, Access access)
{
    const std::optional<HistoryLocation> location = HistoryLocation::choose(option, error);
    if (!location || location->kind == HistoryLocation::None)
        return nullptr;
    return open(*location, access, error);
}

QSqlDatabase History::database() const
{
    return QSqlDatabase::database(connection, false);
}

int History::storedVersion(QString *error)
{
    if (where.kind == HistoryLocation::Sqlite) {
        Statement version(database(), where.text(), QStringLiteral("PRAGMA user_version"));
        return version.run(error) && version.query.next() ? version.query.value(0).toInt() : -1;
    }
    Statement exists(database(), where.text(), QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL"));
    if (!exists.run(error) || !exists.query.next())
        return -1;
    if (!exists.query.value(0).toBool())
        return 0;
    Statement version(database(), where.text(), QStringLiteral("SELECT version FROM schema_version"));
    return version.run(error) && version.query.next() ? version.query.value(0).toInt() : -1;
}

bool History::isKnown(int version, QString *error) const
{
    if (version > schemaVersion) {
        *error = QStringLiteral("history at %1 has schema version %2; this pellmora-sweep knows version %3 at most")
                     .arg(where.text()).arg(version).arg(schemaVersion);
    }
    return version >= 0 && version <= schemaVersion;
}

// Creates or brings the schema up to date in one transaction. Two programs
// that open a new history at once take turns: SQLite's write lock does it
// for a file; on PostgreSQL a lock held across the transaction does, taken
// before it begins so that the second one's look at the tables sees what
// the first one made.
bool History::prepareSchema(QString *error)
{
    const bool file = where.kind == HistoryLocation::Sqlite;
    const auto run = [this](const QString &sql, QString *error) { return Statement(database(), where.text(), sql).run(error); };
    if (!file && !run(QStringLiteral("SELECT pg_advisory_lock(4202612)"), error))
        return false;
    const bool ready = inTransaction([this, file, &run](QString *error) {
        const int version = storedVersion(error);
        if (!isKnown(version, error))
            return false;
        if (version == schemaVersion)
            return true;
        for (int step = version; step < schemaVersion; ++step) {
            for (const char *statement : migrations.at(step)) {
                if (!run(QLatin1String(statement), error))
                    return false;
            }
        }
        if (file)
            return run(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion), error);
        return (version > 0 || run(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"), error))
            && run(QStringLiteral("DELETE FROM schema_version"), error)
            && run(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(schemaVersion), error);
    }, error);
    QString ignored;
    if (!file)
        run(QStringLiteral("SELECT pg_advisory_unlock(4202612)"), &ignored);
    return ready;
}

bool History::beginRun(const RunEntry &run, QString *error)
{
    const RunFacts &facts = run.facts;
    const QString settings = QString::fromUtf8(QJsonDocument(run.settings).toJson(QJsonDocument::Compact));
    // A resumed run keeps its row, and when it started.
    Statement upsert(database(), where.text(),
                     QStringLiteral("INSERT INTO runs (run_id, started_utc, ended_utc, outcome, host, login, port, board_id,"
                                    " firmware, note, meter_identity, settings, folder) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                                    " ON CONFLICT (run_id) DO UPDATE SET ended_utc = excluded.ended_utc, outcome = excluded.outcome,"
                                    " host = excluded.host, login = excluded.login, port = excluded.port,"
                                    " board_id = excluded.board_id, firmware = excluded.firmware, note = excluded.note,"
                                    " meter_identity = excluded.meter_identity, settings = excluded.settings,"
                                    " folder = excluded.folder"),
                     {facts.runId, utc(facts.started), utc(facts.ended), facts.outcome, facts.host, facts.user, run.port,
                      facts.boardId, facts.firmware, facts.note, facts.meterIdentity, settings, run.folder});
    if (!upsert.run(error))
        return false;
    for (auto tag = facts.tags.cbegin(); tag != facts.tags.cend(); ++tag) {
        Statement tagged(database(), where.text(),
                         QStringLiteral("INSERT INTO tags (run_id, tag, value) VALUES (?, ?, ?)"
                                        " ON CONFLICT (run_id, tag) DO UPDATE SET value = excluded.value"),
                         {facts.runId, tag.key(), tag.value()});
        if (!tagged.run(error))
            return false;
    }
    return true;
}

bool History::recordMode(const QString &runId, const ResultRow &row, QString *error)
{
    Statement upsert(database(), where.text(),
                     QStringLiteral("INSERT INTO modes (run_id, %1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                                    " ?, ?, ?, ?)"
                                    " ON CONFLICT (run_id, idx, vdd_cv) DO UPDATE SET mode = excluded.mode,"
                                    " started_utc = excluded.started_utc, samples = excluded.samples, mean_a = excluded.mean_a,"
                                    " min_a = excluded.min_a, max_a = excluded.max_a, stdev_a = excluded.stdev_a,"
                                    " overloads = excluded.overloads, power_w = excluded.power_w, coremark = excluded.coremark,"
                                    " coremark_per_ma = excluded.coremark_per_ma, limit_min_a = excluded.limit_min_a,"
                                    " limit_max_a = excluded.limit_max_a, verdict = excluded.verdict, vdd_v = excluded.vdd_v,"
                                    " vdd_set_v = excluded.vdd_set_v, temperature_c = excluded.temperature_c,"
                                    " events = excluded.events, event_rate_hz = excluded.event_rate_hz,"
                                    " event_charge_c = excluded.event_charge_c, between_events_a = excluded.between_events_a")
                         .arg(QLatin1String(modeColumns)),
                     {runId, row.index, row.mode, row.startedUtc, row.samples, value(row.mean), value(row.min), value(row.max),
                      value(row.stdev), row.overloads, value(row.powerW), value(row.coremark), value(row.coremarkPerMa),
                      value(row.limitMin), value(row.limitMax), row.verdict, value(row.vddV), value(row.supplySetV),
                      value(row.temperatureC), row.voltageKey(), row.events ? QVariant(*row.events) : QVariant(QVariant::Int),
                      value(row.eventRateHz), value(row.eventChargeC), value(row.betweenEventsA)});
    return upsert.run(error);
}

bool History::removeMode(const QString &runId, const ResultRow &row, QString *error)
{
    return Statement(database(), where.text(), QStringLiteral("DELETE FROM modes WHERE run_id = ? AND idx = ? AND vdd_cv = ?"),
                     {runId, row.index, row.voltageKey()})
        .run(error);
}

bool History::endRun(const QString &runId, const QString &outcome, const QDateTime &ended, QString *error)
{
    return Statement(database(), where.text(), QStringLiteral("UPDATE runs SET outcome = ?, ended_utc = ? WHERE run_id = ?"),
                     {outcome, utc(ended), runId})
        .run(error);
}

bool History::inTransaction(const std::function<bool(QString *error)> &work, QString *error)
{
    // SQLite takes its write lock at once, so that two writers wait in turn
    // instead of one failing as "locked" halfway.
    const bool file = where.kind == HistoryLocation::Sqlite;
    if (!Statement(database(), where.text(), file ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")).run(error))
        return false;
    if (work(error) && Statement(database(), where.text(), QStringLiteral("COMMIT")).run(error))
        return true;
    QString ignored;
    Statement(database(), where.text(), QStringLiteral("ROLLBACK")).run(&ignored);
    return false;
}

std::optional<QList<RunEntry>> History::runs(const RunFilter &filter, int limit, QString *error)
{
    QVariantList bound;
    const QString condition = whereOf(filter, &bound);
    return listed(condition, bound, limit, error);
}

std::optional<RunEntry> History::run(const QString &runId, QString *error)
{
    const auto found = listed(QStringLiteral(" WHERE r.run_id = ?"), {runId}, 1, error);
    if (!found || found->isEmpty())
        return std::nullopt;
    return found->first();
}

// Runs with their tags and counts, newest first.
std::optional<QList<RunEntry>> History::listed(const QString &condition, const QVariantList &bound, int limit, QString *error)
{
    // The runs taken, in order, for the listing and again for their tags:
    // bound once per filter, whatever the number of runs.
    QString taken = QStringLiteral(" FROM runs r") + condition + QStringLiteral(" ORDER BY r.started_utc DESC, r.run_id DESC");
    if (limit > 0)
        taken += QStringLiteral(" LIMIT %1").arg(limit);
    Statement listing(database(), where.text(),
                      QStringLiteral("SELECT r.run_id, r.started_utc, r.ended_utc, r.outcome, r.host, r.login, r.port, r.board_id,"
                                     " r.firmware, r.note, r.meter_identity, r.settings, r.folder,"
                                     " (SELECT COUNT(*) FROM modes m WHERE m.run_id = r.run_id),"
                                     " (SELECT COUNT(*) FROM modes m WHERE m.run_id = r.run_id AND m.verdict = 'FAIL')")
                          + taken,
                      bound);
    if (!listing.run(error))
        return std::nullopt;
    QList<RunEntry> entries;
    QHash<QString, int> byId;
    while (listing.query.next()) {
        RunEntry entry;
        const QSqlQuery &row = listing.query;
        entry.facts.runId = row.value(0).toString();
        entry.facts.started = fromUtc(row.value(1));
        entry.facts.ended = fromUtc(row.value(2));
        entry.facts.outcome = row.value(3).toString();
        entry.facts.host = row.value(4).toString();
        entry.facts.user = row.value(5).toString();
        entry.port = row.value(6).toString();
        entry.facts.boardId = row.value(7).toString();
        entry.facts.firmware = row.value(8).toString();
        entry.facts.note = row.value(9).toString();
        entry.facts.meterIdentity = row.value(10).toString();
        entry.settings = QJsonDocument::fromJson(row.value(11).toString().toUtf8()).object();
        entry.folder = row.value(12).toString();
        entry.modes = row.value(13).toInt();
        entry.fails = row.value(14).toInt();
        byId.insert(entry.facts.runId, entries.size());
        entries << entry;
    }
    if (entries.isEmpty())
        return entries;
    Statement tags(database(), where.text(),
                   QStringLiteral("SELECT t.run_id, t.tag, t.value FROM tags t WHERE t.run_id IN (SELECT r.run_id%1)").arg(taken),
                   bound);
    if (!tags.run(error))
        return std::nullopt;
    while (tags.query.next()) {
        const auto at = byId.constFind(tags.query.value(0).toString());
        if (at != byId.cend())   // a run that came in between the two
            entries[at.value()].facts.tags.insert(tags.query.value(1).toString(), tags.query.value(2).toString());
    }
    return entries;
}

std::optional<QList<ResultRow>> History::modeRows(const QString &runId, QString *error)
{
    Statement rows(database(), where.text(),
                   QStringLiteral("SELECT %1 FROM modes WHERE run_id = ? ORDER BY started_utc, idx, vdd_cv").arg(QLatin1String(modeColumns)),
                   {runId});
    if (!rows.run(error))
        return std::nullopt;
    QList<ResultRow> found;
    while (rows.query.next())
        found << rowOf(rows.query, 0);
    return found;
}

std::optional<QList<Counterpart>> History::counterparts(const QString &boardId, const ResultRow &point, const QDateTime &before,
                                                        const QString &excluded, bool passingOnly, int limit, QString *error)
{
    QVariantList bound {boardId, utc(before), excluded, point.index, point.voltageKey()};
    QString sql = QStringLiteral("SELECT r.run_id, r.started_utc, r.firmware, %1 FROM runs r JOIN modes m ON m.run_id = r.run_id"
                                 " WHERE r.board_id = ? AND r.outcome = 'completed' AND r.started_utc < ? AND r.run_id <> ?"
                                 " AND m.idx = ? AND m.vdd_cv = ?")
                      .arg(prefixed(modeColumns, QStringLiteral("m.")));
    // Temperatures as given, told apart to a hundredth of a degree.
    if (point.temperatureC) {
        sql += QStringLiteral(" AND m.temperature_c >= ? AND m.temperature_c < ?");
        bound << (point.temperatureKey() - 0.5) / 100 << (point.temperatureKey() + 0.5) / 100;
    } else {
        sql += QStringLiteral(" AND m.temperature_c IS NULL");
    }
    if (passingOnly)
        sql += QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM modes f WHERE f.run_id = r.run_id AND f.verdict = 'FAIL')");
    sql += QStringLiteral(" ORDER BY r.started_utc DESC, r.run_id DESC LIMIT %1").arg(std::max(1, limit));
    Statement rows(database(), where.text(), sql, bound);
    if (!rows.run(error))
        return std::nullopt;
    QList<Counterpart> found;
    while (rows.query.next())
        found << Counterpart {rows.query.value(0).toString(), fromUtc(rows.query.value(1)), rows.query.value(2).toString(),
                              rowOf(rows.query, 3)};
    return found;
}

std::optional<QList<NewestRow>> History::newestRows(const RunFilter &filter, const QList<int> &modes, std::optional<int> voltageKey,
                                                   QString *error)
{
    QList<NewestRow> found;
    for (int mode : modes) {
        QVariantList bound;
        QString condition = whereOf(filter, &bound);
        condition += (condition.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND "))
            + QStringLiteral("r.outcome = 'completed' AND EXISTS (SELECT 1 FROM modes m WHERE m.run_id = r.run_id AND m.idx = ?");
        bound << mode;
        if (voltageKey) {
            condition += QStringLiteral(" AND m.vdd_cv = ?");
            bound << *voltageKey;
        }
        condition += QLatin1Char(')');
        const std::optional<QList<RunEntry>> newest = listed(condition, bound, 1, error);
        if (!newest)
            return std::nullopt;
        if (newest->isEmpty())
            continue;
        const std::optional<QList<ResultRow>> rows = modeRows(newest->first().facts.runId, error);
        if (!rows)
            return std::nullopt;
        for (const ResultRow &row : *rows) {
            if (row.index == mode && (!voltageKey || row.voltageKey() == *voltageKey)) {
                found << NewestRow {newest->first(), row};
                break;
            }
        }
    }
    return found;
}

std::optional<QList<int>> History::voltagesOf(const RunFilter &filter, const QList<int> &modes, QString *error)
{
    QVariantList bound;
    QString condition = whereOf(filter, &bound);
    condition += (condition.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + QStringLiteral("r.outcome = 'completed'")
        + modesIn(modes);
    Statement voltages(database(), where.text(),
                       QStringLiteral("SELECT DISTINCT m.vdd_cv FROM runs r JOIN modes m ON m.run_id = r.run_id") + condition
                           + QStringLiteral(" ORDER BY m.vdd_cv"),
                       bound);
    if (!voltages.run(error))
        return std::nullopt;
    QList<int> found;
    while (voltages.query.next())
        found << voltages.query.value(0).toInt();
    return found;
}

std::optional<int> History::completedRunCount(const QString &boardId, const QString &excluded, QString *error)
{
    Statement count(database(), where.text(),
                    QStringLiteral("SELECT COUNT(*) FROM runs WHERE board_id = ? AND outcome = 'completed' AND run_id <> ?"),
                    {boardId, excluded});
    if (!count.run(error) || !count.query.next())
        return std::nullopt;
    return count.query.value(0).toInt();
}

// The runs in time order first, then their mode rows in whatever order the
// database finds them: sorting 180,000 rows costs it more than placing them
// here does, and each run's facts are read once, not once a mode.
std::optional<QList<DatasheetPoint>> History::datasheetPoints(const RunFilter &filter, const QList<int> &modes, QString *error)
{
    QVariantList bound;
    QString condition = whereOf(filter, &bound);
    condition += (condition.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND "))
        + QStringLiteral("r.outcome = 'completed' AND m.mean_a IS NOT NULL") + modesIn(modes);
    Statement rows(database(), where.text(),
                   QStringLiteral("SELECT r.run_id, r.started_utc, r.board_id, r.firmware, r.meter_identity, r.settings, m.idx,"
                                  " m.mode, m.mean_a, m.vdd_cv, m.temperature_c FROM modes m JOIN runs r ON r.run_id = m.run_id")
                       + condition + QStringLiteral(" ORDER BY r.started_utc DESC, r.run_id DESC, m.idx, m.vdd_cv"),
                   bound);
    if (!rows.run(error))
        return std::nullopt;
    QList<DatasheetPoint> points;
    QHash<QString, QJsonObject> settingsOfRun;
    while (rows.query.next()) {
        const QSqlQuery &row = rows.query;
        const QString runId = row.value(0).toString();
        if (!settingsOfRun.contains(runId))
            settingsOfRun.insert(runId, QJsonDocument::fromJson(row.value(5).toString().toUtf8()).object());
        points << DatasheetPoint {runId, fromUtc(row.value(1)), row.value(2).toString(), row.value(3).toString(),
                                  row.value(4).toString(), settingsOfRun.value(runId), row.value(6).toInt(),
                                  row.value(7).toString(), row.value(8).toDouble(), row.value(9).toInt(), number(row.value(10))};
    }
    return points;
}

std::optional<TrendPoints> History::trend(const RunFilter &filter, const QList<int> &modes, QString *error)
{
    QVariantList bound;
    const QString condition = whereOf(filter, &bound);
    Statement runs(database(), where.text(),
                   QStringLiteral("SELECT r.run_id, r.started_utc, r.board_id, r.firmware FROM runs r") + condition
                       + QStringLiteral(" ORDER BY r.started_utc, r.run_id"),
                   bound);
    if (!runs.run(error))
        return std::nullopt;
    TrendPoints heads;
    QHash<QString, int> position;
    while (runs.query.next()) {
        const QSqlQuery &row = runs.query;
        TrendPoint head;
        head.runId = row.value(0).toString();
        head.started = fromUtc(row.value(1));
        head.boardId = row.value(2).toString();
        head.firmware = row.value(3).toString();
        position.insert(head.runId, heads.size());
        heads << head;
    }

    // A FAIL as a number, so that no verdict's text is made for each row;
    // the runs joined only where a filter needs them.
    QString sql = QStringLiteral("SELECT m.run_id, m.idx, m.mode, m.mean_a, CASE WHEN m.verdict = 'FAIL' THEN 1 ELSE 0 END,"
                                 " m.vdd_cv FROM modes m")
        + (condition.isEmpty() ? QString() : QStringLiteral(" JOIN runs r ON r.run_id = m.run_id") + condition);
    if (!modes.isEmpty())
        sql += (condition.isEmpty() ? QStringLiteral(" WHERE 1 = 1") : QString()) + modesIn(modes);
    Statement rows(database(), where.text(), sql, bound);
    if (!rows.run(error))
        return std::nullopt;
    // Points of one run share its strings, and those of one mode its name.
    QVector<TrendPoints> byRun(heads.size());
    QHash<int, QString> modeNames;
    QString runId;
    int at = -1;
    while (rows.query.next()) {
        const QSqlQuery &row = rows.query;
        const QString rowRun = row.value(0).toString();
        if (rowRun != runId) {
            runId = rowRun;
            at = position.value(runId, -1);   // -1: a run begun after the list was taken
        }
        if (at < 0)
            continue;
        TrendPoint point = heads.at(at);
        point.index = row.value(1).toInt();
        QString &name = modeNames[point.index];
        const QString stored = row.value(2).toString();
        if (name != stored)
            name = stored;
        point.mode = name;
        point.mean = number(row.value(3));
        point.failed = row.value(4).toInt() != 0;
        point.voltageKey = row.value(5).toInt();
        byRun[at] << point;
    }
    TrendPoints found;
    found.reserve(std::accumulate(byRun.cbegin(), byRun.cend(), 0, [](int sum, const TrendPoints &points) { return sum + points.size(); }));
    for (TrendPoints &points : byRun) {
        std::sort(points.begin(), points.end(), [](const TrendPoint &a, const TrendPoint &b) {
            return std::tie(a.index, a.voltageKey) < std::tie(b.index, b.voltageKey);
        });
        found << points;
    }
    return found;
}
