#include "UnitChange.hpp"

#include "devmem/MemoryDump.hpp"
#include "link/UnitCheck.hpp"
#include "storage/PresetFiles.hpp"

namespace qrv {

namespace {

// Reads the unit on the line, then puts back the user's values (those that differ from
// `base`; all without one) and offers to send them. A Cancel leaves the editor as it was.
void readKeepingEdits(Program& program, const ParameterTable* base)
{
    ProgramState& s = program.state;
    Editor& editor = program.editor;
    const ParameterTable edited = s.store;
    if (!ReadUnitAgain(editor, program.splash))
        return;
    bool kept = false;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            if ((!base || edited.at(e, c) != base->at(e, c)) && edited.at(e, c) != s.store.at(e, c)) {
                s.store.at(e, c) = edited.at(e, c);
                kept = true;
            }
    if (!kept)
        return;
    // The user's values stay the editor's; this unit plays its own until they are sent.
    s.unitMayDiffer = true;
    editor.RefreshPage();
    offerToSendEverything(editor);
}

} // namespace

void readChangedUnit(Program& program)
{
    ProgramState& s = program.state;
    if (!s.readAgainPending || !s.unitChanged || !program.link.sendingAllowed())
        return;
    s.readAgainPending = false;
    program.editor.host().message(kOtherUnitText, kDefaultTitle, Icon::Information);
    // Every value the editor holds counts: none of them is known to be this unit's.
    readKeepingEdits(program, nullptr);
}

void readUnitAfterDemo(Program& program)
{
    ProgramState& s = program.state;
    s.readAgainPending = false;
    readKeepingEdits(program, &s.demoStart);
}

} // namespace qrv
