#pragma once

#include "Frame.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qrv {

// What the editor has learnt of the unit's memory from the exchanges it made: every byte read
// or written, the live rows of block reads and parameter sets, names and the switch. The unit
// check compares a reconnected unit against it, so a unit that came back as it was is not read
// again, and one that differs is noticed.
class UnitMirror {
public:
    UnitMirror() : memory_(kAddresses, kUnknown) {}

    // Notes what a taken reply to the request tells of the unit (or what the request changed).
    void record(const Frame& request, std::span<const uint8_t> reply);
    std::optional<uint8_t> byte(uint16_t address) const;
    std::optional<uint8_t> effectSwitch() const { return switch_; }
    void forget();
    void forget(uint16_t first, int count);

private:
    static constexpr std::size_t kAddresses = 0x10000;
    static constexpr int16_t kUnknown = -1;
    void note(uint16_t address, uint8_t value) { memory_[address] = value; }

    std::vector<int16_t> memory_;
    std::optional<uint8_t> switch_;
};

} // namespace qrv
