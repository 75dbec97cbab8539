// After a reconnection, and while the user rests, the editor checks that the unit on the line
// is the one it read: the same unit costs a few exchanges, a changed one is read again, told
// what changed and never written from the editor's record of the first.
#include "StartUpRig.hpp"

#include "app/StartUp.hpp"
#include "app/UnitChange.hpp"
#include "devmem/PresetDialogs.hpp"
#include "link/UnitCheck.hpp"
#include "storage/PresetFiles.hpp"

#include <functional>
#include <set>
#include <string>

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

TEST(UnitCheck, AUnitComingBackCostsAFewExchangesAndIsToldSameOrWithOtherLiveValuesOrPresets)
{
    struct Case {
        const char* name;
        std::function<void(DeviceModel&, int)> change;
        bool live, presets;
        const char* text; // none: the same unit
    };
    const Case cases[] = {
        {"same unit", [](DeviceModel&, int) {}, false, false, nullptr},
        {"power cycle",
         [](DeviceModel& d, int e) { d.poke(Addr::live(e, 0), static_cast<uint8_t>(d.peek(Addr::live(e, 0)) ^ 1)); },
         true, false, kOtherLiveValuesText},
        {"renamed presets",
         [](DeviceModel& d, int e) {
             for (int slot = 0; slot < kSlotCount; ++slot)
                 d.poke(Addr::name(e, slot, 0), 'Q');
         },
         false, true, kOtherUnitText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReconnectRig rig;
        const int e = rig.state.currentEffect;
        c.change(rig.device, e);
        rig.pullCableAndEdit(2, 7);
        // Probe, the check (current effect, switch, live row, eight directory bytes and the
        // names read before), the edit once more.
        EXPECT_LE(rig.framesSince(), 1u + 19u + 1u);
        EXPECT_EQ(rig.state.unitChanged, c.text != nullptr);
        EXPECT_EQ(rig.state.unitDifference.liveChanged, c.live);
        EXPECT_EQ(rig.state.unitDifference.presetsChanged, c.presets);
        if (!c.text) {
            EXPECT_EQ(rig.device.peek(Addr::live(e, 2)), 7);
            EXPECT_TRUE(rig.host.boxes.empty());
            continue;
        }
        rig.host.answer(false);
        readChangedUnit(rig.program);
        ASSERT_FALSE(rig.host.boxes.empty());
        EXPECT_EQ(rig.host.boxes[0].text, c.text);
    }
}

TEST(UnitCheck, AnotherUnitIsReadAgainAndOfferedOnlyTheEditsNoByDefaultNeverWrittenFromTheOldUnit)
{
    ReconnectRig rig;
    const int e = rig.state.currentEffect;
    const auto oldNames = rig.state.presetNames;
    rig.device = otherUnit();
    const DeviceModel other = rig.device;
    // The edit is kept while the unit is away; ReConnect finds another one.
    rig.program.link.setDeviceSearch([&rig] { return rig.program.search.findAfterLoss(); });
    rig.pullCableAndEdit(2, 7);
    EXPECT_TRUE(rig.state.awaitingUnit);
    rig.port.plugIn();
    ASSERT_TRUE(rig.program.search.FindDevice());
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

    // ReConnect checks again and reads: the new unit's names, the user's edit kept and offered
    // with No as the default; Yes writes that one column, the unit keeps the rest of its own.
    rig.host.cancelAtStep.reset();
    ASSERT_TRUE(rig.program.search.FindDevice());
    rig.host.answer(true);
    rig.port.clearLog();
    readChangedUnit(rig.program);
    EXPECT_FALSE(rig.state.unitChanged);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[0].text, kOtherPresetsAndLiveText);
    EXPECT_EQ(rig.host.boxes[1].text, editsOfferText(1));
    EXPECT_EQ(rig.host.boxes[1].defaultButton, Button::No);
    EXPECT_EQ(rig.state.presetNames[0][0].front(), 'Z');
    EXPECT_EQ(rig.state.store.at(e, 2), 7);
    EXPECT_EQ(rig.framesWith(Cmd::SetParameter) + rig.framesWith(Cmd::WriteByte), 1u);
    EXPECT_FALSE(rig.state.unitMayDiffer);
    for (int effect = 0; effect < kEffectCount; ++effect)
        for (int c = 0; c < kDeviceColumns; ++c)
            ASSERT_EQ(rig.device.peek(Addr::live(effect, c)),
                      effect == e && c == 2 ? 7 : other.peek(Addr::live(effect, c)))
                << effect << "/" << c;
}

TEST(UnitCheck, AUnitRestartedWhileTheUserRestsIsNoticedAndReadAgainWithTheEditKeptAndOffered)
{
    ReconnectRig rig;
    IdleUnitWatch watch(rig.program);
    const int e = rig.state.currentEffect;
    rig.program.editor.storeAndSend(2, 7);
    watch.touched();
    rig.port.clearLog();

    // The first look 5 s after the user's last action: three exchanges; none before, none
    // after a touch, none while the unit is away or in demo mode; the next 10 s later.
    const auto lookAfter = [&](double seconds) {
        rig.port.clearLog();
        rig.clock.advance(seconds);
        watch.tick();
        return rig.port.sent().size();
    };
    EXPECT_EQ(lookAfter(4.9), 0u);
    watch.touched();
    EXPECT_EQ(lookAfter(4.9), 0u);
    EXPECT_EQ(lookAfter(0.1), 3u);
    EXPECT_EQ(lookAfter(9.9), 0u);
    for (bool* off : {&rig.state.awaitingUnit, &rig.state.DemoMode}) {
        *off = true;
        EXPECT_EQ(lookAfter(0.1), 0u);
        *off = false;
    }
    EXPECT_EQ(lookAfter(0.0), 3u);
    EXPECT_TRUE(rig.host.boxes.empty());

    // Power cycled behind a port that stayed up: the unit plays another effect, its values lost.
    const int playing = (e + 3) % kEffectCount;
    rig.device.poke(Addr::CurrentEffect, static_cast<uint8_t>(playing));
    rig.device.poke(Addr::live(e, 2), rig.state.startConfig.at(e, 2));
    rig.device.poke(Addr::live(playing, 1), static_cast<uint8_t>(rig.device.peek(Addr::live(playing, 1)) ^ 1));
    rig.host.answer(false);
    std::set<std::string> said; // the status bar while the unit is read again
    rig.onFrame = [&rig, &said] { said.insert(rig.state.lastOutcome); };
    lookAfter(10.0);
    rig.onFrame = nullptr;
    EXPECT_TRUE(said.count(kUnitRestartedText));
    EXPECT_EQ(rig.state.lastOutcome, kUnitReadAgainText);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[0].text, kOtherLiveValuesText);
    EXPECT_EQ(rig.host.boxes[1].text, editsOfferText(1));
    EXPECT_EQ(rig.host.boxes[1].defaultButton, Button::No);
    EXPECT_FALSE(rig.state.unitChanged);
    EXPECT_EQ(rig.state.currentEffect, playing);
    EXPECT_EQ(rig.state.store.at(e, 2), 7);
    EXPECT_EQ(rig.device.peek(Addr::live(e, 2)), rig.state.startConfig.at(e, 2));
    EXPECT_TRUE(rig.state.unitMayDiffer);

    // Read again, the unit is as the editor holds it: the next look finds nothing to say.
    rig.host.boxes.clear();
    EXPECT_EQ(lookAfter(10.0), 3u);
    EXPECT_TRUE(rig.host.boxes.empty());
}

} // namespace
} // namespace qrv::test
