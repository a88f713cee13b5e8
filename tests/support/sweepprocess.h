#ifndef SWEEPPROCESS_H
#define SWEEPPROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// What a finished pellmora-sweep said: its exit status (-1 when it crashed)
// and its two output streams.
struct ToolRun
{
    int exitCode = -1;
    QString output;
    QString errors;
};

// pellmora-sweep as a script or a terminal runs it: no runtime folder of
// Qt's, a DISPLAY that names no server, standard input closed unless a
// terminal is given. This process's event loop keeps turning meanwhile, so
// meters and boards of the test's own answer it.
class SweepProcess
{
public:
    explicit SweepProcess(const QStringList &arguments);
    ~SweepProcess();

    void setInputTerminal(const QString &path);   // standard input from a terminal's slave end
    void setWorkingDirectory(const QString &path);
    // Started through a command that runs the rest of its line, such as
    // setsid (a process group of its own, as a shell starts a job).
    void runInside(const QStringList &wrapper);
    void start();
    // Waits until standard error holds `text`; false when the tool ended or time ran out first.
    bool waitForErrors(const QString &text, int milliseconds = 30000);
    // To the process, or to its whole group as a terminal's Ctrl+C does.
    void signal(int number, bool wholeGroup = false);
    ToolRun finish(int milliseconds = 60000);
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    // Lets this process's event loop turn for a while, taking in what the tool says.
    void pump(int milliseconds);
    QString errors() const { return errorsSoFar; }
    qint64 processId() const { return process.processId(); }
    // The pellmora-sweep under test.
    static QString program();

private:

    QProcess process;
    QStringList arguments;
    QString errorsSoFar;
    QString outputSoFar;
    QStringList wrapper;
};

// Runs pellmora-sweep to its end; `interrupt`, asked as its progress comes,
// may stop it with SIGINT.
ToolRun runSweepTool(const QStringList &arguments, const std::function<bool(const QString &progress)> &interrupt = nullptr);
// Runs pellmora-sweep to its end in a mount namespace of its own, where
// `folder` is a tmpfs with these options (size=48k: a disk that fills);
// what it leaves there is copied to `kept`. Exit 77: no namespace here.
ToolRun runSweepToolInTmpfs(const QStringList &arguments, const QString &folder, const QString &options, const QString &kept);

#endif // SWEEPPROCESS_H
