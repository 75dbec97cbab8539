#include "Editor.hpp"

#include "link/Resume.hpp"

#include <charconv>
#include <exception>

namespace qrv {

int Editor::presetSlot(int effect) const
{
    const std::string& text = state_.presetSlotNumbers.at(static_cast<std::size_t>(effect));
    int slot = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), slot);
    if (error != std::errc() || end != text.data() + text.size() || slot < 0 || slot >= kSlotCount)
        return 0;
    return slot;
}

void Editor::showPresetCaption(int effect)
{
    const int slot = presetSlot(effect);
    const auto unread = [&](UnitPart part) { return state_.known.depth({part, effect, slot}) == UnitKnowledge::Depth::Unread; };
    if (unread(UnitPart::SlotNumber) || unread(UnitPart::Name)) {
        form_.Label2.caption.clear(); // until the slot and its name are read
        host_.refresh(Window::Editor);
        return;
    }
    form_.Label2.caption = std::to_string(slot + 1) + " - " +
        state_.presetNames.at(static_cast<std::size_t>(effect)).at(static_cast<std::size_t>(slot));
    host_.refresh(Window::Editor);
}

void Editor::effectListClick()
{
    if (state_.selectionLock)
        return;
    leaveCompare();
    history_.close();
    host_.setBusy(Window::Editor, true);
    host_.setBusy(Window::Main, true);
    SelectEffect(form_.Combo1.index);
    runTapTimersOnTapDelay();
    host_.setBusy(Window::Editor, false);
    host_.setBusy(Window::Main, false);
}

void Editor::runTapTimersOnTapDelay()
{
    const bool tapDelay = state_.currentEffect == kTapDelayPage;
    if (tapDelay) {
        form_.Timer2.interval = 1000;
        form_.Timer1.interval = 50;
    }
    form_.Timer2.enabled = tapDelay;
    form_.Timer1.enabled = tapDelay;
}

void Editor::selectedOnUnit(int effect, std::span<const uint8_t> row)
{
    leaveCompare();
    history_.close();
    for (int c = 0; c < kDeviceColumns; ++c)
        state_.store.at(effect, c) = row[static_cast<std::size_t>(c)];
    state_.startConfig.copyRowFrom(state_.store, effect);
    state_.known.set({UnitPart::Row, effect}, UnitKnowledge::Depth::Read);
    form_.Combo1.index = effect;
    // The unit plays the effect already: no selection frame goes out.
    state_.LinkUp = false;
    SelectEffect(effect);
    runTapTimersOnTapDelay();
}

void Editor::SelectEffect(int effect, Presets presets)
{
    try {
        if (effect < 0 || effect >= kEffectCount)
            throw std::out_of_range("effect index");
        state_.currentEffect = static_cast<int16_t>(effect);
        // A lost port takes the device search; when that finds the unit the selection
        // starts over, else the page shows the editor's own values.
        if (!state_.DemoMode) {
            runStartingOverAfterReconnect(link_, [&](const FailureWatch& watch) {
                link_.ArmPort(32);
                if (!watch.failed() &&
                    link_.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, static_cast<uint8_t>(effect))) {
                    for (int c = 0; c < kDeviceColumns; ++c)
                        state_.store.at(effect, c) = state_.replyBuffer[static_cast<std::size_t>(c)];
                    state_.startConfig.copyRowFrom(state_.store, effect);
                    state_.known.set({UnitPart::Row, effect}, UnitKnowledge::Depth::Read);
                }
                if (!watch.failed())
                    link_.ArmPort(10);
            });
        }
        host_.sleep(80);
        state_.LinkUp = true;
        if (presets == Presets::Now && provide(presetItems(effect)))
            runStartingOverAfterReconnect(link_, [&] { ReadStoredPreset(effect, presetSlot(effect)); });
        RefreshPage();

        const int element = catalogue::effect(effect).pageElement;
        form_.Frame5.at(element).visible = true;
        form_.frontPage = element;
        host_.refresh(Window::Editor);
        const bool rotary = effect == kRotaryPage;
        form_.Label3.caption = rotary ? "STOP" : "OFF";
        form_.Label4.caption = rotary ? "GO" : "ON";
        showPresetCaption(effect);
    } catch (const std::exception&) {
        endWithUsbProblem(host_);
    }
}

bool Editor::ReadStoredPreset(int effect, int slot)
{
    // Taken only whole: bytes that were never read must not reach the device copy.
    const auto bytes = readStoredSlot(effect, slot);
    if (!bytes)
        return false;
    for (int c = 0; c < kDeviceColumns; ++c)
        state_.deviceCopy.at(effect, c) = (*bytes)[static_cast<std::size_t>(c)];
    state_.known.setStoredEffect(effect, UnitKnowledge::Depth::Read);
    return true;
}

std::optional<std::array<uint8_t, kDeviceColumns>> Editor::readStoredSlot(int effect, int slot)
{
    std::array<uint8_t, kDeviceColumns> bytes{};
    for (int c = 0; c < kDeviceColumns; ++c) {
        const auto value = link_.tryReadByte(Addr::stored(effect, slot, c));
        if (!value)
            return std::nullopt;
        bytes[static_cast<std::size_t>(c)] = *value;
    }
    return bytes;
}

void Editor::effectSwitchClick()
{
    const EditScope scope(*this, StepKind::Edit);
    SendEffectSwitch();
}

void Editor::SendEffectSwitch()
{
    if (form_.Check1.value == 1) {
        link_.sendEdit(Cmd::SetSwitch, 0, 0, 0, 0, 0, 1);
        state_.effectSwitchState = 1;
    } else {
        link_.sendEdit(Cmd::SetSwitch);
        state_.effectSwitchState = 0;
    }
}

} // namespace qrv
