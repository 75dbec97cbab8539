#pragma once

#include <chrono>
#include <string>

namespace qrv {

// The time left of a run of steps, from the mean time of the steps done so far.
class TimeLeft {
public:
    TimeLeft() : start_(std::chrono::steady_clock::now()) {}
    double seconds(int done, int steps) const
    {
        if (done <= 0)
            return -1;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        return elapsed / done * (steps - done);
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// "About 1 min 5 s left"; empty while nothing can be estimated (seconds below zero).
std::string timeLeftText(double seconds);

} // namespace qrv
