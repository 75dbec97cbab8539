#pragma once

#include "Clock.hpp"
#include "Frame.hpp"
#include "Transport.hpp"

#include <deque>
#include <functional>
#include <set>

namespace qrv {

// Hands every written byte to an in-process device and queues its answer as input.
class LoopbackTransport final : public Transport {
public:
    using Device = std::function<std::vector<uint8_t>(std::span<const uint8_t>)>;

    struct Sent {
        std::vector<uint8_t> bytes;
        std::size_t readLength; // the reply length the port was armed for
        std::string port = {};  // the port's name
    };

    // With a clock, waiting for input that never comes advances the clock instead of real time.
    explicit LoopbackTransport(Device device, ManualClock* clock = nullptr);

    void open(const std::string& portName) override;
    void close() override;
    bool isOpen() const override { return open_; }
    std::string portName() const override { return name_; }
    void write(std::span<const uint8_t> bytes) override;
    std::size_t bytesAvailable() override;
    std::vector<uint8_t> read(std::size_t max) override;
    void clearInput() override;
    bool waitForData(double seconds) override;
    void setReadLength(std::size_t n) override { readLength_ = n; }

    // Test knobs
    void setOpenable(std::function<bool(const std::string&)> canOpen) { canOpen_ = std::move(canOpen); }
    void unplug()
    {
        unplugged_ = true;
        open_ = false;
    }
    void plugIn() { unplugged_ = false; }
    std::size_t readLength() const { return readLength_; }
    const std::vector<Sent>& sent() const { return sent_; }
    void clearLog() { sent_.clear(); }
    int openCount() const { return openCount_; }

private:
    void checkUsable() const;

    Device device_;
    ManualClock* clock_;
    std::function<bool(const std::string&)> canOpen_;
    std::deque<uint8_t> input_;
    std::vector<Sent> sent_;
    std::string name_;
    std::size_t readLength_ = 10;
    bool open_ = false;
    bool unplugged_ = false;
    int openCount_ = 0;
};

} // namespace qrv
