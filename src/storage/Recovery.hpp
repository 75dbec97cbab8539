#pragma once

#include "FileAccess.hpp"
#include "editor/Editor.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qrv {

inline constexpr const char* kRestoreTitle = "Restore unsaved edits";
inline constexpr const char* kRecoveryFileName = "unsaved-edits.qrvr";
inline constexpr uint16_t kRecoveryVersion = 2;

// What the editor held when it last changed: enough to put the edits back after the
// program ended without a confirmed Exit, and only the edits.
struct RecoveryImage {
    int64_t madeAt = 0; // seconds since 1970, when the edits were made
    int16_t currentEffect = 0;
    ParameterTable baseline; // the values the edits started from: the start configuration, taken from the unit
    ParameterTable store;    // the editor's values: the edits are the columns unlike the baseline
    uint32_t unit = 0;       // fingerprint of the unit the edits were made for; 0 when none was known
    std::array<std::array<std::string, kSlotCount>, kEffectCount> presetDirectory;
    std::array<std::array<std::string, kSlotCount>, kEffectCount> presetNames;
    std::array<std::string, kEffectCount> presetSlotNumbers;
    bool operator==(const RecoveryImage&) const = default;

    // The parameter columns the user changed, per effect.
    std::vector<std::pair<int, int>> editedColumns() const;
};

// The unit's identity as far as the editor knows it: its preset directory and names.
// 0 when no unit was read (demo mode).
uint32_t unitFingerprint(const ProgramState& state);

RecoveryImage captureRecovery(const ProgramState& state, int64_t madeAt);
std::vector<uint8_t> encodeRecovery(const RecoveryImage& image);

// What a recovery file turned out to be.
struct RecoveryRead {
    enum class Kind { None, Sound, Unreadable, Newer };
    Kind kind = Kind::None;
    std::optional<RecoveryImage> image;
    std::string problem; // for Unreadable and Newer
};
// Checks magic, version, sizes, ranges and the checksum before anything is taken; reads
// the first format too (its start configuration stands in for the baseline).
RecoveryRead decodeRecovery(std::span<const uint8_t> bytes);
RecoveryRead readRecoveryFile(const std::filesystem::path& file);

// Keeps the recovery file of one running editor in a folder the platform gives. The
// file is written on a thread of its own: the editor never waits for the disk.
class RecoveryKeeper {
public:
    explicit RecoveryKeeper(BackgroundWriter::WriteFunction write = writeFileAtomically) : writer_(std::move(write))
    {
    }
    void setFolder(std::filesystem::path folder, std::string fileName = kRecoveryFileName)
    {
        folder_ = std::move(folder);
        fileName_ = std::move(fileName);
    }
    bool enabled() const { return !folder_.empty(); }
    std::filesystem::path file() const { return folder_ / fileName_; }
    // The file this run writes instead when the usual one must be left alone (a newer
    // editor's): the same name with the format in it.
    std::filesystem::path ownFormatFile() const;
    void useOwnFormatFile() { fileName_ = ownFormatFile().filename().string(); }

    // The file a run that did not end by a confirmed Exit left behind.
    RecoveryRead leftBehind() const { return readRecoveryFile(file()); }
    // From now on the file follows the edits: the store's values unlike the start
    // configuration's, which holds what was last taken from the unit (or a file).
    void arm()
    {
        armed_ = true;
        written_.clear();
    }
    // Called often (every half second, and when the editor is told to end): has the file
    // written when the state has changed since the last write and holds edits, removed
    // when the edits are gone. A write that failed is tried again at the next call.
    void tick(const ProgramState& state, int64_t now);
    // Returns once the file is as the last call left it: before the program ends.
    void flush();
    // Why the last write failed, as known at the last call; empty while the file is kept.
    const std::string& problem() const { return problem_; }
    // The user declined the recovery: no file stays.
    void discard();
    // The user left by a confirmed Exit: no file stays, none is written any more.
    void leave()
    {
        armed_ = false;
        discard();
    }

private:
    // Takes the outcome of the last write, if one was done since.
    void collect();

    std::filesystem::path folder_;
    std::string fileName_ = kRecoveryFileName;
    bool armed_ = false;
    std::vector<uint8_t> written_; // the last content written, without its time
    std::string problem_;
    BackgroundWriter writer_; // last: ends, writing what is pending, before the rest goes
};

// After start-up: deals with what an earlier run left. A sound file is offered (the box
// says which values Yes sends, which the unit already holds, and when the edits were
// made for another unit); Yes writes only the edited columns into the store and the
// unit. A file that cannot be read is moved aside and the user told where; one of a
// newer format is left untouched, the user told, and this run keeps its own file.
// Returns whether edits were restored.
bool offerRecovery(Editor& editor, RecoveryKeeper& keeper, int64_t now);

// "7 December 2026 at 02:41" in the machine's local time; a time that cannot be right
// (in the future by more than a day, or before 1970) is said to be unknown.
std::string recoveryTimeText(int64_t madeAt, int64_t now);

} // namespace qrv
