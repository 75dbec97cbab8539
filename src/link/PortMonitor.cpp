#include "PortMonitor.hpp"

#include <QSocketNotifier>

#ifdef QRV_HAVE_UDEV
#include <libudev.h>
#endif

namespace qrv {

PortMonitor::PortMonitor(std::function<bool(bool)> look, QObject* parent) : QObject(parent), look_(std::move(look))
{
    connect(&poll_, &QTimer::timeout, this, [this] { lookNow(); });
#ifdef QRV_HAVE_UDEV
    udev_ = udev_new();
    if (udev_)
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
    // Without device events the system's list is all there is to go by.
    const bool changed = systemChanged_ || !monitor_;
    if (look_(changed))
        systemChanged_ = false;
}

} // namespace qrv
