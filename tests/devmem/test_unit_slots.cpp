#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "devmem/MemoryDump.hpp"
#include "devmem/PresetDialogs.hpp"
#include "devmem/UnitSlots.hpp"
#include "state/CodePage.hpp"
#include "storage/FileCodec.hpp"

#include <gtest/gtest.h>

#include <optional>

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

// The unit's bytes of a slot.
SlotBackup slotOn(const DeviceModel& device, SlotRef at)
{
    const auto peek = [&](int address) { return device.peek(static_cast<uint16_t>(address)); };
    SlotBackup b{peek(Addr::directory(at.effect, at.slot)), {}, {}};
    for (std::size_t k = 0; k < b.name.size(); ++k)
        b.name[k] = peek(Addr::name(at.effect, at.slot, static_cast<int>(k)));
    for (std::size_t c = 0; c < b.data.size(); ++c)
        b.data[c] = peek(Addr::stored(at.effect, at.slot, static_cast<int>(c)));
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
        EXPECT_TRUE(DumpDeviceMemory(rig.editor, rig.program.splash));
        factory = memoryOf(rig.device);
        rig.port.clearLog();
    }

    // As on a fresh connection: nothing of the presets read yet, and records that say otherwise.
    void forgetThePresets()
    {
        rig.emptyDirectory();
        rig.state.presetSlotNumbers.fill("5");
        rig.state.known.setAll(UnitKnowledge::Depth::Unread);
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
        // The progress says which step it undoes, at its start and at its end.
        EXPECT_EQ(rig.host.progress.back().title, "Undo " + label);
        EXPECT_EQ(differences(factory, memoryOf(rig.device)), std::vector<int>{});
        EXPECT_EQ(rig.editor.history().redoText(), "Redo " + label);
        expectRecordsEqualUnit();
        ASSERT_TRUE(rig.editor.redo());
        EXPECT_EQ(rig.host.progress.back().title, "Redo " + label);
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

// One after another on the factory unit, from a fresh connection whose records say otherwise
// (each operation reads its effect's slot number, directory and names first): each writes
// only the bytes it changes, a stored slot unmarked first and marked last, every write read
// back, and undo and redo give back the exact bytes.
TEST_F(UnitSlotsTest, EachOperationWritesOnlyWhatChangesAndUndoesExactly)
{
    forgetThePresets();
    SlotOutcome outcome = slots.rename(kBigHall, "Lush");
    ASSERT_TRUE(outcome.done()) << outcome.message;
    EXPECT_EQ(outcome.changed, std::vector<SlotRef>{kBigHall});
    // "BIG HALL" and "  Lush  " differ in every byte.
    auto writes = rig.memoryWrites();
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
    ASSERT_TRUE(rig.editor.undo());

    rig.port.clearLog();
    ASSERT_TRUE(slots.clear({kBigHall, kEmpty}).done());
    EXPECT_EQ(rig.memoryWrites(), (std::vector<std::pair<int, int>>{{Addr::directory(0, 1), Addr::SlotErased}}));
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

    rig.port.clearLog();
    ASSERT_TRUE(slots.swap(kHall, kBigHall).done());
    Memory expected = factory;
    copySlot(expected, kHall, factory, kBigHall);
    copySlot(expected, kBigHall, factory, kHall);
    expected[Addr::slotNumber(0)] = 1;
    EXPECT_EQ(differences(expected, memoryOf(rig.device)), std::vector<int>{});
    EXPECT_EQ(rig.memoryWrites().back(), (std::pair<int, int>{Addr::slotNumber(0), 1})) << "the slot number last";
    for (int address : slotAddresses(kHall)) // what the unit check will compare a reconnected unit with
        EXPECT_EQ(rig.link.mirror().byte(static_cast<uint16_t>(address)),
                  rig.device.peek(static_cast<uint16_t>(address)));
    expectEveryWriteReadBack();
    EXPECT_EQ(slots.name(kHall), "BIG HALL");
    for (int c = 0; c < kDeviceColumns; ++c)
        EXPECT_EQ(rig.state.deviceCopy.at(0, c), rig.device.peek(Addr::stored(0, 1, c)));
    expectRecordsEqualUnit();
    expectUndoAndRedo("Swap REVERB HALL 1 and 2");
    ASSERT_TRUE(rig.editor.undo());

    // Into an empty slot: its leftovers are kept for the undo, and it needs no unmarking.
    rig.port.clearLog();
    ASSERT_TRUE(slots.copy({kBigHall}, {kEmpty}).done());
    EXPECT_EQ(slotOn(rig.device, kEmpty), slotOn(rig.device, kBigHall));
    EXPECT_EQ(rig.memoryWrites().back(), (std::pair<int, int>{Addr::directory(0, 3), 0x55}));
    EXPECT_NE(rig.memoryWrites().front().first, Addr::directory(0, 3));
    expectUndoAndRedo("Paste 1 preset");
    ASSERT_TRUE(rig.editor.undo());

    ASSERT_TRUE(slots.move({kHall, kBigHall}, {{0, 5}}).done());
    expected = factory;
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
    forgetThePresets();
    const TempFolder folder;
    const auto exported = slots.exportSlots({kHall, kBigHall, kEmpty}, folder.path);
    EXPECT_EQ(rig.host.progress.back().title, "Export 2 presets"); // its reading says what it is for
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

// The progress of an operation only goes forward, a read-back asked again included, and
// ends full, as does that of the reads a fresh connection needs first.
TEST_F(UnitSlotsTest, ProgressOnlyGoesForwardAndEndsFull)
{
    forgetThePresets();
    std::optional<std::pair<uint16_t, uint8_t>> glitch; // one read-back answered wrong once
    std::vector<std::pair<long, long>> seen;             // (done, steps) of the operation's progress
    rig.link.setExchangeObserver([&] {
        const auto& frame = rig.port.sent().back().bytes;
        if (glitch && glitch->first != 0) {
            rig.device.poke(glitch->first, glitch->second);
            glitch->first = 0;
        } else if (frame[2] == Cmd::WriteByte && !glitch) {
            glitch = {static_cast<uint16_t>(frame[3] << 8 | frame[4]), frame[6]};
            rig.device.poke(glitch->first, static_cast<uint8_t>(~frame[6]));
        }
        const auto& progress = rig.host.progress;
        if (!progress.empty() && progress.back().title == "Swap REVERB HALL 1 and 2" && !progress.back().ended)
            seen.emplace_back(progress.back().done, progress.back().steps);
    });
    ASSERT_TRUE(slots.swap(kHall, kBigHall).done());
    ASSERT_TRUE(glitch);
    seen.emplace_back(rig.host.progress.back().done, rig.host.progress.back().steps);
    for (const auto& progress : rig.host.progress) // the reads first, then the operation
        EXPECT_EQ(progress.done, progress.steps) << progress.title;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LE(seen[i].first, seen[i].second);
        EXPECT_GE(seen[i].first * seen[i - 1].second, seen[i - 1].first * seen[i].second)
            << seen[i - 1].first << "/" << seen[i - 1].second << " then " << seen[i].first << "/" << seen[i].second;
    }
}

// A refusal sends nothing, and what a drop asks before anything is read is what the
// operation says.
TEST_F(UnitSlotsTest, RefusalsSendNothingAndSayWhy)
{
    const auto refused = [](const std::optional<std::string>& asked, const SlotOutcome& outcome) {
        EXPECT_TRUE(outcome.refused);
        EXPECT_EQ(asked, outcome.message);
        return outcome.message;
    };
    EXPECT_EQ(refused(UnitSlots::refusal({kHall}, {kChorus}), slots.copy({kHall}, {kChorus})),
              "A REVERB HALL preset cannot go into a CHORUS slot: each effect has its own presets.");
    refused(UnitSlots::refusal({kHall, kBigHall}, {{0, 7}}), slots.move({kHall, kBigHall}, {{0, 7}}));
    EXPECT_TRUE(slots.swap(kHall, kChorus).refused);
    EXPECT_TRUE(slots.rename(kEmpty, "X").refused);

    const TempFolder folder;
    const auto lush = folder.path / "lush.fxp";
    std::vector<uint8_t> preset(kPresetFileSize, 1);
    preset.back() = 7;
    writeBytes(lush, preset);
    EXPECT_EQ(refused(slots.refusal({lush}, 0), slots.importFiles({lush}, 0)),
              "lush.fxp holds a CHORUS preset: it cannot go into a REVERB HALL slot, as each effect has its own "
              "presets.");
    writeBytes(folder.path / "short.fxp", std::vector<uint8_t>(20, 0));
    EXPECT_TRUE(slots.importFiles({folder.path / "short.fxp"}, 0).refused);
    preset.back() = 0;
    writeBytes(lush, preset);
    EXPECT_EQ(refused(slots.refusal(std::vector(5, lush), 0), slots.importFiles(std::vector(5, lush), 0)),
              "REVERB HALL has 4 empty slots left: 5 presets do not fit. Nothing was changed.");
    EXPECT_EQ(slots.refusal({lush}, 0, {kEmpty}), std::nullopt);
    for (int s = 4; s < kSlotCount; ++s)
        rig.state.presetDirectory[0][static_cast<std::size_t>(s)] = "85";
    EXPECT_EQ(slots.importFiles(std::vector(2, lush), 0).message,
              "REVERB HALL has 1 empty slot left: 2 presets do not fit. Nothing was changed.");
    rig.state.unitChanged = true;
    EXPECT_TRUE(slots.clear({kHall}).refused);
    rig.state.unitChanged = false;
    rig.state.LinkUp = false;
    EXPECT_TRUE(slots.clear({kHall}).refused);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(rig.editor.history().size(), 0u);
}

TEST(SlotNames, AnEffectIsItsNumberOrItsNameInAnyCaseAndASlotFollowsAColon)
{
    EXPECT_EQ(parseEffect("tap-delay"), 6);
    EXPECT_EQ(parseEffect("Vocal Echo"), 5);
    EXPECT_EQ(parseEffect("15"), 15);
    for (const char* wrong : {"16", "-1", "", "chorus:", "chorus:3", "chorus!"})
        EXPECT_EQ(parseEffect(wrong), std::nullopt) << wrong;
    EXPECT_EQ(parseSlotRef("tap-delay:3"), (SlotRef{6, 2}));
    EXPECT_EQ(parseSlotRef("vocal_echo:8"), (SlotRef{5, 7}));
    for (const char* wrong : {"chorus", "chorus:0", "chorus:9", "chorus::3", "7:3x"})
        EXPECT_EQ(parseSlotRef(wrong), std::nullopt) << wrong;
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
    {
        SCOPED_TRACE("a read before the first write");
        SlotsRig cut;
        cut.rig.unplugAfter(3, false);
        const SlotOutcome outcome = cut.slots.swap(kHall, kBigHall);
        EXPECT_EQ(outcome.message,
                  "\"Swap REVERB HALL 1 and 2\" stopped: the connection to the QRV5173 was lost. "
                  "Nothing was changed.");
        EXPECT_TRUE(cut.slots.stored(kHall) && cut.slots.stored(kBigHall)) << "what was not written is as it was";
        EXPECT_FALSE(cut.rig.editor.history().canUndo());
    }
    const std::vector<std::size_t> writeFrames = swapWriteFrames();
    ASSERT_GT(writeFrames.size(), 10u);
    {
        SCOPED_TRACE("another unit found after the cut");
        SlotsRig cut;
        cut.rig.unplugAfter(static_cast<int>(writeFrames[5]) + 1, false);
        cut.rig.link.setDeviceSearch([&rig = cut.rig] {
            rig.port.plugIn();
            rig.port.open("loopback");
            rig.state.LinkUp = rig.state.unitChanged = true;
            return true;
        });
        const SlotOutcome outcome = cut.slots.swap(kHall, kBigHall);
        EXPECT_EQ(outcome.end, TransferEnd::OtherUnit);
        EXPECT_NE(outcome.message.find("another unit answered"), std::string::npos) << outcome.message;
        EXPECT_FALSE(cut.slots.stored(kHall)) << "the slot being written counts as empty";
    }
    {
        SCOPED_TRACE("cancelled while HALL is written: it stops between slots");
        SlotsRig cut;
        cut.rig.host.cancelAtStep = static_cast<int>(writeFrames[1]);
        const SlotOutcome outcome = cut.slots.swap(kHall, kBigHall);
        EXPECT_TRUE(cut.rig.host.progress.back().cancellable);
        EXPECT_EQ(outcome.message,
                  "\"Swap REVERB HALL 1 and 2\" stopped: it was cancelled. REVERB HALL 1 was written. "
                  "The other slots are as they were.");
        EXPECT_EQ(slotOn(cut.rig.device, kHall), slotOn(cut.rig.device, kBigHall));
        cut.expectRecordsEqualUnit();
        cut.rig.host.cancelAtStep.reset();
        ASSERT_TRUE(cut.rig.editor.undo());
        EXPECT_EQ(differences(cut.factory, memoryOf(cut.rig.device)), std::vector<int>{});
    }
    for (std::size_t w = 0; w < writeFrames.size(); ++w)
        for (const bool comesBack : {false, true}) {
            SCOPED_TRACE("write " + std::to_string(w) + (comesBack ? ", found again" : ", unplugged"));
            SlotsRig cut;
            const SlotBackup hall = slotOn(cut.rig.device, kHall);
            const SlotBackup bigHall = slotOn(cut.rig.device, kBigHall);
            cut.rig.unplugAfter(static_cast<int>(writeFrames[w]) + 1, comesBack);
            // Where no undo is offered (the command line), the message names what a slot held.
            const bool undoOffered = w % 2 == 0;
            UnitSlots withoutUndo(cut.rig.editor, UnitSlots::Undo::None);
            const SlotOutcome outcome = (undoOffered ? cut.slots : withoutUndo).swap(kHall, kBigHall);
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
                } else {
                    const std::string held = at == kHall ? "HALL" : "BIG HALL";
                    EXPECT_NE(outcome.message.find("REVERB HALL " + std::to_string(at.slot + 1) + " now counts as empty; " +
                                                   (undoOffered ? "undo puts it back." : "it held " + held + " before.")),
                              std::string::npos)
                        << outcome.message;
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
