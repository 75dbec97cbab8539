#include "DeviceLink.hpp"

#include <cmath>

namespace qrv {

namespace {
// Waiting a hair past the deadline makes the next check see it as passed.
constexpr double kDeadlineMargin = 0.001;
} // namespace

DeviceLink::DeviceLink(ProgramState& state, Transport& port, Clock& clock, Host& host)
    : state_(state), port_(port), clock_(clock), host_(host)
{
}

bool DeviceLink::awaitReply(std::size_t n, double timeout)
{
    const double start = clock_.now();
    for (;;) {
        const double elapsed = clock_.now() - start;
        if (elapsed > timeout)
            return false;
        if (port_.bytesAvailable() >= n)
            return true;
        port_.waitForData(timeout - elapsed + kDeadlineMargin);
    }
}

void DeviceLink::takeReply(std::size_t n)
{
    const auto bytes = port_.read(n);
    // A port armed for fewer bytes than the reply hands out too few: a failed exchange.
    if (bytes.size() < n)
        throw PortError(PortErrorKind::Other, "reply shorter than expected");
    std::copy(bytes.begin(), bytes.end(), state_.replyBuffer.begin());
    port_.clearInput();
    if (exchangeObserver_)
        exchangeObserver_();
}

void DeviceLink::transact(const Frame& frame, std::size_t n, double timeout)
{
    for (int resends = 0;; ++resends) {
        state_.outputFrame = frame;
        port_.write(frame);
        if (awaitReply(n, timeout)) {
            takeReply(n);
            return;
        }
        if (resends >= kMaxResends) {
            host_.message("Time out", kDefaultTitle, Icon::Exclamation);
            host_.endProgram();
        }
    }
}

void DeviceLink::SendCommand(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    if (!sendingAllowed())
        return;
    try {
        transact(makeFrame(p0, p1, p2, p3, p4, p5, p6), kFrameSize, kCommandTimeout);
    } catch (const PortError& error) {
        if (error.kind() == PortErrorKind::Unavailable) {
            state_.LinkUp = false;
            ++portFailures_;
            lastSearchFound_ = deviceSearch_ && deviceSearch_();
        }
    }
}

bool DeviceLink::ProbeDevice(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    if (!sendingAllowed())
        return false;
    try {
        const Frame frame = makeFrame(p0, p1, p2, p3, p4, p5, p6);
        state_.outputFrame = frame;
        port_.write(frame);
        if (!awaitReply(kFrameSize, kProbeTimeout))
            return false;
        takeReply(kFrameSize);
    } catch (const PortError&) {
        return false;
    }
    return state_.replyBuffer[3] == kFrameId;
}

bool DeviceLink::blockRead(const Frame& frame, std::size_t n)
{
    if (!sendingAllowed())
        return false;
    try {
        transact(frame, n, kBlockTimeout);
    } catch (const PortError&) {
        return false;
    }
    return true;
}

bool DeviceLink::ReadBlock32(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    return blockRead(makeFrame(p0, p1, p2, p3, p4, p5, p6), 32);
}

bool DeviceLink::ReadBlock8(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    return blockRead(makeFrame(p0, p1, p2, p3, p4, p5, p6), 8);
}

void DeviceLink::ArmPort(std::size_t n)
{
    const std::string name = port_.portName();
    if (port_.isOpen())
        port_.close();
    port_.setReadLength(n);
    if (!name.empty())
        port_.open(name);
}

void DeviceLink::SplitToBytes(double value, int start)
{
    double x = std::nearbyint(value) / 16777216.0; // the default rounding mode is half to even
    for (int i = start; i < start + 4; ++i) {
        const double whole = std::floor(x);
        state_.addressBytes[static_cast<std::size_t>(i)] = static_cast<uint8_t>(static_cast<long long>(whole) & 255);
        x = (x - whole) * 256.0;
    }
}

uint8_t DeviceLink::readByte(uint16_t address)
{
    SplitToBytes(address, 0);
    SendCommand(Cmd::ReadByte, state_.addressBytes[2], state_.addressBytes[3]);
    return state_.replyBuffer[6];
}

void DeviceLink::writeByte(uint16_t address, uint8_t value)
{
    SplitToBytes(address, 0);
    SendCommand(Cmd::WriteByte, state_.addressBytes[2], state_.addressBytes[3], 0, value);
}

} // namespace qrv
