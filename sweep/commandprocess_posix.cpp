#include "sweep/commandprocess.h"

#include <csignal>
#include <unistd.h>

CommandProcess::CommandProcess(QObject *parent)
    : QProcess(parent)
{
}

CommandProcess::~CommandProcess() = default;

void CommandProcess::startShell(const QString &command)
{
    start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
}

void CommandProcess::setupChildProcess()
{
    ::setpgid(0, 0);
}

void CommandProcess::endGroup()
{
    const pid_t group = pid_t(processId());
    if (group <= 0)
        return;
    ::kill(-group, SIGTERM);
    waitForFinished(1000);
    ::kill(-group, SIGKILL);   // what outlived its shell
    waitForFinished(1000);
}
