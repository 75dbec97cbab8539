#pragma once

#include "devmem/Backup.hpp" // SlotBackup, TransferEnd
#include "editor/Editor.hpp"

#include <compare>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qrv {

// One stored-preset place of the unit: effect 0-15, slot 0-7.
struct SlotRef {
    int effect = 0;
    int slot = 0;
    auto operator<=>(const SlotRef&) const = default;
};

// How an operation on the unit's slots ended. Refused: nothing was sent (another effect's
// slot, no empty slot left, a file that is no preset); `message` says why, naming what it
// refers to. The other ends are those of a restore; after Lost, Cancelled or Unconfirmed
// no slot reads as stored with mixed data, and `message` says which slots were left how.
struct SlotOutcome {
    TransferEnd end = TransferEnd::Done;
    bool refused = false;
    std::string message;
    std::vector<SlotRef> changed; // the slots whose bytes the operation changed, in order
    bool done() const { return end == TransferEnd::Done && !refused; }
};

// The unit's 128 stored presets as a librarian handles them. Every operation reads what it
// lacks of the slots it touches (kept for the session), writes in the safe order (a stored
// slot is unmarked first, then name, data, the directory byte, the slot-number byte last),
// reads every written byte back until agreed, and becomes one step of the editor's history
// whose undo writes back exactly the bytes the slots held before, read back too. In demo
// mode the same operations change the editor's own copy and send nothing.
class UnitSlots {
public:
    // Whether the user can undo: the message of a cut operation says how its slots come back.
    enum class Undo { Offered, None };
    explicit UnitSlots(Editor& editor, Undo undo = Undo::Offered);

    // Reads what the editor lacks of the slots' effects (slot number, directory, names) through
    // the editor's scheduler, as every operation does before it judges a slot.
    SlotOutcome provide(const std::vector<SlotRef>& slots);
    // Why presets pasted or dropped onto `to` (one slot: from there on) cannot go there, judged
    // on what the editor holds; nothing when they can.
    static std::optional<std::string> refusal(const std::vector<SlotRef>& from, const std::vector<SlotRef>& to);
    std::optional<std::string> refusal(const std::vector<std::filesystem::path>& files, int effect,
                                       const std::vector<SlotRef>& to = {}) const;

    // What the editor holds, with no exchange.
    bool stored(SlotRef at) const;
    std::string name(SlotRef at) const; // as the load and store dialogs list it (" Empty  " when empty)
    int lastUsed(int effect) const;     // the unit's slot number of the effect
    // The whole slot (directory, name, data), read first when not yet held.
    std::optional<SlotBackup> slot(SlotRef at);

    // The slot as the editor holds it, read back or confirmed; nothing when it holds less.
    std::optional<SlotBackup> held(SlotRef at) const;

    // The store dialog's store: the values under the name into the slot, which the effect's slot
    // number then points to. "Store ORCA in REVERB HALL 3".
    SlotOutcome store(SlotRef at, const std::string& name, const SlotBytes& data);
    // A store the dialog wrote itself, frame by frame, becomes a step of the history.
    void recordStore(SlotRef at, const std::string& name, const SlotBackup& before, int numberBefore);

    SlotOutcome rename(SlotRef at, const std::string& name);                            // "Rename REVERB HALL 3"
    SlotOutcome copy(const std::vector<SlotRef>& from, const std::vector<SlotRef>& to); // "Paste 2 presets"
    SlotOutcome move(const std::vector<SlotRef>& from, const std::vector<SlotRef>& to);
    SlotOutcome swap(SlotRef a, SlotRef b);
    SlotOutcome clear(const std::vector<SlotRef>& slots);
    // A preset file (33 bytes, its effect in the last) into the given slots, or with no slot
    // given into the first empty slots of `effect`.
    SlotOutcome importFiles(const std::vector<std::filesystem::path>& files, int effect,
                            const std::vector<SlotRef>& to = {});
    // Every stored slot among `slots` to "<EFFECT NAME> <slot 1-8> <NAME>.fxp" in `folder`:
    // the slot's 32 bytes and its effect, as a preset file. Empty slots give no file.
    struct Exported {
        SlotOutcome outcome;
        std::vector<std::filesystem::path> files;
    };
    Exported exportSlots(const std::vector<SlotRef>& slots, const std::filesystem::path& folder);

    // The file name an exported slot gets, without folder.
    static std::string exportName(SlotRef at, const std::string& name);

    // Writes a slots step of the history back: its after bytes forward, else its before bytes.
    SlotOutcome replay(const HistoryStep& step, bool forward);

private:
    SlotOutcome transfer(const std::vector<SlotRef>& from, const std::vector<SlotRef>& places, bool moving);

    Editor& editor_;
    Undo undo_;
};

// "tap-delay", "6", "Tap Delay": an effect by its number 0-15 or its name in the effect list, in
// any case, a blank written as a blank, '-' or '_'.
std::optional<int> parseEffect(const std::string& text);
// "tap-delay:3", "6:3": the effect as parseEffect takes it, the slot 1-8.
std::optional<SlotRef> parseSlotRef(const std::string& text);
// "1 preset", "2 presets".
std::string countText(std::size_t count, const std::string& noun);

} // namespace qrv
