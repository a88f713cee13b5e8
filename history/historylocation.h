#ifndef HISTORYLOCATION_H
#define HISTORYLOCATION_H

#include <QString>

#include <optional>

// Where the run history lives: an SQLite file (the default, in the user's
// data folder), a lab's PostgreSQL database, or nowhere.
struct HistoryLocation
{
    enum Kind { None, Sqlite, Postgres };

    Kind kind = None;
    QString path;        // Sqlite
    QString user;        // Postgres; empty: the login's name, as every PostgreSQL client takes it
    QString host;
    int port = 5432;
    QString database;

    // --history wins over PELLMORA_HISTORY, which wins over the default file.
    static std::optional<HistoryLocation> choose(const QString &option, QString *error);
    // A file path, postgresql://[USER@]HOST[:PORT]/DATABASE, or none.
    static std::optional<HistoryLocation> parse(const QString &text, QString *error);
    static QString defaultPath();

    // As a message names it; never with a password, which only ever comes
    // from PGPASSWORD or ~/.pgpass.
    QString text() const;
};

#endif // HISTORYLOCATION_H
