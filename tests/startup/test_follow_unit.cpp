// What is changed on the unit's own front panel shows in the editor while the user rests:
// nothing goes back to the unit, nothing counts as the user's edit, a damaged reply moves
// nothing, and another unit behind the port is read again rather than followed.
#include "StartUpRig.hpp"

#include "app/FollowUnit.hpp"
#include "app/StartUp.hpp"
#include "emulator/FrontPanel.hpp"
#include "link/UnitCheck.hpp"

#include <set>

namespace qrv::test {
namespace {

struct FollowRig : StartUpRig {
    TemporaryWorkingDirectory cwd;
    IdleUnitWatch watch{program};
    FollowUnit follow{program, watch};

    FollowRig() : StartUpRig(false)
    {
        deviceOnPortSeven();
        splashLoad(program);
        splashTimer(program, {});
        port.clearLog();
    }
    // Lets the time pass, then gives both looks their turn; returns the commands sent.
    std::vector<uint8_t> restFor(double seconds, FollowUnit::Look* outcome = nullptr,
                                 const std::function<bool()>& userWaiting = [] { return false; })
    {
        port.clearLog();
        clock.advance(seconds);
        const auto look = follow.tick(userWaiting);
        if (outcome)
            *outcome = look;
        watch.tick();
        std::vector<uint8_t> commands;
        for (const auto& sent : port.sent())
            commands.push_back(sent.bytes.at(2));
        return commands;
    }
    // The value the control of the current page's column stands for.
    int shown(int column)
    {
        Editor& editor = program.editor;
        for (const PageParameter& parameter : editor.currentPage().parameters)
            if (parameter.column == column)
                return editor.controlValue(editor.currentPage(), parameter);
        return -1;
    }
};

// The commands that change the unit; following must send none of them.
bool sendsNothing(const std::vector<uint8_t>& commands)
{
    static const std::set<uint8_t> writes = {Cmd::SelectEffect, Cmd::SetParameter, Cmd::WriteByte, Cmd::SetSwitch};
    for (uint8_t command : commands)
        if (writes.count(command))
            return false;
    return true;
}

const std::vector<uint8_t> kLook = {Cmd::ReadByte, Cmd::ReadEffectBlock};

TEST(FollowUnit, ThePanelsSelectionAndValuesAreFollowedWithoutAFrameBackAndOnlyWhileTheUserRests)
{
    FollowRig rig;
    ProgramState& s = rig.state;
    const int e = s.currentEffect;
    const int column = catalogue::pageOfEffect(e).parameters.front().column;

    // While the user works, neither look runs; a second after the last action it looks, with
    // the switch the first time (standing for the idle watch's look), then every 2 s.
    for (int i = 0; i < 20; ++i) {
        rig.watch.touched();
        ASSERT_TRUE(rig.restFor(0.9).empty()) << i;
    }
    rig.watch.touched();
    EXPECT_EQ(rig.restFor(1.05), (std::vector<uint8_t>{Cmd::ReadByte, Cmd::ReadEffectBlock, Cmd::ReadSwitch}));
    EXPECT_TRUE(rig.restFor(kFollowInterval - 0.05).empty());
    EXPECT_EQ(rig.restFor(0.1), kLook);

    // A knob turned there: the control moves; the value becomes the start value, not an edit.
    // Taking it costs no exchange, so a timer tick that fell due while the unit's presets were
    // checked does not put it off.
    const uint8_t value = static_cast<uint8_t>(s.store.at(e, column) == 0 ? 1 : 0);
    ASSERT_EQ(playPanelLine(rig.device, "set " + std::to_string(e) + " " + std::to_string(column) + " " +
                                            std::to_string(value)),
              "");
    FollowUnit::Look look{};
    const auto turned = rig.restFor(kFollowInterval, &look, [&rig] { return rig.framesWith(Cmd::ReadByte) > 1; });
    EXPECT_EQ(look, FollowUnit::Look::Followed);
    EXPECT_TRUE(sendsNothing(turned));
    EXPECT_EQ(s.store.at(e, column), value);
    EXPECT_EQ(s.startConfig.at(e, column), value);
    EXPECT_EQ(rig.shown(column), value);
    EXPECT_FALSE(rig.program.editor.history().canUndo());
    EXPECT_EQ(s.lastOutcome, kChangedOnUnitText);
    EXPECT_EQ(rig.restFor(kFollowInterval), kLook);

    // Another effect selected there, its row never read by the editor: the page follows.
    const int other = (e + 5) % kEffectCount;
    rig.device.turnOnPanel(other, 0, static_cast<uint8_t>(rig.device.peek(Addr::live(other, 0)) ^ 1));
    ASSERT_TRUE(rig.device.selectOnPanel(other));
    const std::size_t windows = rig.host.progress.size();
    const auto selected = rig.restFor(kFollowInterval, &look);
    EXPECT_EQ(look, FollowUnit::Look::Followed);
    EXPECT_TRUE(sendsNothing(selected));
    EXPECT_TRUE(rig.state.known.presetsRead(other));
    EXPECT_EQ(rig.host.progress.size(), windows) << "a progress window in front of a resting user";
    EXPECT_EQ(s.currentEffect, other);
    EXPECT_EQ(rig.form.Combo1.index, other);
    for (int c = 0; c < kDeviceColumns; ++c)
        ASSERT_EQ(s.store.at(other, c), rig.device.peek(Addr::live(other, c))) << c;
    EXPECT_EQ(s.startConfig.row(other)[0], s.store.row(other)[0]);
    EXPECT_FALSE(rig.program.editor.history().canUndo());
    EXPECT_EQ(rig.device.currentEffect(), other);

    // The switch pressed there shows at the look that stands for the idle watch's, 10 s on.
    rig.device.receive(std::vector<uint8_t>{0xF0, 0x9C, Cmd::SetSwitch, 0, 0, 0, 0, 0, 0, 0xF7});
    std::size_t looks = 0;
    while (s.effectSwitchState != 0 && looks++ < 5)
        EXPECT_TRUE(sendsNothing(rig.restFor(kFollowInterval)));
    EXPECT_EQ(s.effectSwitchState, 0);
    EXPECT_EQ(rig.form.Check1.value, 0);

    // Turned off, it looks no more, and the idle watch takes the idle time back.
    rig.follow.setOn(false);
    EXPECT_TRUE(rig.restFor(kFollowInterval).empty());
    EXPECT_EQ(rig.restFor(10.0), (std::vector<uint8_t>{Cmd::ReadByte, Cmd::ReadSwitch, Cmd::ReadEffectBlock}));
}

TEST(FollowUnit, ADamagedReplyMovesNothingAndAnotherUnitIsReadAgainNotFollowed)
{
    FollowRig rig;
    ProgramState& s = rig.state;
    const int e = s.currentEffect;
    const ParameterTable store = s.store;
    rig.restFor(1.0);

    // One reply shows another effect, one block another value: the next read says otherwise.
    const auto damageOnce = [&rig](uint16_t address, uint8_t value) {
        const uint8_t real = rig.device.peek(address);
        int frames = 0;
        rig.onFrame = [&rig, address, value, real, frames]() mutable {
            rig.device.poke(address, ++frames == 1 ? value : real);
        };
    };
    FollowUnit::Look look{};
    damageOnce(Addr::CurrentEffect, static_cast<uint8_t>((e + 1) % kEffectCount));
    rig.restFor(kFollowInterval, &look);
    EXPECT_EQ(look, FollowUnit::Look::Same);
    damageOnce(Addr::live(e, 2), static_cast<uint8_t>(s.store.at(e, 2) ^ 1));
    rig.restFor(kFollowInterval, &look);
    EXPECT_EQ(look, FollowUnit::Look::Same);
    rig.onFrame = nullptr;
    EXPECT_EQ(s.currentEffect, e);
    EXPECT_EQ(s.store, store);
    EXPECT_TRUE(s.lastOutcome.empty());

    // Another unit behind the port: the check of the presets the editor read finds it, and it
    // is read again.
    while (!rig.program.reading.finished())
        ASSERT_NE(rig.program.reading.backgroundStep([] { return false; }), UnitReading::Step::Failed);
    DeviceModel other;
    for (int effect = 0; effect < kEffectCount; ++effect)
        for (int slot = 0; slot < kSlotCount; ++slot)
            other.poke(Addr::name(effect, slot, 0), 'Z');
    other.poke(Addr::CurrentEffect, static_cast<uint8_t>(e));
    other.poke(Addr::live(e, 3), static_cast<uint8_t>(other.peek(Addr::live(e, 3)) ^ 1));
    rig.device.exchangeUnit(other);
    rig.restFor(kFollowInterval, &look);
    EXPECT_EQ(look, FollowUnit::Look::OtherUnit);
    ASSERT_FALSE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.boxes.front().text, kOtherPresetsAndLiveText);
    EXPECT_FALSE(s.unitChanged);
    EXPECT_EQ(s.store.at(e, 3), rig.device.peek(Addr::live(e, 3)));
    EXPECT_NE(s.store.at(e, 3), store.at(e, 3));
}

} // namespace
} // namespace qrv::test
