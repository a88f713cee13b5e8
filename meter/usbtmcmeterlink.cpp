#include "meter/usbtmcmeterlink.h"

#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int driverMinimumTimeout = 100;
constexpr int largestReply = 64 * 1024;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// The open device, closed once neither the link nor a read holds it.
struct UsbtmcMeterLink::Device
{
    explicit Device(int descriptor)
        : fd(descriptor)
    {
    }
    ~Device() { ::close(fd); }
    const int fd;
};

// Where a read's thread hands its reply in, for as long as the link lives.
struct UsbtmcMeterLink::Mailbox
{
    std::mutex mutex;
    UsbtmcMeterLink *link = nullptr;
};

UsbtmcMeterLink::UsbtmcMeterLink(const QString &devicePath, QObject *parent)
    : MeterLink(parent)
    , devicePath(devicePath)
    , mailbox(std::make_shared<Mailbox>())
{
    mailbox->link = this;
}

UsbtmcMeterLink::~UsbtmcMeterLink()
{
    const std::lock_guard<std::mutex> closed(mailbox->mutex);
    mailbox->link = nullptr;
}

void UsbtmcMeterLink::open()
{
    forgetPartialReply();
    const int fd = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const QString reason = QStringLiteral("meter at %1: %2").arg(devicePath, systemError(errno));
        QTimer::singleShot(0, this, [this, reason] { emit failed(reason); });
        return;
    }
    device = std::make_shared<Device>(fd);
    setReplyTimeout(replyTimeout);
    QTimer::singleShot(0, this, &MeterLink::opened);
}

void UsbtmcMeterLink::close()
{
    device.reset();
    ++reads;
}

bool UsbtmcMeterLink::isOpen() const
{
    return device != nullptr;
}

void UsbtmcMeterLink::writeLine(const QByteArray &line)
{
    const QByteArray message = line + '\n';
    if (!device || ::write(device->fd, message.constData(), size_t(message.size())) != message.size()) {
        const QString reason = QStringLiteral("meter at %1: cannot send %2: %3")
                                   .arg(devicePath, QString::fromLatin1(line), systemError(errno));
        QTimer::singleShot(0, this, [this, reason] { emit failed(reason); });
        return;
    }
    if (!line.contains('?'))
        return;
    std::thread([read = ++reads, opened = device, box = mailbox] {
        QByteArray bytes(largestReply, Qt::Uninitialized);
        const ssize_t count = ::read(opened->fd, bytes.data(), size_t(bytes.size()));
        const int error = count < 0 ? errno : 0;
        bytes.resize(count < 0 ? 0 : int(count));
        const std::lock_guard<std::mutex> handingIn(box->mutex);
        if (UsbtmcMeterLink *link = box->link)
            QMetaObject::invokeMethod(link, [link, read, bytes, error] { link->takeReply(read, bytes, error); }, Qt::QueuedConnection);
    }).detach();
}

QList<QByteArray> UsbtmcMeterLink::drain()
{
    return {};   // a reply is only ever read in answer to its query
}

void UsbtmcMeterLink::discardLateReplies()
{
    if (device)
        ioctl(device->fd, USBTMC_IOCTL_CLEAR);
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
    if (device) {
        __u32 timeout = __u32(replyTimeout);
        ioctl(device->fd, USBTMC_IOCTL_SET_TIMEOUT, &timeout);
    }
}

void UsbtmcMeterLink::takeReply(quint64 read, const QByteArray &bytes, int error)
{
    if (read != reads || !device)
        return;   // discarded, or no longer the query asked
    if (error != 0) {
        emit failed(QStringLiteral("meter at %1: %2").arg(devicePath, systemError(error)));
        return;
    }
    // A reply is one message; its end is the line's end.
    deliver(bytes.endsWith('\n') ? bytes : bytes + '\n');
}

QString UsbtmcMeterLink::whatToCheck() const
{
    return QStringLiteral("that it is on and this is its device, and that nothing else holds it");
}
