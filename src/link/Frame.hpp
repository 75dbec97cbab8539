#pragma once

#include <array>
#include <cstdint>

namespace qrv {

inline constexpr uint8_t kFrameStart = 0xF0;
inline constexpr uint8_t kFrameId = 0x9C;
inline constexpr uint8_t kFrameEnd = 0xF7;
inline constexpr std::size_t kFrameSize = 10;

using Frame = std::array<uint8_t, kFrameSize>;

// Command codes of the processor.
namespace Cmd {
inline constexpr uint8_t Probe = 0x00;
inline constexpr uint8_t ExitNotice = 0x0F;
inline constexpr uint8_t ReadByte = 0x10;
inline constexpr uint8_t WriteByte = 0x11;
inline constexpr uint8_t ReadEffectBlock = 0x1E;
inline constexpr uint8_t SelectEffect = 0x1F;
inline constexpr uint8_t SetParameter = 0x20;
inline constexpr uint8_t ReadSwitch = 0x21;
inline constexpr uint8_t ReadName = 0x24;
inline constexpr uint8_t SetSwitch = 0x2F;
} // namespace Cmd

// Device memory map.
namespace Addr {
inline constexpr uint16_t CurrentEffect = 0x0013;
constexpr uint16_t slotNumber(int effect)
{
    return static_cast<uint16_t>(0x0060 + effect);
}
constexpr uint16_t live(int effect, int column)
{
    return static_cast<uint16_t>(0x00A0 + 32 * effect + column);
}
constexpr uint16_t stored(int effect, int slot, int column)
{
    return static_cast<uint16_t>(0x0300 + 256 * effect + 32 * slot + column);
}
constexpr uint16_t name(int effect, int slot, int k)
{
    return static_cast<uint16_t>(0x1400 + 64 * effect + 8 * slot + k);
}
constexpr uint16_t directory(int effect, int slot)
{
    return static_cast<uint16_t>(0x1800 + 8 * effect + slot);
}
inline constexpr uint8_t SlotUsed = 0x55;
inline constexpr uint8_t SlotErased = 0xFF;
// Anything but SlotUsed: a slot keeps this while its name and data are written.
inline constexpr uint8_t SlotBeingWritten = 0x00;
inline constexpr int NameLength = 8; // characters of a stored preset's name
} // namespace Addr

constexpr Frame makeFrame(uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t p5, uint8_t p6)
{
    return {kFrameStart, kFrameId, p0, p1, p2, p3, p4, p5, p6, kFrameEnd};
}

} // namespace qrv
