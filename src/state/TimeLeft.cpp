#include "TimeLeft.hpp"

#include <cmath>

namespace qrv {

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
