#include "PortWatch.hpp"

#include "StartUp.hpp"
#include "UnitChange.hpp"

#include <algorithm>

namespace qrv {

std::vector<UnsentEdit> unsentEdits(const Program& program)
{
    const ProgramState& s = program.state;
    const UnitMirror& unit = program.link.mirror();
    std::vector<UnsentEdit> edits;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < s.tables.parameterCount[e]; ++c) {
            const auto seen = unit.byte(Addr::live(e, c));
            if (seen && *seen != s.store.at(e, c))
                edits.push_back({e, c, s.store.at(e, c)});
        }
    return edits;
}

int sendUnsentEdits(Program& program)
{
    ProgramState& s = program.state;
    DeviceLink& link = program.link;
    const auto edits = unsentEdits(program);
    const auto playing = link.mirror().byte(Addr::CurrentEffect);
    int sent = 0;
    for (const UnsentEdit& edit : edits) {
        bool done = false;
        if (playing && edit.effect == *playing)
            done = link.sendEdit(Cmd::SetParameter, static_cast<uint8_t>(edit.column), 0, 0, 0, 0, edit.value);
        else
            done = link.writeByte(Addr::live(edit.effect, edit.column), edit.value);
        if (!done)
            return sent;
        ++sent;
    }
    // The user chose another effect or switch while the unit was away: each counts as an edit.
    if (playing && *playing != s.currentEffect) {
        link.ArmPort(32);
        sent += link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, static_cast<uint8_t>(s.currentEffect)) ? 1 : 0;
        link.ArmPort(10);
    }
    const auto unitSwitch = link.mirror().effectSwitch();
    if (unitSwitch && *unitSwitch != s.effectSwitchState && link.sendingAllowed()) {
        program.form.Check1.value = s.effectSwitchState == 1 ? 1 : 0;
        program.editor.SendEffectSwitch();
        sent += link.mirror().effectSwitch() == s.effectSwitchState ? 1 : 0;
    }
    return sent;
}

// A port is not ready for a moment after it appears (its permissions come later); a unit
// just plugged in may not answer for some seconds. Looks come about once a second.
constexpr int kSilentProbesAwaited = 10;

std::string reconnectedText(int sent)
{
    if (sent == 0)
        return "Reconnected – nothing was left to send";
    if (sent == 1)
        return "Reconnected – 1 unsent edit sent";
    return "Reconnected – " + std::to_string(sent) + " unsent edits sent";
}

bool PortWatch::wantsUnit() const
{
    const ProgramState& s = program_.state;
    return (s.DemoMode || s.awaitingUnit) && !s.searching;
}

void PortWatch::unitLost()
{
    ProgramState& s = program_.state;
    if (s.DemoMode || s.awaitingUnit || s.searching)
        return;
    Transport& port = program_.link.port();
    // The same path may be back before the next look at the ports: it counts as new then.
    known_.erase(port.portName());
    if (port.isOpen())
        port.close();
    s.PortOk = false;
    s.awaitingUnit = true;
    s.lastOutcome.clear(); // what the last action achieved is history now
}

void PortWatch::portsNow(const std::vector<PortSeen>& ports)
{
    ProgramState& s = program_.state;
    std::map<std::string, std::string> now;
    for (const PortSeen& port : ports)
        now.emplace(port.path, port.device);
    if (!s.unitOffer.empty() && !now.count(s.unitOffer))
        s.unitOffer.clear();
    const std::string current = program_.link.port().portName();
    // The port list may have been numbered anew: the number follows the port in use.
    if (const auto number = current.empty() ? std::nullopt : program_.search.numberOf(current))
        s.PortNumber = static_cast<int16_t>(*number);
    if (!s.DemoMode && !s.awaitingUnit && known_.count(current) && !now.count(current))
        unitLost();
    std::erase_if(silentProbes_, [&](const auto& entry) { return !now.count(entry.first); });

    std::vector<std::string> appeared;
    for (const auto& [path, device] : now) {
        const auto before = known_.find(path);
        if (before == known_.end() || before->second != device)
            appeared.push_back(path);
    }
    const bool first = !seeded_;
    seeded_ = true;
    known_ = now;
    if (first || !wantsUnit() || !s.unitOffer.empty())
        return;
    // The port the unit went away from is tried first.
    std::stable_partition(appeared.begin(), appeared.end(), [&](const std::string& path) { return path == current; });
    for (const std::string& path : appeared) {
        const auto number = program_.search.numberOf(path);
        if (!number)
            continue;
        // A unit to be taken at once is probed by connecting.
        bool answered = false;
        bool opened = true;
        if (s.awaitingUnit || s.connectAutomatically) {
            answered = connect(path);
            opened = answered || opens(path);
        } else {
            const auto probe = program_.search.probeOnly(*number);
            answered = probe == PortSearch::Probe::Answered;
            opened = probe != PortSearch::Probe::Unopenable;
            if (answered)
                s.unitOffer = path;
        }
        bool lookAgain = !opened;
        if (opened && !answered && s.awaitingUnit)
            lookAgain = ++silentProbes_[path] < kSilentProbesAwaited;
        if (lookAgain)
            known_.erase(path); // taken as new at the next look
        if (answered) {
            silentProbes_.clear();
            return;
        }
    }
}

bool PortWatch::connectOffered()
{
    const std::string path = program_.state.unitOffer;
    program_.state.unitOffer.clear();
    if (path.empty())
        return false;
    if (!connect(path)) {
        program_.state.lastOutcome = "No QRV5173 answered on " + path;
        return false;
    }
    return true;
}

bool PortWatch::opens(const std::string& path)
{
    Transport& port = program_.link.port();
    try {
        port.open(path);
        port.close();
        return true;
    } catch (const PortError&) {
        return false;
    }
}

bool PortWatch::connect(const std::string& path)
{
    ProgramState& s = program_.state;
    const bool fromDemo = s.DemoMode;
    const auto number = program_.search.numberOf(path);
    if (!number || !program_.search.connectAt(*number))
        return false;
    writeInitCfg(s.programFolder, s.PortNumber);
    rememberPort(program_);
    if (fromDemo) {
        readUnitAfterDemo(program_);
        s.lastOutcome = "Connected to the QRV5173 on " + path;
    } else if (s.unitChanged) {
        readChangedUnit(program_);
    } else {
        s.lastOutcome = reconnectedText(sendUnsentEdits(program_));
    }
    return true;
}

} // namespace qrv
