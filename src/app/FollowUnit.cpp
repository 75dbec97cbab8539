#include "FollowUnit.hpp"

#include "link/LiveRows.hpp"
#include "link/UnitCheck.hpp"
#include "link/UnitIdentity.hpp"

#include <vector>

namespace qrv {

namespace {

// A value read once that differs from what the editor holds (or that it holds nothing of) is
// read until the unit gives it twice; nothing when the reads never agree or one took no reply.
template <class T, class Read>
std::optional<T> confirmedChange(const T& first, const std::optional<T>& held, Read&& read)
{
    if (held && first == *held)
        return first;
    const auto agreed = readUntilAgreed<T>(read, {first});
    if (agreed.outcome != Confirm::Agreed)
        return std::nullopt;
    return agreed.value;
}

} // namespace

FollowUnit::FollowUnit(Program& program, IdleUnitWatch& watch)
    : program_(program), watch_(watch), lastLook_(program.clock.now() - kFollowInterval),
      unitCheckedAt_(program.clock.now() - kLookInterval)
{
    watch_.setCoveredWhile([this] { return able(); });
}

bool FollowUnit::able() const
{
    const ProgramState& s = program_.state;
    return on_ && program_.link.sendingAllowed() && s.PortOk && !s.searching && !s.unitChanged &&
        !program_.splash.loaded && blockReadsUsable(s) && !program_.editor.comparing() &&
        program_.link.mirror().byte(Addr::CurrentEffect);
}

bool FollowUnit::due() const
{
    return watch_.idleSeconds() >= kIdleBeforeFollow && program_.clock.now() - lastLook_ >= kFollowInterval && able();
}

FollowUnit::Look FollowUnit::tick(const std::function<bool()>& stop)
{
    if (!due())
        return Look::NotDue;
    const bool withSwitch = watch_.lookDue();
    const Look result = look(stop, withSwitch);
    lastLook_ = program_.clock.now();
    if (withSwitch && result != Look::Stopped && result != Look::Failed)
        watch_.looked();
    return result;
}

std::optional<bool> FollowUnit::sameUnit(uint8_t effect)
{
    DeviceLink& link = program_.link;
    const double now = program_.clock.now();
    if (now - unitCheckedAt_ < kLookInterval && link.portFailures() == portFailuresAtCheck_)
        return true;
    const auto same = presetsAsSeen(link, effect);
    if (same && *same) {
        unitCheckedAt_ = now;
        portFailuresAtCheck_ = link.portFailures();
    }
    return same;
}

FollowUnit::Look FollowUnit::look(const std::function<bool()>& stop, bool withSwitch)
{
    ProgramState& s = program_.state;
    DeviceLink& link = program_.link;
    const int shown = s.currentEffect;

    const auto readEffect = [&] { return link.tryReadByte(Addr::CurrentEffect); };
    const auto firstEffect = readEffect();
    if (!firstEffect)
        return Look::Failed;
    const auto effect =
        confirmedChange<uint8_t>(*firstEffect, static_cast<uint8_t>(shown), readEffect);
    if (!effect || *effect >= kEffectCount)
        return Look::Failed;
    if (stop())
        return Look::Stopped;

    // What the editor holds of the row: what the unit last showed, else (the page's effect) the store.
    std::optional<LiveRow> held = LiveRow{};
    for (int c = 0; c < kDeviceColumns && held; ++c) {
        const auto seen = link.mirror().byte(Addr::live(*effect, c));
        if (seen)
            (*held)[static_cast<std::size_t>(c)] = *seen;
        else if (*effect == shown)
            (*held)[static_cast<std::size_t>(c)] = s.store.at(shown, c);
        else
            held.reset();
    }
    const auto readRow = [&] { return readLiveBlock(link, *effect); };
    const auto firstRow = readRow();
    if (!firstRow)
        return Look::Failed;
    const auto unitRow = confirmedChange<LiveRow>(*firstRow, held, readRow);
    if (!unitRow)
        return Look::Failed;

    std::optional<uint8_t> effectSwitch;
    if (withSwitch) {
        const auto firstSwitch = readSwitch(link);
        if (!firstSwitch)
            return Look::Failed;
        effectSwitch = confirmedChange<uint8_t>(*firstSwitch, static_cast<uint8_t>(s.effectSwitchState),
                                                [&] { return readSwitch(link); });
        if (!effectSwitch)
            return Look::Failed;
    }

    std::vector<int> turned;
    for (int c = 0; held && c < kDeviceColumns; ++c)
        if ((*unitRow)[static_cast<std::size_t>(c)] != (*held)[static_cast<std::size_t>(c)])
            turned.push_back(c);
    const bool selected = *effect != shown;
    const bool switched = effectSwitch && *effectSwitch != s.effectSwitchState;
    if (!selected && turned.empty() && !switched)
        return Look::Same;

    // Left for the next look: the columns it found turned count against the store again.
    const auto leaveForNextLook = [&] {
        for (int c : turned)
            link.forgetBytes(Addr::live(*effect, c), 1);
        return Look::Stopped;
    };
    if (stop())
        return leaveForNextLook();
    const auto same = sameUnit(*effect);
    if (!same)
        return Look::Failed;
    if (!*same) {
        link.forgetUnit();
        readUnitFoundChanged(program_, {true, true});
        return Look::OtherUnit;
    }
    // Taking turned values costs no exchange; a selection reads the effect's presets.
    if (selected && stop())
        return Look::Stopped;

    Editor& editor = program_.editor;
    if (selected) {
        const UnitReading::Quiet quiet(program_.reading);
        editor.selectedOnUnit(*effect, *unitRow);
    } else if (!turned.empty()) {
        for (int c : turned) {
            s.store.at(*effect, c) = (*unitRow)[static_cast<std::size_t>(c)];
            s.startConfig.at(*effect, c) = (*unitRow)[static_cast<std::size_t>(c)];
        }
        editor.RefreshPage();
    }
    if (switched) {
        program_.form.Check1.value = *effectSwitch;
        s.effectSwitchState = *effectSwitch;
    }
    s.lastOutcome = kChangedOnUnitText;
    editor.host().refresh(Window::Main);
    return Look::Followed;
}

} // namespace qrv
