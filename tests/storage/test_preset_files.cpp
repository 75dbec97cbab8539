#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "app/DeviceBackup.hpp"
#include "app/StartUp.hpp"
#include "storage/FileAccess.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> rowBytes(const ParameterTable& table, int effect)
{
    const auto row = table.row(effect);
    return {row.begin(), row.end()};
}

struct PresetFiles : ::testing::Test {
    EditorRig rig;
    TempFolder dir;
    fs::path file;

    PresetFiles()
    {
        rig.state.programFolder = dir.path;
        file = dir.path / "Preset" / "chorus.fxp";
    }

    // Chorus with Depth at 42, saved to `file`.
    std::vector<uint8_t> saveChorus()
    {
        rig.select(7);
        rig.form.Slider3.at(0).position = 100 - 42;
        rig.editor.sliderEvent(7, 0);
        rig.port.clearLog();
        rig.host.choosePath(file);
        SavePresetFile(rig.editor);
        return readBytes(file);
    }

    struct Snapshot {
        ParameterTable store, startConfig;
        int effect, listIndex;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() const
    {
        return {rig.state.store, rig.state.startConfig, rig.state.currentEffect, rig.form.Combo1.index};
    }
};

TEST_F(PresetFiles, SavingReplacesTheFileWithTheCurrentRowAndItsEffectIndex)
{
    // An old, longer file; what a killed save left behind, beside a save still going on
    // and someone else's file.
    fs::create_directories(file.parent_path());
    writeBytes(file, std::vector<uint8_t>(600, 1));
    const fs::path folder = file.parent_path();
    const fs::path killed = folder / ".chorus.fxp.77-0.part", running = folder / ".chorus.fxp.78-0.part",
                   other = folder / "notes.part";
    for (const fs::path& p : {killed, running, other})
        writeBytes(p, std::vector<uint8_t>(100, 1));
    fs::last_write_time(killed, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const auto bytes = saveChorus();
    ASSERT_EQ(bytes.size(), 33u);
    EXPECT_EQ(bytes[0], 42);
    EXPECT_EQ(bytes, rowBytes(rig.state.store, 7));
    EXPECT_EQ(rig.state.store.at(7, 32), 7);
    ASSERT_EQ(rig.host.dialogs.size(), 1u);
    EXPECT_EQ(rig.host.dialogs[0].folder, dir.path / "Preset");
    EXPECT_TRUE(fs::is_directory(dir.path / "Preset"));
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(rig.state.lastOutcome, "Saved Preset/chorus.fxp");
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(other)); // not one of ours
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 3) << "no temporary of this save is left";
}

TEST_F(PresetFiles, LoadingSwitchesToTheFilesEffectAndLeavesOthersAlone)
{
    const auto bytes = saveChorus();
    rig.form.Slider3.at(0).position = 100 - 10;
    rig.editor.sliderEvent(7, 0);
    rig.select(2);
    const auto row2 = rowBytes(rig.state.store, 2);
    const auto start2 = rowBytes(rig.state.startConfig, 2);

    rig.host.choosePath(file);
    LoadPresetFile(rig.editor);

    EXPECT_EQ(rig.state.currentEffect, 7);
    EXPECT_EQ(rig.form.Combo1.index, 7);
    EXPECT_EQ(rig.form.frontPage, 7);
    EXPECT_EQ(rowBytes(rig.state.store, 7), bytes);
    EXPECT_EQ(rowBytes(rig.state.startConfig, 7), bytes);
    EXPECT_EQ(rowBytes(rig.state.store, 2), row2);
    EXPECT_EQ(rowBytes(rig.state.startConfig, 2), start2);
    EXPECT_EQ(rig.form.Slider3.at(0).position, 100 - 42);
    EXPECT_EQ(rig.form.Text5.at(0).text, "42 %");
    // The device was switched to the effect and got the file's values, not its own.
    ASSERT_FALSE(rig.frames(Cmd::SelectEffect).empty());
    EXPECT_EQ(rig.frames(Cmd::SelectEffect).front()[8], 7);
    for (int c = 0; c < catalogue::effect(7).columnCount; ++c)
        EXPECT_EQ(rig.device.peek(Addr::live(7, c)), bytes[static_cast<std::size_t>(c)]) << "column " << c;
    EXPECT_FALSE(rig.host.busy(Window::Editor));
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.state.lastOutcome, "Loaded Preset/chorus.fxp");
}

TEST_F(PresetFiles, ShortFilesAndEffectSixteenChangeNothingLongerOnesLoadTheirFirst33Bytes)
{
    rig.select(3);
    const auto before = snapshot();
    const Row record = rig.state.FileRecord;
    for (const std::size_t size : {0u, 1u, 32u}) {
        const fs::path bad = dir.path / ("bad" + std::to_string(size) + ".fxp");
        std::vector<uint8_t> bytes(size, 2);
        if (size > 32)
            bytes[32] = 5;
        writeBytes(bad, bytes);
        rig.host.boxes.clear();
        rig.host.choosePath(bad);
        LoadPresetFile(rig.editor);
        ASSERT_EQ(rig.host.boxes.size(), 1u) << size;
        const auto& box = rig.host.boxes[0];
        EXPECT_NE(box.text.find(bad.string()), std::string::npos) << box.text;
        EXPECT_NE(box.text.find("holds " + std::to_string(size) + " bytes"), std::string::npos) << box.text;
        EXPECT_NE(box.text.find("33"), std::string::npos) << box.text;
        EXPECT_EQ(box.title, " Error");
        EXPECT_EQ(box.icon, Icon::Exclamation);
        EXPECT_TRUE(snapshot() == before) << size;
        EXPECT_EQ(rig.state.FileRecord, record);
    }
    EXPECT_TRUE(rig.port.sent().empty());

    // An effect index of 16 names no effect: nothing is loaded, and nothing is said.
    std::vector<uint8_t> sixteen(33, 3);
    sixteen[32] = 16;
    writeBytes(dir.path / "sixteen.fxp", sixteen);
    rig.host.boxes.clear();
    rig.host.choosePath(dir.path / "sixteen.fxp");
    LoadPresetFile(rig.editor);
    EXPECT_TRUE(snapshot() == before);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.state.lastOutcome, "");

    for (const std::size_t size : {34u, 528u}) {
        std::vector<uint8_t> bytes(size, 0xEE);
        std::fill_n(bytes.begin(), 32, uint8_t{2});
        bytes[32] = 5;
        const fs::path longer = dir.path / ("long" + std::to_string(size) + ".fxp");
        writeBytes(longer, bytes);
        rig.host.boxes.clear();
        rig.host.choosePath(longer);
        LoadPresetFile(rig.editor);
        EXPECT_TRUE(rig.host.boxes.empty());
        EXPECT_EQ(rig.state.currentEffect, 5);
        EXPECT_EQ(rowBytes(rig.state.startConfig, 5), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 33));
        EXPECT_EQ(rig.state.lastOutcome,
                  "Loaded long" + std::to_string(size) + ".fxp (its first 33 bytes; the " + std::to_string(size - 33) +
                      (size == 34 ? " byte" : " bytes") + " after them were ignored)");
    }
}

TEST_F(PresetFiles, CancelOrAnEmptyNameDoesNothingAMissingFileOrAFolderIsReported)
{
    rig.select(1);
    const auto before = snapshot();
    for (const std::optional<fs::path>& answer : {std::optional<fs::path>{}, std::optional<fs::path>{fs::path{}}}) {
        rig.host.choosePath(answer);
        SavePresetFile(rig.editor);
        rig.host.choosePath(answer);
        LoadPresetFile(rig.editor);
    }
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_TRUE(fs::is_empty(dir.path / "Preset"));
    rig.host.choosePath(dir.path / "none.fxp");
    LoadPresetFile(rig.editor);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, " File not found. Try again.");
    EXPECT_EQ(rig.host.boxes[0].title, " Error");
    EXPECT_EQ(rig.host.boxes[0].icon, Icon::Exclamation);

    fs::create_directories(dir.path / "folder.fxp");
    rig.host.choosePath(dir.path / "folder.fxp");
    LoadPresetFile(rig.editor);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_NE(rig.host.boxes[1].text.find((dir.path / "folder.fxp").string()), std::string::npos);
    EXPECT_NE(rig.host.boxes[1].text.find("folder"), std::string::npos);
    EXPECT_TRUE(snapshot() == before);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST_F(PresetFiles, FailedSaveTellsTheUserAndKeepsTheOldFile)
{
    const std::vector<uint8_t> old(33, 9);
    fs::create_directories(file.parent_path());
    writeBytes(file, old);
    rig.select(7);
    rig.host.choosePath(file);
    {
        const FullDisk full;
        SavePresetFile(rig.editor);
    }
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_NE(rig.host.boxes[0].text.find(file.string()), std::string::npos) << rig.host.boxes[0].text;
    EXPECT_NE(rig.host.boxes[0].text.find("cannot be saved"), std::string::npos);
    EXPECT_EQ(rig.host.boxes[0].title, " Error");
    EXPECT_EQ(readBytes(file), old);

    // The target is a folder.
    const fs::path folder = dir.path / "Preset" / "taken.fxp";
    fs::create_directories(folder / "inside");
    rig.host.choosePath(folder);
    SavePresetFile(rig.editor);
    EXPECT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_TRUE(fs::is_directory(folder / "inside"));

    // The folder does not exist: no file and no temporary is left behind.
    const fs::path nowhere = dir.path / "missing" / "x.fxp";
    rig.host.choosePath(nowhere);
    SavePresetFile(rig.editor);
    EXPECT_EQ(rig.host.boxes.size(), 3u);
    EXPECT_FALSE(fs::exists(dir.path / "missing"));
}

TEST_F(PresetFiles, PortFailureWhileApplyingStartsTheApplyOver)
{
    const auto bytes = saveChorus();
    rig.select(2);
    rig.state.store.at(7, 0) = 99; // the device gets 42 only from the file
    rig.device.poke(Addr::live(7, 0), 99);
    // Selection: one block and 32 stored-preset reads; the cable goes with the first value
    // sent, Depth's 42.
    rig.unplugAfter(1 + 32 + 1, true);
    rig.host.choosePath(file);
    LoadPresetFile(rig.editor);

    EXPECT_EQ(rig.searches, 1);
    EXPECT_EQ(rig.host.dialogs.size(), 2u);
    EXPECT_EQ(rig.frames(Cmd::SelectEffect).size(), 2u);
    EXPECT_EQ(rowBytes(rig.state.store, 7), bytes);
    EXPECT_EQ(rowBytes(rig.state.startConfig, 7), bytes);
    for (int c = 0; c < catalogue::effect(7).columnCount; ++c)
        EXPECT_EQ(rig.device.peek(Addr::live(7, c)), bytes[static_cast<std::size_t>(c)]) << "column " << c;
    EXPECT_FALSE(rig.host.busy(Window::Editor));
}

TEST(FilesOnDisk, ALinkIsReplacedNeverWrittenThroughALongerInitCfgKeepsItsTailAndAFolderInTheWayFails)
{
    TempFolder dir;
    const fs::path target = dir.path / "precious";
    writeBytes(target, {1, 2, 3, 4});
    fs::create_symlink(target, dir.path / "init.cfg");
    ASSERT_TRUE(writeInitCfg(dir.path, 0x0102));
    EXPECT_EQ(readBytes(target), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(fs::is_symlink(dir.path / "init.cfg"));
    EXPECT_EQ(readBytes(dir.path / "init.cfg"), (std::vector<uint8_t>{2, 1}));

    writeBytes(dir.path / "init.cfg", {9, 9, 7, 8});
    fs::permissions(dir.path / "init.cfg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(writeInitCfg(dir.path, -2));
    EXPECT_EQ(readBytes(dir.path / "init.cfg"), (std::vector<uint8_t>{0xFE, 0xFF, 7, 8}));
    EXPECT_EQ(fs::status(dir.path / "init.cfg").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A preset saved over a link: the link becomes the file.
    fs::create_symlink(target, dir.path / "p.fxp");
    const std::vector<uint8_t> row(33, 7);
    EXPECT_FALSE(writeFileAtomically(dir.path / "p.fxp", row));
    EXPECT_EQ(readBytes(dir.path / "p.fxp"), row);
    EXPECT_EQ(readBytes(target), (std::vector<uint8_t>{1, 2, 3, 4}));

    EXPECT_FALSE(writeInitCfg(dir.path / "no such folder", 7));
    fs::create_directories(dir.path / "blocked" / "init.cfg");
    EXPECT_FALSE(writeInitCfg(dir.path / "blocked", 7));
}

TEST(FilesOnDisk, AFullDiskOrAMissingFolderIsFoundBeforeTheWorkAndLeavesNothing)
{
    TempFolder dir;
    const auto refused = [](const fs::path& path, std::size_t size) { return !reserveSpace(path, size).room; };
    EXPECT_FALSE(refused(dir.path / "x.prj", 528));
    EXPECT_TRUE(refused(dir.path / "none" / "x.prj", 528));
    fs::create_directories(dir.path / "taken.prj");
    EXPECT_TRUE(refused(dir.path / "taken.prj", 528));
    {
        const FullDisk full(100);
        EXPECT_TRUE(refused(dir.path / "x.prj", 528));
        EXPECT_FALSE(refused(dir.path / "x.fxp", 33));
        writeBytes(dir.path / "old.prj", std::vector<uint8_t>(50, 3));
        EXPECT_TRUE(writeFileAtomically(dir.path / "old.prj", std::vector<uint8_t>(528, 1)));
    }
    EXPECT_EQ(readBytes(dir.path / "old.prj"), std::vector<uint8_t>(50, 3));

    // The room reserved before the work is what the write fills: no new file is made for it,
    // and what was reserved beyond the content goes back.
    ReservedSpace reserved = reserveSpace(dir.path / "old.prj", 4096);
    ASSERT_TRUE(reserved.room) << reserved.problem;
    std::vector<fs::path> parts;
    for (const auto& entry : fs::directory_iterator(dir.path))
        if (entry.path().extension() == ".part")
            parts.push_back(entry.path());
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_GE(fs::file_size(parts[0]), 4096u);
    fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec); // a new file cannot be made now
    const auto problem = writeFileAtomically(dir.path / "old.prj", std::vector<uint8_t>(528, 4), {.room = &*reserved.room});
    fs::permissions(dir.path, fs::perms::owner_all);
    EXPECT_FALSE(problem) << *problem;
    EXPECT_EQ(readBytes(dir.path / "old.prj"), std::vector<uint8_t>(528, 4));
    EXPECT_FALSE(fs::exists(parts[0]));
    EXPECT_TRUE(reserveSpace(dir.path / "dropped.prj", 528).room); // dropped unused: nothing stays
    writeBytes(dir.path / "old.prj", std::vector<uint8_t>(50, 3));

    // Back Up Device finds a folder it cannot write before it reads the unit for minutes.
    EditorRig rig;
    rig.state.LinkUp = true;
    rig.state.programFolder = dir.path;
    rig.port.clearLog();
    rig.host.choosePath(dir.path / "gone" / "unit.json");
    backUpDevice(rig.editor, 0);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_NE(rig.host.boxes[0].text.find("Nothing was read from the unit"), std::string::npos)
        << rig.host.boxes[0].text;
    EXPECT_TRUE(rig.port.sent().empty());
    fs::remove_all(dir.path / "Preset");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path))
        ++files;
    EXPECT_EQ(files, 2) << "only old.prj and the folder";
}

} // namespace
} // namespace qrv::test
