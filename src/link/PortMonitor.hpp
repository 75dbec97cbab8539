#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace qrv {

// Tells when serial ports may have come or gone: at once on the system's device events for
// terminals (udev, where there is one), and on a cheap poll for what no event reports (ports
// given by path, systems without udev). Never waits itself.
class PortMonitor final : public QObject {
public:
    // look(systemChanged) takes a look at the ports and returns false when it could not now;
    // systemChanged tells that a device event came (or, without events, /dev changed) since
    // the last look taken, so the system's port list is worth reading again.
    explicit PortMonitor(std::function<bool(bool systemChanged)> look, QObject* parent = nullptr);
    ~PortMonitor() override;

    void start(int pollMs);
    bool deviceEvents() const { return monitor_ != nullptr; }

private:
    void lookNow();
    void takeEvents();

    std::function<bool(bool)> look_;
    QTimer poll_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    bool systemChanged_ = true;
    long long devStamp_ = 0; // when /dev last changed, as the poll saw it
};

} // namespace qrv
