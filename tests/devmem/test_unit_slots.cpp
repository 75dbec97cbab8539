#include "EditorRig.hpp"

#include "devmem/MemoryDump.hpp"
#include "devmem/UnitSlots.hpp"
#include "state/CodePage.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

using Memory = std::vector<uint8_t>;

Memory memoryOf(const DeviceModel& device)
{
    return {device.memory().begin(), device.memory().end()};
}

// The addresses where two images of the unit differ.
std::vector<int> differences(const Memory& a, const Memory& b)
{
    std::vector<int> out;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            out.push_back(static_cast<int>(i));
    return out;
}

std::vector<int> slotAddresses(SlotRef at)
{
    std::vector<int> out;
    for (int k = 0; k < kNameLength; ++k)
        out.push_back(Addr::name(at.effect, at.slot, k));
    for (int c = 0; c < kDeviceColumns; ++c)
        out.push_back(Addr::stored(at.effect, at.slot, c));
    out.push_back(Addr::directory(at.effect, at.slot));
    return out;
}

// The unit's bytes of a slot: directory, name, data.
SlotBackup slotOn(const DeviceModel& device, SlotRef at)
{
    SlotBackup b;
    b.directory = device.peek(Addr::directory(at.effect, at.slot));
    for (int k = 0; k < kNameLength; ++k)
        b.name[static_cast<std::size_t>(k)] = device.peek(Addr::name(at.effect, at.slot, k));
    for (int c = 0; c < kDeviceColumns; ++c)
        b.data[static_cast<std::size_t>(c)] = device.peek(Addr::stored(at.effect, at.slot, c));
    return b;
}

constexpr SlotRef kHall{0, 0};     // "HALL", the slot the unit last used
constexpr SlotRef kBigHall{0, 1};  // "BIG HALL"
constexpr SlotRef kEmpty{0, 3};    // empty, with leftovers of an old preset
constexpr SlotRef kChorus{7, 0};

struct UnitSlotsTest : ::testing::Test {
    EditorRig rig{false};
    UnitSlots slots{rig.editor};
    Memory factory;

    UnitSlotsTest()
    {
        rig.emptyDirectory();
        for (int k = 0; k < kNameLength; ++k)
            rig.device.poke(Addr::name(0, 3, k), static_cast<uint8_t>('a' + k));
        for (int c = 0; c < kDeviceColumns; ++c)
            rig.device.poke(Addr::stored(0, 3, c), static_cast<uint8_t>(90 + c));
        // The editor's records as a start-up reads them: directory and names, not yet confirmed.
        for (int e = 0; e < kEffectCount; ++e) {
            rig.state.presetSlotNumbers[static_cast<std::size_t>(e)] =
                std::to_string(rig.device.peek(Addr::slotNumber(e)));
            for (int s = 0; s < kSlotCount; ++s) {
                const SlotBackup b = slotOn(rig.device, {e, s});
                rig.state.presetDirectory[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)] =
                    std::to_string(b.directory);
                if (b.stored())
                    rig.state.presetNames[static_cast<std::size_t>(e)][static_cast<std::size_t>(s)] =
                        nameText(b.name);
            }
        }
        factory = memoryOf(rig.device);
        rig.port.clearLog();
    }

    // Every one-byte write is read back before anything else goes out.
    void expectEveryWriteReadBack()
    {
        const auto& sent = rig.port.sent();
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if (sent[i].bytes.size() != 10 || sent[i].bytes[2] != Cmd::WriteByte)
                continue;
            ASSERT_LT(i + 1, sent.size());
            EXPECT_EQ(sent[i + 1].bytes[2], Cmd::ReadByte) << "frame " << i;
            EXPECT_EQ(sent[i + 1].bytes[3], sent[i].bytes[3]);
            EXPECT_EQ(sent[i + 1].bytes[4], sent[i].bytes[4]);
        }
    }

    // Undo gives back the factory bytes exactly, redo the operation's.
    void expectUndoAndRedo(const std::string& label)
    {
        const Memory done = memoryOf(rig.device);
        EXPECT_EQ(rig.editor.history().undoText(), "Undo " + label);
        ASSERT_TRUE(rig.editor.undo());
        EXPECT_EQ(differences(factory, memoryOf(rig.device)), std::vector<int>{});
        EXPECT_EQ(rig.editor.history().redoText(), "Redo " + label);
        expectRecordsEqualUnit();
        ASSERT_TRUE(rig.editor.redo());
        EXPECT_EQ(differences(done, memoryOf(rig.device)), std::vector<int>{});
        expectRecordsEqualUnit();
    }

    // What the editor holds of every slot it claims to know equals the unit.
    void expectRecordsEqualUnit()
    {
        for (int e = 0; e < kEffectCount; ++e) {
            const auto number = std::to_string(rig.device.peek(Addr::slotNumber(e)));
            if (rig.state.known.depth({UnitPart::SlotNumber, e}) != UnitKnowledge::Depth::Unread) {
                EXPECT_EQ(rig.state.presetSlotNumbers[static_cast<std::size_t>(e)], number) << e;
            }
            for (int s = 0; s < kSlotCount; ++s) {
                if (rig.state.known.depth({UnitPart::Directory, e, s}) == UnitKnowledge::Depth::Unread)
                    continue;
                const SlotBackup b = slotOn(rig.device, {e, s});
                EXPECT_EQ(slots.stored({e, s}), b.stored()) << e << ":" << s;
                if (b.stored() && rig.state.known.heldWhole(e, s)) {
                    EXPECT_EQ(trimmed(slots.name({e, s})), trimmed(nameText(b.name))) << e << ":" << s;
                    EXPECT_EQ(rig.state.known.slotData(e, s), b.data) << e << ":" << s;
                }
            }
        }
    }
};

TEST_F(UnitSlotsTest, RenameWritesOnlyTheCentredNameBetweenUnmarkingAndMarkingAndUndoes)
{
    const SlotOutcome outcome = slots.rename(kBigHall, "Lush");
    ASSERT_TRUE(outcome.done()) << outcome.message;
    EXPECT_EQ(outcome.changed, std::vector<SlotRef>{kBigHall});

    const std::string before = "BIG HALL";
    const std::string after = "  Lush  ";
    std::vector<std::pair<int, int>> writes{{Addr::directory(0, 1), 0x00}};
    for (int k = 0; k < kNameLength; ++k)
        if (before[static_cast<std::size_t>(k)] != after[static_cast<std::size_t>(k)])
            writes.emplace_back(Addr::name(0, 1, k), after[static_cast<std::size_t>(k)]);
    writes.emplace_back(Addr::directory(0, 1), 0x55);
    EXPECT_EQ(rig.memoryWrites(), writes);
    expectEveryWriteReadBack();

    std::vector<int> names;
    for (const auto& [address, value] : writes)
        if (address != Addr::directory(0, 1))
            names.push_back(address);
    EXPECT_EQ(differences(factory, memoryOf(rig.device)), names);
    EXPECT_EQ(slots.name(kBigHall), "Lush"); // as typed
    expectRecordsEqualUnit();
    expectUndoAndRedo("Rename REVERB HALL 2");
}

TEST_F(UnitSlotsTest, ClearWritesTheUnitsEmptyMarkOnlyAndUndoPutsThePresetBack)
{
    const SlotOutcome outcome = slots.clear({kBigHall, kEmpty});
    ASSERT_TRUE(outcome.done()) << outcome.message;
    EXPECT_EQ(rig.memoryWrites(), (std::vector<std::pair<int, int>>{{Addr::directory(0, 1), Addr::SlotErased}}));
    EXPECT_EQ(differences(factory, memoryOf(rig.device)), std::vector<int>{Addr::directory(0, 1)});
    EXPECT_FALSE(slots.stored(kBigHall));
    EXPECT_EQ(slots.name(kBigHall), kEmptySlotName);
    expectUndoAndRedo("Clear REVERB HALL 2");

    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.undo());
    EXPECT_EQ(rig.memoryWrites(), (std::vector<std::pair<int, int>>{{Addr::directory(0, 1), Addr::SlotUsed}}))
        << "what the editor kept spares the reads and writes";
}

TEST_F(UnitSlotsTest, SwapExchangesWholeSlotsAndTheSlotNumberFollowsThePreset)
{
    const SlotOutcome outcome = slots.swap(kHall, kBigHall);
    ASSERT_TRUE(outcome.done()) << outcome.message;
    Memory expected = factory;
    for (int i = 0; i < 41; ++i)
        std::swap(expected[static_cast<std::size_t>(slotAddresses(kHall)[static_cast<std::size_t>(i)])],
                  expected[static_cast<std::size_t>(slotAddresses(kBigHall)[static_cast<std::size_t>(i)])]);
    expected[Addr::slotNumber(0)] = 1;
    EXPECT_EQ(differences(expected, memoryOf(rig.device)), std::vector<int>{});
    EXPECT_EQ(rig.memoryWrites().back(), (std::pair<int, int>{Addr::slotNumber(0), 1})) << "the slot number last";
    expectEveryWriteReadBack();
    EXPECT_EQ(rig.editor.presetSlot(0), 1);
    EXPECT_EQ(slots.name(kHall), "BIG HALL");
    for (int c = 0; c < kDeviceColumns; ++c)
        EXPECT_EQ(rig.state.deviceCopy.at(0, c), rig.device.peek(Addr::stored(0, 1, c)));
    expectRecordsEqualUnit();
    expectUndoAndRedo("Swap REVERB HALL 1 and 2");
}

TEST_F(UnitSlotsTest, PasteAndMoveIntoAnEmptySlotKeepItsLeftoversForTheUndo)
{
    SlotOutcome outcome = slots.copy({kBigHall}, {kEmpty});
    ASSERT_TRUE(outcome.done()) << outcome.message;
    EXPECT_EQ(slotOn(rig.device, kEmpty), slotOn(rig.device, kBigHall));
    EXPECT_EQ(rig.memoryWrites().back(), (std::pair<int, int>{Addr::directory(0, 3), 0x55}));
    EXPECT_NE(rig.memoryWrites().front().first, Addr::directory(0, 3)) << "an empty slot needs no unmarking";
    expectUndoAndRedo("Paste 1 preset");
    ASSERT_TRUE(rig.editor.undo());

    outcome = slots.move({kHall, kBigHall}, {{0, 5}});
    ASSERT_TRUE(outcome.done()) << outcome.message;
    Memory expected = factory;
    for (std::size_t i = 0; i < 41; ++i) {
        expected[static_cast<std::size_t>(slotAddresses({0, 5})[i])] = factory[static_cast<std::size_t>(slotAddresses(kHall)[i])];
        expected[static_cast<std::size_t>(slotAddresses({0, 6})[i])] = factory[static_cast<std::size_t>(slotAddresses(kBigHall)[i])];
    }
    expected[Addr::directory(0, 0)] = Addr::SlotErased;
    expected[Addr::directory(0, 1)] = Addr::SlotErased;
    expected[Addr::slotNumber(0)] = 5;
    EXPECT_EQ(differences(expected, memoryOf(rig.device)), std::vector<int>{});
    expectRecordsEqualUnit();
    expectUndoAndRedo("Move 2 presets");
}

TEST_F(UnitSlotsTest, RefusalsSendNothingAndSayWhy)
{
    EXPECT_EQ(slots.copy({kHall}, {kChorus}).message,
              "A REVERB HALL preset cannot go into a CHORUS slot: each effect has its own presets.");
    EXPECT_TRUE(slots.swap(kHall, kChorus).refused);
    EXPECT_TRUE(slots.copy({kHall, kBigHall}, {{0, 7}}).refused) << "no slot after the eighth";
    EXPECT_TRUE(slots.rename(kEmpty, "X").refused);
    rig.state.unitChanged = true;
    EXPECT_TRUE(slots.clear({kHall}).refused);
    rig.state.unitChanged = false;
    rig.state.LinkUp = false;
    EXPECT_TRUE(slots.clear({kHall}).refused);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(rig.editor.history().size(), 0u);
}

TEST_F(UnitSlotsTest, UndoWhenNotConnectedSaysSoAndKeepsTheStep)
{
    ASSERT_TRUE(slots.clear({kHall}).done());
    rig.state.LinkUp = false;
    EXPECT_FALSE(rig.editor.undo());
    ASSERT_FALSE(rig.host.boxes.empty());
    EXPECT_TRUE(rig.editor.history().canUndo());
    rig.state.LinkUp = true;
    ASSERT_TRUE(rig.editor.undo());
    EXPECT_EQ(differences(factory, memoryOf(rig.device)), std::vector<int>{});
}

TEST_F(UnitSlotsTest, DemoModeChangesTheEditorsCopyAndSendsNothing)
{
    rig.state.DemoMode = true;
    ASSERT_TRUE(slots.swap(kHall, kBigHall).done());
    EXPECT_EQ(slots.name(kHall), "BIG HALL");
    EXPECT_EQ(rig.editor.presetSlot(0), 1);
    ASSERT_TRUE(slots.rename(kHall, "X").done());
    EXPECT_EQ(slots.name(kHall), "X");
    ASSERT_TRUE(rig.editor.undo());
    ASSERT_TRUE(rig.editor.undo());
    EXPECT_EQ(slots.name(kHall), "  HALL  ");
    EXPECT_EQ(rig.editor.presetSlot(0), 0);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(memoryOf(rig.device), factory);
}

} // namespace
} // namespace qrv::test
