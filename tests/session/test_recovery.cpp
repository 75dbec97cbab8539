#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "app/Exit.hpp"
#include "devmem/MemoryDump.hpp"
#include "storage/Recovery.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMadeAt = 1765000000; // 6 December 2025
constexpr int64_t kLater = kMadeAt + 3600;

void moveSlider(EditorRig& rig, int page, int index, int value)
{
    const PageInfo& p = *catalogue::pageByElement(page);
    rig.editor.setControl(p, *catalogue::parameter(p, index), value);
    rig.editor.sliderEvent(page, index);
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// An editor started on a unit, armed, with CHORUS Depth and two PITCH SHIFTER values
// edited (the pitch shifter shown last), its recovery file written at kMadeAt.
void editAndCrash(const fs::path& folder, const std::function<void(DeviceModel&)>& unit = {})
{
    EditorRig first;
    if (unit)
        unit(first.device);
    ASSERT_TRUE(DumpDeviceMemory(first.editor, first.program.splash));
    first.program.recovery.setFolder(folder);
    first.program.recovery.arm();
    first.select(7);
    moveSlider(first, 7, 0, 12);
    first.select(15);
    moveSlider(first, 15, 0, 60);
    first.form.Combo2.at(28).index = 17;
    first.editor.passFilterClick(28);
    first.program.recovery.tick(first.state, kMadeAt);
    first.program.recovery.flush();
    ASSERT_TRUE(fs::exists(first.program.recovery.file()));
} // ends without Exit

// An editor started on a fresh unit, armed, its frames forgotten.
struct NextStart {
    EditorRig rig;
    ParameterTable unitBefore;
    explicit NextStart(const fs::path& folder, const std::function<void(DeviceModel&)>& unit = {})
    {
        if (unit)
            unit(rig.device);
        EXPECT_TRUE(DumpDeviceMemory(rig.editor, rig.program.splash));
        rig.program.recovery.setFolder(folder);
        rig.program.recovery.arm();
        for (int e = 0; e < kEffectCount; ++e)
            for (int c = 0; c < kDeviceColumns; ++c)
                unitBefore.at(e, c) = rig.live(e, c);
        rig.port.clearLog();
    }
};

TEST(Recovery, TheFileKeepsBaselineEditsAndUnitAndTellsDamageFromANewerFormat)
{
    EditorRig rig;
    rig.select(7);
    moveSlider(rig, 7, 0, 12);
    rig.state.presetNames[7][2] = "MY CHO";
    rig.state.presetSlotNumbers[7] = "2";
    const RecoveryImage image = captureRecovery(rig.state, kMadeAt);
    EXPECT_EQ(image.editedColumns(), (std::vector<std::pair<int, int>>{{7, 0}}));
    EXPECT_NE(image.unit, 0u);
    const std::vector<uint8_t> bytes = encodeRecovery(image);
    const RecoveryRead read = decodeRecovery(bytes);
    ASSERT_EQ(read.kind, RecoveryRead::Kind::Sound);
    EXPECT_EQ(*read.image, image);

    for (std::size_t at : {std::size_t{3}, std::size_t{12}, std::size_t{30}, bytes.size() / 2, bytes.size() - 1}) {
        auto damaged = bytes;
        damaged[at] ^= 0x40;
        EXPECT_EQ(decodeRecovery(damaged).kind, RecoveryRead::Kind::Unreadable) << at;
    }
    EXPECT_EQ(decodeRecovery(std::span(bytes).first(bytes.size() - 5)).kind, RecoveryRead::Kind::Unreadable);
    EXPECT_EQ(decodeRecovery({}).kind, RecoveryRead::Kind::Unreadable);
    auto newer = bytes;
    newer[8] = kRecoveryVersion + 1;
    const RecoveryRead later = decodeRecovery(newer);
    EXPECT_EQ(later.kind, RecoveryRead::Kind::Newer);
    EXPECT_TRUE(contains(later.problem, "format " + std::to_string(kRecoveryVersion + 1)));

    // Another unit's names give another fingerprint; demo mode knows none.
    rig.state.presetNames[3][0] = "OTHER";
    EXPECT_NE(unitFingerprint(rig.state), image.unit);
    rig.state.DemoMode = true;
    EXPECT_EQ(unitFingerprint(rig.state), 0u);

    EXPECT_EQ(recoveryTimeText(kMadeAt, kLater).substr(0, 3), "on ");
    EXPECT_TRUE(contains(recoveryTimeText(kMadeAt, kLater), "2025 at "));
    EXPECT_TRUE(contains(recoveryTimeText(int64_t{1} << 52, kLater), "unknown time"));
    EXPECT_TRUE(contains(recoveryTimeText(-5, kLater), "unknown time"));
}

TEST(Recovery, WrittenAfterAnEditRetriedAfterAFailedWriteRemovedWhenTheEditsAreGoneOrTheUserExits)
{
    EditorRig rig;
    TempFolder dir;
    RecoveryKeeper& keeper = rig.program.recovery;
    keeper.setFolder(dir.path / "app data");
    rig.select(10);
    keeper.arm();
    keeper.tick(rig.state, 100);
    keeper.flush();
    EXPECT_FALSE(fs::exists(keeper.file())) << "no edits, no file";

    const uint8_t old = rig.stored(0);
    moveSlider(rig, 10, 0, old == 50 ? 51 : 50);
    {
        const FullDisk full;
        keeper.tick(rig.state, 150);
        keeper.flush();
    }
    EXPECT_FALSE(fs::exists(keeper.file()));
    EXPECT_FALSE(keeper.problem().empty());
    keeper.tick(rig.state, 200); // room again: the same edits are kept now
    keeper.flush();
    EXPECT_TRUE(keeper.problem().empty());
    ASSERT_EQ(keeper.leftBehind().kind, RecoveryRead::Kind::Sound);
    EXPECT_EQ(keeper.leftBehind().image->store, rig.state.store);
    EXPECT_EQ(keeper.leftBehind().image->madeAt, 200);
    EXPECT_EQ((fs::status(keeper.file()).permissions() & fs::perms::all),
              fs::perms::owner_read | fs::perms::owner_write);

    rig.editor.undo();
    keeper.tick(rig.state, 300);
    keeper.flush();
    EXPECT_FALSE(fs::exists(keeper.file())) << "back where it started";

    rig.editor.redo();
    keeper.tick(rig.state, 400);
    keeper.flush();
    ASSERT_TRUE(fs::exists(keeper.file()));
    rig.host.answer(false); // No to Exit: the edits stay safe
    mainWindowCloseRequest(rig.program);
    EXPECT_TRUE(fs::exists(keeper.file()));
    rig.host.answer(true);
    EXPECT_THROW(mainWindowCloseRequest(rig.program), ProgramEnded);
    EXPECT_FALSE(fs::exists(keeper.file()));
    keeper.tick(rig.state, 500);
    keeper.flush();
    EXPECT_FALSE(fs::exists(keeper.file()));
}

// The window's thread never waits for the disk: a write the disk holds up lets the ticks
// return, the snapshots asked for meanwhile give way to the newest, and that one lands.
TEST(Recovery, ADiskThatHoldsUpTheWriteHoldsUpNoTickAndTheNewestEditsLand)
{
    EditorRig rig;
    TempFolder dir;
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    bool tickWaited = false;
    int writes = 0;
    RecoveryKeeper keeper([&](const fs::path& path, std::span<const uint8_t> bytes, WriteOptions options) {
        std::unique_lock lock(mutex);
        ++writes;
        changed.notify_all();
        // Bounded, so that a tick that waits for the disk fails the test instead of hanging it.
        tickWaited = tickWaited || !changed.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
        return writeFileAtomically(path, bytes, options);
    });
    keeper.setFolder(dir.path);
    rig.select(10);
    keeper.arm();
    const int first = rig.stored(0) < 50 ? 60 : 10;
    for (int value = first; value < first + 4; ++value) {
        moveSlider(rig, 10, 0, value);
        keeper.tick(rig.state, value);
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return writes > 0; }));
        EXPECT_FALSE(released);
    }
    {
        const std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    keeper.flush();
    EXPECT_FALSE(tickWaited);
    EXPECT_EQ(writes, 2) << "the first write and the newest";
    ASSERT_EQ(keeper.leftBehind().kind, RecoveryRead::Kind::Sound);
    EXPECT_EQ(keeper.leftBehind().image->store, rig.state.store);
    EXPECT_EQ(keeper.leftBehind().image->madeAt, first + 3);
}

TEST(Recovery, YesSendsExactlyTheEditedColumnsAndTheBoxSaysWhichAndNoLeavesTheUnit)
{
    TempFolder dir;
    editAndCrash(dir.path);

    NextStart declined(dir.path);
    declined.rig.host.answer(false);
    const ParameterTable before = declined.rig.state.store;
    EXPECT_FALSE(offerRecovery(declined.rig.editor, declined.rig.program.recovery, kLater));
    EXPECT_EQ(declined.rig.state.store, before);
    EXPECT_TRUE(declined.rig.port.sent().empty());
    EXPECT_FALSE(fs::exists(declined.rig.program.recovery.file()));

    editAndCrash(dir.path);
    NextStart next(dir.path);
    const ParameterTable start = next.rig.state.store;
    next.rig.host.answer(true);
    EXPECT_TRUE(offerRecovery(next.rig.editor, next.rig.program.recovery, kLater));
    ASSERT_EQ(next.rig.host.boxes.size(), 1u);
    const auto& box = next.rig.host.boxes[0];
    EXPECT_EQ(box.title, "Restore unsaved edits");
    EXPECT_TRUE(contains(box.text, recoveryTimeText(kMadeAt, kLater))) << box.text;
    EXPECT_TRUE(contains(box.text, "Yes sends 3 edited values of CHORUS and PITCH SHIFTER to the unit: CHORUS "))
        << box.text;
    EXPECT_TRUE(contains(box.text, "No leaves the unit as it is")) << box.text;
    EXPECT_FALSE(contains(box.text, "another unit")) << box.text;

    // The store and the unit differ from the start exactly in the three edited columns.
    std::vector<std::pair<int, int>> changedStore, changedUnit;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c) {
            if (next.rig.state.store.at(e, c) != start.at(e, c))
                changedStore.emplace_back(e, c);
            if (next.rig.live(e, c) != next.unitBefore.at(e, c))
                changedUnit.emplace_back(e, c);
            ASSERT_EQ(next.rig.live(e, c), next.rig.state.store.at(e, c)) << e << " " << c;
        }
    EXPECT_EQ(changedStore.size(), 3u);
    EXPECT_EQ(changedUnit, changedStore);
    EXPECT_EQ(next.rig.state.currentEffect, 15);
    // CHORUS by one write into its live memory; the pitch shifter, shown, by one parameter
    // frame per edited column and no other.
    EXPECT_EQ(next.rig.memoryWrites(),
              (std::vector<std::pair<int, int>>{
                  {Addr::live(7, changedStore[0].second), next.rig.state.store.at(7, changedStore[0].second)}}));
    std::vector<std::pair<int, int>> pitchEdits;
    for (const auto& [e, c] : changedStore)
        if (e == 15)
            pitchEdits.emplace_back(c, next.rig.state.store.at(e, c));
    EXPECT_EQ(next.rig.parameterWrites(), pitchEdits);

    // A unit that still holds the edits (the editor was killed, the unit was not): told,
    // nothing sent.
    next.rig.program.recovery.tick(next.rig.state, kLater);
    next.rig.program.recovery.flush();
    const ParameterTable edited = next.rig.state.store;
    NextStart holding(dir.path, [&](DeviceModel& unit) {
        for (int e = 0; e < kEffectCount; ++e)
            for (int c = 0; c < kDeviceColumns; ++c)
                unit.poke(Addr::live(e, c), edited.at(e, c));
    });
    EXPECT_FALSE(offerRecovery(holding.rig.editor, holding.rig.program.recovery, kLater));
    ASSERT_EQ(holding.rig.host.boxes.size(), 1u);
    EXPECT_TRUE(contains(holding.rig.host.boxes[0].text, "The unit still holds all 3 edited values"))
        << holding.rig.host.boxes[0].text;
    EXPECT_TRUE(holding.rig.port.sent().empty());
    EXPECT_FALSE(fs::exists(holding.rig.program.recovery.file()));
}

TEST(Recovery, EditsMadeOnUnitAOfferedOnUnitBSayItAndChangeOnlyTheEditedBytes)
{
    TempFolder dir;
    // Unit A has a stored CHORUS preset; unit B has other live values everywhere.
    editAndCrash(dir.path, [](DeviceModel& a) {
        a.poke(Addr::directory(7, 0), Addr::SlotUsed);
        for (int k = 0; k < 8; ++k)
            a.poke(Addr::name(7, 0, k), static_cast<uint8_t>("UNIT A  "[k]));
    });
    NextStart b(dir.path, [](DeviceModel& unit) {
        for (int e = 0; e < kEffectCount; ++e)
            for (int c = 0; c < 22; ++c)
                unit.poke(Addr::live(e, c), static_cast<uint8_t>((e + c) % 2));
    });
    b.rig.host.answer(true);
    EXPECT_TRUE(offerRecovery(b.rig.editor, b.rig.program.recovery, kLater));
    EXPECT_TRUE(contains(b.rig.host.boxes.at(0).text, "They were made on another unit")) << b.rig.host.boxes[0].text;
    int changed = 0;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            changed += b.rig.live(e, c) != b.unitBefore.at(e, c) ? 1 : 0;
    EXPECT_EQ(changed, 3);
}

TEST(Recovery, ADamagedFileIsMovedAsideANewerOneIsLeftAndNeitherIsOffered)
{
    TempFolder dir;
    EditorRig rig;
    RecoveryKeeper& keeper = rig.program.recovery;
    keeper.setFolder(dir.path);
    keeper.arm();
    const std::vector<uint8_t> damaged = {'Q', 'R', 'V', '5', '1', '7', '3', 'R', 2, 0, 1, 2, 3, 4, 5, 6, 7};
    writeBytes(keeper.file(), damaged);
    EXPECT_FALSE(offerRecovery(rig.editor, keeper, kLater));
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_TRUE(contains(rig.host.boxes[0].text, "cannot be read (the file is damaged)")) << rig.host.boxes[0].text;
    EXPECT_FALSE(fs::exists(keeper.file()));
    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(dir.path))
        kept.push_back(entry.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept[0].filename().string().starts_with("unsaved-edits-unreadable-")) << kept[0];
    EXPECT_TRUE(contains(rig.host.boxes[0].text, kept[0].string()));
    EXPECT_EQ(readBytes(kept[0]), damaged);

    // A newer editor's file: told, left byte for byte, and this run keeps a file of its own.
    fs::remove(kept[0]);
    std::vector<uint8_t> newer = damaged;
    newer[8] = kRecoveryVersion + 1;
    writeBytes(keeper.file(), newer);
    const fs::path theirs = keeper.file();
    EXPECT_FALSE(offerRecovery(rig.editor, keeper, kLater));
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_TRUE(contains(rig.host.boxes[1].text, "A newer version of the editor")) << rig.host.boxes[1].text;
    EXPECT_NE(keeper.file(), theirs);
    rig.select(7);
    moveSlider(rig, 7, 0, 12);
    keeper.tick(rig.state, kLater);
    keeper.flush();
    EXPECT_EQ(readBytes(theirs), newer);
    EXPECT_EQ(keeper.leftBehind().kind, RecoveryRead::Kind::Sound);
}

} // namespace
} // namespace qrv::test
