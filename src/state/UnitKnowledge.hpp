#pragma once

#include "ValueTables.hpp"

#include <bitset>
#include <cstddef>
#include <vector>

namespace qrv {

inline constexpr int kDeviceColumns = 32;
inline constexpr int kSlotCount = 8;

// One piece of the unit's memory as the editor reads it: an effect's live row, one directory
// byte, an effect's slot number, one stored name, or one column of the stored preset the
// current effect's page is compared with.
enum class UnitPart { Row, Directory, SlotNumber, Name, StoredPreset };
struct UnitItem {
    UnitPart part;
    int effect;
    int index = 0; // the slot of a directory byte or name, the column of a stored-preset byte
};

// Which parts of the unit the editor holds, read once and read a second time to agree. The
// start-up reads only what the page needs; the rest fills in while the user works.
class UnitKnowledge {
public:
    enum class Depth { Unread, Read, Confirmed };

    // Whatever the editor holds counts as read until a start-up leaves pieces for later.
    UnitKnowledge() { setAll(Depth::Read); }

    // After a whole read (or in demo mode, where there is nothing to read).
    void setAll(Depth depth);
    Depth depth(const UnitItem& item) const;
    void set(const UnitItem& item, Depth depth);
    // The effect whose stored preset the StoredPreset items stand for.
    int storedEffect() const { return storedEffect_; }
    void setStoredEffect(int effect, Depth depth);
    bool all(Depth atLeast) const;
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
    int storedEffect_ = 0;

    template <std::size_t N> static Depth depthOf(const Bits<N>& bits, std::size_t i)
    {
        return bits.confirmed[i] ? Depth::Confirmed : bits.read[i] ? Depth::Read : Depth::Unread;
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

} // namespace qrv
