#pragma once

#include "UnitKnowledge.hpp"
#include "ValueTables.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace qrv {

inline constexpr int kRowSize = 33; // parameter columns 0..31 and the effect index at 32

using Row = std::array<uint8_t, kRowSize>;

// Sixteen rows of 33 bytes, row after row, as the files and the device see them.
class ParameterTable {
public:
    uint8_t& at(int effect, int column) { return bytes_[index(effect, column)]; }
    uint8_t at(int effect, int column) const { return bytes_[index(effect, column)]; }

    std::span<uint8_t, kRowSize> row(int effect)
    {
        return std::span<uint8_t, kRowSize>(&bytes_[index(effect, 0)], kRowSize);
    }
    std::span<const uint8_t, kRowSize> row(int effect) const
    {
        return std::span<const uint8_t, kRowSize>(&bytes_[index(effect, 0)], kRowSize);
    }
    void setRow(int effect, std::span<const uint8_t, kRowSize> source);
    void copyRowFrom(const ParameterTable& other, int effect) { setRow(effect, other.row(effect)); }

    std::span<const uint8_t> bytes() const { return bytes_; }
    bool operator==(const ParameterTable&) const = default;

private:
    static std::size_t index(int effect, int column);
    std::array<uint8_t, kEffectCount * kRowSize> bytes_{};
};

// Tap tempo of the Tap Delay page; lives for the whole run.
struct TapTempoState {
    double tapCounter = 0;
    double tapCountAtTap = 0;
    double delayValue = 0;
    double previousDelayValue = 0;
    double delayTime = 0;
    bool lampPhase = false;
};

// Everything program-wide, owned by one object and passed by reference.
// What a unit on the line showed unlike the unit the editor read: its live values (current
// effect, switch, live parameters), its stored presets (directory, names), or both.
struct UnitDifference {
    bool liveChanged = false;
    bool presetsChanged = false;
    bool any() const { return liveChanged || presetsChanged; }
};

struct ProgramState {
    std::filesystem::path programFolder;

    // Device link
    int16_t PortNumber = 0;
    bool PortOk = false;
    bool LinkUp = false;
    bool DemoMode = false;
    std::array<uint8_t, 10> outputFrame{};
    std::array<uint8_t, 33> replyBuffer{};
    std::array<uint8_t, 40> addressBytes{};
    // What the window tells of the link beyond the flags: a search is running, or an
    // interrupted transfer or a reconnection may have left the unit holding other values.
    bool searching = false;
    bool unitMayDiffer = false;
    // What the user can do about a port that exists but would not open (in use, not
    // permitted), found by the last search; empty otherwise.
    std::string portAdvice;
    // The attempt a resend is at (2 to 6) while the unit has not answered; 0 otherwise.
    int resendAttempt = 0;
    // A reconnected unit did not match what the editor read: its directory, names and values
    // are not the editor's until the unit has been read again.
    bool unitChanged = false;
    // What the check found unlike the unit the editor read, while unitChanged holds.
    UnitDifference unitDifference;
    // Set with unitChanged by the check; taken by the one attempt to read the unit again, so
    // a Cancel is not asked again until the next reconnection.
    bool readAgainPending = false;
    // The unit's port went away: nothing is sent, edits stay in the store until the unit is
    // back (the link's record of the unit tells which were not sent).
    bool awaitingUnit = false;
    // A port where a unit answered while the editor had none; the status bar offers it.
    std::string unitOffer;
    // A unit that appears is connected without asking.
    bool connectAutomatically = false;
    // What the editor showed when demo mode began: whatever differs from it the user changed.
    ParameterTable demoStart;
    // Start-up, loads and restores go byte by byte in the original order, as slow as ever.
    bool exactOrder = false;
    // Whether this unit's block read (0x1E) has shown that it answers for any effect: not yet
    // asked, proven, or found wanting (then the session reads byte by byte).
    enum class BlockReads { Untried, Trusted, Refused } blockReads = BlockReads::Untried;

    // Editor core
    int16_t currentEffect = 0;
    int16_t effectSwitchState = 0;
    ParameterTable store;
    ParameterTable startConfig;
    ParameterTable deviceCopy;
    bool selectionLock = false;
    bool bandGuard = false;
    bool refreshGuard = false;
    int16_t chorusLinkFlag = 0;
    int16_t flangeLinkFlag = 0;
    TapTempoState tap;

    // Device preset memory, as decimal texts the way the device bytes were read
    std::array<std::array<std::string, kSlotCount>, kEffectCount> presetDirectory;
    std::array<std::array<std::string, kSlotCount>, kEffectCount> presetNames;
    std::array<std::string, kEffectCount> presetSlotNumbers;
    // The directory was filled without the unit (demo mode), so an empty entry proves nothing.
    bool presetDirectoryUnknown = false;
    // Which of the above (and of the live rows) came from the unit, once or confirmed.
    UnitKnowledge known;

    // Files
    Row FileRecord{};

    // What the last file or device action achieved, for the window to tell
    // ("Saved Preset/chorus1.fxp"); failures are told in boxes instead.
    std::string lastOutcome;

    ValueTables tables = buildValueTables();
};

} // namespace qrv
