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

bool DeviceLink::takeReply(std::size_t n)
{
    const auto bytes = port_.read(n);
    // A port armed for fewer bytes than the reply hands out too few: a failed exchange.
    if (bytes.size() < n)
        throw PortError(PortErrorKind::Other, "reply shorter than expected");
    port_.clearInput();
    if (n == kFrameSize && framing_ && (bytes[0] != framing_->first || bytes[kFrameSize - 1] != framing_->second))
        return false;
    std::copy(bytes.begin(), bytes.end(), state_.replyBuffer.begin());
    if (exchangeObserver_)
        exchangeObserver_();
    return true;
}

void DeviceLink::settle()
{
    const double start = clock_.now();
    port_.clearInput();
    while (clock_.now() - start < kSettleLimit && port_.waitForData(kQuietGap)) {
        port_.clearInput();
        caution_ = kCautiousExchanges;
    }
}

void DeviceLink::transact(const Frame& frame, std::size_t n, double timeout)
{
    // Whatever waits now belongs to no request of ours: a late or over-long earlier reply.
    bool troubled = caution_ > 0;
    for (int resends = 0;; ++resends) {
        if (troubled)
            settle();
        else
            port_.clearInput();
        state_.outputFrame = frame;
        port_.write(frame);
        const bool complete = awaitReply(n, timeout);
        if (complete && takeReply(n)) {
            if (caution_ > 0)
                --caution_;
            return;
        }
        // A part reply or a wrong one may go on arriving: the resend waits for quiet. After
        // plain silence the reply may still come late, so the next requests wait for quiet.
        troubled = complete || port_.bytesAvailable() > 0;
        caution_ = kCautiousExchanges;
        if (resends >= kMaxResends) {
            host_.message("Time out", kDefaultTitle, Icon::Exclamation);
            host_.setExitStatus(kFailureExitStatus);
            host_.endProgram();
        }
    }
}

bool DeviceLink::portLost()
{
    state_.LinkUp = false;
    ++portFailures_;
    lastSearchFound_ = !state_.searching && deviceSearch_ && deviceSearch_();
    if (!lastSearchFound_)
        state_.unitMayDiffer = true;
    return lastSearchFound_;
}

bool DeviceLink::SendCommand(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    if (!sendingAllowed())
        return false;
    try {
        transact(makeFrame(p0, p1, p2, p3, p4, p5, p6), kFrameSize, kCommandTimeout);
        return true;
    } catch (const PortError& error) {
        if (error.kind() == PortErrorKind::Unavailable)
            portLost();
    }
    return false;
}

bool DeviceLink::sendEdit(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    const int failures = portFailures_;
    if (SendCommand(p0, p1, p2, p3, p4, p5, p6))
        return true;
    if (portFailures_ == failures + 1 && lastSearchFound_)
        return SendCommand(p0, p1, p2, p3, p4, p5, p6);
    return false;
}

bool DeviceLink::ProbeDevice(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    if (!sendingAllowed())
        return false;
    try {
        const Frame frame = makeFrame(p0, p1, p2, p3, p4, p5, p6);
        port_.clearInput();
        state_.outputFrame = frame;
        port_.write(frame);
        if (!awaitReply(kFrameSize, kProbeTimeout))
            return false;
        const auto bytes = port_.read(kFrameSize);
        if (bytes.size() < kFrameSize)
            return false;
        port_.clearInput();
        std::copy(bytes.begin(), bytes.end(), state_.replyBuffer.begin());
        if (exchangeObserver_)
            exchangeObserver_();
    } catch (const PortError&) {
        return false;
    }
    if (state_.replyBuffer[3] != kFrameId)
        return false;
    // The unit's own framing: every later ten-byte reply must show the same.
    framing_.emplace(state_.replyBuffer[0], state_.replyBuffer[kFrameSize - 1]);
    caution_ = 0;
    return true;
}

bool DeviceLink::blockRead(const Frame& frame, std::size_t n)
{
    if (!sendingAllowed())
        return false;
    try {
        transact(frame, n, kBlockTimeout);
    } catch (const PortError& error) {
        if (error.kind() == PortErrorKind::Unavailable)
            portLost();
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

void DeviceLink::rearm(std::size_t n)
{
    const std::string name = port_.portName();
    if (port_.isOpen())
        port_.close();
    port_.setReadLength(n);
    if (!name.empty())
        port_.open(name);
}

void DeviceLink::ArmPort(std::size_t n)
{
    if (!sendingAllowed()) {
        port_.setReadLength(n);
        return;
    }
    try {
        rearm(n);
    } catch (const PortError& error) {
        if (error.kind() == PortErrorKind::Unavailable) {
            portLost();
            return;
        }
        throw;
    }
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

std::optional<uint8_t> DeviceLink::tryReadByte(uint16_t address)
{
    SplitToBytes(address, 0);
    if (!SendCommand(Cmd::ReadByte, state_.addressBytes[2], state_.addressBytes[3]))
        return std::nullopt;
    return state_.replyBuffer[6];
}

bool DeviceLink::writeByte(uint16_t address, uint8_t value)
{
    SplitToBytes(address, 0);
    return SendCommand(Cmd::WriteByte, state_.addressBytes[2], state_.addressBytes[3], 0, value);
}

} // namespace qrv
