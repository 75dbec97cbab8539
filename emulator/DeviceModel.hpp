#pragma once

#include "FrameAssembler.hpp"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace qrv {

// The processor as the editor sees it: a 64 KiB memory map and the command set.
//
// Reply lengths: 32 bytes for 0x1E and 0x1F (live columns 0..31 of effect p6), 8 bytes for
// 0x24 (name of preset p6 of effect p5), 10 bytes for every other frame, laid out as
//   0 F0   1 9C   2 command echo   3 9C (device id; the probe checks it)
//   4 p1 echo   5 p2 echo   6 data   7 status   8 00   9 F7
// Data is the byte read (0x10), the switch state (0x21) or the value taken (0x11, 0x20,
// 0x2F); 0 otherwise. Status: see Status below.
//
// Bad input: bytes outside a well-formed frame (wrong start, id or end byte, strays) are
// discarded without an answer and the stream resynchronises on the next F0 9C; the sender
// sees a silent device and resends. A well-formed frame with an unknown command gets a
// 10-byte reply with status UnknownCommand. Out-of-range effect, slot, column or switch
// arguments change nothing: block and name replies are then zeros, 10-byte replies carry
// status BadArgument.
class DeviceModel {
public:
    enum Status : uint8_t { Done = 0x00, UnknownCommand = 0x01, BadArgument = 0x02 };
    // Units whose block read (0x1E) falls short: it returns the current effect's row whatever
    // p6 asks for, or it answers nothing unless p6 is the current effect.
    enum class BlockFault { None, IgnoresEffect, CurrentOnly };
    void setBlockFault(BlockFault fault) { blockFault_ = fault; }

    DeviceModel(); // the factory image, switch on
    static DeviceModel blank();

    // Feeds received bytes (any chunking); returns the reply bytes of every frame they complete.
    std::vector<uint8_t> receive(std::span<const uint8_t> bytes);

    uint8_t peek(uint16_t address) const { return memory_[address]; }
    void poke(uint16_t address, uint8_t value) { memory_[address] = value; }
    std::span<const uint8_t> memory() const { return memory_; }
    // Throws std::invalid_argument unless the image is exactly 65536 bytes.
    void loadMemory(std::span<const uint8_t> image);

    // The unit restarts: its live state goes back to what it starts with. Effect 0 is selected,
    // the switch is on, and each effect's live row is its stored preset under its slot number,
    // or the factory image's live row when that slot is empty. Presets, names, directory and
    // slot numbers stay.
    void powerCycle();
    // Another unit (its memory and switch) takes this one's place; this one's goes to other.
    // The wiring (onMemoryWritten, block fault) stays with this model.
    void exchangeUnit(DeviceModel& other);

    uint8_t effectSwitch() const { return switch_; }
    int currentEffect() const;

    // The unit's own front panel: another effect chosen there, a knob of an effect turned. The
    // unit says nothing on the wire; only its memory changes. Arguments out of range change nothing.
    bool selectOnPanel(int effect);
    bool turnOnPanel(int effect, int column, uint8_t value);

    // Called after each memory write by a command (0x11, 0x20, 0x1F).
    std::function<void()> onMemoryWritten;

private:
    DeviceModel(std::vector<uint8_t> image, uint8_t effectSwitch);

    void answer(const Frame& frame, std::vector<uint8_t>& out);
    void memoryWritten();

    std::vector<uint8_t> memory_;
    uint8_t switch_;
    BlockFault blockFault_ = BlockFault::None;
    FrameAssembler assembler_;
};

} // namespace qrv
