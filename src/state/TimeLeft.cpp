#include "TimeLeft.hpp"

#include <cmath>
#include <utility>

namespace qrv {

TimeLeft::TimeLeft(std::function<Clock::time_point()> now) : now_(std::move(now)), start_(now_()) {}

double TimeLeft::seconds(int done, int steps) const
{
    const Clock::duration elapsed = now_() - start_;
    if (done < kMeasuredSteps || elapsed < kMeasuredTime)
        return -1;
    return std::chrono::duration<double>(elapsed).count() / done * (steps - done);
}

std::string timeLeftText(double seconds)
{
    if (seconds < 0)
        return {};
    const int whole = static_cast<int>(std::ceil(seconds));
    if (whole < 60)
        return "About " + std::to_string(whole) + " s left";
    return "About " + std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s left";
}

} // namespace qrv
