#pragma once

#include "editor/Editor.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qrv {

inline constexpr const char* kRestoreTitle = "Restore unsaved edits";
inline constexpr const char* kRecoveryFileName = "unsaved-edits.qrvr";
inline constexpr uint16_t kRecoveryVersion = 1;

// What the editor held when it last changed: enough to put the edits back after the
// program ended without a confirmed Exit.
struct RecoveryImage {
    int64_t madeAt = 0; // seconds since 1970, when the edits were made
    int16_t currentEffect = 0;
    ParameterTable store;
    ParameterTable startConfig;
    ParameterTable deviceCopy;
    std::array<std::array<std::string, kSlotCount>, kEffectCount> presetDirectory;
    std::array<std::array<std::string, kSlotCount>, kEffectCount> presetNames;
    std::array<std::string, kEffectCount> presetSlotNumbers;
    bool operator==(const RecoveryImage&) const = default;
};

RecoveryImage captureRecovery(const ProgramState& state, int64_t madeAt);
std::vector<uint8_t> encodeRecovery(const RecoveryImage& image);
// Checks magic, version, sizes, ranges and the checksum before anything is taken.
std::optional<RecoveryImage> decodeRecovery(std::span<const uint8_t> bytes, std::string& problem);

// Writes the bytes to a temporary file beside the target, flushes them to the disk and
// renames it over the target, so the file is always either the old or the new whole.
std::optional<std::string> writeDurably(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// Keeps the recovery file of one running editor in a folder the platform gives.
class RecoveryKeeper {
public:
    void setFolder(std::filesystem::path folder, std::string fileName = kRecoveryFileName)
    {
        folder_ = std::move(folder);
        fileName_ = std::move(fileName);
    }
    bool enabled() const { return !folder_.empty(); }
    std::filesystem::path file() const { return folder_ / fileName_; }

    // The file a run that did not end by a confirmed Exit left behind, if it is sound.
    std::optional<RecoveryImage> leftBehind() const;
    // From now on an edit is whatever makes the store differ from what it holds now.
    void arm(const ProgramState& state);
    // Called often (every half second): writes the file when the state has changed
    // since the last write and holds edits, removes it when the edits are gone.
    void tick(const ProgramState& state, int64_t now);
    // The user declined the recovery: no file stays.
    void discard();
    // The user left by a confirmed Exit: no file stays, none is written any more.
    void leave()
    {
        armed_ = false;
        discard();
    }

private:
    std::filesystem::path folder_;
    std::string fileName_ = kRecoveryFileName;
    bool armed_ = false;
    ParameterTable baseline_;
    std::vector<uint8_t> written_; // the last content written, without its time
    int64_t madeAt_ = 0;
};

// Asks, after start-up, whether to put back what an earlier run left; Yes loads the
// rows into the store and the start configuration as a project load does and sends the
// current effect. Returns whether edits were restored.
bool offerRecovery(Editor& editor, RecoveryKeeper& keeper);

// "7 December 2026 at 02:41" in the machine's local time.
std::string recoveryTimeText(int64_t madeAt);

} // namespace qrv
