#include "meter/usbtmcmeterlink.h"

#include <QFile>
#include <QTimer>
#include <QtConcurrent>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int driverMinimumTimeout = 100;
constexpr int largestReply = 64 * 1024;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

UsbtmcMeterLink::UsbtmcMeterLink(const QString &devicePath, QObject *parent)
    : MeterLink(parent)
    , devicePath(devicePath)
{
    connect(&pendingRead, &QFutureWatcher<Reply>::finished, this, &UsbtmcMeterLink::takeReply);
}

UsbtmcMeterLink::~UsbtmcMeterLink()
{
    pendingRead.waitForFinished();
    close();
}

void UsbtmcMeterLink::open()
{
    forgetPartialReply();
    pendingRead.waitForFinished();
    fd = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const QString reason = QStringLiteral("meter at %1: %2").arg(devicePath, systemError(errno));
        QTimer::singleShot(0, this, [this, reason] { emit failed(reason); });
        return;
    }
    setReplyTimeout(replyTimeout);
    QTimer::singleShot(0, this, &MeterLink::opened);
}

void UsbtmcMeterLink::close()
{
    pendingRead.waitForFinished();
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool UsbtmcMeterLink::isOpen() const
{
    return fd >= 0;
}

void UsbtmcMeterLink::writeLine(const QByteArray &line)
{
    const QByteArray message = line + '\n';
    if (fd < 0 || ::write(fd, message.constData(), size_t(message.size())) != message.size()) {
        const QString reason = QStringLiteral("meter at %1: cannot send %2: %3")
                                   .arg(devicePath, QString::fromLatin1(line), systemError(errno));
        QTimer::singleShot(0, this, [this, reason] { emit failed(reason); });
        return;
    }
    if (!line.contains('?'))
        return;
    pendingRead.waitForFinished();
    pendingRead.setFuture(QtConcurrent::run([device = fd] {
        Reply reply;
        reply.bytes.resize(largestReply);
        const ssize_t count = ::read(device, reply.bytes.data(), size_t(reply.bytes.size()));
        reply.error = count < 0 ? errno : 0;
        reply.bytes.resize(count < 0 ? 0 : int(count));
        return reply;
    }));
}

void UsbtmcMeterLink::discardLateReplies()
{
    if (fd >= 0)
        ioctl(fd, USBTMC_IOCTL_CLEAR);
    close();
    forgetPartialReply();
}

QString UsbtmcMeterLink::description() const
{
    return devicePath;
}

void UsbtmcMeterLink::setReplyTimeout(int milliseconds)
{
    replyTimeout = std::max(milliseconds, driverMinimumTimeout);
    if (fd >= 0) {
        __u32 timeout = __u32(replyTimeout);
        ioctl(fd, USBTMC_IOCTL_SET_TIMEOUT, &timeout);
    }
}

void UsbtmcMeterLink::takeReply()
{
    if (fd < 0)
        return;   // discarded
    const Reply reply = pendingRead.result();
    if (reply.error != 0) {
        emit failed(QStringLiteral("meter at %1: %2").arg(devicePath, systemError(reply.error)));
        return;
    }
    // A reply is one message; its end is the line's end.
    QByteArray bytes = reply.bytes;
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    deliver(bytes);
}
