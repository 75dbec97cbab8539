#pragma once

#include "emulator/DeviceModel.hpp"
#include "state/ValueTables.hpp"

#include <cstdint>
#include <vector>

namespace qrv::test {

using Bytes = std::vector<uint8_t>;

inline constexpr int kLiveCounts[kEffectCount] = {24, 24, 24, 24, 27, 17, 17, 10, 11, 20, 8, 25, 23, 22, 22, 7};

inline Bytes frame(uint8_t command, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p5 = 0, uint8_t p6 = 0)
{
    return {0xF0, 0x9C, command, p1, p2, 0, 0, p5, p6, 0xF7};
}

inline Bytes readOf(uint16_t address)
{
    return frame(0x10, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address & 0xFF));
}

struct Expected {
    Bytes bytes;
    std::size_t readLength;
};

// The exchanges of a dump of this device, worked out from its memory alone.
inline std::vector<Expected> expectedDump(const DeviceModel& device)
{
    std::vector<Expected> out;
    auto read = [&](uint16_t address) { out.push_back({readOf(address), 10}); };
    read(0x0013);
    out.push_back({frame(0x21), 10});
    for (int e = 0; e < 16; ++e)
        for (int s = 0; s < 8; ++s)
            read(static_cast<uint16_t>(0x1800 + 8 * e + s));
    for (int e = 0; e < 16; ++e)
        read(static_cast<uint16_t>(0x0060 + e));
    const int current = device.peek(0x0013);
    const int slotByte = device.peek(static_cast<uint16_t>(0x0060 + current));
    const int slot = slotByte < 8 ? slotByte : 0;
    auto storedPreset = [&] {
        for (int c = 0; c < 32; ++c)
            read(static_cast<uint16_t>(0x0300 + 256 * current + 32 * slot + c));
    };
    storedPreset();
    for (int e = 0; e < 16; ++e)
        for (int c = 0; c < kLiveCounts[e]; ++c)
            read(static_cast<uint16_t>(0x00A0 + 32 * e + c));
    out.push_back({frame(0x1E, 0, 0, 0, static_cast<uint8_t>(current)), 32});
    for (int e = 0; e < 16; ++e)
        for (int s = 0; s < 8; ++s)
            if (device.peek(static_cast<uint16_t>(0x1800 + 8 * e + s)) == 0x55)
                out.push_back({frame(0x24, 0, 0, static_cast<uint8_t>(e), static_cast<uint8_t>(s)), 8});
    storedPreset();
    return out;
}

} // namespace qrv::test
