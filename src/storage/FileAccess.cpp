#include "FileAccess.hpp"

#include "FileCodec.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrv {

namespace fs = std::filesystem;

namespace {

std::string systemReason(int code)
{
    return std::error_code(code, std::generic_category()).message();
}

// The name of the write in flight, readable from a signal handler. One write at a time
// holds it: a user's save waits for a background write in progress, never the reverse
// on the window's behalf.
char inFlightName[4096];
std::atomic<bool> inFlight{false};
std::mutex inFlightOwner;

class InFlight {
public:
    explicit InFlight(const fs::path& temporary) : owner_(inFlightOwner)
    {
        const std::string text = temporary.string();
        if (text.size() >= sizeof inFlightName)
            return;
        std::memcpy(inFlightName, text.c_str(), text.size() + 1);
        inFlight.store(true);
    }
    ~InFlight() { inFlight.store(false); }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

private:
    std::lock_guard<std::mutex> owner_;
};

constexpr std::string_view kPartSuffix = ".part";

fs::path folderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

// ".NAME.PID-N.part" beside the target: hidden, and never the name of another write.
fs::path temporaryFor(const fs::path& path)
{
    static std::atomic<unsigned> counter{0};
    return folderOf(path) /
        ("." + path.filename().string() + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
         std::string(kPartSuffix));
}

// A write that was killed leaves its temporary behind; the next write of the same file
// takes those away that are old enough not to belong to a write still going on.
void removeStaleTemporaries(const fs::path& path)
{
    const std::string prefix = "." + path.filename().string() + ".";
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code error;
    for (fs::directory_iterator it(folderOf(path), error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix) || !name.ends_with(kPartSuffix))
            continue;
        std::error_code ignored;
        if (it->is_regular_file(ignored) && it->last_write_time(ignored) < old)
            fs::remove(it->path(), ignored);
    }
}

bool writeAll(int fd, std::span<const uint8_t> bytes, int& code)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            code = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolder(const fs::path& folder)
{
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

const char* temporaryInFlight()
{
    return inFlight.load() ? inFlightName : nullptr;
}

FileRead readExactFile(const fs::path& path, std::size_t size, bool longerTakesPrefix)
{
    FileRead result;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        result.outcome = FileRead::Outcome::NotFound;
        return result;
    }
    if (error) {
        result.problem = error.message();
        return result;
    }
    if (fs::is_directory(status)) {
        result.problem = "It is a folder, not a file.";
        return result;
    }
    const std::uintmax_t length = fs::file_size(path, error);
    if (error) {
        result.problem = error.message();
        return result;
    }
    if (length < size || (length > size && !longerTakesPrefix)) {
        result.outcome = FileRead::Outcome::WrongSize;
        result.problem = wrongSizeReason(length, size);
        return result;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.problem = errno != 0 ? systemReason(errno) : "The file cannot be opened.";
        return result;
    }
    // One byte more than wanted shows a file that grew since its size was taken.
    result.bytes.resize(size + 1);
    in.read(reinterpret_cast<char*>(result.bytes.data()), static_cast<std::streamsize>(result.bytes.size()));
    if (in.bad()) {
        result.bytes.clear();
        result.problem = errno != 0 ? systemReason(errno) : "The file cannot be read.";
        return result;
    }
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got < size || (got > size && !longerTakesPrefix)) {
        result.outcome = FileRead::Outcome::WrongSize;
        result.problem = wrongSizeReason(got, size);
        result.bytes.clear();
        return result;
    }
    result.bytes.resize(size);
    result.trailing = got > size ? std::max<std::uintmax_t>(length, size + 1) - size : 0;
    result.outcome = FileRead::Outcome::Read;
    return result;
}

FileRead readWholeFile(const fs::path& path, std::size_t limit)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        FileRead result;
        result.outcome =
            error == std::errc::no_such_file_or_directory ? FileRead::Outcome::NotFound : FileRead::Outcome::Unreadable;
        result.problem = error.message();
        return result;
    }
    if (size > limit) {
        FileRead result;
        result.outcome = FileRead::Outcome::WrongSize;
        result.problem = "The file holds " + std::to_string(size) + " bytes, more than " + std::to_string(limit) + ".";
        return result;
    }
    return readExactFile(path, static_cast<std::size_t>(size));
}

struct SpaceReservation::Held {
    int fd;
    fs::path temporary;
    InFlight marked{temporary}; // a signal that ends the program takes it away

    ~Held()
    {
        if (fd < 0)
            return;
        ::close(fd);
        ::unlink(temporary.c_str());
    }
};

SpaceReservation::SpaceReservation(std::unique_ptr<Held> held) : held_(std::move(held)) {}
SpaceReservation::SpaceReservation(SpaceReservation&&) noexcept = default;
SpaceReservation& SpaceReservation::operator=(SpaceReservation&&) noexcept = default;
SpaceReservation::~SpaceReservation() = default;

SpaceReservation::Taken SpaceReservation::take()
{
    Taken taken{std::exchange(held_->fd, -1), held_->temporary};
    held_.reset();
    return taken;
}

ReservedSpace reserveSpace(const fs::path& path, std::size_t size)
{
    std::error_code error;
    if (fs::is_directory(path, error))
        return {std::nullopt, "is a folder"};
    removeStaleTemporaries(path);
    const fs::path temporary = temporaryFor(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return {std::nullopt, systemReason(errno)};
    SpaceReservation room(std::make_unique<SpaceReservation::Held>(fd, temporary));
    // Room taken for real: a full disk refuses here.
    if (const int code = ::posix_fallocate(fd, 0, static_cast<off_t>(std::max<std::size_t>(size, 1))); code != 0)
        return {std::nullopt, systemReason(code)};
    return {std::move(room), {}};
}

std::optional<std::string> writeFileAtomically(const fs::path& path, std::span<const uint8_t> bytes,
                                               WriteOptions options)
{
    struct stat existing {};
    const bool present = ::lstat(path.c_str(), &existing) == 0; // the link itself, not where it points
    if (present && S_ISDIR(existing.st_mode))
        return "A folder of that name is in the way.";
    const bool regular = present && S_ISREG(existing.st_mode);
    std::vector<uint8_t> content(bytes.begin(), bytes.end());
    if (options.keepTail && regular && static_cast<std::size_t>(existing.st_size) > bytes.size()) {
        const FileRead old = readWholeFile(path, 1u << 20);
        if (old.outcome == FileRead::Outcome::Read && old.bytes.size() > bytes.size())
            content.insert(content.end(), old.bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size()),
                           old.bytes.end());
    }
    // A reservation's file was made by reserveSpace, which took the stale ones away.
    SpaceReservation::Taken reserved = options.room ? options.room->take() : SpaceReservation::Taken{};
    if (!options.room)
        removeStaleTemporaries(path);

    const fs::path temporary = options.room ? reserved.temporary : temporaryFor(path);
    const InFlight marked(temporary);
    const int fd = options.room ? reserved.fd
                                : ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                         static_cast<mode_t>(options.mode));
    if (fd < 0)
        return systemReason(errno);
    int code = 0;
    bool done = writeAll(fd, content, code);
    if (done && options.room && ::ftruncate(fd, static_cast<off_t>(content.size())) != 0) {
        code = errno; // the room reserved beyond the content goes back
        done = false;
    }
    if (done && regular)
        ::fchmod(fd, existing.st_mode & 07777); // a replaced file keeps who may read it
    if (done && ::fsync(fd) != 0) {
        code = errno;
        done = false;
    }
    if (::close(fd) != 0 && done) {
        code = errno;
        done = false;
    }
    if (done && ::rename(temporary.c_str(), path.c_str()) != 0) {
        code = errno;
        done = false;
    }
    if (!done) {
        ::unlink(temporary.c_str());
        return systemReason(code);
    }
    syncFolder(folderOf(path)); // the rename itself lasts once the folder is flushed
    return std::nullopt;
}

BackgroundWriter::~BackgroundWriter()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void BackgroundWriter::write(const fs::path& path, std::vector<uint8_t> bytes, WriteOptions options)
{
    queue(path, {std::move(bytes), options});
}

void BackgroundWriter::remove(const fs::path& path)
{
    queue(path, {});
}

void BackgroundWriter::queue(const fs::path& path, Job job)
{
    {
        const std::lock_guard lock(mutex_);
        pending_[path] = std::move(job);
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
    }
    changed_.notify_all();
}

void BackgroundWriter::flush()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_.empty() && !busy_; });
}

std::optional<std::string> BackgroundWriter::takeOutcome(const fs::path& path)
{
    const std::lock_guard lock(mutex_);
    const auto found = outcomes_.find(path);
    if (found == outcomes_.end())
        return std::nullopt;
    std::string outcome = std::move(found->second);
    outcomes_.erase(found);
    return outcome;
}

void BackgroundWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty())
            return; // stopping, with nothing left to write
        auto next = pending_.extract(pending_.begin());
        busy_ = true;
        lock.unlock();
        std::optional<std::string> problem;
        std::error_code ignored;
        if (next.mapped().bytes) {
            fs::create_directories(folderOf(next.key()), ignored);
            problem = write_(next.key(), *next.mapped().bytes, next.mapped().options);
        } else {
            fs::remove(next.key(), ignored);
        }
        lock.lock();
        busy_ = false;
        if (next.mapped().bytes)
            outcomes_[next.key()] = problem.value_or(std::string());
        else
            outcomes_.erase(next.key());
        changed_.notify_all();
    }
}

} // namespace qrv
