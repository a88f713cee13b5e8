#include "tests/support/sweepprocess.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <unistd.h>

SweepProcess::SweepProcess(const QStringList &toolArguments)
    : arguments(toolArguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    // A test's sweep never lands in the user's own history unless it names one.
    if (!environment.contains(QStringLiteral("PELLMORA_HISTORY")))
        environment.insert(QStringLiteral("PELLMORA_HISTORY"), QStringLiteral("none"));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
}

SweepProcess::~SweepProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void SweepProcess::setInputTerminal(const QString &path)
{
    process.setStandardInputFile(path);
}

void SweepProcess::setWorkingDirectory(const QString &path)
{
    process.setWorkingDirectory(path);
}

void SweepProcess::runInside(const QStringList &command)
{
    wrapper = command;
}

QString SweepProcess::program()
{
    return QStringLiteral(SWEEP_PROGRAM);
}

void SweepProcess::start()
{
    const QStringList line = wrapper + QStringList {QStringLiteral(SWEEP_PROGRAM)} + arguments;
    process.start(line.first(), line.mid(1));
    process.waitForStarted(5000);
}

void SweepProcess::pump(int milliseconds)
{
    QTest::qWait(milliseconds);
    errorsSoFar += QString::fromLocal8Bit(process.readAllStandardError());
    outputSoFar += QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool SweepProcess::waitForErrors(const QString &text, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!errorsSoFar.contains(text) && isRunning() && clock.elapsed() < milliseconds)
        pump(10);
    pump(0);
    return errorsSoFar.contains(text);
}

void SweepProcess::signal(int number, bool wholeGroup)
{
    const pid_t pid = pid_t(process.processId());
    if (pid > 0)
        ::kill(wholeGroup ? -pid : pid, number);
}

ToolRun SweepProcess::finish(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (isRunning() && clock.elapsed() < milliseconds)
        pump(20);
    process.waitForFinished(1000);
    pump(0);
    return {process.exitStatus() == QProcess::NormalExit && process.state() == QProcess::NotRunning ? process.exitCode() : -1,
            outputSoFar, errorsSoFar};
}

ToolRun runSweepTool(const QStringList &arguments, const std::function<bool(const QString &)> &interrupt)
{
    SweepProcess tool(arguments);
    tool.start();
    if (interrupt) {
        QElapsedTimer clock;
        clock.start();
        while (tool.isRunning() && !interrupt(tool.errors()) && clock.elapsed() < 60000)
            tool.pump(20);
        tool.signal(SIGINT);
    }
    return tool.finish();
}

namespace {

// A command line that runs the rest of it in a mount namespace of its own,
// where `folder` is a tmpfs with these options; what the tool leaves there
// is copied to `kept` before the namespace ends.
QStringList inPrivateTmpfs(const QString &folder, const QString &options, const QString &kept)
{
    QStringList line {QStringLiteral("unshare"), QStringLiteral("--mount"), QStringLiteral("--propagation"),
                      QStringLiteral("private")};
    if (geteuid() != 0)
        line << QStringLiteral("--map-root-user");
    return line << QStringLiteral("sh") << QStringLiteral("-c")
                << QStringLiteral("mount -t tmpfs -o %1 pellmora \"$0\" 2>/dev/null || exit 77; \"$@\"; status=$?; "
                                  "cp -a \"$0\"/. '%2'; exit $status").arg(options, kept)
                << folder;
}

} // namespace

ToolRun runSweepToolInTmpfs(const QStringList &arguments, const QString &folder, const QString &options, const QString &kept)
{
    SweepProcess tool(arguments);
    tool.runInside(inPrivateTmpfs(folder, options, kept));
    tool.start();
    return tool.finish();
}
