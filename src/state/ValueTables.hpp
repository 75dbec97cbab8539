#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qrv {

inline constexpr int kEffectCount = 16;
inline constexpr int kBandCount = 28;
inline constexpr int kPassFilterCount = 35;

// The five tables built once at start-up and read by the pages, the filters and the dump.
struct ValueTables {
    std::array<int16_t, kEffectCount> parameterCount{};
    std::array<std::string, 73> pitchText;
    std::array<std::string, 101> gateTime;
    std::array<int16_t, kBandCount> filterTableA{};
    std::array<int16_t, kPassFilterCount> filterTableB{};
};

ValueTables buildValueTables();

} // namespace qrv
