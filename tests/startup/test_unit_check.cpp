// After a reconnection the editor checks that the unit on the line is the one it read: the
// same unit costs a few exchanges, another one is read again and never written from the
// editor's record of the first.
#include "StartUpRig.hpp"

#include "app/StartUp.hpp"
#include "app/UnitChange.hpp"
#include "devmem/PresetDialogs.hpp"
#include "link/UnitCheck.hpp"
#include "storage/PresetFiles.hpp"

namespace qrv::test {
namespace {

struct ReconnectRig : StartUpRig {
    TemporaryWorkingDirectory cwd;
    std::size_t before = 0; // frames written before the cable was pulled

    ReconnectRig()
    {
        deviceOnPortSeven();
        splashLoad(program);
        splashTimer(program, {});
        program.link.setDeviceSearch([this] {
            port.plugIn();
            return program.search.FindDevice();
        });
    }
    // The cable goes; the next edit finds it gone, the search finds the unit then on the line.
    void pullCableAndEdit(int column, uint8_t value)
    {
        port.unplug();
        before = port.sent().size();
        program.editor.storeAndSend(column, value);
    }
    std::size_t framesSince() const { return port.sent().size() - before; }
};

// Another unit: other names, another current effect, other live values.
DeviceModel otherUnit()
{
    DeviceModel other;
    for (int e = 0; e < kEffectCount; ++e) {
        for (int s = 0; s < kSlotCount; ++s)
            other.poke(Addr::name(e, s, 0), 'Z');
        for (int c = 0; c < 4; ++c)
            other.poke(Addr::live(e, c), static_cast<uint8_t>(c + 1));
    }
    other.poke(Addr::CurrentEffect, 5);
    return other;
}

TEST(UnitCheck, TheSameUnitComingBackCostsAFewExchangesAndGetsTheEdit)
{
    ReconnectRig rig;
    const int e = rig.state.currentEffect;
    rig.pullCableAndEdit(2, 7);
    // Probe, the check (current effect, switch, live row, eight directory bytes and the
    // names read before), the edit once more.
    EXPECT_LE(rig.framesSince(), 1u + 19u + 1u);
    EXPECT_EQ(rig.framesWith(Cmd::ReadEffectBlock), 1u + 1u); // the dump's and the check's
    EXPECT_FALSE(rig.state.unitChanged);
    EXPECT_EQ(rig.device.peek(Addr::live(e, 2)), 7);
    EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(UnitCheck, AnotherUnitIsReadAgainWithTheEditsKeptAndOfferedNeverWrittenFromTheOldNames)
{
    ReconnectRig rig;
    const int e = rig.state.currentEffect;
    const auto oldNames = rig.state.presetNames;
    rig.device = otherUnit();
    rig.pullCableAndEdit(2, 7);
    EXPECT_TRUE(rig.state.unitChanged);

    // Until the new unit is read, no slot of it is loaded or written.
    ReadDialog read(rig.program.editor);
    read.load();
    rig.port.clearLog();
    EXPECT_FALSE(read.LoadPresetFromDevice(1));
    StoreDialog store(rig.program.editor);
    store.load();
    store.form.Text1.text = "X";
    store.form.Combo1.index = 1;
    EXPECT_FALSE(store.Memorize_eep());
    EXPECT_TRUE(rig.port.sent().empty());
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[0].text, kOtherUnitUnreadText);

    // A Cancel leaves everything as it was, the unit still unread, and is not asked again
    // before the next reconnection.
    rig.host.boxes.clear();
    rig.host.cancelAtStep = 30;
    const ParameterTable edited = rig.state.store;
    readChangedUnit(rig.program);
    EXPECT_TRUE(rig.state.unitChanged);
    EXPECT_EQ(rig.state.store, edited);
    EXPECT_EQ(rig.state.presetNames, oldNames);
    rig.host.boxes.clear();
    readChangedUnit(rig.program);
    EXPECT_TRUE(rig.host.boxes.empty());

    // ReConnect checks again and reads: the new unit's names, the user's values kept and sent on Yes.
    rig.host.cancelAtStep.reset();
    ASSERT_TRUE(rig.program.search.FindDevice());
    rig.host.answer(true);
    readChangedUnit(rig.program);
    EXPECT_FALSE(rig.state.unitChanged);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[0].text, kOtherUnitText);
    EXPECT_EQ(rig.host.boxes[1].text, kUnitMayDifferText);
    EXPECT_EQ(rig.state.presetNames[0][0].front(), 'Z');
    EXPECT_EQ(rig.state.store.at(e, 2), 7);
    for (int effect = 0; effect < kEffectCount; ++effect)
        for (int c = 0; c < rig.state.tables.parameterCount[effect]; ++c)
            ASSERT_EQ(rig.device.peek(Addr::live(effect, c)), rig.state.store.at(effect, c)) << effect << "/" << c;
}

} // namespace
} // namespace qrv::test
