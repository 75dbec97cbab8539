// The Preset Library's listing: what a look at a folder reads again and reports.
#include "TempFolder.hpp"

#include "storage/FileCodec.hpp"
#include "storage/PresetLibrary.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> preset(int effect)
{
    Row row{};
    const Row record = encodePreset(row, effect);
    return {record.begin(), record.end()};
}

// Written an hour ago, as a library mostly is.
void writeOld(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    writeBytes(path, bytes);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
}

std::vector<std::string> names(const std::vector<LibraryFile>& files)
{
    std::vector<std::string> out;
    for (const LibraryFile& file : files)
        out.push_back(file.name);
    std::ranges::sort(out);
    return out;
}

const LibraryFolderChange* changeOf(const LibraryUpdate& update, const fs::path& folder)
{
    const auto it = std::ranges::find(update.changes, folder, &LibraryFolderChange::folder);
    return it == update.changes.end() ? nullptr : &*it;
}

TEST(PresetLibraryListing, ReadsOnlyWhatChangedInTheFoldersLookedAt)
{
    TempFolder dir;
    const fs::path root = dir.path / "Preset";
    fs::create_directories(root / "Live" / "Old");
    fs::create_directories(root / "Studio");
    writeOld(root / "a.fxp", preset(1));
    writeOld(root / "Live" / "b.FXP", preset(2));
    writeOld(root / "Live" / "c.fxp", preset(3));
    writeOld(root / "Live" / "Old" / "d.prj", std::vector<uint8_t>(kProjectFileSize, 0));
    writeOld(root / "Studio" / "e.fxp", preset(4));
    writeOld(root / "notes.txt", {1, 2});
    fs::create_directory_symlink(root / "Studio", root / "Link");

    PresetLibrary library;
    LibraryUpdate first = library.scanAll(root);
    EXPECT_TRUE(first.folderFound);
    EXPECT_EQ(first.fileCount, 5u);
    EXPECT_EQ(first.folders, (std::vector<fs::path>{"", "Live", "Live/Old", "Studio"})); // no link followed
    ASSERT_EQ(first.changes.size(), 4u);
    EXPECT_EQ(first.changes.front().folder, fs::path());
    EXPECT_EQ(names(changeOf(first, "Live")->filesAdded), (std::vector<std::string>{"b.FXP", "c.fxp"}));
    EXPECT_EQ(changeOf(first, "Live/Old")->filesAdded.at(0).kind, LibraryFile::Kind::Project);
    EXPECT_EQ(changeOf(first, "Studio")->filesAdded.at(0).effect, 4);

    // Nothing changed: a look again reports nothing, the whole tree as well.
    EXPECT_TRUE(library.rescanFolders({"", "Live"}).changes.empty());
    EXPECT_TRUE(library.scanAll(root).changes.empty());

    // One file rewritten in place, one added, one removed, in Live only: that is all a look
    // at Live reports, and a look at Studio, changed too, waits for its own event.
    writeBytes(root / "Live" / "b.FXP", preset(9));
    writeBytes(root / "Live" / "f.fxp", std::vector<uint8_t>(5, 0));
    fs::remove(root / "Live" / "c.fxp");
    writeBytes(root / "Studio" / "g.fxp", preset(5));
    const LibraryUpdate live = library.rescanFolders({"Live"});
    ASSERT_EQ(live.changes.size(), 1u);
    const LibraryFolderChange& change = live.changes.front();
    EXPECT_FALSE(change.added);
    ASSERT_EQ(change.filesChanged.size(), 1u);
    EXPECT_EQ(change.filesChanged[0].effect, 9);
    ASSERT_EQ(change.filesAdded.size(), 1u);
    EXPECT_EQ(change.filesAdded[0].status, LibraryFile::Status::Damaged);
    EXPECT_EQ(change.filesRemoved, (std::vector<fs::path>{"Live/c.fxp"}));
    EXPECT_EQ(live.fileCount, 5u);
    EXPECT_EQ(names(library.rescanFolders({"Studio"}).changes.at(0).filesAdded),
              (std::vector<std::string>{"g.fxp"}));

    // A subfolder gone takes what was below it; a new one comes with its files.
    fs::remove_all(root / "Live" / "Old");
    fs::create_directories(root / "Live" / "New");
    writeOld(root / "Live" / "New" / "h.fxp", preset(6));
    const LibraryUpdate moved = library.rescanFolders({"Live"});
    ASSERT_TRUE(changeOf(moved, "Live/Old"));
    EXPECT_TRUE(changeOf(moved, "Live/Old")->gone);
    ASSERT_TRUE(changeOf(moved, "Live/New"));
    EXPECT_TRUE(changeOf(moved, "Live/New")->added);
    EXPECT_EQ(names(changeOf(moved, "Live/New")->filesAdded), (std::vector<std::string>{"h.fxp"}));
    EXPECT_EQ(moved.fileCount, 6u);
    EXPECT_EQ(moved.folders, (std::vector<fs::path>{"", "Live", "Live/New", "Studio"}));

    // The Preset folder renamed away and back: each time the listing starts over.
    fs::rename(root, dir.path / "Away");
    const LibraryUpdate away = library.rescanFolders({"Live"});
    EXPECT_TRUE(away.startedOver);
    EXPECT_FALSE(away.folderFound);
    EXPECT_EQ(away.fileCount, 0u);
    fs::rename(dir.path / "Away", root);
    const LibraryUpdate back = library.rescanFolders({});
    EXPECT_TRUE(back.folderFound);
    EXPECT_EQ(back.fileCount, 6u);
    EXPECT_EQ(back.changes.size(), 4u);
}

TEST(PresetLibraryListing, AFileWrittenJustBeforeItsLookIsReadAgainAtTheNext)
{
    TempFolder dir;
    const fs::path root = dir.path / "Preset";
    fs::create_directories(root);
    // Both writes the same size with the same time stamp, as a coarse clock gives them; the
    // stamp lies ahead so that the file is young at its first look however slow the run.
    const auto stamp = fs::file_time_type::clock::now() + std::chrono::hours(1);
    writeBytes(root / "a.fxp", preset(1));
    fs::last_write_time(root / "a.fxp", stamp);
    PresetLibrary library;
    library.scanAll(root);
    writeBytes(root / "a.fxp", preset(2));
    fs::last_write_time(root / "a.fxp", stamp);
    const LibraryUpdate update = library.rescanFolders({""});
    ASSERT_EQ(update.changes.size(), 1u);
    ASSERT_EQ(update.changes[0].filesChanged.size(), 1u);
    EXPECT_EQ(update.changes[0].filesChanged[0].effect, 2);
}

// Presets of the same 33 bytes are marked identical to the first other one in the order names
// are read, and the marks follow the files as they change, come and go.
TEST(PresetLibraryListing, MarksPresetsOfTheSameBytesAsTheyChange)
{
    EXPECT_LT(compareLibraryNames("Lead 2", "lead 10"), 0);
    EXPECT_GT(compareLibraryNames("Lead 10", "Lead 9"), 0);
    EXPECT_LT(compareLibraryNames("x2", "x02"), 0);
    EXPECT_LT(compareLibraryNames("B", "b"), 0);

    TempFolder dir;
    const fs::path root = dir.path / "Preset";
    fs::create_directories(root / "Sub");
    writeOld(root / "a.fxp", preset(1));
    writeOld(root / "b.fxp", preset(1));
    writeOld(root / "c.fxp", preset(2));
    writeOld(root / "d.prj", std::vector<uint8_t>(kProjectFileSize, 0));
    PresetLibrary library;
    const LibraryUpdate first = library.scanAll(root);
    const auto identicalOf = [](const LibraryUpdate& update) {
        std::map<std::string, std::string> marks;
        for (const LibraryFolderChange& change : update.changes)
            for (const auto* files : {&change.filesAdded, &change.filesChanged})
                for (const LibraryFile& file : *files)
                    marks[(change.folder / file.name).generic_string()] = file.identical;
        for (const LibraryIdentical& other : update.identicalChanged)
            marks[other.file] = "*" + other.identical;
        return marks;
    };
    using Marks = std::map<std::string, std::string>;
    EXPECT_EQ(identicalOf(first), (Marks{{"a.fxp", "b.fxp"}, {"b.fxp", "a.fxp"}, {"c.fxp", ""}, {"d.prj", ""}}));

    // b rewritten apart: a is told it has no twin left ("*": a file not itself changed).
    writeOld(root / "b.fxp", preset(3));
    EXPECT_EQ(identicalOf(library.rescanFolders({""})), (Marks{{"b.fxp", ""}, {"a.fxp", "*"}}));
    // A new twin of a in a subfolder, then a gone: the twin is told.
    writeOld(root / "Sub" / "e.fxp", preset(1));
    EXPECT_EQ(identicalOf(library.rescanFolders({"Sub"})), (Marks{{"Sub/e.fxp", "a.fxp"}, {"a.fxp", "*Sub/e.fxp"}}));
    writeOld(root / "Sub" / "f.fxp", preset(1)); // a third: a and e keep theirs, untold
    EXPECT_EQ(identicalOf(library.rescanFolders({"Sub"})), (Marks{{"Sub/f.fxp", "a.fxp"}}));
    fs::remove(root / "a.fxp");
    EXPECT_EQ(identicalOf(library.rescanFolders({""})), (Marks{{"Sub/e.fxp", "*Sub/f.fxp"}, {"Sub/f.fxp", "*Sub/e.fxp"}}));
    fs::remove_all(root / "Sub");
    EXPECT_EQ(identicalOf(library.rescanFolders({""})), Marks{});
    // A folder new to a look that names it too is read twice, its young files with it: twins
    // still, each marked with the other.
    fs::create_directories(root / "New");
    for (const char* name : {"g.fxp", "h.fxp"}) {
        writeBytes(root / "New" / name, preset(4));
        fs::last_write_time(root / "New" / name, fs::file_time_type::clock::now() + std::chrono::hours(1));
    }
    EXPECT_EQ(identicalOf(library.rescanFolders({"", "New"})), (Marks{{"New/g.fxp", "New/h.fxp"}, {"New/h.fxp", "New/g.fxp"}}));
}

} // namespace
} // namespace qrv::test
