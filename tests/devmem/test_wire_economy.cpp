// Every operation that reads by block or skips writes the unit holds runs both ways, and the
// unit and the editor come out byte for byte as the byte-by-byte order leaves them.
#include "../startup/ExpectedDump.hpp"
#include "../startup/StartUpRig.hpp"
#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "app/AutoBackup.hpp"
#include "app/DeviceBackup.hpp"
#include "backupfile/BackupFile.hpp"
#include "app/StartUp.hpp"
#include "devmem/Backup.hpp"
#include "devmem/MemoryDump.hpp"
#include "devmem/PresetDialogs.hpp"
#include "devmem/UnitReading.hpp"
#include "link/LiveRows.hpp"
#include "state/CodePage.hpp"
#include "storage/FileCodec.hpp"
#include "storage/PresetFiles.hpp"
#include "storage/Reload.hpp"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace qrv::test {
namespace {

using Fault = DeviceModel::BlockFault;

// What an operation leaves: the unit's memory and everything the editor would save or show.
struct Outcome {
    std::vector<uint8_t> memory, project; // the project is the file "Save Project To PC" writes
    std::tuple<uint8_t, int16_t, ParameterTable, ParameterTable, decltype(ProgramState::presetNames),
               decltype(ProgramState::presetDirectory), decltype(ProgramState::presetSlotNumbers)>
        editor;

    template <class Rig> static Outcome of(Rig& rig)
    {
        ParameterTable rows = rig.state.store;
        for (int e = 0; e < kEffectCount; ++e)
            rows.at(e, kRowSize - 1) = static_cast<uint8_t>(e);
        const ProgramState& s = rig.state;
        return {{rig.device.memory().begin(), rig.device.memory().end()},
                encodeProject(rows),
                {rig.device.effectSwitch(), s.currentEffect, s.startConfig, s.deviceCopy, s.presetNames,
                 s.presetDirectory, s.presetSlotNumbers}};
    }
};

void expectSame(const Outcome& fast, const Outcome& exact)
{
    EXPECT_TRUE(fast.memory == exact.memory) << "the unit's memory differs";
    EXPECT_TRUE(fast.project == exact.project) << "the saved project differs";
    EXPECT_TRUE(fast.editor == exact.editor) << "the editor's tables differ";
}

// The factory unit with bytes past the counted columns that only a block sees.
void prepareUnit(DeviceModel& device, uint8_t current)
{
    device.poke(Addr::CurrentEffect, current);
    for (int e = 0; e < kEffectCount; ++e)
        device.poke(Addr::live(e, kDeviceColumns - 1), static_cast<uint8_t>(e % 2));
}

struct StartUp {
    Outcome outcome;
    std::size_t editable = 0, exchanges = 0, blocks = 0;
    std::vector<std::string> logs;
    std::vector<std::vector<uint8_t>> firstFrames;
};

// Runs the reading the start-up left until every piece is confirmed.
template <class Rig> void finishReading(Rig& rig)
{
    for (int step = 0; step < 5000; ++step) {
        const auto done = rig.program.reading.backgroundStep([] { return false; });
        if (done == UnitReading::Step::Done)
            return;
        ASSERT_EQ(done, UnitReading::Step::Progressed);
    }
    FAIL() << "the background reading never ended";
}

// On the Chorus, or on the Room, whose row a faulty block read passes off as the Hall's
// without a value out of the Hall's ranges. Outside the exact order the reading the start-up
// leaves runs to its end.
StartUp startUp(bool exact, Fault fault = Fault::None, uint8_t current = 7)
{
    TempFolder folder;
    StartUpRig rig(exact);
    rig.deviceOnPortSeven();
    rig.names = {{1, "qrv"}};
    prepareUnit(rig.device, current);
    rig.device.setBlockFault(fault);
    rig.state.programFolder = folder.path;
    mainWindowLoad(rig.program);
    EXPECT_TRUE(rig.host.boxes.empty());
    StartUp result;
    result.editable = rig.exchanges().size();
    for (const auto& sent : rig.exchanges())
        result.firstFrames.push_back(sent.bytes);
    if (!exact)
        finishReading(rig);
    result.outcome = Outcome::of(rig);
    result.exchanges = rig.exchanges().size();
    result.blocks = rig.framesWith(Cmd::ReadEffectBlock);
    result.logs = rig.host.logs;
    return result;
}

TEST(WireEconomy, StartUpIsEditableAfterThreeReadsAndTheBackgroundLeavesWhatTheExactOrderLeaves)
{
    const StartUp exact = startUp(true);
    const StartUp fast = startUp(false);
    // The current effect, the switch and that effect's row: the page needs nothing else.
    ASSERT_EQ(fast.editable, static_cast<std::size_t>(kFirstReads));
    const auto frame = [](const Frame& f) { return std::vector<uint8_t>(f.begin(), f.end()); };
    EXPECT_EQ(fast.firstFrames[0], frame(makeFrame(Cmd::ReadByte, 0, Addr::CurrentEffect, 0, 0, 0, 0)));
    EXPECT_EQ(fast.firstFrames[1].at(2), Cmd::ReadSwitch);
    EXPECT_EQ(fast.firstFrames[2], frame(makeFrame(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 7)));
    expectSame(fast.outcome, exact.outcome);
    // Every piece read twice, rows by block: about what the exact order reads once.
    EXPECT_LT(fast.exchanges, exact.exchanges + kEffectCount) << fast.exchanges << " vs " << exact.exchanges;
    EXPECT_TRUE(fast.logs.empty());
}

TEST(WireEconomy, AUnitWhoseBlockReadFallsShortIsReadByteByByteAndSaysSo)
{
    const StartUp exact = startUp(true, Fault::None, 1);
    for (const Fault fault : {Fault::IgnoresEffect, Fault::CurrentOnly}) {
        const StartUp fast = startUp(false, fault, 1);
        SCOPED_TRACE(static_cast<int>(fault));
        expectSame(fast.outcome, exact.outcome);
        ASSERT_EQ(fast.logs.size(), 1u);
        EXPECT_NE(fast.logs[0].find("byte by byte for the rest of the session"), std::string::npos);
        // The current effect's row, then found out at the first other effect.
        EXPECT_EQ(fast.blocks, 2u);
    }
}

// A fast start-up on the Chorus, its reading left to the test.
struct FastStart {
    TempFolder folder;
    StartUpRig rig{false};
    FastStart()
    {
        rig.deviceOnPortSeven();
        rig.names = {{1, "qrv"}};
        prepareUnit(rig.device, 7);
        rig.state.programFolder = folder.path;
        mainWindowLoad(rig.program);
    }
    std::vector<std::vector<uint8_t>> framesFrom(std::size_t first) const
    {
        std::vector<std::vector<uint8_t>> frames;
        const auto all = rig.exchanges();
        for (std::size_t i = first; i < all.size(); ++i)
            frames.push_back(all[i].bytes);
        return frames;
    }
};

bool readsAddress(const std::vector<uint8_t>& frame, uint16_t address)
{
    return frame.at(2) == Cmd::ReadByte && frame.at(3) == (address >> 8) && frame.at(4) == (address & 0xFF);
}

// Wherever the user acts during the background reading, between two of its exchanges (a block, a
// name, a directory byte, a stored-preset byte, a confirmation), the edit is the next frame
// out; the piece that was stopped is read again, and the end is the exact order's but for the edit.
TEST(WireEconomy, AnEditMadeDuringTheBackgroundReadingGoesOutNextAndTheReadingStillEndsRight)
{
    const StartUp exact = startUp(true);
    const PageParameter& decay = catalogue::pageOfEffect(7).parameters.front();
    for (std::size_t at = 1; at < 600; at += 23) {
        SCOPED_TRACE(at);
        FastStart fast;
        StartUpRig& rig = fast.rig;
        const std::size_t stopAt = rig.exchanges().size() + at;
        UnitReading::Step step = UnitReading::Step::Progressed;
        while (step == UnitReading::Step::Progressed)
            step = rig.program.reading.backgroundStep([&] { return rig.exchanges().size() >= stopAt; });
        if (step == UnitReading::Step::Done)
            break; // past the end of the reading
        ASSERT_EQ(rig.exchanges().size(), stopAt) << "the reading went on after the user asked";
        const uint8_t value = static_cast<uint8_t>(rig.state.store.at(7, decay.column) ^ 1);
        rig.program.editor.storeAndSend(decay.column, value);
        const auto after = fast.framesFrom(stopAt);
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(after.front().at(2), Cmd::SetParameter);
        finishReading(rig);
        rig.state.store.at(7, decay.column) ^= 1; // as if the edit had not been made
        rig.device.poke(Addr::live(7, decay.column), rig.state.store.at(7, decay.column));
        expectSame(Outcome::of(rig), exact.outcome);
    }
}

// A first read that a damaged line turned into another believable value (an erased slot, another
// letter of a name) is put right by the second read before the editor counts it as the unit's.
TEST(WireEconomy, TheBackgroundReadingPutsRightABelievableDamagedFirstRead)
{
    TempFolder folder;
    StartUpRig rig(false);
    rig.deviceOnPortSeven();
    rig.state.programFolder = folder.path;
    ASSERT_EQ(rig.device.peek(Addr::directory(5, 0)), Addr::SlotUsed);
    std::set<uint8_t> damaged;
    rig.damage = [&](std::span<const uint8_t> request, std::vector<uint8_t>& reply) {
        const bool directory = request[2] == Cmd::ReadByte && request[3] == (Addr::directory(5, 0) >> 8) &&
            request[4] == (Addr::directory(5, 0) & 0xFF);
        const bool name = request[2] == Cmd::ReadName && request[7] == 5 && request[8] == 1;
        if ((directory || name) && damaged.insert(request[2]).second)
            reply[directory ? 6 : 0] = directory ? Addr::SlotErased : static_cast<uint8_t>(reply[0] ^ 1);
    };
    mainWindowLoad(rig.program);
    finishReading(rig);
    EXPECT_EQ(damaged.size(), 2u);
    EXPECT_EQ(rig.state.presetDirectory[5][0], std::to_string(Addr::SlotUsed));
    std::string name;
    for (int k = 0; k < Addr::NameLength; ++k)
        name += static_cast<char>(rig.device.peek(Addr::name(5, 1, k)));
    EXPECT_EQ(rig.state.presetNames[5][1], latin1ToUtf8(name));
}

// A selection and a preset dialog before their pieces are read read exactly those first.
TEST(WireEconomy, WhatTheUserOpensBeforeTheBackgroundReachesItIsReadFirstAndOnlyThat)
{
    const std::vector<uint8_t> exactProject = startUp(true).outcome.project;
    {
        // A project saved at once holds every row as the exact start-up reads it.
        FastStart early;
        const auto file = early.folder.path / "early.prj";
        early.rig.host.choosePath(file);
        SaveProjectFile(early.rig.program.editor);
        EXPECT_EQ(readBytes(file), exactProject);
    }
    FastStart fast;
    StartUpRig& rig = fast.rig;
    Editor& editor = rig.program.editor;
    const std::size_t before = rig.exchanges().size();
    rig.form.Combo1.index = 3;
    editor.effectListClick();
    const auto frames = fast.framesFrom(before);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), std::vector<uint8_t>({0xF0, 0x9C, Cmd::SelectEffect, 0, 0, 0, 0, 0, 3, 0xF7}));
    EXPECT_TRUE(rig.state.known.presetsRead(3));
    EXPECT_EQ(rig.state.known.storedEffect(), 3);
    EXPECT_FALSE(rig.state.known.rowRead(5));
    for (const auto& frame : frames)
        for (int e : {5, 7})
            for (int slot = 0; slot < kSlotCount; ++slot)
                EXPECT_FALSE(readsAddress(frame, Addr::directory(e, slot))) << "effect " << e;
    EXPECT_NE(rig.form.Label2.caption, "");

    // The store dialog of effect 3 finds its names read; Compare reads nothing more either.
    const std::size_t opened = rig.exchanges().size();
    StoreDialog store(editor);
    store.load();
    EXPECT_TRUE(store.form.open);
    EXPECT_EQ(rig.exchanges().size(), opened);

    // Back on the Chorus, whose presets the start-up left unread, the selection reads them.
    rig.form.Combo1.index = 7;
    editor.effectListClick();
    EXPECT_TRUE(rig.state.known.presetsRead(7));
    EXPECT_FALSE(rig.state.known.presetsRead(5));

}

// A project saved from the unit, then changed in one effect: a byte outside its control's
// range on the Reverb (the refresh brings it in range and sends it) and two on the Phaser.
std::vector<uint8_t> projectFromUnit(const DeviceModel& device, bool changed)
{
    ParameterTable rows;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            rows.at(e, c) = device.peek(Addr::live(e, c));
    if (changed) {
        const PageParameter& first = catalogue::pageOfEffect(0).parameters.front();
        rows.at(0, first.column) = static_cast<uint8_t>(first.maximum + 5);
        rows.at(9, 1) = static_cast<uint8_t>(rows.at(9, 1) ^ 1);
        rows.at(9, 2) = static_cast<uint8_t>(rows.at(9, 2) ^ 1);
    }
    for (int e = 0; e < kEffectCount; ++e)
        rows.at(e, kRowSize - 1) = static_cast<uint8_t>(e);
    return encodeProject(rows);
}

struct Load {
    Outcome outcome;
    std::size_t writes = 0, sets = 0;
    bool unitMayDiffer = false;
};

Load loadProject(bool exact, bool changed, bool reload = false, std::optional<int> cancelAt = {})
{
    TempFolder folder;
    EditorRig rig(exact);
    rig.emptyDirectory();
    rig.state.programFolder = folder.path;
    const auto file = folder.path / "unit.prj";
    writeBytes(file, projectFromUnit(rig.device, changed));
    rig.host.cancelAtStep = cancelAt;
    LoadProjectFile(rig.editor, file);
    if (reload) {
        // An edit of the Reverb, then Reload Current Effect.
        const PageParameter& second = catalogue::pageOfEffect(0).parameters[1];
        rig.state.startConfig.at(0, second.column) =
            static_cast<uint8_t>(rig.state.startConfig.at(0, second.column) ^ 1);
        rig.port.clearLog();
        rig.host.answer(true);
        ReloadCurrentEffect(rig.editor);
    }
    return {Outcome::of(rig), rig.frames(Cmd::WriteByte).size(), rig.frames(Cmd::SetParameter).size(),
            rig.state.unitMayDiffer};
}

TEST(WireEconomy, AProjectLoadAndAReloadSendOnlyWhatTheUnitLacksAndLeaveWhatTheExactOrderLeaves)
{
    const Load exact = loadProject(true, true);
    const Load fast = loadProject(false, true);
    expectSame(fast.outcome, exact.outcome);
    EXPECT_EQ(exact.writes, 512u);
    EXPECT_EQ(fast.writes, 3u);
    // Only the Reverb byte the refresh brought into range goes out again.
    EXPECT_EQ(fast.sets, 1u);

    // Cancelled while the unit is read: nothing written, and the editor knows the unit may differ.
    const Load cut = loadProject(false, true, false, 5);
    EXPECT_EQ(cut.writes, 0u);
    EXPECT_TRUE(cut.unitMayDiffer && !fast.unitMayDiffer);

    const Load same = loadProject(false, false);
    EXPECT_EQ(same.writes + same.sets, 0u);
    expectSame(same.outcome, loadProject(true, false).outcome);

    const Load exactReload = loadProject(true, false, true), fastReload = loadProject(false, false, true);
    expectSame(fastReload.outcome, exactReload.outcome);
    EXPECT_GT(exactReload.sets, 10u);
    EXPECT_EQ(fastReload.sets, 1u);
}

// A unit differing from the backup's in one stored preset's data, one name and one live byte.
Outcome restore(bool exact, bool sameUnit, Fault fault, std::size_t& writes)
{
    EditorRig source;
    source.device.poke(Addr::CurrentEffect, 3);
    const BackupResult backup = readUnit(source.editor);
    EXPECT_EQ(backup.end, TransferEnd::Done);
    EditorRig target(exact);
    target.device.setBlockFault(fault);
    target.emptyDirectory();
    if (!sameUnit) {
        target.device.poke(Addr::stored(2, 1, 4), 99);
        target.device.poke(Addr::name(5, 7, 0), 'X');
        target.device.poke(Addr::live(11, 3), 1);
        target.device.poke(Addr::directory(4, 6), Addr::SlotUsed);
    }
    const RestoreResult result = writeUnit(target.editor, backup.unit, {});
    EXPECT_TRUE(result.end == TransferEnd::Done && result.differences.empty());
    writes = target.frames(Cmd::WriteByte).size();
    adoptRestoredUnit(target.editor, result.readBack, {});
    return Outcome::of(target);
}

TEST(WireEconomy, ARestoreSkipsWhatTheUnitHoldsAndLeavesWhatTheExactOrderLeaves)
{
    std::size_t exactWrites = 0, fastWrites = 0, sameWrites = 0, faultWrites = 0;
    const auto exact = restore(true, false, Fault::None, exactWrites);
    expectSame(restore(false, false, Fault::None, fastWrites), exact);
    EXPECT_GT(exactWrites, 2000u);
    // The changed data byte goes out between its slot's directory bytes; a changed name tells
    // another preset, whose data is written unread; the live byte and the stray directory alone.
    EXPECT_EQ(fastWrites, 3u + (3u + kDeviceColumns) + 1u + 1u);
    expectSame(restore(false, false, Fault::IgnoresEffect, faultWrites), exact);
    EXPECT_EQ(faultWrites, fastWrites);
    restore(false, true, Fault::None, sameWrites);
    EXPECT_EQ(sameWrites, 0u);
}

} // namespace
} // namespace qrv::test

namespace qrv::test {
namespace {

constexpr std::time_t kNow = 1'800'000'000;

// A fast start-up whose automatic backups go to a folder of their own.
struct BackedUp : FastStart {
    TempFolder backups;
    BackedUp() { rig.program.autoBackup.setFolder(backups.path); }
    // Runs the background until the user waits or nothing is left.
    UnitReading::Step run(const std::function<bool()>& userWaiting = [] { return false; })
    {
        auto step = UnitReading::Step::Progressed;
        while (step == UnitReading::Step::Progressed)
            step = rig.program.autoBackup.step(userWaiting, kNow);
        return step;
    }
    std::size_t storedReads() const
    {
        std::size_t n = 0;
        for (const auto& frame : framesFrom(0))
            for (int e = 0; e < kEffectCount; ++e)
                n += e != 7 && readsAddress(frame, Addr::stored(e, 0, 0));
        return n;
    }
};

// Stopped anywhere (a whole row, a slot's byte, its confirmation, the last look at the unit), the
// edit goes out next; at the end the file holds what the Back Up command reads of the unit.
TEST(AutoBackup, TheAutomaticBackupIsWhatBackUpReadsWhereverAnEditStopsIt)
{
    std::size_t length = 0;
    for (const double at : {0.0, 0.002, 0.3, 0.7, 0.999}) {
        SCOPED_TRACE(at);
        BackedUp fast;
        StartUpRig& rig = fast.rig;
        finishReading(rig);
        const std::size_t start = rig.exchanges().size();
        if (at > 0) {
            const std::size_t stopAt = start + std::max<std::size_t>(1, static_cast<std::size_t>(at * length));
            ASSERT_EQ(fast.run([&] { return rig.exchanges().size() >= stopAt; }), UnitReading::Step::Stopped);
            ASSERT_EQ(rig.exchanges().size(), stopAt);
            const PageParameter& decay = catalogue::pageOfEffect(7).parameters.front();
            rig.program.editor.storeAndSend(decay.column, static_cast<uint8_t>(rig.state.store.at(7, decay.column) ^ 1));
            EXPECT_EQ(fast.framesFrom(stopAt).at(0).at(2), Cmd::SetParameter);
        }
        ASSERT_EQ(fast.run(), UnitReading::Step::Done);
        length = std::max(length, rig.exchanges().size() - start);
        const auto& written = rig.program.autoBackup.written();
        ASSERT_TRUE(written.has_value());
        const DecodedBackup file = readBackupFile(*written);
        ASSERT_TRUE(file.unit.has_value()) << file.problem;
        EXPECT_EQ(written->filename(), autoBackupName(unitKey(*file.unit), kNow));
        const BackupResult command = readUnit(rig.program.editor);
        ASSERT_EQ(command.end, TransferEnd::Done);
        EXPECT_TRUE(*file.unit == command.unit) << "the automatic backup differs from Back Up's";
    }
    // A window timer that wants the core every seventh exchange does not keep it from its end.
    BackedUp ticking;
    std::size_t next = 7, rounds = 0;
    const auto tick = [&] {
        const std::size_t now = ticking.rig.exchanges().size();
        return now >= next && (next = now + 7);
    };
    while (ticking.run(tick) != UnitReading::Step::Done)
        ASSERT_LT(++rounds, 3000u) << "a part of the backup starts over at every tick";
    EXPECT_TRUE(ticking.rig.program.autoBackup.written().has_value());
}

// A unit backed up within the day is not read again; an older backup gets a new one, and of the
// unit's backups the ten newest stay, with every pinned one and other units' backups.
TEST(AutoBackup, ADayOldBackupIsRenewedTenPerUnitStayWithThePinnedAndAFreshOneIsNotReadAgain)
{
    std::size_t withoutBackup = 0;
    {
        BackedUp off;
        off.rig.program.autoBackup.setEnabled(false);
        off.run();
        withoutBackup = off.storedReads();
    }
    BackedUp fast;
    finishReading(fast.rig);
    const UnitBackup held = fast.rig.program.reading.held();
    const std::string key = unitKey(held);
    const auto place = [&](const std::string& unit, std::time_t made, const BackedUp& in) {
        const auto file = in.backups.path / autoBackupName(unit, made);
        EXPECT_FALSE(writeBackupFile(file, held).has_value());
        return file;
    };
    const auto other = place("0badcafe", kNow - 40 * kBackupFreshSeconds, fast);
    std::filesystem::path oldest;
    for (int day = 1; day <= 12; ++day)
        oldest = place(key, kNow - day * kBackupFreshSeconds, fast);
    ASSERT_FALSE(setPinned(oldest, true).has_value());
    ASSERT_EQ(fast.run(), UnitReading::Step::Done);
    EXPECT_GT(fast.storedReads(), withoutBackup);
    const auto entries = listBackups(fast.backups.path);
    ASSERT_EQ(entries.size(), 1u + kAutoBackupsKept + 1u);
    EXPECT_EQ(entries.front().file, *fast.rig.program.autoBackup.written());
    EXPECT_EQ(entries[kAutoBackupsKept - 1].made, kNow - (kAutoBackupsKept - 1) * kBackupFreshSeconds);
    EXPECT_TRUE(entries[kAutoBackupsKept].pinned);
    EXPECT_EQ(entries.back().file, other);

    // What the history shows: a slot whose data or name differs from the unit's counts once.
    UnitBackup changed = *readBackupFile(entries.front().file).unit;
    const UnitBackup now = fast.rig.program.reading.held();
    EXPECT_EQ(presetsDiffering(changed, now, fast.rig.state.known), 0);
    changed.effects[5].presets[0].data[3] ^= 1;
    changed.effects[5].presets[0].name[0] ^= 1;
    changed.effects[6].presets[1].directory = Addr::SlotErased;
    EXPECT_EQ(presetsDiffering(changed, now, fast.rig.state.known), 2);

    BackedUp fresh;
    finishReading(fresh.rig);
    place(key, kNow - kBackupFreshSeconds + 60, fresh);
    ASSERT_EQ(fresh.run(), UnitReading::Step::Done);
    EXPECT_EQ(fresh.storedReads(), withoutBackup);
    EXPECT_FALSE(fresh.rig.program.autoBackup.written().has_value());
}

// Another unit, or the same one changed, behind the link after its pieces were read: no file.
TEST(AutoBackup, NothingIsWrittenWhenTheUnitNoLongerShowsWhatWasRead)
{
    BackedUp fast;
    StartUpRig& rig = fast.rig;
    fast.run([&] { return rig.state.known.backupPieces(UnitKnowledge::Depth::Confirmed); });
    rig.device.poke(Addr::directory(7, 2), rig.device.peek(Addr::directory(7, 2)) ^ 0xAA);
    ASSERT_EQ(fast.run(), UnitReading::Step::Done);
    EXPECT_FALSE(rig.program.autoBackup.written().has_value());
    EXPECT_TRUE(std::filesystem::is_empty(fast.backups.path));
    ASSERT_FALSE(rig.host.logs.empty());
    EXPECT_NE(rig.host.logs.back().find(kAnotherUnitText), std::string::npos);
}

} // namespace
} // namespace qrv::test
