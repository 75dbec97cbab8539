// Units coming and going: the ports' watch offers a unit that appears, waits quietly for one
// that went, and sends the unit that comes back exactly the edits it missed.
#include "StartUpRig.hpp"

#include "app/PortWatch.hpp"
#include "app/StartUp.hpp"
#include "app/UnitChange.hpp"
#include "devmem/MemoryDump.hpp"
#include "storage/PresetFiles.hpp"

#include <set>

namespace qrv::test {
namespace {

struct PlugRig : StartUpRig {
    TemporaryWorkingDirectory cwd;
    PortWatch watch{program};
    std::set<std::string> plugged; // the ports the system shows

    // Start-up with the ports as they are, then the watch's first look.
    void startUp()
    {
        splashLoad(program);
        splashTimer(program, {});
        look();
        port.clearLog();
        host.boxes.clear(); // the demo question
    }
    void look()
    {
        std::vector<PortSeen> ports;
        for (const auto& [number, name] : names)
            if (plugged.count(name))
                ports.push_back({name, name});
        watch.portsNow(ports);
    }
    void plug(int number, const std::string& name, Far far)
    {
        names[number] = name;
        this->far[name] = far;
        plugged.insert(name);
        port.plugIn();
    }
    void unplug(const std::string& name)
    {
        plugged.erase(name);
        if (port.portName() == name)
            port.unplug();
    }
    std::vector<std::string> probedPorts() const
    {
        std::vector<std::string> out;
        for (const auto& sent : port.sent())
            if (sent.bytes.at(2) == Cmd::Probe)
                out.push_back(sent.port);
        return out;
    }
};

TEST(PlugAndPlay, AUnitPluggedInDuringDemoModeIsOfferedThenConnectedReadAndOfferedTheDemoEdits)
{
    PlugRig rig;
    rig.plug(1, "silent1", Far::Silent);
    rig.host.answer(true); // demo mode
    rig.startUp();
    ASSERT_TRUE(rig.state.DemoMode);
    rig.program.editor.storeAndSend(2, 7);
    const int e = rig.state.currentEffect;

    // Only the new port is probed, once; the unit is offered, nothing else happens.
    rig.plug(3, "qrv", Far::Device);
    rig.look();
    EXPECT_EQ(rig.probedPorts(), std::vector<std::string>{"qrv"});
    EXPECT_EQ(rig.state.unitOffer, "qrv");
    EXPECT_TRUE(rig.state.DemoMode);
    EXPECT_FALSE(rig.port.isOpen());
    rig.look();
    EXPECT_EQ(rig.probedPorts().size(), 1u);

    // Connect: the unit is read with a progress that can be cancelled, the demo edit is kept
    // and offered with No as the default; Yes sends that column alone.
    rig.host.answer(true);
    rig.port.clearLog();
    ASSERT_TRUE(rig.watch.connectOffered());
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_TRUE(rig.state.unitOffer.empty());
    EXPECT_FALSE(rig.state.unitChanged);
    const auto reading = std::find_if(rig.host.progress.begin(), rig.host.progress.end(),
                                      [](const auto& p) { return p.title == kDumpProgressTitle; });
    ASSERT_NE(reading, rig.host.progress.end());
    EXPECT_TRUE(reading->cancellable);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, editsOfferText(1));
    EXPECT_EQ(rig.host.boxes[0].defaultButton, Button::No);
    EXPECT_EQ(rig.framesWith(Cmd::SetParameter) + rig.framesWith(Cmd::WriteByte), 1u);
    EXPECT_EQ(rig.state.store.at(e, 2), 7);
    EXPECT_EQ(rig.device.peek(Addr::live(e, 2)), 7);
    EXPECT_EQ(rig.device.peek(Addr::live(e, 3)), rig.state.store.at(e, 3)); // the unit's own, read
    EXPECT_EQ(readFile(rig.cwd.path() / "last-port"), (std::vector<uint8_t>{'q', 'r', 'v', '\n'}));
}

TEST(PlugAndPlay, WithConnectAutomaticallyTheUnitIsTakenWithoutAnOffer)
{
    PlugRig rig;
    rig.host.answer(true);
    rig.startUp();
    rig.state.connectAutomatically = true;
    rig.plug(2, "qrv", Far::Device);
    rig.look();
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_TRUE(rig.state.unitOffer.empty());
    EXPECT_EQ(rig.port.portName(), "qrv");
    EXPECT_TRUE(rig.host.boxes.empty()); // nothing edited in demo mode: nothing to offer
}

TEST(PlugAndPlay, AUnitGoneWhileIdleIsWaitedForQuietlyAndGetsOnlyTheMissedEditsOnceBack)
{
    PlugRig rig;
    rig.plug(7, "qrv", Far::Device);
    rig.startUp();
    const int e = rig.state.currentEffect;
    EXPECT_TRUE(unsentEdits(rig.program).empty());

    rig.unplug("qrv");
    rig.look();
    EXPECT_TRUE(rig.state.awaitingUnit);
    EXPECT_FALSE(rig.state.DemoMode);
    // Edits go on, kept and not sent, with no box; the switch too.
    rig.program.editor.storeAndSend(2, 7);
    rig.program.editor.storeAndSend(3, 9);
    rig.program.editor.storeAndSend(2, 8);
    const int switchWanted = 1 - rig.state.effectSwitchState;
    rig.form.Check1.value = switchWanted;
    rig.program.editor.effectSwitchClick();
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_TRUE(rig.host.boxes.empty());
    ASSERT_EQ(unsentEdits(rig.program).size(), 2u);

    // Back, but silent for a moment as a unit starting up is: looked at again until it
    // answers; then checked, the two values and the switch sent once each, nothing else
    // written, and all three counted.
    rig.plug(7, "qrv", Far::Silent);
    rig.look();
    rig.look();
    EXPECT_TRUE(rig.state.awaitingUnit);
    rig.far["qrv"] = Far::Device;
    rig.look();
    EXPECT_EQ(rig.probedPorts(), (std::vector<std::string>{"qrv", "qrv", "qrv"}));
    EXPECT_FALSE(rig.state.awaitingUnit);
    EXPECT_TRUE(rig.state.PortOk);
    EXPECT_EQ(rig.framesWith(Cmd::SetParameter), 2u);
    EXPECT_EQ(rig.framesWith(Cmd::SetSwitch), 1u);
    EXPECT_EQ(rig.framesWith(Cmd::WriteByte), 0u);
    EXPECT_EQ(rig.device.peek(Addr::live(e, 2)), 8);
    EXPECT_EQ(rig.device.peek(Addr::live(e, 3)), 9);
    EXPECT_EQ(rig.program.link.mirror().effectSwitch(), switchWanted);
    EXPECT_EQ(rig.state.lastOutcome, "Reconnected – 3 unsent edits sent");
    EXPECT_TRUE(unsentEdits(rig.program).empty());
    EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(PlugAndPlay, AnEditThatMeetsTheLostPortWaitsAndTheUnitIsFoundWhereItMoved)
{
    PlugRig rig;
    rig.plug(7, "qrv", Far::Device);
    rig.startUp();
    const int e = rig.state.currentEffect;
    const int other = (e + 1) % kEffectCount;

    // Unplugged, noticed only by the next edit: no search over every port, no box.
    rig.port.unplug();
    rig.program.editor.storeAndSend(4, 5);
    EXPECT_TRUE(rig.state.awaitingUnit);
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_TRUE(rig.host.progress.empty() || rig.host.progress.back().title != kSearchProgressTitle);
    // Another effect chosen meanwhile, and edited: the unit gets its values and plays it.
    rig.form.Combo1.index = other;
    rig.program.editor.effectListClick();
    rig.program.editor.storeAndSend(1, 3);

    // A port that never answers is not probed for ever.
    rig.unplug("qrv");
    rig.plug(8, "modem", Far::Silent);
    for (int look = 0; look < 30; ++look)
        rig.look();
    EXPECT_EQ(rig.probedPorts().size(), 10u);
    EXPECT_TRUE(rig.state.awaitingUnit);
    rig.plug(9, "qrv-moved", Far::Device);
    rig.look();
    EXPECT_FALSE(rig.state.awaitingUnit);
    EXPECT_EQ(rig.state.PortNumber, 9);
    EXPECT_EQ(rig.device.peek(Addr::live(e, 4)), 5);
    EXPECT_EQ(rig.device.peek(Addr::live(other, 1)), 3);
    EXPECT_EQ(rig.device.peek(Addr::CurrentEffect), other);
    EXPECT_TRUE(unsentEdits(rig.program).empty());
    EXPECT_EQ(readFile(rig.cwd.path() / "last-port"), (std::vector<uint8_t>{'q', 'r', 'v', '-', 'm', 'o', 'v', 'e',
                                                                             'd', '\n'}));
    EXPECT_TRUE(rig.host.boxes.empty());
}

} // namespace
} // namespace qrv::test
