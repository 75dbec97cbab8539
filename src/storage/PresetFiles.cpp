#include "PresetFiles.hpp"

#include "link/LongOperation.hpp"

#include "FileAccess.hpp"
#include "FileCodec.hpp"
#include "link/LiveRows.hpp"
#include "link/UnitIdentity.hpp"
#include "link/Resume.hpp"
#include "state/CodePage.hpp"

#include <numeric>

namespace qrv {

namespace fs = std::filesystem;

std::string sentence(std::string text)
{
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

namespace {

void reportFileProblem(Host& host, const fs::path& path, const char* doing, const std::string& reason)
{
    host.message("The file " + path.string() + " cannot be " + doing + ". " + sentence(reason), kFileErrorTitle,
                 Icon::Exclamation);
}

std::optional<fs::path> chosen(std::optional<fs::path> path)
{
    if (!path || path->empty())
        return std::nullopt;
    return path;
}

// Reads a file's first `size` bytes (other tools append to them); every refusal is told
// to the user here. `trailing` is what was left unread.
template <class Decoded, class Decode>
std::optional<Decoded> readAndDecode(Host& host, const fs::path& path, std::size_t size, Decode decode,
                                     std::uintmax_t& trailing)
{
    FileRead file = readLoadable(path, size);
    trailing = file.trailing;
    if (file.outcome == FileRead::Outcome::NotFound) {
        host.message(kNotFoundText, kFileErrorTitle, Icon::Exclamation);
        return std::nullopt;
    }
    if (file.outcome != FileRead::Outcome::Read) {
        reportFileProblem(host, path, "loaded", file.problem);
        return std::nullopt;
    }
    std::string problem;
    std::optional<Decoded> decoded = decode(std::span<const uint8_t>(file.bytes), problem);
    if (!decoded)
        reportFileProblem(host, path, "loaded", problem);
    return decoded;
}

// "Loaded Preset/x.prj", and what of the file was left out.
std::string loadedText(const ProgramState& state, const fs::path& path, std::size_t size, std::uintmax_t trailing)
{
    std::string text = "Loaded " + shownPath(state, path);
    if (trailing > 0)
        text += " (its first " + std::to_string(size) + " bytes; the " + std::to_string(trailing) +
            (trailing == 1 ? " byte" : " bytes") + " after them were ignored)";
    return text;
}

void chooseAndWrite(Editor& editor, const char* filter, const auto& bytesOf)
{
    Host& host = editor.host();
    const auto path = chosen(host.saveFile(filter, presetFolder(editor.state())));
    if (!path)
        return;
    const std::vector<uint8_t> bytes = bytesOf();
    if (const auto problem = writeFileAtomically(*path, bytes))
        reportFileProblem(host, *path, "saved", *problem);
    else
        editor.state().lastOutcome = "Saved " + shownPath(editor.state(), *path);
}

// The record in FileRecord becomes its effect's row, the current effect and what the
// device plays. A record for no effect changes nothing.
void applyPresetRecord(Editor& editor)
{
    ProgramState& state = editor.state();
    const int e = state.FileRecord[kRowSize - 1];
    if (e >= kEffectCount)
        return;
    state.currentEffect = static_cast<int16_t>(e);
    state.store.setRow(e, state.FileRecord);
    editor.host().setBusy(Window::Editor, true);
    editor.form().Combo1.index = e;
    editor.effectListClick();
    // Selection read the device's values into the row: the file's take their place.
    state.store.setRow(e, state.FileRecord);
    state.startConfig.copyRowFrom(state.store, e);
    editor.RefreshPageAndSend();
    editor.host().setBusy(Window::Editor, false);
}

// Writes every row of the store into the device's live memory with the busy caption
// shown; false when a port failure cut it off.
bool writeAllRows(Editor& editor, const FailureWatch& watch)
{
    ProgramState& state = editor.state();
    FrmMain& form = editor.form();
    Host& host = editor.host();
    DeviceLink& link = editor.link();

    form.caption = kLoadingProjectCaption;
    host.setBusy(Window::Main, true);
    form.ProgressBar1 = ProgressBar{true, 0, kProjectWrites};
    host.refresh(Window::Editor);
    for (int e = 0; e < kEffectCount; ++e) {
        state.known.set({UnitPart::FullRow, e}, UnitKnowledge::Depth::Unread);
        for (int c = 0; c < kDeviceColumns; ++c) {
            // Cancel stops between writes: the unit holds whole rows up to here and one part row.
            if (host.cancelRequested())
                return false;
            link.writeByte(Addr::live(e, c), state.store.at(e, c));
            if (watch.failed())
                return false;
            ++form.ProgressBar1.value;
            host.refresh(Window::Editor);
        }
    }
    return true;
}

// Whether the unit's telling bytes are what the exchanges so far read and wrote there.
bool unitShowsWhatWasSeen(DeviceLink& link)
{
    const UnitMirror seen = link.mirror();
    const auto now = readFingerprint(link, FingerprintDepth::Full);
    return now.outcome != Confirm::Agreed || mirrorShows(seen, now.value);
}

// Reads what the unit plays of every effect so that only the bytes it lacks are written;
// the skip then holds for the rest of the transfer. Nothing read when the unit's block reads
// are not to be trusted: then every byte goes out.
bool readUnitRows(Editor& editor, const FailureWatch& watch, LongOperation& operation,
                  std::optional<SkipHeldWrites>& skip)
{
    const ProgramState& state = editor.state();
    DeviceLink& link = editor.link();
    if (!blockReadsUsable(state) || !link.sendingAllowed())
        return true;
    std::vector<int> effects(kEffectCount);
    std::iota(effects.begin(), effects.end(), 0);
    LiveRowTable rows{};
    link.ArmPort(32);
    const LiveRead read = readLiveRows(
        editor.link(), editor.state(), editor.host(), effects, [](int) { return kDeviceColumns; }, rows,
        [&] { return watch.failed() || editor.host().cancelRequested(); }, false);
    link.ArmPort(10);
    if (read == LiveRead::Stopped)
        return false;
    if (read == LiveRead::Refused)
        return true;
    int differing = 0;
    for (int e : effects)
        for (int c = 0; c < kDeviceColumns; ++c)
            differing += rows[static_cast<std::size_t>(e)][static_cast<std::size_t>(c)] != state.store.at(e, c);
    operation.expectMore(differing + kProjectSelectionExchanges);
    skip.emplace(link);
    return true;
}

// Writes every row into the device's live memory, then shows effect 0 as the device
// now has it. Stops at the first port failure so that the caller can start over.
void transferProject(Editor& editor, const FailureWatch& watch, LongOperation& operation)
{
    ProgramState& state = editor.state();
    FrmMain& form = editor.form();
    Host& host = editor.host();

    state.currentEffect = 0;
    // The caption and bar come up before the unit is read: a Cancel there stops a transfer too.
    form.caption = kLoadingProjectCaption;
    form.ProgressBar1 = ProgressBar{true, 0, kProjectWrites};
    // What the editor saw of a unit restarted or changed since is no ground to skip anything.
    const bool lookAtUnit = !state.exactOrder && editor.link().sendingAllowed();
    if (lookAtUnit && !unitShowsWhatWasSeen(editor.link()))
        editor.link().forgetUnit();
    std::optional<SkipHeldWrites> skip;
    if (!readUnitRows(editor, watch, operation, skip) || !writeAllRows(editor, watch))
        return;
    form.caption = kEditorCaption;
    form.ProgressBar1 = ProgressBar{false, 0, kProjectWrites};
    host.setBusy(Window::Editor, true);
    host.refresh(Window::Editor);

    form.Combo1.index = 0;
    {
        // Effect 0's stored preset is read again only when the editor has not seen it yet.
        const AnswerHeldReads held(editor.link(), skip.has_value());
        editor.effectListClick();
    }
    state.store.copyRowFrom(state.startConfig, 0);
    editor.RefreshPageAndSend();
    if (lookAtUnit && !watch.failed() && !unitShowsWhatWasSeen(editor.link()))
        host.message(std::string("The project was written, but ") + kAnotherUnitText +
                         ". Load the project again to be sure the unit holds it.",
                     kDefaultTitle, Icon::Exclamation);
}

} // namespace

std::string shownPath(const ProgramState& state, const fs::path& path)
{
    const fs::path inside = path.lexically_relative(state.programFolder);
    if (inside.empty() || *inside.begin() == "..")
        return path.generic_string();
    return inside.generic_string();
}

fs::path presetFolderPath(const ProgramState& state)
{
    return state.programFolder / "Preset";
}

fs::path presetFolder(const ProgramState& state)
{
    fs::path folder = presetFolderPath(state);
    std::error_code error;
    fs::create_directories(folder, error); // a folder that cannot be made shows in the dialog
    return folder;
}

void SavePresetFile(Editor& editor)
{
    ProgramState& state = editor.state();
    chooseAndWrite(editor, kPresetFilter, [&] {
        const int e = state.currentEffect;
        state.store.at(e, kRowSize - 1) = static_cast<uint8_t>(e);
        state.FileRecord = encodePreset(state.store.row(e), e);
        return std::vector<uint8_t>(state.FileRecord.begin(), state.FileRecord.end());
    });
}

void LoadPresetFile(Editor& editor)
{
    if (const auto path = chosen(editor.host().openFile(kPresetFilter, presetFolder(editor.state()))))
        LoadPresetFile(editor, *path);
}

void LoadPresetFile(Editor& editor, const fs::path& path)
{
    const EditScope scope(editor, StepKind::Rows);
    std::uintmax_t trailing = 0;
    const auto record = readAndDecode<Row>(
        editor.host(), path, kPresetFileSize,
        [](std::span<const uint8_t> bytes, std::string& problem) { return decodePreset(bytes, problem); }, trailing);
    if (!record)
        return;
    editor.state().FileRecord = *record;
    if (!runStartingOverAfterReconnect(editor.link(), [&] { applyPresetRecord(editor); })) {
        editor.host().setBusy(Window::Editor, false);
        editor.host().message(kTransferCutText, kFileErrorTitle, Icon::Exclamation);
    } else if ((*record)[kRowSize - 1] < kEffectCount) {
        editor.state().lastOutcome = loadedText(editor.state(), path, kPresetFileSize, trailing);
    }
}

std::optional<Row> readPresetRecord(Host& host, const fs::path& path)
{
    std::uintmax_t trailing = 0;
    return readAndDecode<Row>(
        host, path, kPresetFileSize,
        [](std::span<const uint8_t> bytes, std::string& problem) { return decodePreset(bytes, problem); }, trailing);
}

void CompareWithPresetFile(Editor& editor)
{
    editor.leaveCompare();
    if (const auto path = chosen(editor.host().openFile(kPresetFilter, presetFolder(editor.state()))))
        CompareWithPresetFile(editor, *path);
}

bool CompareWithPresetFile(Editor& editor, const fs::path& path)
{
    editor.leaveCompare();
    const auto record = readPresetRecord(editor.host(), path);
    if (!record)
        return false;
    const int effect = (*record)[kRowSize - 1];
    if (effect != editor.state().currentEffect) {
        const std::string name = effect < kEffectCount ? trimmed(catalogue::effect(effect).listText) : "another effect";
        editor.host().message("This preset is for " + name + ": select that effect to compare with it.",
                              kCompareTitle, Icon::Exclamation);
        return false;
    }
    if (!editor.compareWith(*record, path.filename().string())) {
        editor.host().message("This preset holds the same values as your edits.", kCompareTitle, Icon::Information);
        return false;
    }
    return true;
}

void SaveProjectFile(Editor& editor)
{
    ProgramState& state = editor.state();
    // A project holds every row: those the editor has not read yet are read first.
    if (!editor.provide(rowItems()))
        return;
    chooseAndWrite(editor, kProjectSaveFilter, [&] {
        for (int e = 0; e < kEffectCount; ++e)
            state.store.at(e, kRowSize - 1) = static_cast<uint8_t>(e);
        return encodeProject(state.store);
    });
}

void LoadProjectFile(Editor& editor)
{
    if (const auto path = chosen(editor.host().openFile(kProjectLoadFilter, presetFolder(editor.state()))))
        LoadProjectFile(editor, *path);
}

void LoadProjectFile(Editor& editor, const fs::path& path)
{
    const EditScope scope(editor, StepKind::Rows);
    std::uintmax_t trailing = 0;
    const auto table = readAndDecode<ParameterTable>(
        editor.host(), path, kProjectFileSize,
        [](std::span<const uint8_t> bytes, std::string& problem) { return decodeProject(bytes, problem); }, trailing);
    if (!table)
        return;
    ProgramState& state = editor.state();
    FrmMain& form = editor.form();
    Host& host = editor.host();
    for (int e = 0; e < kEffectCount; ++e) {
        state.store.copyRowFrom(*table, e);
        state.startConfig.copyRowFrom(state.store, e);
        // The rows are the file's now: nothing read of the unit later may take their place.
        state.known.set({UnitPart::Row, e}, UnitKnowledge::Depth::Confirmed);
    }
    const int previousEffect = state.currentEffect;
    bool sent = false;
    bool stopped = false;
    {
        LongOperation operation(editor.link(), host, kProjectProgressTitle, kProjectWrites + kProjectSelectionExchanges,
                                true);
        sent = runStartingOverAfterReconnect(
            editor.link(), [&](const FailureWatch& watch) { transferProject(editor, watch, operation); });
        // A finished transfer hides its bar; a stopped one leaves it where the writes stopped.
        stopped = operation.cancelled() && form.ProgressBar1.visible;
    }
    if (sent && !stopped)
        state.lastOutcome = loadedText(state, path, kProjectFileSize, trailing);
    if (stopped) {
        const int reached = form.ProgressBar1.value / kDeviceColumns;
        // The unit still plays the effect it played; the editor shows it with the file's values.
        state.currentEffect = static_cast<int16_t>(previousEffect);
        editor.RefreshPage();
        state.unitMayDiffer = true;
        host.message(projectStoppedText(reached), kProjectProgressTitle, Icon::Information);
    }
    form.ProgressBar1 = ProgressBar{false, 0, kProjectWrites};
    form.caption = kEditorCaption;
    host.setBusy(Window::Editor, false);
    host.setBusy(Window::Main, false);
    host.refresh(Window::Editor);
    if (!sent)
        host.message(kTransferCutText, kFileErrorTitle, Icon::Exclamation);
    else if (!state.DemoMode && !stopped)
        state.unitMayDiffer = false;
}

std::string projectStoppedText(int effectsReached)
{
    return "Loading stopped: " + std::to_string(effectsReached) + " of " + std::to_string(kEffectCount) +
        " effects reached the device. The editor holds the whole project; the device may play other values "
        "until they are sent again (ReConnect offers it).";
}

bool SendEverything(Editor& editor)
{
    ProgramState& state = editor.state();
    DeviceLink& link = editor.link();
    Host& host = editor.host();
    FrmMain& form = editor.form();
    const bool sent = runStartingOverAfterReconnect(link, [&](const FailureWatch& watch) {
        if (!writeAllRows(editor, watch))
            return;
        // The unit plays the editor's effect with the editor's switch and values.
        const int e = state.currentEffect;
        link.ArmPort(32);
        if (!watch.failed())
            link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, static_cast<uint8_t>(e));
        if (!watch.failed())
            link.ArmPort(10);
        if (!watch.failed())
            editor.SendEffectSwitch();
        if (!watch.failed())
            editor.RefreshPageAndSend();
    });
    form.ProgressBar1 = ProgressBar{false, 0, kProjectWrites};
    form.caption = kEditorCaption;
    host.setBusy(Window::Main, false);
    host.refresh(Window::Editor);
    if (sent && !state.DemoMode)
        state.unitMayDiffer = false;
    return sent && !state.DemoMode;
}

void offerToSendEverything(Editor& editor)
{
    if (editor.host().askYesNo(kUnitMayDifferText, kUnitMayDifferTitle, Icon::None, Button::Yes) &&
        !SendEverything(editor))
        editor.host().message(kTransferCutText, kFileErrorTitle, Icon::Exclamation);
}

} // namespace qrv
