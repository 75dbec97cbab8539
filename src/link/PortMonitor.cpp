#include "PortMonitor.hpp"

#include <QSocketNotifier>

#include <sys/stat.h>

#ifdef QRV_HAVE_UDEV
#include <libudev.h>
#endif

namespace qrv {

#ifdef QRV_HAVE_UDEV
namespace {

bool udevActive(udev* context)
{
    udev_queue* queue = udev_queue_new(context);
    const bool active = queue && udev_queue_get_udev_is_active(queue) == 1;
    if (queue)
        udev_queue_unref(queue);
    return active;
}

} // namespace
#endif

PortMonitor::PortMonitor(std::function<bool(bool)> look, QObject* parent) : QObject(parent), look_(std::move(look))
{
    connect(&poll_, &QTimer::timeout, this, [this] { lookNow(); });
#ifdef QRV_HAVE_UDEV
    udev_ = udev_new();
    // Without a running udev daemon (a container) no event ever comes: the poll reads the list.
    if (udev_ && udevActive(udev_))
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ && (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
                     udev_monitor_enable_receiving(monitor_) < 0)) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
    if (monitor_) {
        notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { takeEvents(); });
    }
#endif
}

PortMonitor::~PortMonitor()
{
#ifdef QRV_HAVE_UDEV
    delete notifier_;
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
#endif
}

void PortMonitor::start(int pollMs)
{
    poll_.start(pollMs);
    lookNow();
}

void PortMonitor::takeEvents()
{
#ifdef QRV_HAVE_UDEV
    // Drained whole: the socket stays readable while anything is left.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        systemChanged_ = true;
        udev_device_unref(device);
    }
#endif
    lookNow();
}

void PortMonitor::lookNow()
{
    // Without device events, a node added to or taken from /dev changes the folder's time:
    // a stat each poll instead of listing the system's ports (~12 ms) every time.
    if (!monitor_) {
        struct stat info {};
        const auto stamp = ::stat("/dev", &info) == 0 ? info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec : 0;
        systemChanged_ = systemChanged_ || stamp != devStamp_;
        devStamp_ = stamp;
    }
    if (look_(systemChanged_))
        systemChanged_ = false;
}

} // namespace qrv
