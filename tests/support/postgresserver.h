#ifndef POSTGRESSERVER_H
#define POSTGRESSERVER_H

#include <QString>
#include <QTemporaryDir>

// A throwaway PostgreSQL server from Debian's packages: a cluster made with
// initdb in a temporary folder, run by pg_ctl as the postgres system user
// (as the calling user where that is not root), listening on 127.0.0.1 on a
// free port with its socket in the same folder. It holds one database,
// `pellmora`, open to the postgres user without a password.
class PostgresServer
{
public:
    PostgresServer();
    ~PostgresServer();

    bool isRunning() const { return running; }
    QString error() const { return failure; }
    // As --history takes it.
    QString location() const;

    bool stop();
    bool start();

private:
    bool run(const QString &program, const QStringList &arguments, int milliseconds);

    QTemporaryDir folder;
    QString binaries;
    QString data;
    quint16 port = 0;
    bool running = false;
    QString failure;
};

#endif // POSTGRESSERVER_H
