#include "DeviceLink.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
        // Looked at before the deadline is: a wait may end late (a busy window) with the
        // reply long there.
        if (port_.bytesAvailable() >= n)
            return true;
        const double elapsed = clock_.now() - start;
        if (elapsed > timeout)
            return false;
        port_.waitForData(timeout - elapsed + kDeadlineMargin);
    }
}

bool DeviceLink::aloneAfter(std::size_t n)
{
    const double until = clock_.now() + kReplyGap;
    for (;;) {
        if (port_.bytesAvailable() > n)
            return false;
        const double left = until - clock_.now();
        if (left <= 0)
            return true;
        port_.waitForData(left);
    }
}

bool DeviceLink::framingHolds(const std::vector<uint8_t>& bytes)
{
    const FramingBytes shown{bytes[0], bytes[kFrameSize - 1]};
    if (framing_)
        return shown == *framing_;
    if (std::find(shownFramings_.begin(), shownFramings_.end(), shown) != shownFramings_.end()) {
        framing_ = shown;
        shownFramings_.clear();
        return true;
    }
    // The first reply ever is taken as the probe's would be; a reply in another framing waits
    // for a second one like it (or like the first) to tell which was damaged.
    const bool first = shownFramings_.empty();
    constexpr std::size_t kFramingsKept = 8; // damage rarely repeats itself; a bound keeps it small
    if (shownFramings_.size() == kFramingsKept)
        shownFramings_.erase(shownFramings_.begin());
    shownFramings_.push_back(shown);
    return first;
}

void DeviceLink::learnFramingAfresh(std::optional<FramingBytes> shownByProbe)
{
    framing_.reset();
    shownFramings_.clear();
    if (shownByProbe)
        shownFramings_.push_back(*shownByProbe);
}

void DeviceLink::take(const Frame& frame, const std::vector<uint8_t>& bytes)
{
    std::copy(bytes.begin(), bytes.end(), state_.replyBuffer.begin());
    mirror_.record(frame, bytes);
    if (exchangeObserver_)
        exchangeObserver_();
}

std::vector<uint8_t> DeviceLink::collectUntilQuiet()
{
    std::vector<uint8_t> seen;
    const double start = clock_.now();
    do {
        for (auto part = port_.read(port_.bytesAvailable()); !part.empty(); part = port_.read(port_.bytesAvailable()))
            seen.insert(seen.end(), part.begin(), part.end());
    } while (clock_.now() - start < kSettleLimit && port_.waitForData(kReplyGap));
    return seen;
}

bool DeviceLink::repeated(Answers& odd, const std::vector<uint8_t>& seen,
                          const Frame& frame, const char* what)
{
    if (std::find(odd.begin(), odd.end(), seen) == odd.end()) {
        odd.push_back(seen);
        return false;
    }
    char code[8];
    std::snprintf(code, sizeof code, "%02X", frame[2]);
    host_.log(std::string("the unit answered command ") + code + " twice the same way with " + what +
              "; taken as its answer");
    return true;
}

namespace {
bool isWrite(uint8_t command)
{
    return command == Cmd::WriteByte || command == Cmd::SetParameter || command == Cmd::SetSwitch;
}
} // namespace

DeviceLink::Verdict DeviceLink::judgeReply(const Frame& frame, std::size_t n, Answers& odd)
{
    // A reply is whole and alone: bytes right after it may be the rest of a reply that noise
    // pushed along, so they cast doubt on it whatever its length. Bytes more than a reply, the
    // same twice over, are the unit's habit rather than noise.
    if (!aloneAfter(n)) {
        const auto seen = collectUntilQuiet();
        const std::vector<uint8_t> reply(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(n));
        if (repeated(odd, seen, frame, "bytes more than its reply")) {
            take(frame, reply);
            return Verdict::Taken;
        }
        if (!isWrite(frame[2]))
            return Verdict::Doubt;
        take(frame, reply);
        return Verdict::TakenAfterNoise;
    }
    const auto bytes = port_.read(n);
    // A port armed for fewer bytes than the reply hands out too few: a failed exchange.
    if (bytes.size() < n)
        throw PortError(PortErrorKind::Other, "reply shorter than expected");
    port_.clearInput();
    if (n == kFrameSize && !framingHolds(bytes))
        return Verdict::Doubt;
    if (replyCheck_ && !replyCheck_(frame, bytes) && !repeated(odd, bytes, frame, "a value no control can hold"))
        return Verdict::Doubt;
    take(frame, bytes);
    return Verdict::Taken;
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

void DeviceLink::showRetry(int attempt)
{
    if (state_.resendAttempt == attempt)
        return;
    state_.resendAttempt = attempt;
    host_.refresh(Window::Main);
}

void DeviceLink::transact(const Frame& frame, std::size_t n, double timeout)
{
    // Whatever waits now belongs to no request of ours: a late or over-long earlier reply.
    bool troubled = caution_ > 0 || port_.bytesAvailable() > 0;
    bool answered = false; // some attempt got a whole reply that was in doubt
    bool reprobed = false;
    bool damaged = false; // whole replies came, none trusted: the line, not the unit, fails
    Answers odd;
    for (int resends = 0;; ++resends) {
        if (troubled)
            settle();
        state_.outputFrame = frame;
        port_.write(frame);
        const bool complete = awaitReply(n, timeout);
        const Verdict verdict = complete ? judgeReply(frame, n, odd) : Verdict::Doubt;
        if (verdict == Verdict::Taken || (verdict == Verdict::TakenAfterNoise && writeHeld(frame))) {
            if (caution_ > 0)
                --caution_;
            showRetry(0);
            return;
        }
        // A part reply or a wrong one may go on arriving: the resend waits for quiet. After
        // plain silence the reply may still come late, so the next requests wait for quiet.
        answered = answered || complete;
        damaged = damaged || complete;
        troubled = complete || port_.bytesAvailable() > 0;
        caution_ = kCautiousExchanges;
        if (resends >= kMaxResends && answered && !reprobed) {
            // The unit keeps talking but not as it did: learn its framing anew before giving up.
            reprobed = true;
            learnFramingAfresh(std::nullopt);
            settle();
            if (ProbeDevice(Cmd::Probe)) {
                resends = -1;
                answered = false;
                troubled = false;
                continue;
            }
        }
        if (resends >= kMaxResends) {
            showRetry(0);
            host_.message(damaged ? kDamagedRepliesText : "Time out", kDefaultTitle, Icon::Exclamation);
            host_.setExitStatus(kFailureExitStatus);
            host_.endProgram();
        }
        showRetry(resends + 2);
    }
}

std::optional<uint16_t> DeviceLink::writtenAddress(const Frame& write) const
{
    if (write[2] == Cmd::WriteByte)
        return static_cast<uint16_t>(write[3] << 8 | write[4]);
    const auto current = mirror_.byte(Addr::CurrentEffect);
    if (write[2] == Cmd::SetParameter && current && *current < kEffectCount && write[3] < kDeviceColumns)
        return Addr::live(*current, write[3]);
    return std::nullopt;
}

bool DeviceLink::writeHeld(const Frame& write)
{
    std::optional<Frame> read;
    const uint8_t wanted = write[2] == Cmd::WriteByte ? write[6] : write[8];
    if (write[2] == Cmd::SetSwitch)
        read = makeFrame(Cmd::ReadSwitch, 0, 0, 0, 0, 0, 0);
    else if (const auto address = writtenAddress(write))
        read = makeFrame(Cmd::ReadByte, static_cast<uint8_t>(*address >> 8), static_cast<uint8_t>(*address & 0xFF),
                         0, 0, 0, 0);
    // Without a way to read it back, the write simply goes out again: the unit takes it twice.
    if (!read)
        return false;
    transact(*read, kFrameSize, kCommandTimeout);
    state_.outputFrame = write;
    return state_.replyBuffer[6] == wanted;
}

bool DeviceLink::portLost()
{
    state_.LinkUp = false;
    ++portFailures_;
    lastSearchFound_ = !state_.searching && deviceSearch_ && deviceSearch_();
    // While the unit is away the edits it missed are known; they go out when it is back.
    if (!lastSearchFound_ && !state_.awaitingUnit)
        state_.unitMayDiffer = true;
    return lastSearchFound_;
}

bool DeviceLink::unitHolds(const Frame& frame) const
{
    if (!skipHeldWrites_)
        return false;
    std::optional<uint8_t> held;
    if (frame[2] == Cmd::WriteByte) {
        held = mirror_.byte(static_cast<uint16_t>(frame[3] << 8 | frame[4]));
        return held == frame[6];
    }
    const auto current = mirror_.byte(Addr::CurrentEffect);
    if (frame[2] != Cmd::SetParameter || !current || *current >= kEffectCount || frame[3] >= kDeviceColumns)
        return false;
    held = mirror_.byte(Addr::live(*current, frame[3]));
    return held == frame[8];
}

bool DeviceLink::SendCommand(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    if (!sendingAllowed())
        return false;
    const Frame frame = makeFrame(p0, p1, p2, p3, p4, p5, p6);
    if (unitHolds(frame))
        return true;
    if (answerHeldReads_ && p0 == Cmd::ReadByte)
        if (const auto held = mirror_.byte(static_cast<uint16_t>(p1 << 8 | p2))) {
            state_.replyBuffer[6] = *held;
            return true;
        }
    try {
        transact(frame, kFrameSize, kCommandTimeout);
        return true;
    } catch (const PortError& error) {
        // A write cut off may or may not have reached the unit: its byte is no longer known.
        if (isWrite(p0))
            if (const auto address = writtenAddress(frame))
                mirror_.forget(*address, 1);
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
    // Not to another unit: its current effect is not the one the edit was meant for.
    if (portFailures_ == failures + 1 && lastSearchFound_ && !state_.unitChanged)
        return SendCommand(p0, p1, p2, p3, p4, p5, p6);
    return false;
}

bool DeviceLink::ProbeDevice(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    if (!sendingAllowed())
        return false;
    const Frame frame = makeFrame(p0, p1, p2, p3, p4, p5, p6);
    // A whole reply that is not the unit's answer may be a damaged one: one more try tells.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<uint8_t> bytes;
        try {
            if (port_.bytesAvailable() > 0)
                settle();
            state_.outputFrame = frame;
            port_.write(frame);
            if (!awaitReply(kFrameSize, kProbeTimeout))
                return false;
            bytes = port_.read(kFrameSize);
            if (bytes.size() < kFrameSize)
                return false;
            port_.clearInput();
        } catch (const PortError&) {
            return false;
        }
        take(frame, bytes);
        if (bytes[3] == kFrameId) {
            // The framing the unit shows here holds once a second reply shows the same.
            learnFramingAfresh(FramingBytes{bytes[0], bytes[kFrameSize - 1]});
            caution_ = 0;
            return true;
        }
    }
    return false;
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

bool DeviceLink::tryReadBlock32(uint8_t p0, uint8_t p6, double timeout)
{
    if (!sendingAllowed())
        return false;
    const Frame frame = makeFrame(p0, 0, 0, 0, 0, 0, p6);
    try {
        if (caution_ > 0 || port_.bytesAvailable() > 0)
            settle();
        state_.outputFrame = frame;
        port_.write(frame);
        Answers odd;
        if (awaitReply(32, timeout) && judgeReply(frame, 32, odd) == Verdict::Taken)
            return true;
        // A reply may still come, or a short one be on its way: the next request waits for quiet.
        caution_ = kCautiousExchanges;
        settle();
    } catch (const PortError& error) {
        if (error.kind() == PortErrorKind::Unavailable)
            portLost();
    }
    return false;
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
