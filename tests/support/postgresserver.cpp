#include "tests/support/postgresserver.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QVersionNumber>

#include <pwd.h>
#include <unistd.h>

namespace {

// Where initdb and pg_ctl are: on the path, or in Debian's folder of the newest server.
QString binaryFolder()
{
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    if (!onPath.isEmpty())
        return QFileInfo(onPath).canonicalPath();
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(), [](const QString &a, const QString &b) {
        return QVersionNumber::fromString(a) < QVersionNumber::fromString(b);
    });
    for (auto version = found.crbegin(); version != found.crend(); ++version) {
        const QString bin = versions.filePath(*version + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable())
            return bin;
    }
    return QString();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

PostgresServer::PostgresServer()
    : binaries(binaryFolder())
    , data(folder.filePath(QStringLiteral("data")))
{
    if (binaries.isEmpty()) {
        failure = QStringLiteral("no initdb: install the postgresql package (scripts/ensure-packages test)");
        return;
    }
    // PostgreSQL will not run as root: the folder goes to its own system user.
    if (geteuid() == 0) {
        const passwd *postgres = getpwnam("postgres");
        if (!postgres || chown(QFile::encodeName(folder.path()).constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
            failure = QStringLiteral("no postgres user to run the server as");
            return;
        }
    }
    if (!run(QStringLiteral("initdb"), {QStringLiteral("--pgdata"), data, QStringLiteral("--username"), QStringLiteral("postgres"),
                                        QStringLiteral("--auth"), QStringLiteral("trust"), QStringLiteral("--no-sync"),
                                        QStringLiteral("--encoding"), QStringLiteral("UTF8"), QStringLiteral("--locale"),
                                        QStringLiteral("C")}, 60000))
        return;
    port = freePort();
    if (!start())
        return;
    run(QStringLiteral("createdb"), {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                     QString::number(port), QStringLiteral("--username"), QStringLiteral("postgres"),
                                     QStringLiteral("pellmora")}, 30000);
}

PostgresServer::~PostgresServer()
{
    if (running)
        stop();
}

QString PostgresServer::location() const
{
    return QStringLiteral("postgresql://postgres@127.0.0.1:%1/pellmora").arg(port);
}

bool PostgresServer::start()
{
    const QString options = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off").arg(port).arg(folder.path());
    running = run(QStringLiteral("pg_ctl"), {QStringLiteral("--pgdata"), data, QStringLiteral("--options"), options,
                                             QStringLiteral("--log"), folder.filePath(QStringLiteral("server.log")),
                                             QStringLiteral("--wait"), QStringLiteral("start")}, 60000);
    return running;
}

bool PostgresServer::stop()
{
    // Fast: clients are cut off at once, as when a lab's server goes down.
    running = !run(QStringLiteral("pg_ctl"), {QStringLiteral("--pgdata"), data, QStringLiteral("--mode"), QStringLiteral("fast"),
                                              QStringLiteral("--wait"), QStringLiteral("stop")}, 60000);
    return !running;
}

bool PostgresServer::run(const QString &program, const QStringList &arguments, int milliseconds)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = QDir(binaries).filePath(program);
    if (geteuid() == 0)
        process.start(QStringLiteral("runuser"), QStringList {QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), path} + arguments);
    else
        process.start(path, arguments);
    if (process.waitForFinished(milliseconds) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    failure = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()).trimmed());
    return false;
}
