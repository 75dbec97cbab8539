#include "Pages.hpp"

namespace qrv {

bool sameAsDevice(const ProgramState& state, int effect)
{
    for (int c = 0; c < kDeviceColumns; ++c)
        if (state.store.at(effect, c) != state.deviceCopy.at(effect, c))
            return false;
    return true;
}

void compareTick(Editor& editor)
{
    const ProgramState& s = editor.state();
    FrmMain& form = editor.form();
    form.TimerCompare.interval = 1000;
    if (editor.comparing())
        return; // the page shows another version; the marker keeps telling of the edits
    // Until the stored preset is read there is nothing to tell the edits from.
    const bool storedRead = s.known.depth({UnitPart::StoredPreset, s.currentEffect, kDeviceColumns - 1}) !=
        UnitKnowledge::Depth::Unread;
    form.Label8.visible = !s.DemoMode && storedRead && !sameAsDevice(s, s.currentEffect);
    markDifferences(editor, form.Label8.visible);
}

} // namespace qrv
