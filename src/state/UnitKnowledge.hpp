#pragma once

#include "ValueTables.hpp"

#include <array>
#include <bitset>
#include <cstdint>
#include <cstddef>
#include <vector>

namespace qrv {

inline constexpr int kDeviceColumns = 32;
inline constexpr int kSlotCount = 8;

// One piece of the unit's memory as the editor reads it: an effect's live row, one directory
// byte, an effect's slot number, one stored name, or one column of the stored preset the
// current effect's page is compared with. A backup also needs every column of every live row
// and every byte of every stored slot, which the pages never show.
enum class UnitPart { Row, Directory, SlotNumber, Name, StoredPreset, FullRow, StoredSlot };
struct UnitItem {
    UnitPart part;
    int effect;
    int index = 0;  // the slot of a directory byte, name or stored-slot byte; the column of a stored-preset byte
    int column = 0; // the column of a stored-slot byte
};
using SlotBytes = std::array<uint8_t, kDeviceColumns>;
using NameBytes = std::array<uint8_t, 8>;

// Which parts of the unit the editor holds, read once and read a second time to agree. The
// start-up reads only what the page needs; the rest fills in while the user works.
class UnitKnowledge {
public:
    enum class Depth { Unread, Read, Confirmed };

    // Whatever the editor holds counts as read until a start-up leaves pieces for later.
    UnitKnowledge() { setAll(Depth::Read); }

    // After a whole read (or in demo mode, where there is nothing to read). No whole read takes
    // what only a backup needs: that is left unread.
    void setAll(Depth depth);
    Depth depth(const UnitItem& item) const;
    void set(const UnitItem& item, Depth depth);
    // The effect whose stored preset the StoredPreset items stand for.
    int storedEffect() const { return storedEffect_; }
    void setStoredEffect(int effect, Depth depth);
    // Of the pieces the pages need.
    bool all(Depth atLeast) const;
    // Of the pieces only a backup needs.
    bool backupPieces(Depth atLeast) const;
    // What the unit was read to hold where the store does not tell: all 32 live columns, and the
    // stored slots' data (zero for an empty slot).
    uint8_t& fullRow(int effect, int column) { return fullRows_.at(cell(effect, column)); }
    uint8_t fullRow(int effect, int column) const { return fullRows_.at(cell(effect, column)); }
    SlotBytes& slotData(int effect, int slot) { return slotData_.at(static_cast<std::size_t>(effect * kSlotCount + slot)); }
    const SlotBytes& slotData(int effect, int slot) const
    {
        return slotData_.at(static_cast<std::size_t>(effect * kSlotCount + slot));
    }
    // The whole slot at once, as for an empty slot or after a write.
    void setSlot(int effect, int slot, Depth depth);
    // A slot held whole, empty or not: the name bytes below and the data in slotData are the
    // unit's own, so that an undo can write back exactly what the slot held. Setting anything of
    // the slot's directory, name or data drops it; holdWhole comes after those.
    bool heldWhole(int effect, int slot) const { return whole_[static_cast<std::size_t>(effect * kSlotCount + slot)]; }
    void holdWhole(int effect, int slot, const NameBytes& name);
    const NameBytes& nameBytes(int effect, int slot) const
    {
        return nameBytes_.at(static_cast<std::size_t>(effect * kSlotCount + slot));
    }
    bool rowRead(int effect) const { return depth({UnitPart::Row, effect}) != Depth::Unread; }
    // The directory, slot number and names of an effect.
    bool presetsRead(int effect) const;

private:
    template <std::size_t N> struct Bits {
        std::bitset<N> read, confirmed;
    };
    Bits<kEffectCount> rows_, slotNumbers_;
    Bits<kEffectCount * kSlotCount> directory_, names_;
    Bits<kDeviceColumns> stored_;
    Bits<kEffectCount> fullRowBits_;
    Bits<kEffectCount * kSlotCount * kDeviceColumns> slotBits_;
    std::array<uint8_t, kEffectCount * kDeviceColumns> fullRows_{};
    std::array<SlotBytes, kEffectCount * kSlotCount> slotData_{};
    std::bitset<kEffectCount * kSlotCount> whole_;
    std::array<NameBytes, kEffectCount * kSlotCount> nameBytes_{};
    int storedEffect_ = 0;

    static std::size_t cell(int effect, int column) { return static_cast<std::size_t>(effect * kDeviceColumns + column); }

    template <std::size_t N> static Depth depthOf(const Bits<N>& bits, std::size_t i)
    {
        return bits.confirmed[i] ? Depth::Confirmed : bits.read[i] ? Depth::Read : Depth::Unread;
    }
    template <std::size_t N> static bool whole(const Bits<N>& bits, Depth atLeast)
    {
        return atLeast == Depth::Confirmed ? bits.confirmed.all() : bits.read.all();
    }
    template <std::size_t N> static void setIn(Bits<N>& bits, std::size_t i, Depth depth)
    {
        bits.read[i] = depth != Depth::Unread;
        bits.confirmed[i] = depth == Depth::Confirmed;
    }
};

// An effect's slot number, directory bytes and names, in the order they can be read.
std::vector<UnitItem> presetItems(int effect);
std::vector<UnitItem> storedPresetItems(int effect);
std::vector<UnitItem> rowItems();
// Everything the editor reads of a unit, the given effect's row, presets and stored preset first.
std::vector<UnitItem> everyItem(int firstEffect);
// What a backup needs besides: every whole live row, then every stored slot's bytes.
std::vector<UnitItem> backupItems();

} // namespace qrv
