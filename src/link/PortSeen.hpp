#pragma once

#include <string>

namespace qrv {

// A serial port as the system shows it now: its path (the name the port table uses) and
// the device behind it, which changes when the same path comes back as another device.
struct PortSeen {
    std::string path;
    std::string device;
};

} // namespace qrv
