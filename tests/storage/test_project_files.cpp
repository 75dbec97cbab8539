#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "storage/CommandPanel.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

struct ProjectFiles : ::testing::Test {
    TempFolder dir;
    fs::path file = dir.path / "Preset" / "show.prj";
    std::vector<uint8_t> bytes;

    // A project saved from an editor whose every effect holds the device's live values
    // with its first parameter changed, so that the file differs from the device.
    ProjectFiles()
    {
        EditorRig maker;
        maker.state.programFolder = dir.path;
        for (int e = 0; e < kEffectCount; ++e) {
            for (int c = 0; c < kDeviceColumns; ++c)
                maker.state.store.at(e, c) = maker.device.peek(Addr::live(e, c));
            const PageParameter& first = catalogue::pageOfEffect(e).parameters.front();
            maker.state.store.at(e, first.column) =
                static_cast<uint8_t>((maker.state.store.at(e, first.column) + 1) % (first.maximum + 1));
        }
        maker.host.choosePath(file);
        SaveProjectFile(maker);
        bytes = readBytes(file);
    }

    static void SaveProjectFile(EditorRig& rig) { qrv::SaveProjectFile(rig.editor); }

    uint8_t fileByte(int effect, int column) const { return bytes.at(static_cast<std::size_t>(33 * effect + column)); }

    void load(EditorRig& rig)
    {
        rig.state.programFolder = dir.path;
        rig.host.choosePath(file);
        LoadProjectFile(rig.editor);
    }

    void expectTablesHoldTheFile(const EditorRig& rig)
    {
        for (int e = 0; e < kEffectCount; ++e)
            for (int c = 0; c < kRowSize; ++c) {
                EXPECT_EQ(rig.state.startConfig.at(e, c), fileByte(e, c)) << e << "/" << c;
                EXPECT_EQ(rig.state.store.at(e, c), fileByte(e, c)) << e << "/" << c;
            }
    }
};

TEST_F(ProjectFiles, SavingWritesSixteenRecordsEachEndingInItsIndex)
{
    ASSERT_EQ(bytes.size(), 528u);
    EditorRig rig;
    rig.state.programFolder = dir.path;
    rig.state.store.at(4, 32) = 200;
    rig.state.store.at(9, 5) = 77;
    rig.host.choosePath(file);
    SaveProjectFile(rig);
    const auto saved = readBytes(file);
    ASSERT_EQ(saved.size(), 528u);
    for (int e = 0; e < kEffectCount; ++e) {
        EXPECT_EQ(saved[static_cast<std::size_t>(33 * e + 32)], e);
        EXPECT_EQ(rig.state.store.at(e, 32), e);
    }
    EXPECT_EQ(saved[33 * 9 + 5], 77);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST_F(ProjectFiles, LoadingWritesEveryLiveByteInOrderThenShowsReverbHall)
{
    EditorRig rig;
    rig.select(9);
    struct Seen {
        std::string caption;
        ProgressBar bar;
        bool busy;
    };
    std::vector<Seen> seen;
    rig.device.onMemoryWritten = [&] {
        if (rig.frames(Cmd::WriteByte).size() > seen.size())
            seen.push_back({rig.form.caption, rig.form.ProgressBar1, rig.host.busy(Window::Main)});
    };
    load(rig);

    const auto writes = rig.frames(Cmd::WriteByte);
    ASSERT_EQ(writes.size(), 512u);
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c) {
            const auto& frame = writes[static_cast<std::size_t>(32 * e + c)];
            const int address = 0x00A0 + 32 * e + c;
            EXPECT_EQ(frame,
                      (std::vector<uint8_t>{0xF0, 0x9C, 0x11, static_cast<uint8_t>(address >> 8),
                                            static_cast<uint8_t>(address & 0xFF), 0, fileByte(e, c), 0, 0, 0xF7}));
            EXPECT_EQ(rig.device.peek(static_cast<uint16_t>(address)), fileByte(e, c));
        }

    ASSERT_EQ(seen.size(), 512u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].caption, "QRV5173 Edit - Please wait, loading project .......");
        EXPECT_TRUE(seen[i].bar.visible);
        EXPECT_EQ(seen[i].bar.max, 512);
        EXPECT_EQ(seen[i].bar.value, static_cast<int>(i));
        EXPECT_TRUE(seen[i].busy);
    }

    EXPECT_EQ(rig.state.currentEffect, 0);
    EXPECT_EQ(rig.form.Combo1.items.at(static_cast<std::size_t>(rig.form.Combo1.index)), "REVERB HALL");
    EXPECT_EQ(rig.form.frontPage, 0);
    EXPECT_EQ(rig.device.currentEffect(), 0);
    EXPECT_EQ(rig.form.caption, "QRV5173 Edit");
    EXPECT_FALSE(rig.form.ProgressBar1.visible);
    EXPECT_FALSE(rig.host.busy(Window::Main));
    EXPECT_FALSE(rig.host.busy(Window::Editor));
    expectTablesHoldTheFile(rig);
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.state.lastOutcome, "Loaded Preset/show.prj");
}

TEST_F(ProjectFiles, DemoModeLoadChangesEveryRowAndSendsNothing)
{
    EditorRig rig;
    rig.state.DemoMode = true;
    rig.select(5);
    load(rig);
    EXPECT_TRUE(rig.port.sent().empty());
    expectTablesHoldTheFile(rig);
    EXPECT_EQ(rig.state.currentEffect, 0);
    EXPECT_EQ(rig.form.caption, "QRV5173 Edit");
}

TEST_F(ProjectFiles, PortFailureMidTransferStartsOverFromEffectZeroColumnZero)
{
    EditorRig rig;
    rig.select(3);
    rig.unplugAfter(100, true);
    load(rig);

    EXPECT_EQ(rig.searches, 1);
    const auto writes = rig.memoryWrites();
    ASSERT_EQ(writes.size(), 100u + 512u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(writes[static_cast<std::size_t>(i)].first, 0x00A0 + i);
    for (int i = 0; i < 512; ++i)
        EXPECT_EQ(writes[static_cast<std::size_t>(100 + i)].first, 0x00A0 + i);
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            EXPECT_EQ(rig.device.peek(Addr::live(e, c)), fileByte(e, c)) << e << "/" << c;
    EXPECT_EQ(rig.frames(Cmd::SelectEffect).size(), 1u);
    expectTablesHoldTheFile(rig);
    EXPECT_EQ(rig.form.caption, "QRV5173 Edit");
    EXPECT_FALSE(rig.form.ProgressBar1.visible);
}

TEST_F(ProjectFiles, ACutTransferEndsWithTheWindowRestoredAndReConnectOffersToSendEverything)
{
    EditorRig rig;
    rig.select(3);
    rig.unplugAfter(40, false);
    load(rig);
    EXPECT_EQ(rig.searches, 1);
    EXPECT_EQ(rig.memoryWrites().size(), 40u);
    EXPECT_TRUE(rig.frames(Cmd::SelectEffect).empty());
    EXPECT_EQ(rig.form.caption, "QRV5173 Edit");
    EXPECT_FALSE(rig.form.ProgressBar1.visible);
    EXPECT_FALSE(rig.host.busy(Window::Main));
    EXPECT_FALSE(rig.host.busy(Window::Editor));
    for (int e = 0; e < kEffectCount; ++e)
        EXPECT_EQ(rig.state.startConfig.at(e, 0), fileByte(e, 0));
    EXPECT_EQ(rig.state.lastOutcome, ""); // the unit did not get the project
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, kTransferCutText);
    EXPECT_TRUE(rig.state.unitMayDiffer);

    // The cable is back; ReConnect finds the unit and asks before sending everything.
    rig.port.plugIn();
    rig.port.clearLog();
    PanelActions actions;
    actions.findDevice = [&] { rig.program.search.FindDevice(); };
    rig.host.answer(true);
    commandPanelClick(rig.editor, actions, 9);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[1].text, kUnitMayDifferText);
    EXPECT_TRUE(rig.host.boxes[1].question);
    EXPECT_EQ(rig.memoryWrites().size(), 512u);
    EXPECT_EQ(rig.frames(Cmd::SelectEffect).size(), 1u);
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            EXPECT_EQ(rig.device.peek(Addr::live(e, c)), rig.state.store.at(e, c)) << e << "/" << c;
    EXPECT_EQ(rig.device.currentEffect(), rig.state.currentEffect);
    EXPECT_FALSE(rig.state.unitMayDiffer);
    EXPECT_EQ(rig.form.caption, "QRV5173 Edit");

    // A later ReConnect with nothing to doubt asks nothing.
    rig.port.clearLog();
    commandPanelClick(rig.editor, actions, 9);
    EXPECT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_TRUE(rig.memoryWrites().empty());
}

TEST_F(ProjectFiles, CancelStopsBetweenWritesKeepsTheFileAndSaysHowFarItGot)
{
    EditorRig rig;
    rig.select(4);
    rig.host.cancelAtStep = 3 * kDeviceColumns + 5;
    load(rig);

    const auto writes = rig.memoryWrites();
    ASSERT_EQ(writes.size(), 3u * kDeviceColumns + 5);
    EXPECT_TRUE(rig.frames(Cmd::SelectEffect).empty());
    EXPECT_TRUE(rig.frames(Cmd::SetParameter).empty());
    expectTablesHoldTheFile(rig);
    EXPECT_EQ(rig.state.currentEffect, 4); // the unit still plays it
    EXPECT_EQ(rig.editor.controlValue(catalogue::pageOfEffect(4), catalogue::pageOfEffect(4).parameters.front()),
              fileByte(4, catalogue::pageOfEffect(4).parameters.front().column));
    EXPECT_TRUE(rig.state.unitMayDiffer);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, projectStoppedText(3));
    ASSERT_FALSE(rig.host.progress.empty());
    EXPECT_TRUE(rig.host.progress[0].cancellable);
    EXPECT_TRUE(rig.host.progress[0].ended);
    EXPECT_FALSE(rig.host.busy(Window::Main));
}

TEST_F(ProjectFiles, ShorterFilesAreRefusedAndChangeNothingLongerOnesLoadTheirFirst528Bytes)
{
    EditorRig rig;
    rig.state.programFolder = dir.path;
    rig.select(6);
    const ParameterTable store = rig.state.store, start = rig.state.startConfig;
    for (const std::size_t size : {0u, 32u, 33u, 34u, 527u}) {
        const fs::path bad = dir.path / ("bad" + std::to_string(size) + ".prj");
        writeBytes(bad, std::vector<uint8_t>(size, 1));
        rig.host.boxes.clear();
        rig.host.choosePath(bad);
        LoadProjectFile(rig.editor);
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_NE(rig.host.boxes[0].text.find(bad.string()), std::string::npos);
        EXPECT_NE(rig.host.boxes[0].text.find("holds " + std::to_string(size) + " bytes"), std::string::npos);
        EXPECT_NE(rig.host.boxes[0].text.find("528"), std::string::npos);
    }
    rig.host.choosePath(dir.path / "gone.prj");
    LoadProjectFile(rig.editor);
    EXPECT_EQ(rig.host.boxes.back().text, " File not found. Try again.");
    EXPECT_TRUE(rig.state.store == store);
    EXPECT_TRUE(rig.state.startConfig == start);
    EXPECT_EQ(rig.state.currentEffect, 6);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(rig.form.caption, "QRV5173 Edit");

    // Another tool's five bytes after the records.
    std::vector<uint8_t> longer = bytes;
    longer.insert(longer.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    writeBytes(file, longer);
    rig.host.boxes.clear();
    load(rig);
    EXPECT_TRUE(rig.host.boxes.empty());
    expectTablesHoldTheFile(rig);
    EXPECT_EQ(rig.memoryWrites().size(), 512u);
    EXPECT_EQ(rig.state.lastOutcome,
              "Loaded Preset/show.prj (its first 528 bytes; the 5 bytes after them were ignored)");
}

} // namespace
} // namespace qrv::test
