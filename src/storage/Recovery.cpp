#include "Recovery.hpp"

#include "FileAccess.hpp"
#include "link/Resume.hpp"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#define QRV_HAVE_FSYNC 1
#endif

namespace qrv {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'Q', 'R', 'V', '5', '1', '7', '3', 'R'};
constexpr std::size_t kMaxText = 64;

uint32_t checksum(std::span<const uint8_t> bytes)
{
    uint32_t hash = 2166136261u; // FNV-1a
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 16777619u;
    }
    return hash;
}

class Writer {
public:
    void u8(uint8_t v) { bytes.push_back(v); }
    void uint(uint64_t v, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void table(const ParameterTable& t) { bytes.insert(bytes.end(), t.bytes().begin(), t.bytes().end()); }
    void text(const std::string& s)
    {
        const std::size_t n = std::min(s.size(), kMaxText);
        u8(static_cast<uint8_t>(n));
        bytes.insert(bytes.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    }
    std::vector<uint8_t> bytes;
};

class Reader {
public:
    explicit Reader(std::span<const uint8_t> b) : bytes_(b) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return at_ == bytes_.size(); }
    uint64_t uint(int size)
    {
        if (!need(static_cast<std::size_t>(size)))
            return 0;
        uint64_t v = 0;
        for (int i = 0; i < size; ++i)
            v |= static_cast<uint64_t>(bytes_[at_++]) << (8 * i);
        return v;
    }
    void table(ParameterTable& t)
    {
        if (!need(kEffectCount * kRowSize))
            return;
        for (int e = 0; e < kEffectCount; ++e)
            t.setRow(e, bytes_.subspan(at_ + static_cast<std::size_t>(e * kRowSize)).first<kRowSize>());
        at_ += kEffectCount * kRowSize;
    }
    void text(std::string& s)
    {
        const auto n = static_cast<std::size_t>(uint(1));
        if (n > kMaxText || !need(n)) {
            ok_ = false;
            return;
        }
        s.assign(reinterpret_cast<const char*>(bytes_.data() + at_), n);
        at_ += n;
    }

private:
    bool need(std::size_t n)
    {
        if (!ok_ || bytes_.size() - at_ < n)
            ok_ = false;
        return ok_;
    }
    std::span<const uint8_t> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

} // namespace

RecoveryImage captureRecovery(const ProgramState& state, int64_t madeAt)
{
    return {madeAt,           state.currentEffect,   state.store,       state.startConfig,
            state.deviceCopy, state.presetDirectory, state.presetNames, state.presetSlotNumbers};
}

std::vector<uint8_t> encodeRecovery(const RecoveryImage& image)
{
    Writer w;
    w.bytes.assign(std::begin(kMagic), std::end(kMagic));
    w.uint(kRecoveryVersion, 2);
    w.uint(static_cast<uint64_t>(image.madeAt), 8);
    w.u8(static_cast<uint8_t>(image.currentEffect));
    w.table(image.store);
    w.table(image.startConfig);
    w.table(image.deviceCopy);
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s) {
            w.text(image.presetDirectory[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)]);
            w.text(image.presetNames[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)]);
        }
    for (const std::string& slot : image.presetSlotNumbers)
        w.text(slot);
    w.uint(checksum(w.bytes), 4);
    return w.bytes;
}

std::optional<RecoveryImage> decodeRecovery(std::span<const uint8_t> bytes, std::string& problem)
{
    if (bytes.size() < sizeof kMagic + 6 || !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin())) {
        problem = "not a recovery file";
        return std::nullopt;
    }
    const auto body = bytes.first(bytes.size() - 4);
    Reader tail(bytes.last(4));
    if (tail.uint(4) != checksum(body)) {
        problem = "the file is damaged";
        return std::nullopt;
    }
    Reader r(body.subspan(sizeof kMagic));
    if (r.uint(2) != kRecoveryVersion) {
        problem = "written by another version";
        return std::nullopt;
    }
    RecoveryImage image;
    image.madeAt = static_cast<int64_t>(r.uint(8));
    image.currentEffect = static_cast<int16_t>(r.uint(1));
    r.table(image.store);
    r.table(image.startConfig);
    r.table(image.deviceCopy);
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s) {
            r.text(image.presetDirectory[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)]);
            r.text(image.presetNames[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)]);
        }
    for (std::string& slot : image.presetSlotNumbers)
        r.text(slot);
    if (!r.ok() || !r.atEnd() || image.currentEffect >= kEffectCount) {
        problem = "the file is damaged";
        return std::nullopt;
    }
    return image;
}

std::optional<std::string> writeDurably(const fs::path& path, std::span<const uint8_t> bytes)
{
#ifdef QRV_HAVE_FSYNC
    fs::path temporary = path;
    temporary += ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::system_category().message(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string reason = std::system_category().message(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return reason;
        }
        done += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    std::error_code error;
    if (!synced) {
        fs::remove(temporary, error);
        return "the file could not be flushed to the disk";
    }
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        return error.message();
    }
    // The rename itself lasts once the folder is flushed too.
    if (const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
#else
    return writeFileReplacing(path, bytes);
#endif
}

std::optional<RecoveryImage> RecoveryKeeper::leftBehind() const
{
    if (!enabled())
        return std::nullopt;
    std::error_code error;
    const auto size = fs::file_size(file(), error);
    if (error || size > (1u << 20))
        return std::nullopt;
    const FileRead read = readExactFile(file(), static_cast<std::size_t>(size));
    if (read.outcome != FileRead::Outcome::Read)
        return std::nullopt;
    std::string problem;
    return decodeRecovery(read.bytes, problem);
}

void RecoveryKeeper::arm(const ProgramState& state)
{
    armed_ = true;
    baseline_ = state.store;
    written_.clear();
}

void RecoveryKeeper::tick(const ProgramState& state, int64_t now)
{
    if (!enabled() || !armed_)
        return;
    if (state.store == baseline_) {
        if (!written_.empty())
            discard();
        return;
    }
    const std::vector<uint8_t> content = encodeRecovery(captureRecovery(state, 0));
    if (content == written_)
        return;
    std::error_code error;
    fs::create_directories(folder_, error);
    if (writeDurably(file(), encodeRecovery(captureRecovery(state, now))))
        return; // tried again at the next tick
    written_ = content;
}

void RecoveryKeeper::discard()
{
    written_.clear();
    if (!enabled())
        return;
    std::error_code error;
    fs::remove(file(), error);
}

std::string recoveryTimeText(int64_t madeAt)
{
    const std::time_t t = static_cast<std::time_t>(madeAt);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char text[64];
    std::strftime(text, sizeof text, "%d %B %Y at %H:%M", &local);
    return text;
}

bool offerRecovery(Editor& editor, RecoveryKeeper& keeper)
{
    const auto image = keeper.leftBehind();
    if (!image) {
        keeper.discard(); // nothing sound to offer: a damaged file must not ask again
        return false;
    }
    Host& host = editor.host();
    const std::string text = "The editor ended without Exit on " + recoveryTimeText(image->madeAt) +
        " while it held edits that were not saved.\nRestore them?";
    if (!host.askYesNo(text, kRestoreTitle, Icon::None, Button::Yes)) {
        keeper.discard();
        return false;
    }
    ProgramState& state = editor.state();
    FrmMain& form = editor.form();
    const int shown = image->currentEffect;
    if (state.DemoMode) { // no unit to read these from: the last ones known are better than none
        state.presetDirectory = image->presetDirectory;
        state.presetNames = image->presetNames;
        state.presetSlotNumbers = image->presetSlotNumbers;
    }
    const EditScope scope(editor, StepKind::Rows);
    host.setBusy(Window::Editor, true);
    runStartingOverAfterReconnect(editor.link(), [&] {
        // The start-up read every effect from the unit: only what differs is written.
        for (int e = 0; e < kEffectCount; ++e)
            for (int c = 0; c < kDeviceColumns && e != shown; ++c)
                if (state.store.at(e, c) != image->store.at(e, c))
                    editor.link().writeByte(Addr::live(e, c), image->store.at(e, c));
        state.store = image->store;
        state.startConfig = image->startConfig;
        form.Combo1.index = shown;
        editor.effectListClick();
        // Selection took the unit's values for the effect shown: the recovered ones go back.
        state.store.copyRowFrom(image->store, shown);
        state.startConfig.copyRowFrom(image->startConfig, shown);
        editor.RefreshPageAndSend();
    });
    host.setBusy(Window::Editor, false);
    return true;
}

} // namespace qrv
