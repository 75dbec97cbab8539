#include "LoopbackTransport.hpp"

#include <algorithm>

namespace qrv {

LoopbackTransport::LoopbackTransport(Device device, ManualClock* clock) : device_(std::move(device)), clock_(clock)
{
}

void LoopbackTransport::open(const std::string& portName)
{
    if (unplugged_ || (canOpen_ && !canOpen_(portName)))
        throw PortError(PortErrorKind::Unavailable, "no device at " + portName);
    name_ = portName;
    open_ = true;
    input_.clear(); // a port opened afresh holds no input, as a real one after close and open
    ++openCount_;
}

void LoopbackTransport::close()
{
    open_ = false;
}

void LoopbackTransport::checkUsable() const
{
    if (unplugged_)
        throw PortError(PortErrorKind::Unavailable, "device unplugged");
    if (!open_)
        throw PortError(PortErrorKind::Unavailable, "port not open");
}

void LoopbackTransport::write(std::span<const uint8_t> bytes)
{
    checkUsable();
    sent_.push_back({{bytes.begin(), bytes.end()}, readLength_, name_});
    const auto reply = device_(bytes);
    input_.insert(input_.end(), reply.begin(), reply.end());
}

std::size_t LoopbackTransport::bytesAvailable()
{
    checkUsable();
    return input_.size();
}

std::vector<uint8_t> LoopbackTransport::read(std::size_t max)
{
    checkUsable();
    const std::size_t n = std::min({max, readLength_, input_.size()});
    std::vector<uint8_t> bytes(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
    return bytes;
}

void LoopbackTransport::clearInput()
{
    checkUsable();
    input_.clear();
}

bool LoopbackTransport::waitForData(double seconds)
{
    checkUsable();
    // Replies arrive with the write, so nothing more will come while waiting.
    if (clock_)
        clock_->advance(seconds);
    return false;
}

} // namespace qrv
