#pragma once

#include "Program.hpp"
#include "UnitChange.hpp"

#include <functional>

namespace qrv {

// A second after the user's last action the editor starts looking at what the unit plays, about
// every two seconds: its current effect (one 10-byte exchange) and that effect's live row (one
// block), 0.13 s of the wire and 0.145 s of the link's time each; 2.2 s apart they keep under 7 %
// of it. Every ten seconds a look also reads the switch and stands for the idle watch's look.
inline constexpr double kIdleBeforeFollow = 1.0;
inline constexpr double kFollowInterval = 2.2;
inline constexpr const char* kChangedOnUnitText = "Changed on the unit";

// Shows what was changed on the unit itself (another effect selected there, a knob turned, the
// switch pressed) without sending anything back and without making it the user's edit: the
// store and the start values take the unit's values, the history does not. A value counts only
// once the unit gave it twice, so a damaged reply moves nothing; a change comes with a look at
// the effect's presets, so that another unit behind the port is read again rather than followed.
class FollowUnit {
public:
    FollowUnit(Program& program, IdleUnitWatch& watch);
    FollowUnit(const FollowUnit&) = delete;
    FollowUnit& operator=(const FollowUnit&) = delete;

    void setOn(bool on) { on_ = on; }
    bool on() const { return on_; }
    // Whether the looks can run at all now: on, connected to a unit the editor read, block reads
    // usable, not comparing, no changed unit waiting to be read.
    bool able() const;
    // Whether a look is due now: costs no exchange.
    bool due() const;

    enum class Look { NotDue, Same, Followed, OtherUnit, Stopped, Failed };
    // Looks when due; `stop` is asked between exchanges where the look may end early (the user
    // is waiting), and what it left is looked at again next time.
    Look tick(const std::function<bool()>& stop);

private:
    Look look(const std::function<bool()>& stop, bool withSwitch);
    // Whether the unit still holds what the editor read of its presets, asked at most once
    // per idle-watch interval; nothing when the unit left a read unanswered.
    std::optional<bool> sameUnit(uint8_t effect);

    Program& program_;
    IdleUnitWatch& watch_;
    bool on_ = true;
    double lastLook_;
    double unitCheckedAt_;
    int portFailuresAtCheck_ = 0;
};

} // namespace qrv
