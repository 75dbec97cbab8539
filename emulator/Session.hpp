#pragma once

#include "DeviceModel.hpp"
#include "FrameAssembler.hpp"
#include "Options.hpp"

#include <deque>
#include <optional>
#include <ostream>
#include <random>

namespace qrv {

// The device end of the wire: paces both directions at 4800 baud, injects the faults
// asked for and keeps the frame log. Time is passed in (seconds on any steady scale), so
// the same code runs under poll() and under a test's own clock.
class EmulatorSession {
public:
    static constexpr double kByteTime = 1.0 / 480.0; // 10 bit times at 4800 baud

    EmulatorSession(DeviceModel& model, const EmulatorOptions& options, std::ostream* log = nullptr);

    // Bytes as they came off the terminal at time now.
    void received(std::span<const uint8_t> bytes, double now);
    // Runs everything due by now; returns the bytes to put on the terminal.
    std::vector<uint8_t> advance(double now);
    // When advance next has work; empty when idle.
    std::optional<double> nextDue() const;
    // Bytes taken or produced but not yet through advance.
    std::size_t backlog() const;
    // The hang-up frame count is reached and its reply is out.
    bool hungUp() const { return closing_ && replies_.empty(); }
    uint64_t frames() const { return frames_; }

    // The unit behind the port restarts (DeviceModel::powerCycle); the port stays up.
    void powerCycle();
    // Another unit answers behind the port: the swap image, or the factory image. The next
    // swap brings the first one back; each keeps its memory meanwhile.
    void swapUnit();
    bool swapped() const { return swapped_; }
    // The unit answering now, for its front panel.
    DeviceModel& unit() { return model_; }

private:
    struct Arrival {
        uint8_t byte;
        double due;
    };
    struct Reply {
        uint64_t sequence;
        std::vector<uint8_t> bytes;
        double start;
        std::size_t sent;
        double byteTime;
        double due(std::size_t i) const;
    };

    void take(const Frame& frame, double due);
    void addNoise(std::vector<uint8_t>& reply, uint64_t sequence) const;
    void addBitErrors(std::vector<uint8_t>& reply);
    void logLine(uint64_t sequence, char direction, std::span<const uint8_t> bytes);

    DeviceModel& model_;
    DeviceModel otherUnit_;
    bool swapped_ = false;
    EmulatorOptions options_;
    std::mt19937_64 random_;
    std::ostream* log_;
    double byteTime_;
    FrameAssembler assembler_;
    std::deque<Arrival> arrivals_;
    std::deque<Reply> replies_;
    double inputFree_ = 0;
    double outputFree_ = 0;
    uint64_t frames_ = 0;
    bool closing_ = false;
};

} // namespace qrv
