#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace qrv {

// The time left of a run of steps, from the mean time of the steps done so far. The first
// steps carry the start's own cost, so nothing is estimated until a few of them and a
// second have gone by.
class TimeLeft {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMeasuredSteps = 3;
    static constexpr std::chrono::seconds kMeasuredTime{1};

    explicit TimeLeft(std::function<Clock::time_point()> now = Clock::now);
    // Below zero while not yet measured.
    double seconds(int done, int steps) const;

private:
    std::function<Clock::time_point()> now_;
    Clock::time_point start_;
};

// "About 1 min 5 s left"; empty while nothing can be estimated (seconds below zero).
std::string timeLeftText(double seconds);

} // namespace qrv
