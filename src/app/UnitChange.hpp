#pragma once

#include "Program.hpp"

#include <functional>
#include <string>

namespace qrv {

// The offer of the user's values to a unit the editor has just read: they are the edits, not
// the unit's own, so No is the default and Yes sends those columns alone.
std::string editsOfferText(std::size_t edits);

// After a reconnection, or a look while idle, found the unit unlike the one the editor read:
// says what changed, reads the unit again (progress, Cancel) and keeps the columns the user
// edited since the last read, offering to send them. A Cancel leaves the editor as it was,
// with the unit still unread until the next reconnection. Nothing happens otherwise.
void readChangedUnit(Program& program);

// A unit connected after demo mode: reads it (progress, Cancel) and keeps what the user
// changed in demo mode, offering to send it.
void readUnitAfterDemo(Program& program);

// The user lets the editor be for 5 s: a power cycle or another unit behind a port that stayed
// up has shown nowhere yet. Three exchanges (about 0.2 s of the wire) every 10 s then cost
// the link under 2 % of its time, and the unit is found changed within 15 s of the user's
// last action.
inline constexpr double kIdleBeforeLook = 5.0;
inline constexpr double kLookInterval = 10.0;
inline constexpr const char* kUnitRestartedText = "The QRV5173 was restarted or changed – reading it again";
inline constexpr const char* kUnitReadAgainText = "The QRV5173 was restarted or changed – read again";

// The unit proved to be another, or restarted, when the editor looked at it unasked: the check
// found `difference`. Says so in the status bar and reads the unit again, keeping the user's edits.
void readUnitFoundChanged(Program& program, const UnitDifference& difference);

// Looks at the unit while the user lets the editor be, and reads it again when it changed.
// Called between runs of the core only.
class IdleUnitWatch {
public:
    explicit IdleUnitWatch(Program& program);

    // The user did something: the look waits for the next idle stretch.
    void touched();
    double idleSeconds() const;
    // While `covered` says so, another look at the unit does this one's work and tells it with
    // looked(); this one keeps still.
    void setCoveredWhile(std::function<bool()> covered) { covered_ = std::move(covered); }
    // Whether a look of the live part (switch included) is due by the time alone.
    bool lookDue() const;
    void looked();
    // Whether a look is due now: costs no exchange.
    bool due();
    // Looks when due; a unit unlike the one read is said in the status bar, checked whole and
    // read again as after a reconnection.
    void tick();

private:
    bool allowed() const;

    Program& program_;
    std::function<bool()> covered_;
    double lastTouch_;
    double lastLook_;
};

} // namespace qrv
