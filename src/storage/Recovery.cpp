#include "Recovery.hpp"

#include "FileAccess.hpp"
#include "FileView.hpp"
#include "link/Resume.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

namespace qrv {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'Q', 'R', 'V', '5', '1', '7', '3', 'R'};
constexpr std::size_t kMaxText = 64;
constexpr std::size_t kMaxFile = 1u << 20;
constexpr std::size_t kValuesListed = 8;
constexpr int64_t kDay = 24 * 60 * 60;

uint32_t checksum(std::span<const uint8_t> bytes, uint32_t hash = 2166136261u)
{
    for (uint8_t b : bytes) { // FNV-1a
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

std::vector<std::pair<int, int>> RecoveryImage::editedColumns() const
{
    std::vector<std::pair<int, int>> out;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            if (store.at(e, c) != baseline.at(e, c))
                out.emplace_back(e, c);
    return out;
}

uint32_t unitFingerprint(const ProgramState& state)
{
    if (state.DemoMode || state.presetDirectoryUnknown)
        return 0;
    for (int e = 0; e < kEffectCount; ++e)
        if (!state.known.presetsRead(e))
            return 0; // not yet read whole: no telling which unit it is
    uint32_t hash = 2166136261u;
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s)
            for (const std::string* text :
                 {&state.presetDirectory[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)],
                  &state.presetNames[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)]}) {
                hash = checksum(std::span(reinterpret_cast<const uint8_t*>(text->data()), text->size()), hash);
                hash = checksum(std::array<uint8_t, 1>{0}, hash); // keeps "AB","C" apart from "A","BC"
            }
    return hash == 0 ? 1 : hash;
}

RecoveryImage captureRecovery(const ProgramState& state, int64_t madeAt)
{
    return {madeAt,
            state.currentEffect,
            state.startConfig,
            state.store,
            unitFingerprint(state),
            state.presetDirectory,
            state.presetNames,
            state.presetSlotNumbers};
}

std::vector<uint8_t> encodeRecovery(const RecoveryImage& image)
{
    Writer w;
    w.bytes.assign(std::begin(kMagic), std::end(kMagic));
    w.uint(kRecoveryVersion, 2);
    w.uint(static_cast<uint64_t>(image.madeAt), 8);
    w.u8(static_cast<uint8_t>(image.currentEffect));
    w.uint(image.unit, 4);
    w.table(image.baseline);
    w.table(image.store);
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

RecoveryRead decodeRecovery(std::span<const uint8_t> bytes)
{
    const auto unreadable = [](std::string problem) {
        return RecoveryRead{RecoveryRead::Kind::Unreadable, std::nullopt, std::move(problem)};
    };
    if (bytes.size() < sizeof kMagic + 6 || !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()))
        return unreadable("it is not a recovery file");
    const auto version = static_cast<uint16_t>(bytes[sizeof kMagic] | bytes[sizeof kMagic + 1] << 8);
    // A newer editor's file is not ours to judge, damaged or not.
    if (version > kRecoveryVersion)
        return {RecoveryRead::Kind::Newer, std::nullopt, "file format " + std::to_string(version)};
    const auto body = bytes.first(bytes.size() - 4);
    Reader tail(bytes.last(4));
    if (version == 0 || tail.uint(4) != checksum(body))
        return unreadable("the file is damaged");
    Reader r(body.subspan(sizeof kMagic + 2));
    RecoveryImage image;
    image.madeAt = static_cast<int64_t>(r.uint(8));
    image.currentEffect = static_cast<int16_t>(r.uint(1));
    if (version == 1) { // store, start configuration and device copy; no fingerprint
        ParameterTable deviceCopy;
        r.table(image.store);
        r.table(image.baseline);
        r.table(deviceCopy);
    } else {
        image.unit = static_cast<uint32_t>(r.uint(4));
        r.table(image.baseline);
        r.table(image.store);
    }
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s) {
            r.text(image.presetDirectory[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)]);
            r.text(image.presetNames[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)]);
        }
    for (std::string& slot : image.presetSlotNumbers)
        r.text(slot);
    if (!r.ok() || !r.atEnd() || image.currentEffect >= kEffectCount)
        return unreadable("the file is damaged");
    return {RecoveryRead::Kind::Sound, std::move(image), {}};
}

RecoveryRead readRecoveryFile(const fs::path& file)
{
    const FileRead read = readWholeFile(file, kMaxFile);
    if (read.outcome == FileRead::Outcome::NotFound)
        return {};
    if (read.outcome != FileRead::Outcome::Read)
        return {RecoveryRead::Kind::Unreadable, std::nullopt, read.problem};
    return decodeRecovery(read.bytes);
}

fs::path RecoveryKeeper::ownFormatFile() const
{
    const fs::path name(kRecoveryFileName);
    return folder_ /
        (fs::path(fileName_).stem().string() + ".format" + std::to_string(kRecoveryVersion) +
         name.extension().string());
}

void RecoveryKeeper::tick(const ProgramState& state, int64_t now)
{
    if (!enabled() || !armed_)
        return;
    collect();
    RecoveryImage image = captureRecovery(state, 0);
    if (image.editedColumns().empty()) {
        if (!written_.empty() || !problem_.empty()) {
            written_.clear();
            problem_.clear();
            writer_.remove(file());
        }
        return;
    }
    std::vector<uint8_t> content = encodeRecovery(image);
    if (content == written_)
        return;
    image.madeAt = now;
    writer_.write(file(), encodeRecovery(image), {.mode = 0600});
    written_ = std::move(content);
}

void RecoveryKeeper::collect()
{
    const auto outcome = writer_.takeOutcome(file());
    if (!outcome)
        return;
    problem_ = *outcome;
    if (!problem_.empty())
        written_.clear(); // written again at this call
}

void RecoveryKeeper::flush()
{
    writer_.flush();
    collect();
}

void RecoveryKeeper::discard()
{
    written_.clear();
    problem_.clear();
    if (!enabled())
        return;
    writer_.remove(file());
    writer_.flush();
}

std::string recoveryTimeText(int64_t madeAt, int64_t now)
{
    if (madeAt <= 0)
        return "at an unknown time";
    if (madeAt > now + kDay)
        return "at an unknown time (the file is dated in the future: the clock may have been wrong)";
    const std::time_t t = static_cast<std::time_t>(madeAt);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return "at an unknown time";
    char text[64];
    std::strftime(text, sizeof text, "on %e %B %Y at %H:%M", &local);
    std::string out = text;
    if (out.starts_with("on  "))
        out.erase(3, 1); // %e pads a one-digit day with a blank
    return out;
}

namespace {

std::string plural(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "CHORUS and FLANGE", "REVERB HALL, CHORUS and FLANGE".
std::string effectNames(const std::vector<std::pair<int, int>>& columns)
{
    std::vector<int> effects;
    for (const auto& [e, c] : columns)
        if (std::find(effects.begin(), effects.end(), e) == effects.end())
            effects.push_back(e);
    std::string out;
    for (std::size_t i = 0; i < effects.size(); ++i) {
        if (i > 0)
            out += i + 1 == effects.size() ? " and " : ", ";
        out += catalogue::effect(effects[i]).listText;
    }
    return out;
}

// "Depth 51 %, Rate 1.20 Hz" as the pages show the values; the effect is named when the
// values are of more than one.
std::string valueList(const ProgramState& state, char decimalPoint, const RecoveryImage& image,
                      const std::vector<std::pair<int, int>>& columns)
{
    const bool named = effectNames(columns).find(" and ") != std::string::npos;
    std::vector<std::string> shown;
    std::set<std::pair<int, std::string>> seen; // a band's three columns are one value
    for (const auto& [e, c] : columns) {
        const EffectView view = describeEffect(state.tables, e, image.store.row(e), decimalPoint);
        std::string text = "column " + std::to_string(c) + " = " + std::to_string(image.store.at(e, c));
        for (const ShownValue& value : view.values)
            if (value.column == c) {
                text = value.label + " " + value.text;
                break;
            }
        if (!seen.insert({e, text}).second)
            continue;
        shown.push_back((named ? std::string(catalogue::effect(e).listText) + " " : std::string()) + text);
    }
    std::string out;
    for (std::size_t i = 0; i < shown.size() && i < kValuesListed; ++i)
        out += (i == 0 ? "" : ", ") + shown[i];
    if (shown.size() > kValuesListed)
        out += " and " + std::to_string(shown.size() - kValuesListed) + " more";
    return out;
}

// The dated name a file that cannot be read is kept under, beside where it was.
std::optional<fs::path> moveAside(const fs::path& file, int64_t now)
{
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm local{};
    char date[32] = "undated";
    if (localtime_r(&t, &local) != nullptr)
        std::strftime(date, sizeof date, "%Y-%m-%d-%H%M%S", &local);
    const fs::path aside =
        file.parent_path() / (file.stem().string() + "-unreadable-" + date + file.extension().string());
    std::error_code error;
    if (fs::exists(aside, error))
        return std::nullopt;
    fs::rename(file, aside, error);
    if (error)
        return std::nullopt;
    return aside;
}

} // namespace

bool offerRecovery(Editor& editor, RecoveryKeeper& keeper, int64_t now)
{
    if (!keeper.enabled())
        return false;
    Host& host = editor.host();
    RecoveryRead found = keeper.leftBehind();
    if (found.kind == RecoveryRead::Kind::Newer) {
        host.message("A newer version of the editor kept unsaved edits in\n" + keeper.file().string() + "\n(" +
                         found.problem +
                         "). This version cannot read them and leaves the file as it is: start the "
                         "newer version to restore them. Meanwhile this editor keeps its own unsaved edits in " +
                         keeper.ownFormatFile().filename().string() + ".",
                     kRestoreTitle, Icon::Exclamation);
        keeper.useOwnFormatFile();
        found = keeper.leftBehind();
    }
    if (found.kind == RecoveryRead::Kind::Unreadable) {
        const std::string what =
            "The unsaved edits an earlier run left cannot be read (" + found.problem + ") and were not restored.";
        if (const auto aside = moveAside(keeper.file(), now)) {
            host.message(what + " The file was moved to\n" + aside->string(), kRestoreTitle, Icon::Exclamation);
        } else {
            host.message(what + " The file was left as it is:\n" + keeper.file().string(), kRestoreTitle,
                         Icon::Exclamation);
            keeper.useOwnFormatFile();
        }
        return false;
    }
    if (found.kind != RecoveryRead::Kind::Sound)
        return false;

    const RecoveryImage& image = *found.image;
    ProgramState& state = editor.state();
    const auto edits = image.editedColumns();
    if (edits.empty()) {
        keeper.discard();
        return false;
    }
    // The edits are weighed against the whole unit: its rows, and its presets for the fingerprint.
    std::vector<UnitItem> needed = rowItems();
    for (int e = 0; e < kEffectCount; ++e)
        for (const UnitItem& item : presetItems(e))
            needed.push_back(item);
    if (!state.DemoMode && !editor.provide(needed))
        return false;
    std::vector<std::pair<int, int>> toSend, held;
    for (const auto& [e, c] : edits) {
        const bool unitHasIt = !state.DemoMode && state.store.at(e, c) == image.store.at(e, c);
        (unitHasIt ? held : toSend).emplace_back(e, c);
    }
    const char point = host.decimalPoint();
    std::string text = "The editor ended without Exit " + recoveryTimeText(image.madeAt, now) +
        " while it held edits that were not saved.";
    const uint32_t unit = unitFingerprint(state);
    if (image.unit != 0 && unit != 0 && image.unit != unit)
        text += "\nThey were made on another unit: the stored presets of this one are not those of the unit the "
                "edits were made for.";
    if (toSend.empty()) {
        const bool one = held.size() == 1;
        text += std::string("\nThe unit still holds ") +
            (one ? "the edited value" : "all " + std::to_string(held.size()) + " edited values") + " of " +
            effectNames(held) + ": " + valueList(state, point, image, held) + ". The editor shows " +
            (one ? "it; save it" : "them; save them") + " to keep " + (one ? "it." : "them.");
        host.message(text, kRestoreTitle, Icon::Information);
        keeper.discard();
        return false;
    }
    text += state.DemoMode ? "\nYes puts " + plural(toSend.size(), "edited value", "edited values") + " of " +
            effectNames(toSend) + " into the editor (no unit is connected): "
                           : "\nYes sends " + plural(toSend.size(), "edited value", "edited values") + " of " +
            effectNames(toSend) + " to the unit: ";
    text += valueList(state, point, image, toSend) + ".";
    if (!held.empty())
        text += " The unit already holds " + plural(held.size(), "more edited value", "more edited values") + ".";
    text += " Everything else stays as the unit has it.\nNo leaves the unit as it is and discards the edits.";
    if (!host.askYesNo(text, kRestoreTitle, Icon::None, Button::Yes)) {
        keeper.discard();
        return false;
    }

    FrmMain& form = editor.form();
    const int shown = image.currentEffect;
    if (state.DemoMode) { // no unit to read these from: the last ones known are better than none
        state.presetDirectory = image.presetDirectory;
        state.presetNames = image.presetNames;
        state.presetSlotNumbers = image.presetSlotNumbers;
    }
    const EditScope scope(editor, StepKind::Rows);
    host.setBusy(Window::Editor, true);
    runStartingOverAfterReconnect(editor.link(), [&] {
        for (const auto& [e, c] : toSend) {
            state.known.set({UnitPart::FullRow, e}, UnitKnowledge::Depth::Unread);
            if (e != shown)
                editor.link().writeByte(Addr::live(e, c), image.store.at(e, c));
        }
        for (const auto& [e, c] : edits)
            state.store.at(e, c) = image.store.at(e, c);
        form.Combo1.index = shown;
        editor.effectListClick();
        // Selection took the unit's values for the effect shown: its edited columns go out
        // as the hand moves them, so that the page's rules follow, and nothing else does.
        std::vector<std::pair<int, uint8_t>> shownEdits;
        for (const auto& [e, c] : edits)
            if (e == shown)
                shownEdits.emplace_back(c, image.store.at(e, c));
        editor.driveColumns(shownEdits, Drive::Hand);
    });
    host.setBusy(Window::Editor, false);
    return true;
}

} // namespace qrv
