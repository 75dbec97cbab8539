#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace qrv {

// Whole-file reading and writing for every file the programs keep.
struct FileRead {
    enum class Outcome { Read, NotFound, WrongSize, Unreadable };
    Outcome outcome = Outcome::Unreadable;
    std::vector<uint8_t> bytes;
    std::string problem;         // why it was refused, for WrongSize and Unreadable
    std::uintmax_t trailing = 0; // bytes past the wanted size that were left unread
};

// Reads a file that must hold `size` bytes; the size is checked before reading. With
// `longerTakesPrefix` a longer file gives its first `size` bytes and counts the rest.
FileRead readExactFile(const std::filesystem::path& path, std::size_t size, bool longerTakesPrefix = false);
// Reads a whole file of at most `limit` bytes.
FileRead readWholeFile(const std::filesystem::path& path, std::size_t limit);

// Room on the disk taken for a file written later: a temporary file beside the target with
// the bytes allocated, so a full disk or a read-only folder shows before a long read, not
// after it. writeFileAtomically fills it and renames it over the target; dropped unused,
// it is removed.
struct ReservedSpace;

class SpaceReservation {
public:
    SpaceReservation(SpaceReservation&&) noexcept;
    SpaceReservation& operator=(SpaceReservation&&) noexcept;
    ~SpaceReservation();

    // The open temporary file and its name, handed to the writer; the reservation is used up.
    struct Taken {
        int fd = -1;
        std::filesystem::path temporary;
    };
    Taken take();

private:
    friend ReservedSpace reserveSpace(const std::filesystem::path& path, std::size_t size);
    struct Held;
    explicit SpaceReservation(std::unique_ptr<Held> held);
    std::unique_ptr<Held> held_;
};

struct ReservedSpace {
    std::optional<SpaceReservation> room;
    std::string problem; // why there is none
};
ReservedSpace reserveSpace(const std::filesystem::path& path, std::size_t size);

struct WriteOptions {
    unsigned mode = 0666;  // for a new file, less the umask; a replaced file keeps its own
    bool keepTail = false; // a longer regular file keeps its bytes past the new ones
    SpaceReservation* room = nullptr; // taken for this path by ReservedSpace::reserve; used up by the write
};

// Replaces the file's content with the bytes, or leaves it as it was and returns why not.
// The bytes go to a temporary file in the same folder, reach the disk, and the temporary
// is renamed over the target; then the folder is flushed, so a power cut leaves the old
// or the new file, never an empty one. A symbolic link at the target is replaced by the
// file, never written through.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                                               WriteOptions options = {});

// Writes files on a thread of its own, so that whoever asks never waits for the disk.
// Of the writes asked for one file only the newest waits; an older one not yet begun is
// dropped. The outcome of each write is kept for the asker to collect.
class BackgroundWriter {
public:
    using WriteFunction = std::function<std::optional<std::string>(const std::filesystem::path&,
                                                                   std::span<const uint8_t>, WriteOptions)>;
    explicit BackgroundWriter(WriteFunction write = writeFileAtomically) : write_(std::move(write)) {}
    ~BackgroundWriter(); // what is pending is written first
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // The file gets the bytes (its folder made when missing), or goes with remove.
    void write(const std::filesystem::path& path, std::vector<uint8_t> bytes, WriteOptions options = {});
    void remove(const std::filesystem::path& path);
    // Returns once everything asked for so far is on the disk (or has failed).
    void flush();
    // Why the last write of the file done since the last call failed ("" when it was
    // written); nothing when none was done.
    std::optional<std::string> takeOutcome(const std::filesystem::path& path);

private:
    struct Job {
        std::optional<std::vector<uint8_t>> bytes; // none: remove the file
        WriteOptions options;
    };
    void queue(const std::filesystem::path& path, Job job);
    void run();

    WriteFunction write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::filesystem::path, Job> pending_;
    std::map<std::filesystem::path, std::string> outcomes_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_; // started with the first job
};

// The temporary file a write is filling this very moment, or null; a signal handler
// that ends the program removes it (unlink is safe there).
const char* temporaryInFlight();

} // namespace qrv
