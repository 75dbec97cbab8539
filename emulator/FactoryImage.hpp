#pragma once

#include <cstdint>
#include <vector>

namespace qrv {

inline constexpr std::size_t kMemorySize = 65536;

// A unit as it leaves the factory: every effect has sensible live values, a few named
// presets per effect, the directory marks them, and effect 0 is selected. Deterministic.
std::vector<uint8_t> factoryImage();

} // namespace qrv
