#include "Reload.hpp"

#include "link/LiveRows.hpp"

namespace qrv {

namespace {

void reload(Editor& editor, const char* title, bool allEffects)
{
    Host& host = editor.host();
    if (!host.askYesNo(kReloadPrompt, title, Icon::None, Button::Yes))
        return;
    ProgramState& state = editor.state();
    // Start values not read yet are read first: there is nothing else to go back to.
    if (allEffects && !editor.provide(rowItems()))
        return;
    const EditScope scope(editor, StepKind::Rows);
    host.setBusy(Window::Editor, true);
    for (int e = 0; e < kEffectCount; ++e)
        if (allEffects || e == state.currentEffect)
            state.store.copyRowFrom(state.startConfig, e);
    // Only the current effect is on the device; the other rows change in the store. One block
    // read of it tells which of its parameters the unit lacks; only those are sent.
    DeviceLink& link = editor.link();
    bool read = false;
    if (!state.exactOrder && link.sendingAllowed() && link.mirror().byte(Addr::CurrentEffect) == state.currentEffect) {
        link.ArmPort(32);
        read = link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, static_cast<uint8_t>(state.currentEffect));
        link.ArmPort(10);
    }
    const SkipHeldWrites skip(link, read);
    editor.RefreshPageAndSend();
    host.setBusy(Window::Editor, false);
}

} // namespace

void ReloadCurrentEffect(Editor& editor)
{
    reload(editor, kReloadCurrentTitle, false);
}

void ReloadAllEffects(Editor& editor)
{
    reload(editor, kReloadAllTitle, true);
}

} // namespace qrv
