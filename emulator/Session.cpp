#include "Session.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

namespace qrv {

EmulatorSession::EmulatorSession(DeviceModel& model, const EmulatorOptions& options, std::ostream* log)
    : model_(model), options_(options), random_(options.seed), log_(log), byteTime_(options.fast ? 0.0 : kByteTime)
{
    if (!options_.swapImage.empty())
        otherUnit_.loadMemory(options_.swapImage);
}

void EmulatorSession::powerCycle()
{
    model_.powerCycle();
}

void EmulatorSession::swapUnit()
{
    model_.exchangeUnit(otherUnit_);
    swapped_ = !swapped_;
}

double EmulatorSession::Reply::due(std::size_t i) const
{
    return start + static_cast<double>(i + 1) * byteTime;
}

void EmulatorSession::received(std::span<const uint8_t> bytes, double now)
{
    if (closing_)
        return;
    for (const uint8_t byte : bytes) {
        inputFree_ = std::max(inputFree_, now) + byteTime_;
        arrivals_.push_back({byte, inputFree_});
    }
}

void EmulatorSession::take(const Frame& frame, double due)
{
    const uint64_t sequence = ++frames_;
    logLine(sequence, '>', frame);
    const bool unanswered = options_.silent || (options_.dropEvery && sequence % options_.dropEvery == 0);
    if (!unanswered) {
        std::vector<uint8_t> reply = model_.receive(frame);
        if (options_.garbage)
            std::transform(reply.begin(), reply.end(), reply.begin(),
                           [](uint8_t b) { return static_cast<uint8_t>(~b); });
        const auto every = [sequence](uint64_t n) { return n != 0 && sequence % n == 0; };
        if (every(options_.shortEvery))
            reply.resize(reply.size() / 2);
        if (every(options_.extraEvery))
            reply.insert(reply.end(), {0x00, 0x00});
        if (every(options_.flipEvery) && !reply.empty() &&
            (options_.flipLength == 0 || reply.size() == options_.flipLength))
            reply[std::min<std::size_t>(options_.flipByte, reply.size() - 1)] ^= 0x01;
        if (every(options_.noiseEvery))
            addNoise(reply, sequence);
        if (options_.bitErrorRate > 0)
            addBitErrors(reply);
        const double start = std::max(outputFree_, due + (every(options_.lateEvery) ? options_.lateBy : 0.0));
        outputFree_ = start + static_cast<double>(reply.size()) * byteTime_;
        if (!reply.empty())
            replies_.push_back({sequence, std::move(reply), start, 0, byteTime_});
    }
    // The frame just answered was the old unit's last; the next one meets the changed unit.
    if (sequence == options_.swapAfter)
        swapUnit();
    if (sequence == options_.powerCycleAfter)
        powerCycle();
    if (options_.hangupAfter && sequence >= options_.hangupAfter) {
        closing_ = true;
        arrivals_.clear();
    }
}

void EmulatorSession::addNoise(std::vector<uint8_t>& reply, uint64_t sequence) const
{
    // Printable and unprintable bytes alike, as a cheap adapter makes them; never a frame start.
    uint32_t state = static_cast<uint32_t>(sequence) * 2654435761u + 1;
    std::vector<uint8_t> noise(options_.noiseBytes);
    for (uint8_t& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
        if (byte == 0xF0)
            byte = 0x20;
    }
    const std::size_t at = options_.noiseAt == EmulatorOptions::NoiseAt::Before ? 0
        : options_.noiseAt == EmulatorOptions::NoiseAt::Inside                  ? reply.size() / 2
                                                                                : reply.size();
    reply.insert(reply.begin() + static_cast<std::ptrdiff_t>(at), noise.begin(), noise.end());
}

void EmulatorSession::addBitErrors(std::vector<uint8_t>& reply)
{
    std::bernoulli_distribution hit(options_.bitErrorRate);
    std::uniform_int_distribution<int> bit(0, 7);
    for (uint8_t& byte : reply)
        if (hit(random_))
            byte ^= static_cast<uint8_t>(1u << bit(random_));
}

std::vector<uint8_t> EmulatorSession::advance(double now)
{
    std::vector<uint8_t> out;
    // Events in time order; a reply byte due at the same moment as a request byte goes first.
    for (;;) {
        const bool sending = !replies_.empty() && replies_.front().due(replies_.front().sent) <= now;
        const bool arriving = !arrivals_.empty() && arrivals_.front().due <= now;
        if (sending && (!arriving || replies_.front().due(replies_.front().sent) <= arrivals_.front().due)) {
            Reply& reply = replies_.front();
            out.push_back(reply.bytes[reply.sent++]);
            if (reply.sent == reply.bytes.size()) {
                logLine(reply.sequence, '<', reply.bytes);
                replies_.pop_front();
            }
        } else if (arriving) {
            const Arrival arrival = arrivals_.front();
            arrivals_.pop_front();
            for (const Frame& frame : assembler_.feed(std::span(&arrival.byte, 1)))
                take(frame, arrival.due);
        } else {
            return out;
        }
    }
}

std::optional<double> EmulatorSession::nextDue() const
{
    std::optional<double> next;
    if (!arrivals_.empty())
        next = arrivals_.front().due;
    if (!replies_.empty()) {
        const double due = replies_.front().due(replies_.front().sent);
        next = next ? std::min(*next, due) : due;
    }
    return next;
}

std::size_t EmulatorSession::backlog() const
{
    std::size_t pending = arrivals_.size();
    for (const Reply& reply : replies_)
        pending += reply.bytes.size() - reply.sent;
    return pending;
}

void EmulatorSession::logLine(uint64_t sequence, char direction, std::span<const uint8_t> bytes)
{
    if (!log_)
        return;
    char head[32];
    std::snprintf(head, sizeof head, "%06llu %c", static_cast<unsigned long long>(sequence), direction);
    std::string line = head;
    for (const uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", byte);
        line += hex;
    }
    *log_ << line << '\n' << std::flush;
}

} // namespace qrv
