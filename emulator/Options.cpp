#include "Options.hpp"

#include <charconv>

namespace qrv {

std::optional<uint64_t> parseCount(std::string_view text)
{
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0)
        return std::nullopt;
    return value;
}

std::optional<double> parseRate(std::string_view text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !(value > 0 && value <= 1))
        return std::nullopt;
    return value;
}

} // namespace qrv
