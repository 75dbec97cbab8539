#pragma once

#include "PortSeen.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

inline constexpr int kPortNumberCount = 35;

// A serial port the system reports.
struct SystemPort {
    std::string path;
    bool usb = false;
};

// Splits a ':'-separated list of paths, dropping empty entries.
std::vector<std::string> splitPortList(std::string_view list);

// The device names for port numbers 1, 2, ...: the explicit paths in their order, then
// the system's USB ports, then the others, each group sorted by name with numbers in
// numeric order (ttyS2 before ttyS10). Repeats are left out; at most 35 names.
std::vector<std::string> orderPorts(const std::vector<std::string>& explicitPaths, std::vector<SystemPort> systemPorts);

// Maps the port numbers 1 to 35 to device names: COMn on Windows, elsewhere the list of
// orderPorts. Needs no QCoreApplication.
class PortTable {
public:
    explicit PortTable(std::vector<std::string> explicitPaths, bool includeSystemPorts = true);
    // The paths given with --port, then those of QRV5173_PORTS, then the system's ports.
    static PortTable fromEnvironment(std::vector<std::string> cliPaths, bool includeSystemPorts = true);

    // Lists the system's ports again, so that a port plugged in since is numbered.
    void reread();

    // Empty for a number outside 1..35 or one with no device.
    std::optional<std::string> deviceName(int portNumber) const;
    int size() const { return static_cast<int>(names_.size()); }
    // The numbered ports whose device is there now, with what each leads to.
    std::vector<PortSeen> present() const;

private:
    std::vector<std::string> explicit_;
    bool includeSystemPorts_ = true;
    std::vector<std::string> names_;
};

} // namespace qrv
