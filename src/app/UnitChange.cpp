#include "UnitChange.hpp"

#include "devmem/MemoryDump.hpp"
#include "link/UnitCheck.hpp"
#include "storage/PresetFiles.hpp"

namespace qrv {

void readChangedUnit(Program& program)
{
    ProgramState& s = program.state;
    if (!s.readAgainPending || !s.unitChanged || !program.link.sendingAllowed())
        return;
    s.readAgainPending = false;
    Editor& editor = program.editor;
    editor.host().message(kOtherUnitText, kDefaultTitle, Icon::Information);
    const ParameterTable edited = s.store;
    if (!ReadUnitAgain(editor, program.splash))
        return;
    bool differs = false;
    for (int e = 0; e < kEffectCount && !differs; ++e)
        for (int c = 0; c < kDeviceColumns && !differs; ++c)
            differs = edited.at(e, c) != s.store.at(e, c);
    if (!differs)
        return;
    // The user's values stay the editor's; this unit plays its own until they are sent.
    s.store = edited;
    s.unitMayDiffer = true;
    editor.RefreshPage();
    offerToSendEverything(editor);
}

} // namespace qrv
