#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrv {

// What a step of the history changed, byte by byte.
enum class ChangedTable : uint8_t { Store, StartConfig, EffectSwitch };

struct ByteChange {
    ChangedTable table;
    int effect;
    int column;
    uint8_t before;
    uint8_t after;
};

// One byte of the unit's preset memory a slot operation wrote.
struct MemoryChange {
    uint16_t address;
    uint8_t before;
    uint8_t after;
};

// An edit is replayed control by control through the edit path; a rows step (a file,
// a device preset, a reload) puts whole rows back and sends the current effect's row; a
// slots step writes the unit's stored presets back as they were, through the slot replayer.
enum class StepKind { Edit, Rows, Slots };

struct HistoryStep {
    StepKind kind = StepKind::Edit;
    int effect = -1;     // the effect shown when the step was made; -1 for the effect switch alone
    std::string control; // moves of the same control within kJoinGap join one step; empty: never
    std::vector<ByteChange> changes;
    double lastMove = 0;              // seconds, for joining
    std::string label;                // what the Undo and Redo actions name; empty for edits
    std::vector<MemoryChange> memory; // of a slots step: whole slots and slot numbers, in write order
};

// The undo/redo list: steps up to `done` are applied, the rest can be redone.
class History {
public:
    static constexpr std::size_t kLimit = 1000;
    static constexpr double kJoinGap = 1.0;

    // Adds a step (dropping what could be redone), or joins it to the open step when it
    // moves the same control again within the gap.
    void record(HistoryStep step);
    // Ends the open step: the next move starts a new one (a slider released, another control).
    void close() { open_ = false; }

    const HistoryStep* nextUndo() const { return done_ > 0 ? &steps_[done_ - 1] : nullptr; }
    const HistoryStep* nextRedo() const { return done_ < steps_.size() ? &steps_[done_] : nullptr; }
    // "Undo Rename REVERB HALL 3", or "Undo" for a step without a label.
    std::string undoText() const;
    std::string redoText() const;
    void markUndone();
    void markRedone();
    bool canUndo() const { return done_ > 0; }
    bool canRedo() const { return done_ < steps_.size(); }
    std::size_t size() const { return steps_.size(); }
    void clear();

private:
    std::vector<HistoryStep> steps_;
    std::size_t done_ = 0;
    bool open_ = false;
};

} // namespace qrv
