#pragma once

#include <chrono>

namespace qrv {

// A steady clock in seconds, behind an interface so that time-outs can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() = 0;
};

class SteadyClock final : public Clock {
public:
    double now() override
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};

} // namespace qrv

namespace qrv {

// A clock that moves only when told to; the loopback port advances it while it waits.
class ManualClock final : public Clock {
public:
    double now() override { return seconds_; }
    void advance(double seconds) { seconds_ += seconds; }

private:
    double seconds_ = 1000.0;
};

} // namespace qrv
