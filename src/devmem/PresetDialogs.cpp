#include "PresetDialogs.hpp"

#include "devmem/MemoryDump.hpp" // kEmptySlotName
#include "devmem/UnitSlots.hpp"
#include "link/LongOperation.hpp"
#include "link/Resume.hpp"
#include "link/UnitCheck.hpp"
#include "state/CodePage.hpp"

#include <charconv>

namespace qrv {

namespace {

constexpr const char* kReadLostText = "The preset could not be read: the connection to the device was lost. "
                                      "Nothing was changed.";
constexpr const char* kReadNotConnectedText = "The device is not connected: no preset can be read from it. "
                                              "Nothing was changed. Use ReConnect once it is plugged in.";
constexpr const char* kStoreNotConnectedText = "The device is not connected: no preset can be stored in it. "
                                               "Nothing was changed. Use ReConnect once it is plugged in.";
constexpr const char* kReadSentLostText = "The preset was read, but the connection to the device was lost while "
                                          "it was sent back: the device may play other values than the editor "
                                          "shows. Use ReConnect once the device is back.";
// The directory byte a store writes first: anything but "stored".

std::string storeLostText(int slot, bool oldPresetGone)
{
    const std::string number = std::to_string(slot + 1);
    if (oldPresetGone)
        return "The preset could not be stored: the connection to the device was lost. Preset " + number +
            " on the device may no longer hold its old preset, so it now counts as empty. "
            "Store it again once the device is back.";
    return "The preset could not be stored: the connection to the device was lost. Preset " + number +
        " on the device stays empty. Store it again once the device is back.";
}

std::string& nameOf(ProgramState& state, int effect, int slot)
{
    return state.presetNames.at(static_cast<std::size_t>(effect)).at(static_cast<std::size_t>(slot));
}

std::string& directoryOf(ProgramState& state, int effect, int slot)
{
    return state.presetDirectory.at(static_cast<std::size_t>(effect)).at(static_cast<std::size_t>(slot));
}

void fillNames(ListBox& list, ProgramState& state, int effect)
{
    list.items.clear();
    for (int s = 0; s < kSlotCount; ++s)
        list.items.push_back(nameOf(state, effect, s));
}

std::string trimmedName(const std::string& name)
{
    const auto first = name.find_first_not_of(' ');
    if (first == std::string::npos)
        return "a preset";
    return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

bool validSlot(int slot)
{
    return slot >= 0 && slot < kSlotCount;
}

} // namespace

bool slotHoldsPreset(const ProgramState& state, int effect, int slot)
{
    const std::string& text =
        state.presetDirectory.at(static_cast<std::size_t>(effect)).at(static_cast<std::size_t>(slot));
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value == Addr::SlotUsed;
}

// ---- FrmRead ----

void ReadDialog::load()
{
    form.ProgressBar1.visible = false;
    form.ProgressBar1.value = 0;
    const int e = editor_.state().currentEffect;
    if (!editor_.provide(presetItems(e)))
        return;
    fillNames(form.List1, editor_.state(), e);
    form.List1.index = editor_.presetSlot(e);
    form.open = true;
}

void ReadDialog::commandClick(int index)
{
    if (index == 0)
        form.open = false;
    else if (index == 1)
        loadRequest();
}

void ReadDialog::loadRequest()
{
    const int s = form.List1.index;
    if (!validSlot(s))
        return;
    Host& host = editor_.host();
    if (!slotHoldsPreset(editor_.state(), editor_.state().currentEffect, s)) {
        host.message(kPresetEmptyText, kReadTitle, Icon::Critical);
        return;
    }
    if (!editor_.link().sendingAllowed()) {
        host.message(kReadNotConnectedText, kReadTitle, Icon::Exclamation);
        return;
    }
    const std::string detail = "Slot " + std::to_string(s + 1) + " – " +
        trimmedName(nameOf(editor_.state(), editor_.state().currentEffect, s)) + " replaces the edit.";
    if (!host.askYesNo("Overwrite current editing with the preset " + std::to_string(s + 1) + ", are you sure ? ",
                       detail, kReadTitle, Icon::None, Button::Yes))
        return;
    host.setBusy(Window::Read, true);
    const bool loaded = LoadPresetFromDevice(s);
    host.setBusy(Window::Read, false);
    if (loaded) {
        editor_.state().lastOutcome = "Loaded " + trimmedName(form.List1.items.at(static_cast<std::size_t>(s))) +
            " from slot " + std::to_string(s + 1);
        form.open = false;
    }
}

void ReadDialog::advance()
{
    ++form.ProgressBar1.value;
    editor_.host().refresh(Window::Read);
}

bool ReadDialog::LoadPresetFromDevice(int slot)
{
    ProgramState& state = editor_.state();
    DeviceLink& link = editor_.link();
    Host& host = editor_.host();
    const int e = state.currentEffect;
    if (!link.sendingAllowed()) {
        host.message(kReadNotConnectedText, kReadTitle, Icon::Exclamation);
        return false;
    }
    // The slot names shown are another unit's until that unit has been read.
    if (state.unitChanged) {
        host.message(kOtherUnitUnreadText, kReadTitle, Icon::Exclamation);
        return false;
    }
    const EditScope scope(editor_, StepKind::Rows);

    const LongOperation operation(link, host, kReadTitle, kReadProgressMax);
    // The bytes are collected first, so a lost device leaves the edit as it was.
    std::array<uint8_t, kDeviceColumns> preset{};
    bool incomplete = false;
    const bool read = runStartingOverAfterReconnect(
        link,
        [&](const FailureWatch& watch) {
            form.ProgressBar1 = ProgressBar{true, 0, kReadProgressMax};
            host.refresh(Window::Read);
            incomplete = false;
            for (int c = 0; c < kDeviceColumns && !watch.failed(); ++c) {
                const auto value = link.tryReadByte(Addr::stored(e, slot, c));
                if (!value) {
                    incomplete = !watch.failed();
                    return;
                }
                preset[static_cast<std::size_t>(c)] = *value;
                advance();
            }
        },
        OtherUnit::Stop);
    if (!read || incomplete) {
        form.ProgressBar1 = ProgressBar{false, 0, kReadProgressMax};
        host.message(kReadLostText, kReadTitle, Icon::Exclamation);
        return false;
    }
    for (int c = 0; c < kDeviceColumns; ++c) {
        state.store.at(e, c) = preset[static_cast<std::size_t>(c)];
        state.deviceCopy.at(e, c) = preset[static_cast<std::size_t>(c)];
    }
    state.presetSlotNumbers.at(static_cast<std::size_t>(e)) = std::to_string(slot);

    const bool sent = runStartingOverAfterReconnect(
        link,
        [&] {
            link.writeByte(Addr::slotNumber(e), static_cast<uint8_t>(slot));
            advance();
            host.setBusy(Window::Editor, true);
            host.setBusy(Window::Read, true);
            // The list already shows e; setting it runs no selection, which would put the
            // device's live values in place of the preset before they are sent.
            editor_.form().Combo1.index = e;
            editor_.RefreshPageAndSend();
            host.setBusy(Window::Editor, false);
            host.setBusy(Window::Read, false);
        },
        OtherUnit::Stop);
    editor_.showPresetCaption(e);
    form.ProgressBar1 = ProgressBar{false, 0, kReadProgressMax};
    if (!sent)
        host.message(kReadSentLostText, kReadTitle, Icon::Exclamation);
    return true;
}

// ---- FrmStore ----

std::array<uint8_t, kNameLength> CentreName(std::string& name)
{
    // Latin-1 holds one byte per character, so its length counts the characters.
    const std::size_t n = utf8ToLatin1(name).size();
    if (n < kNameLength) {
        const std::size_t blanks = kNameLength - n;
        name = std::string((blanks + 1) / 2, ' ') + name + std::string(blanks / 2, ' ');
    }
    const std::string bytes = utf8ToLatin1(name);
    std::array<uint8_t, kNameLength> out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<uint8_t>(bytes[i]);
    return out;
}

void StoreDialog::load()
{
    const int e = editor_.state().currentEffect;
    if (!editor_.provide(presetItems(e)))
        return;
    fillNames(form.List1, editor_.state(), e);
    form.List1.index = editor_.presetSlot(e);
    form.Text1.text = form.List1.items.at(static_cast<std::size_t>(form.List1.index));
    form.Combo1.index = form.List1.index;
    form.open = true;
}

void StoreDialog::listClick()
{
    if (validSlot(form.List1.index))
        form.Combo1.index = form.List1.index;
}

void StoreDialog::listDoubleClick()
{
    const int index = form.List1.index;
    if (index < 0 || index >= static_cast<int>(form.List1.items.size()))
        return;
    form.Text1.text = form.List1.items[static_cast<std::size_t>(index)];
    form.Combo1.index = index;
}

void StoreDialog::commandClick(int index)
{
    if (index == 0) {
        form.open = false;
        return;
    }
    if (index != 1)
        return;
    if (!editor_.link().sendingAllowed()) {
        editor_.host().message(kStoreNotConnectedText, kStoreTitle, Icon::Exclamation);
        return;
    }
    if (!editor_.host().askYesNo(kStorePrompt, storeDetail(), kStoreTitle, Icon::None, Button::Yes))
        return;
    if (!Memorize_eep())
        return;
    editor_.state().lastOutcome =
        "Stored " + trimmedName(form.Text1.text) + " in slot " + std::to_string(form.Combo1.index + 1);
    editor_.showPresetCaption(editor_.state().currentEffect);
    form.open = false;
}

std::string StoreDialog::storeDetail()
{
    const int e = editor_.state().currentEffect;
    const int s = form.Combo1.index;
    if (!validSlot(s))
        return {};
    const std::string slot = "Slot " + std::to_string(s + 1);
    const std::string name = trimmedName(form.Text1.text);
    if (!slotHoldsPreset(editor_.state(), e, s))
        return slot + " is empty: " + name + " is stored there.";
    return slot + " – " + trimmedName(nameOf(editor_.state(), e, s)) + " is replaced by " + name + ".";
}

void StoreDialog::advance()
{
    ++form.ProgressBar1.value;
    editor_.host().refresh(Window::Store);
}

bool StoreDialog::Memorize_eep()
{
    ProgramState& state = editor_.state();
    DeviceLink& link = editor_.link();
    Host& host = editor_.host();
    const int e = state.currentEffect;
    const int s = form.Combo1.index;
    if (!validSlot(s))
        return false;
    if (!link.sendingAllowed()) {
        host.message(kStoreNotConnectedText, kStoreTitle, Icon::Exclamation);
        return false;
    }
    if (state.unitChanged) {
        host.message(kOtherUnitUnreadText, kStoreTitle, Icon::Exclamation);
        return false;
    }
    UnitSlots slots(editor_);
    if (!state.exactOrder) {
        SlotBytes values{};
        std::copy_n(state.store.row(e).begin(), kDeviceColumns, values.begin());
        const SlotOutcome outcome = slots.store({e, s}, form.Text1.text, values);
        if (!outcome.done()) {
            host.message(outcome.message, kStoreTitle, Icon::Exclamation);
            return false;
        }
        std::copy_n(values.begin(), kDeviceColumns, state.startConfig.row(e).begin());
        return true;
    }
    // What the editor holds of the slot makes the store undoable without a frame more.
    const auto heldBefore = slots.held({e, s});
    const bool numberHeld = state.known.depth({UnitPart::SlotNumber, e}) == UnitKnowledge::Depth::Confirmed;
    const int numberBefore = editor_.presetSlot(e);
    // A slot the unit may mark stored is marked otherwise first, so that a store cut off
    // half-way never leaves a stored-looking slot with old and new bytes mixed.
    const bool unmarkFirst = slotHoldsPreset(state, e, s) || state.presetDirectoryUnknown;

    struct Records {
        std::string name, directory, slotNumber;
        Row deviceCopy, startConfig;
    };
    const auto records = [&] {
        Records r{nameOf(state, e, s),
                  directoryOf(state, e, s),
                  state.presetSlotNumbers.at(static_cast<std::size_t>(e)),
                  {},
                  {}};
        std::copy(state.deviceCopy.row(e).begin(), state.deviceCopy.row(e).end(), r.deviceCopy.begin());
        std::copy(state.startConfig.row(e).begin(), state.startConfig.row(e).end(), r.startConfig.begin());
        return r;
    };
    const Records before = records();
    // What was read of the slot no longer holds, whatever becomes of the store.
    state.known.setSlot(e, s, UnitKnowledge::Depth::Unread);

    std::string centred = form.Text1.text;
    const auto nameBytes = CentreName(centred);
    nameOf(state, e, s) = form.Text1.text;
    // A write that took no reply for another reason than a lost port also leaves the
    // slot unproven: the store counts as failed.
    bool unanswered = false;
    bool marked = false; // the unit took the "stored" mark: the slot is whole there
    const auto write = [&](const FailureWatch& watch, uint16_t address, uint8_t value) {
        if (!link.writeByte(address, value) && !watch.failed())
            unanswered = true;
        advance();
        return !watch.failed() && !unanswered;
    };
    const LongOperation operation(link, host, kStoreTitle, kStoreProgressMax);
    runStartingOverAfterReconnect(
        link,
        [&](const FailureWatch& watch) {
            form.ProgressBar1 = ProgressBar{true, 0, kStoreProgressMax};
            host.refresh(Window::Store);
            marked = false;
            if (unmarkFirst && !write(watch, Addr::directory(e, s), Addr::SlotBeingWritten))
                return;
            for (int k = 0; k < kNameLength; ++k)
                if (!write(watch, Addr::name(e, s, k), nameBytes[static_cast<std::size_t>(k)]))
                    return;
            for (int c = 0; c < kDeviceColumns; ++c) {
                const uint8_t value = state.store.at(e, c);
                if (!write(watch, Addr::stored(e, s, c), value))
                    return;
                state.deviceCopy.at(e, c) = value;
                state.startConfig.at(e, c) = value;
            }
            if (!write(watch, Addr::directory(e, s), Addr::SlotUsed))
                return;
            marked = true;
            directoryOf(state, e, s) = std::to_string(Addr::SlotUsed);
            state.presetSlotNumbers.at(static_cast<std::size_t>(e)) = std::to_string(s);
            write(watch, Addr::slotNumber(e), static_cast<uint8_t>(s));
        },
        OtherUnit::Stop);
    const bool stored = marked;
    if (stored && heldBefore && numberHeld)
        slots.recordStore({e, s}, form.Text1.text, *heldBefore, numberBefore);
    form.ProgressBar1 = ProgressBar{false, 0, kStoreProgressMax};
    if (!stored) {
        nameOf(state, e, s) = unmarkFirst ? kEmptySlotName : before.name;
        directoryOf(state, e, s) = unmarkFirst ? std::to_string(Addr::SlotBeingWritten) : before.directory;
        state.presetSlotNumbers.at(static_cast<std::size_t>(e)) = before.slotNumber;
        state.deviceCopy.setRow(e, before.deviceCopy);
        state.startConfig.setRow(e, before.startConfig);
        host.message(storeLostText(s, unmarkFirst), kStoreTitle, Icon::Exclamation);
    }
    return stored;
}

} // namespace qrv
