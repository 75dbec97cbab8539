#include "PresetDialogs.hpp"

#include "link/Resume.hpp"
#include "state/CodePage.hpp"

#include <charconv>

namespace qrv {

namespace {

constexpr const char* kReadLostText = "The preset could not be read: the connection to the device was lost. "
                                      "Nothing was changed.";
constexpr const char* kStoreLostText = "The preset could not be stored: the connection to the device was lost. "
                                       "Store it again once the device is back.";

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
    if (!host.askYesNo("Overwrite current editing with the preset " + std::to_string(s + 1) + ", are you sure ? ",
                       kReadTitle, Icon::None, Button::Yes))
        return;
    host.setBusy(Window::Read, true);
    const bool loaded = LoadPresetFromDevice(s);
    host.setBusy(Window::Read, false);
    if (loaded)
        form.open = false;
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

    // The bytes are collected first, so a lost device leaves the edit as it was.
    std::array<uint8_t, kDeviceColumns> preset{};
    const bool read = runStartingOverAfterReconnect(link, [&](const FailureWatch& watch) {
        form.ProgressBar1 = ProgressBar{true, 0, kReadProgressMax};
        host.refresh(Window::Read);
        for (int c = 0; c < kDeviceColumns && !watch.failed(); ++c) {
            preset[static_cast<std::size_t>(c)] = link.readByte(Addr::stored(e, slot, c));
            advance();
        }
    });
    if (!read) {
        form.ProgressBar1 = ProgressBar{false, 0, kReadProgressMax};
        host.message(kReadLostText, kReadTitle, Icon::Exclamation);
        return false;
    }
    for (int c = 0; c < kDeviceColumns; ++c) {
        state.store.at(e, c) = preset[static_cast<std::size_t>(c)];
        state.deviceCopy.at(e, c) = preset[static_cast<std::size_t>(c)];
    }
    state.presetSlotNumbers.at(static_cast<std::size_t>(e)) = std::to_string(slot);

    runStartingOverAfterReconnect(link, [&] {
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
    });
    editor_.showPresetCaption(e);
    form.ProgressBar1 = ProgressBar{false, 0, kReadProgressMax};
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
    fillNames(form.List1, editor_.state(), e);
    form.List1.index = editor_.presetSlot(e);
    form.Text1.text = form.List1.items.at(static_cast<std::size_t>(form.List1.index));
    form.Combo1.index = form.List1.index;
    form.open = true;
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
    if (index != 1 || !editor_.host().askYesNo(kStorePrompt, kStoreTitle, Icon::None, Button::Yes))
        return;
    if (!Memorize_eep())
        return;
    editor_.showPresetCaption(editor_.state().currentEffect);
    form.open = false;
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

    std::string centred = form.Text1.text;
    const auto nameBytes = CentreName(centred);
    nameOf(state, e, s) = form.Text1.text;
    const bool stored = runStartingOverAfterReconnect(link, [&](const FailureWatch& watch) {
        form.ProgressBar1 = ProgressBar{true, 0, kStoreProgressMax};
        host.refresh(Window::Store);
        for (int k = 0; k < kNameLength && !watch.failed(); ++k) {
            link.writeByte(Addr::name(e, s, k), nameBytes[static_cast<std::size_t>(k)]);
            advance();
        }
        for (int c = 0; c < kDeviceColumns && !watch.failed(); ++c) {
            const uint8_t value = state.store.at(e, c);
            link.writeByte(Addr::stored(e, s, c), value);
            state.deviceCopy.at(e, c) = value;
            state.startConfig.at(e, c) = value;
            advance();
        }
        if (watch.failed())
            return;
        directoryOf(state, e, s) = std::to_string(Addr::SlotUsed);
        link.writeByte(Addr::directory(e, s), Addr::SlotUsed);
        advance();
        state.presetSlotNumbers.at(static_cast<std::size_t>(e)) = std::to_string(s);
        link.writeByte(Addr::slotNumber(e), static_cast<uint8_t>(s));
        advance();
    });
    form.ProgressBar1 = ProgressBar{false, 0, kStoreProgressMax};
    if (!stored) {
        nameOf(state, e, s) = before.name;
        directoryOf(state, e, s) = before.directory;
        state.presetSlotNumbers.at(static_cast<std::size_t>(e)) = before.slotNumber;
        state.deviceCopy.setRow(e, before.deviceCopy);
        state.startConfig.setRow(e, before.startConfig);
        host.message(kStoreLostText, kStoreTitle, Icon::Exclamation);
    }
    return stored;
}

} // namespace qrv
