#include "tests/support/scratchfolder.h"

#include <QDir>
#include <QFile>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Raises or lowers the file-permission override in the effective set; the
// permitted set keeps it, so it can come back.
void setPermissionOverride(bool enabled)
{
    __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    const unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    if (enabled)
        data[0].effective |= bits & data[0].permitted;
    else
        data[0].effective &= ~bits;
    syscall(SYS_capset, &header, data);
}

} // namespace

ScratchFolder::ScratchFolder()
    : previousFolder(QDir::currentPath())
{
    QDir::setCurrent(folder.path());
}

ScratchFolder::~ScratchFolder()
{
    if (readOnly) {
        setPermissionOverride(true);
        chmod(QFile::encodeName(folder.path()).constData(), 0700);
        chmod(QFile::encodeName(handOffPath()).constData(), 0600);
    }
    QDir::setCurrent(previousFolder);
}

QString ScratchFolder::path() const
{
    return folder.path();
}

QString ScratchFolder::handOffPath() const
{
    return folder.filePath(QStringLiteral("data.txt"));
}

QByteArray ScratchFolder::handOffContent() const
{
    QFile file(handOffPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void ScratchFolder::writeHandOff(const QByteArray &content) const
{
    QFile file(handOffPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

void ScratchFolder::makeReadOnly()
{
    chmod(QFile::encodeName(handOffPath()).constData(), 0444);
    chmod(QFile::encodeName(folder.path()).constData(), 0555);
    setPermissionOverride(false);
    readOnly = true;
}
