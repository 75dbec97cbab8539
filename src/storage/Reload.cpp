#include "Reload.hpp"

namespace qrv {

namespace {

void reload(Editor& editor, const char* title, bool allEffects)
{
    Host& host = editor.host();
    if (!host.askYesNo(kReloadPrompt, title, Icon::None, Button::Yes))
        return;
    ProgramState& state = editor.state();
    const EditScope scope(editor, StepKind::Rows);
    host.setBusy(Window::Editor, true);
    for (int e = 0; e < kEffectCount; ++e)
        if (allEffects || e == state.currentEffect)
            state.store.copyRowFrom(state.startConfig, e);
    // Only the current effect is on the device; the other rows change in the store.
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
