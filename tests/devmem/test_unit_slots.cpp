#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "devmem/MemoryDump.hpp"
#include "devmem/PresetDialogs.hpp"
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

// The unit image with the slot's bytes taken from another slot of a source image.
void copySlot(Memory& into, SlotRef to, const Memory& from, SlotRef source)
{
    for (std::size_t i = 0; i < slotAddresses(to).size(); ++i)
        into[static_cast<std::size_t>(slotAddresses(to)[i])] = from[static_cast<std::size_t>(slotAddresses(source)[i])];
}

constexpr SlotRef kHall{0, 0};    // "HALL", the slot the unit last used
constexpr SlotRef kBigHall{0, 1}; // "BIG HALL"
constexpr SlotRef kEmpty{0, 3};   // empty, with leftovers of an old preset
constexpr SlotRef kChorus{7, 0};

struct SlotsRig {
    EditorRig rig{false};
    UnitSlots slots{rig.editor};
    Memory factory;

    SlotsRig()
    {
        for (int k = 0; k < kNameLength; ++k)
            rig.device.poke(Addr::name(0, 3, k), static_cast<uint8_t>('a' + k));
        for (int c = 0; c < kDeviceColumns; ++c)
            rig.device.poke(Addr::stored(0, 3, c), static_cast<uint8_t>(90 + c));
        // The editor's records as a start-up reads them: directory and names, not yet confirmed.
        for (std::size_t e = 0; e < kEffectCount; ++e) {
            rig.state.presetSlotNumbers[e] = std::to_string(rig.device.peek(Addr::slotNumber(static_cast<int>(e))));
            for (std::size_t s = 0; s < kSlotCount; ++s) {
                const SlotBackup b = slotOn(rig.device, {static_cast<int>(e), static_cast<int>(s)});
                rig.state.presetDirectory[e][s] = std::to_string(b.directory);
                rig.state.presetNames[e][s] = b.stored() ? nameText(b.name) : kEmptySlotName;
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

struct UnitSlotsTest : ::testing::Test, SlotsRig {};

// Where in the frames of a swap of HALL and BIG HALL its writes are.
std::vector<std::size_t> swapWriteFrames()
{
    SlotsRig dry;
    EXPECT_TRUE(dry.slots.swap(kHall, kBigHall).done());
    std::vector<std::size_t> frames;
    for (std::size_t i = 0; i < dry.rig.port.sent().size(); ++i)
        if (dry.rig.port.sent()[i].bytes[2] == Cmd::WriteByte)
            frames.push_back(i);
    return frames;
}

TEST_F(UnitSlotsTest, RenameWritesOnlyTheCentredNameBetweenUnmarkingAndMarkingAndUndoes)
{
    const SlotOutcome outcome = slots.rename(kBigHall, "Lush");
    ASSERT_TRUE(outcome.done()) << outcome.message;
    EXPECT_EQ(outcome.changed, std::vector<SlotRef>{kBigHall});

    // "BIG HALL" and "  Lush  " differ in every byte.
    const auto writes = rig.memoryWrites();
    ASSERT_EQ(writes.size(), 1u + kNameLength + 1);
    EXPECT_EQ(writes.front(), (std::pair<int, int>{Addr::directory(0, 1), 0x00}));
    EXPECT_EQ(writes[1], (std::pair<int, int>{Addr::name(0, 1, 0), ' '}));
    EXPECT_EQ(writes.back(), (std::pair<int, int>{Addr::directory(0, 1), 0x55}));
    expectEveryWriteReadBack();
    const auto names = slotAddresses(kBigHall);
    EXPECT_EQ(differences(factory, memoryOf(rig.device)), std::vector<int>(names.begin(), names.begin() + kNameLength));
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

    rig.state.LinkUp = false;
    EXPECT_FALSE(rig.editor.undo());
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_NE(rig.host.boxes[0].text.find("not connected"), std::string::npos);
    rig.state.LinkUp = true;
    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.undo()) << "the step stayed";
    EXPECT_EQ(rig.memoryWrites(), (std::vector<std::pair<int, int>>{{Addr::directory(0, 1), Addr::SlotUsed}}))
        << "what the editor kept spares the reads and writes";
}

TEST_F(UnitSlotsTest, SwapExchangesWholeSlotsAndTheSlotNumberFollowsThePreset)
{
    const SlotOutcome outcome = slots.swap(kHall, kBigHall);
    ASSERT_TRUE(outcome.done()) << outcome.message;
    Memory expected = factory;
    copySlot(expected, kHall, factory, kBigHall);
    copySlot(expected, kBigHall, factory, kHall);
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
    copySlot(expected, {0, 5}, factory, kHall);
    copySlot(expected, {0, 6}, factory, kBigHall);
    expected[Addr::directory(0, 0)] = Addr::SlotErased;
    expected[Addr::directory(0, 1)] = Addr::SlotErased;
    expected[Addr::slotNumber(0)] = 5;
    EXPECT_EQ(differences(expected, memoryOf(rig.device)), std::vector<int>{});
    expectRecordsEqualUnit();
    expectUndoAndRedo("Move 2 presets");
}

TEST_F(UnitSlotsTest, AnExportedSlotImportsBackAsTheSameSlotAndNoFileIsOverwritten)
{
    const TempFolder folder;
    const auto exported = slots.exportSlots({kHall, kBigHall, kEmpty}, folder.path);
    ASSERT_TRUE(exported.outcome.done()) << exported.outcome.message;
    ASSERT_EQ(exported.files,
              (std::vector{folder.path / "REVERB HALL 1 HALL.fxp", folder.path / "REVERB HALL 2 BIG HALL.fxp"}));
    std::vector<uint8_t> expected(factory.begin() + Addr::stored(0, 1, 0), factory.begin() + Addr::stored(0, 1, 32));
    expected.push_back(0);
    EXPECT_EQ(readBytes(exported.files[1]), expected);
    EXPECT_TRUE(rig.memoryWrites().empty());
    EXPECT_EQ(slots.exportSlots({kHall}, folder.path).files, std::vector{folder.path / "REVERB HALL 1 HALL (2).fxp"});

    rig.port.clearLog();
    const SlotOutcome imported = slots.importFiles(exported.files, 0);
    ASSERT_TRUE(imported.done()) << imported.message;
    EXPECT_EQ(imported.changed, (std::vector<SlotRef>{kEmpty, {0, 5}}));
    EXPECT_EQ(slotOn(rig.device, kEmpty), slotOn(rig.device, kHall));
    EXPECT_EQ(slotOn(rig.device, {0, 5}), slotOn(rig.device, kBigHall));
    expectEveryWriteReadBack();
    expectUndoAndRedo("Import 2 presets");
}

// The store dialog's store is undone like the slot operations; in the exact order its frames stay
// those of old, and it is undoable when the editor held the slot before.
TEST_F(UnitSlotsTest, AStoreIsUndoneToTheSlotsBytesBeforeInEitherOrder)
{
    const SlotRef concert{0, 2};
    for (const bool exactOrder : {false, true}) {
        SCOPED_TRACE(exactOrder ? "exact order" : "any order");
        rig.state.exactOrder = exactOrder;
        if (exactOrder) {
            ASSERT_TRUE(slots.slot(concert));
            rig.state.known.set({UnitPart::SlotNumber, 0}, UnitKnowledge::Depth::Confirmed);
        }
        rig.select(0);
        rig.state.store.at(0, 3) = static_cast<uint8_t>(rig.state.store.at(0, 3) + 1);
        StoreDialog dialog{rig.editor};
        dialog.load();
        dialog.form.Text1.text = "ORCA";
        dialog.form.Combo1.index = concert.slot;
        rig.host.answer(true);
        rig.port.clearLog();
        dialog.commandClick(1);
        ASSERT_FALSE(dialog.form.open);
        const SlotBackup orca = slotOn(rig.device, concert);
        EXPECT_EQ(std::string(orca.name.begin(), orca.name.end()), "  ORCA  ");
        EXPECT_EQ(orca.data[3], rig.state.store.at(0, 3));
        EXPECT_EQ(rig.device.peek(Addr::slotNumber(0)), concert.slot);
        if (exactOrder) {
            EXPECT_EQ(rig.memoryWrites().size(), 1u + 8 + 32 + 1 + 1) << "the writes of old, nothing read";
            EXPECT_TRUE(rig.memoryReads().empty());
        } else {
            expectEveryWriteReadBack();
        }
        expectUndoAndRedo("Store ORCA in REVERB HALL 3");
        ASSERT_TRUE(rig.editor.undo());
        EXPECT_EQ(differences(factory, memoryOf(rig.device)), std::vector<int>{});
    }
}

TEST_F(UnitSlotsTest, CancelStopsBetweenSlotsAndTellsWhichWereWritten)
{
    rig.host.cancelAtStep = static_cast<int>(swapWriteFrames()[1]); // while HALL is being written
    const SlotOutcome outcome = slots.swap(kHall, kBigHall);
    EXPECT_EQ(outcome.end, TransferEnd::Cancelled);
    EXPECT_TRUE(rig.host.progress.back().cancellable);
    EXPECT_EQ(outcome.message,
              "\"Swap REVERB HALL 1 and 2\" stopped: it was cancelled. REVERB HALL 1 was written. "
              "The other slots are as they were.");
    EXPECT_EQ(slotOn(rig.device, kHall), slotOn(rig.device, kBigHall));
    expectRecordsEqualUnit();
    rig.host.cancelAtStep.reset();
    ASSERT_TRUE(rig.editor.undo());
    EXPECT_EQ(differences(factory, memoryOf(rig.device)), std::vector<int>{});
}

TEST_F(UnitSlotsTest, RefusalsSendNothingAndSayWhy)
{
    EXPECT_EQ(slots.copy({kHall}, {kChorus}).message,
              "A REVERB HALL preset cannot go into a CHORUS slot: each effect has its own presets.");
    EXPECT_TRUE(slots.swap(kHall, kChorus).refused);
    EXPECT_TRUE(slots.copy({kHall, kBigHall}, {{0, 7}}).refused) << "no slot after the eighth";
    EXPECT_TRUE(slots.rename(kEmpty, "X").refused);

    const TempFolder folder;
    std::vector<uint8_t> preset(33, 1);
    preset[32] = 7;
    writeBytes(folder.path / "lush.fxp", preset);
    EXPECT_EQ(slots.importFiles({folder.path / "lush.fxp"}, 0).message,
              "lush.fxp holds a CHORUS preset: it cannot go into a REVERB HALL slot, as each effect has its own "
              "presets.");
    writeBytes(folder.path / "short.fxp", std::vector<uint8_t>(20, 0));
    EXPECT_TRUE(slots.importFiles({folder.path / "short.fxp"}, 0).refused);
    preset[32] = 0;
    std::vector<std::filesystem::path> five;
    for (int i = 0; i < 5; ++i) {
        five.push_back(folder.path / (std::to_string(i) + ".fxp"));
        writeBytes(five.back(), preset);
    }
    EXPECT_EQ(slots.importFiles(five, 0).message,
              "REVERB HALL has 4 empty slots left: 5 presets do not fit. Nothing was changed.");
    rig.state.unitChanged = true;
    EXPECT_TRUE(slots.clear({kHall}).refused);
    rig.state.unitChanged = false;
    rig.state.LinkUp = false;
    EXPECT_TRUE(slots.clear({kHall}).refused);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(rig.editor.history().size(), 0u);
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

// The link is cut at each write of a swap in turn: no slot reads stored with mixed bytes, the
// editor's records tell the unit, and once the unit is back undo puts back the factory bytes, or
// a unit found again at once has the swap finished.
TEST(UnitSlotsCut, AtEveryWriteOfASwapNoStoredSlotHoldsMixedData)
{
    const std::vector<std::size_t> writeFrames = swapWriteFrames();
    ASSERT_GT(writeFrames.size(), 10u);
    for (std::size_t w = 0; w < writeFrames.size(); ++w)
        for (const bool comesBack : {false, true}) {
            SCOPED_TRACE("write " + std::to_string(w) + (comesBack ? ", found again" : ", unplugged"));
            SlotsRig cut;
            const SlotBackup hall = slotOn(cut.rig.device, kHall);
            const SlotBackup bigHall = slotOn(cut.rig.device, kBigHall);
            cut.rig.unplugAfter(static_cast<int>(writeFrames[w]) + 1, comesBack);
            const SlotOutcome outcome = cut.slots.swap(kHall, kBigHall);
            if (comesBack) {
                EXPECT_TRUE(outcome.done()) << outcome.message;
                EXPECT_EQ(slotOn(cut.rig.device, kHall), bigHall);
                EXPECT_EQ(slotOn(cut.rig.device, kBigHall), hall);
                continue;
            }
            EXPECT_EQ(outcome.end, TransferEnd::Lost);
            EXPECT_NE(outcome.message.find("stopped"), std::string::npos) << outcome.message;
            for (const SlotRef at : {kHall, kBigHall}) {
                const SlotBackup now = slotOn(cut.rig.device, at);
                if (now.stored()) {
                    EXPECT_TRUE(now == hall || now == bigHall) << "slot " << at.slot + 1;
                }
                if (cut.rig.state.known.depth({UnitPart::Directory, 0, at.slot}) == UnitKnowledge::Depth::Unread) {
                    EXPECT_FALSE(cut.slots.stored(at)) << "a slot the editor is unsure of counts as empty";
                }
            }
            Memory elsewhere = memoryOf(cut.rig.device);
            copySlot(elsewhere, kHall, cut.factory, kHall);
            copySlot(elsewhere, kBigHall, cut.factory, kBigHall);
            EXPECT_EQ(differences(cut.factory, elsewhere), std::vector<int>{}) << "no other slot touched";
            cut.expectRecordsEqualUnit();

            cut.rig.port.plugIn();
            cut.rig.port.open("loopback");
            cut.rig.state.LinkUp = true;
            cut.rig.state.awaitingUnit = false;
            ASSERT_TRUE(cut.rig.editor.undo());
            EXPECT_EQ(differences(cut.factory, memoryOf(cut.rig.device)), std::vector<int>{});
            cut.expectRecordsEqualUnit();
        }
}

} // namespace
} // namespace qrv::test
