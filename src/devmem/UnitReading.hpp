#pragma once

#include "devmem/Backup.hpp"
#include "editor/Editor.hpp"
#include "link/UnitIdentity.hpp"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace qrv {

// Reads what the start-up left, one exchange at a time between the user's work, and then every
// piece a second time until it agrees; also reads at once what an operation needs and lacks.
// Afterwards the editor holds exactly what a whole read at start-up gives.
class UnitReading {
public:
    explicit UnitReading(Editor& editor) : editor_(editor) {}

    // Reads what `items` lacks now, with progress when it takes a while. False when the link failed.
    bool provide(const std::vector<UnitItem>& items);
    // While it lives, what is provided is read without a progress window: work the user did not
    // start (following the unit's front panel) must not put a window in front of a resting user.
    class Quiet {
    public:
        explicit Quiet(UnitReading& reading) : reading_(reading) { reading_.quiet_ = true; }
        ~Quiet() { reading_.quiet_ = false; }
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

    private:
        UnitReading& reading_;
    };

    enum class Step { Progressed, Done, Stopped, Failed };
    // Reads or confirms the next piece. `userWaiting` is asked after every exchange; when it
    // says yes the step stops, and the piece is taken again later.
    Step backgroundStep(const std::function<bool()>& userWaiting);
    // Whether the pieces the pages need are all confirmed.
    bool finished() const;
    // Reads and confirmations done, and how many there are in all: of the pages' pieces until
    // they are finished, then of a backup's.
    std::pair<int, int> progress() const;
    // Whether the background goes on, after the pages' pieces, to what a backup needs.
    void setReadsForBackup(bool on) { forBackup_ = on; }
    bool readsForBackup() const { return forBackup_; }
    // What the editor holds of the unit, in the form of a backup: the store's parameter columns
    // (which edits keep as the unit holds them), the rest of each row as read, and for stored
    // slots their names and, once read, their data.
    UnitBackup held() const;

private:
    enum class Pass { Read, Confirm };
    Step take(const UnitItem& item, Pass pass, const std::function<bool()>& stop);
    static std::optional<UnitItem> prerequisite(const UnitItem& item);
    Step readRow(const UnitItem& item, Pass pass, const std::function<bool()>& stop);
    Step readByteItem(const UnitItem& item, Pass pass);
    Step readSlotByte(const UnitItem& item, Pass pass);
    bool slotStored(const UnitItem& item) const;
    Step readName(const UnitItem& item, Pass pass);
    // A value that never agreed is logged; the reading pauses as after a failed link.
    Step unconfirmed(Confirm outcome, const UnitItem& item);
    // What the editor holds for a one-byte piece now, and where the piece lives on the unit.
    uint8_t heldByte(const UnitItem& item) const;
    void hold(const UnitItem& item, uint8_t value);
    // A piece that proved otherwise on its second read: what depended on it is read again.
    void proved(const UnitItem& item);
    uint16_t address(const UnitItem& item) const;
    void pieceArrived(const UnitItem& item);

    Editor& editor_;
    bool quiet_ = false;
    bool forBackup_ = false;
};

} // namespace qrv
