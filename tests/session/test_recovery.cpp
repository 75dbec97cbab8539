#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "app/Exit.hpp"
#include "devmem/MemoryDump.hpp"
#include "storage/Recovery.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

void moveSlider(EditorRig& rig, int page, int index, int value)
{
    const PageInfo& p = *catalogue::pageByElement(page);
    rig.editor.setControl(p, *catalogue::parameter(p, index), value);
    rig.editor.sliderEvent(page, index);
}

TEST(Recovery, TheFileKeepsEveryTableAndRefusesDamage)
{
    EditorRig rig;
    rig.select(7);
    moveSlider(rig, 7, 0, 12);
    rig.state.presetNames[7][2] = "MY CHO";
    rig.state.presetSlotNumbers[7] = "2";
    const RecoveryImage image = captureRecovery(rig.state, 1765000000);
    const std::vector<uint8_t> bytes = encodeRecovery(image);
    std::string problem;
    EXPECT_EQ(decodeRecovery(bytes, problem), image);

    for (std::size_t at : {std::size_t{3}, std::size_t{9}, std::size_t{30}, bytes.size() / 2, bytes.size() - 1}) {
        auto damaged = bytes;
        damaged[at] ^= 0x40;
        EXPECT_FALSE(decodeRecovery(damaged, problem)) << at;
    }
    EXPECT_FALSE(decodeRecovery(std::span(bytes).first(bytes.size() - 5), problem));
    EXPECT_FALSE(decodeRecovery({}, problem));
}

TEST(Recovery, WrittenAfterAnEditRemovedWhenTheEditsAreGoneOrTheUserExits)
{
    EditorRig rig;
    TempFolder dir;
    RecoveryKeeper& keeper = rig.program.recovery;
    keeper.setFolder(dir.path / "app data");
    rig.select(10);
    keeper.arm(rig.state);
    keeper.tick(rig.state, 100);
    EXPECT_FALSE(fs::exists(keeper.file())) << "no edits, no file";

    const uint8_t old = rig.stored(0);
    moveSlider(rig, 10, 0, old == 50 ? 51 : 50);
    keeper.tick(rig.state, 200);
    ASSERT_TRUE(fs::exists(keeper.file()));
    EXPECT_EQ(keeper.leftBehind()->store, rig.state.store);
    EXPECT_EQ(keeper.leftBehind()->madeAt, 200);
    EXPECT_FALSE(fs::exists(keeper.file().string() + ".part"));

    rig.editor.undo();
    keeper.tick(rig.state, 300);
    EXPECT_FALSE(fs::exists(keeper.file())) << "back where it started";

    rig.editor.redo();
    keeper.tick(rig.state, 400);
    ASSERT_TRUE(fs::exists(keeper.file()));
    rig.host.answer(false); // No to Exit: the edits stay safe
    mainWindowCloseRequest(rig.program);
    EXPECT_TRUE(fs::exists(keeper.file()));
    rig.host.answer(true);
    EXPECT_THROW(mainWindowCloseRequest(rig.program), ProgramEnded);
    EXPECT_FALSE(fs::exists(keeper.file()));
    keeper.tick(rig.state, 500);
    EXPECT_FALSE(fs::exists(keeper.file()));
}

TEST(Recovery, TheNextStartPutsBackExactlyTheEditedRowsAndTheUnitGetsThem)
{
    TempFolder dir;
    ParameterTable edited;
    {
        EditorRig first;
        ASSERT_TRUE(DumpDeviceMemory(first.editor, first.program.splash));
        first.program.recovery.setFolder(dir.path);
        first.select(7);
        first.program.recovery.arm(first.state);
        moveSlider(first, 7, 0, 12);
        first.select(13);
        moveSlider(first, 13, 0, 99);
        first.form.Combo2.at(28).index = 17;
        first.editor.passFilterClick(28);
        first.program.recovery.tick(first.state, 1765000000);
        edited = first.state.store;
    } // ends without Exit

    EditorRig next; // a fresh unit as the factory left it
    ASSERT_TRUE(DumpDeviceMemory(next.editor, next.program.splash));
    next.program.recovery.setFolder(dir.path);
    next.program.recovery.arm(next.state);
    ASSERT_NE(next.state.store, edited);
    next.port.clearLog();
    next.host.answer(true);
    EXPECT_TRUE(offerRecovery(next.editor, next.program.recovery));
    ASSERT_EQ(next.host.boxes.size(), 1u);
    EXPECT_EQ(next.host.boxes[0].title, "Restore unsaved edits");
    EXPECT_NE(next.host.boxes[0].text.find(recoveryTimeText(1765000000)), std::string::npos);
    EXPECT_EQ(next.state.store, edited);
    EXPECT_EQ(next.state.currentEffect, 13);
    EXPECT_EQ(next.form.Text19.at(0).text, "495 ms");
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            ASSERT_EQ(next.live(e, c), edited.at(e, c)) << e << " " << c;
    // Only what differed from the unit was written; the shown effect went as parameters.
    EXPECT_EQ(next.memoryWrites().size(), 1u);

    // Declined, the file goes and nothing changes.
    next.program.recovery.tick(next.state, 1765000100);
    EditorRig third;
    third.program.recovery.setFolder(dir.path);
    const ParameterTable before = third.state.store;
    third.host.answer(false);
    EXPECT_FALSE(offerRecovery(third.editor, third.program.recovery));
    EXPECT_EQ(third.state.store, before);
    EXPECT_FALSE(fs::exists(third.program.recovery.file()));
}

} // namespace
} // namespace qrv::test
