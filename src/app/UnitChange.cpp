#include "UnitChange.hpp"

#include "PortWatch.hpp"

#include "devmem/MemoryDump.hpp"
#include "link/UnitCheck.hpp"
#include "storage/PresetFiles.hpp"

namespace qrv {

namespace {

// Offers the columns where the editor's values differ from the unit just read; Yes sends them.
void offerEdits(Program& program)
{
    ProgramState& s = program.state;
    Host& host = program.editor.host();
    if (!host.askYesNo(editsOfferText(unsentEdits(program).size()), kUnitMayDifferTitle, Icon::None, Button::No))
        return;
    sendUnsentEdits(program);
    if (unsentEdits(program).empty())
        s.unitMayDiffer = false;
    else
        host.message(kTransferCutText, kFileErrorTitle, Icon::Exclamation);
}

// Reads the unit on the line, then puts back the user's edits (the values that differ from
// `base`) and offers to send them. A Cancel leaves the editor as it was.
void readKeepingEdits(Program& program, const ParameterTable base)
{
    ProgramState& s = program.state;
    Editor& editor = program.editor;
    const ParameterTable edited = s.store;
    // The edits are weighed against every row; presets and names follow in the background.
    const UnitRead extent = s.exactOrder ? UnitRead::Whole : UnitRead::First;
    if (!ReadUnitAgain(editor, program.splash, extent) || !editor.provide(rowItems()))
        return;
    bool kept = false;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            if (edited.at(e, c) != base.at(e, c) && edited.at(e, c) != s.store.at(e, c)) {
                s.store.at(e, c) = edited.at(e, c);
                kept = true;
            }
    if (!kept)
        return;
    // The user's values stay the editor's; this unit plays its own until they are sent.
    s.unitMayDiffer = true;
    editor.RefreshPage();
    offerEdits(program);
}

} // namespace

std::string editsOfferText(std::size_t edits)
{
    const std::string values = edits == 1 ? "the 1 value" : "the " + std::to_string(edits) + " values";
    return "The device may hold other values than the editor shows. Send " + values + " you edited to the device now?";
}

void readChangedUnit(Program& program)
{
    ProgramState& s = program.state;
    if (!s.readAgainPending || !s.unitChanged || !program.link.sendingAllowed())
        return;
    s.readAgainPending = false;
    program.editor.host().message(unitDifferenceText(s.unitDifference), kDefaultTitle, Icon::Information);
    // What the user changed since the unit was last read (a selection reads its row again).
    readKeepingEdits(program, s.startConfig);
}

void readUnitAfterDemo(Program& program)
{
    ProgramState& s = program.state;
    s.readAgainPending = false;
    readKeepingEdits(program, s.demoStart);
}

void readUnitFoundChanged(Program& program, const UnitDifference& difference)
{
    ProgramState& s = program.state;
    s.unitDifference = difference;
    s.unitChanged = s.readAgainPending = true;
    readChangedUnit(program);
    // A Cancel leaves the unit unread: the status bar keeps saying it changed.
    if (!s.unitChanged)
        s.lastOutcome = kUnitReadAgainText;
}

IdleUnitWatch::IdleUnitWatch(Program& program)
    : program_(program), lastTouch_(program.clock.now()), lastLook_(lastTouch_ - kLookInterval)
{
}

void IdleUnitWatch::touched()
{
    lastTouch_ = program_.clock.now();
}

double IdleUnitWatch::idleSeconds() const
{
    return program_.clock.now() - lastTouch_;
}

bool IdleUnitWatch::lookDue() const
{
    return program_.clock.now() - lastLook_ >= kLookInterval;
}

void IdleUnitWatch::looked()
{
    lastLook_ = program_.clock.now();
}

bool IdleUnitWatch::allowed() const
{
    const ProgramState& s = program_.state;
    // A unit still unread after a change is the user's to read again (ReConnect).
    return program_.link.sendingAllowed() && s.PortOk && !s.searching && !s.unitChanged && !program_.splash.loaded &&
        program_.link.mirror().byte(Addr::CurrentEffect);
}

bool IdleUnitWatch::due()
{
    return idleSeconds() >= kIdleBeforeLook && lookDue() && allowed() && !(covered_ && covered_());
}

void IdleUnitWatch::tick()
{
    if (!due())
        return;
    ProgramState& s = program_.state;
    const UnitDifference difference = recheckUnit(program_.link, [this, &s] {
        s.lastOutcome = kUnitRestartedText;
        program_.editor.host().refresh(Window::Main);
    });
    looked();
    if (difference.any())
        readUnitFoundChanged(program_, difference);
}

} // namespace qrv
