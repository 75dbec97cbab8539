#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "app/DeviceBackup.hpp"
#include "backupfile/BackupFile.hpp"
#include "devmem/Backup.hpp"
#include "state/CodePage.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace qrv::test {
namespace {

// Every address of the unit a backup covers, given the source unit's directory.
std::vector<uint16_t> coveredAddresses(const DeviceModel& source)
{
    std::vector<uint16_t> out{Addr::CurrentEffect};
    for (int e = 0; e < kEffectCount; ++e) {
        out.push_back(Addr::slotNumber(e));
        for (int c = 0; c < kDeviceColumns; ++c)
            out.push_back(Addr::live(e, c));
        for (int s = 0; s < kSlotCount; ++s) {
            out.push_back(Addr::directory(e, s));
            if (source.peek(Addr::directory(e, s)) != Addr::SlotUsed)
                continue;
            for (int k = 0; k < kNameLength; ++k)
                out.push_back(Addr::name(e, s, k));
            for (int c = 0; c < kDeviceColumns; ++c)
                out.push_back(Addr::stored(e, s, c));
        }
    }
    return out;
}

void pokeName(DeviceModel& device, int e, int s, std::string_view bytes)
{
    for (int k = 0; k < kNameLength; ++k)
        device.poke(Addr::name(e, s, k), static_cast<uint8_t>(bytes[static_cast<std::size_t>(k)]));
}

// The factory unit with a Latin-1 name, a name of blanks and one more stored slot.
std::unique_ptr<EditorRig> sourceUnit()
{
    auto rig = std::make_unique<EditorRig>();
    rig->device.poke(Addr::directory(3, 5), Addr::SlotUsed);
    pokeName(rig->device, 3, 5, "\xC9t\xE9 \xB0 1 ");
    for (int c = 0; c < kDeviceColumns; ++c)
        rig->device.poke(Addr::stored(3, 5, c), static_cast<uint8_t>(200 + c));
    rig->device.poke(Addr::directory(15, 7), Addr::SlotUsed);
    pokeName(rig->device, 15, 7, "        ");
    rig->device.poke(Addr::CurrentEffect, 9);
    rig->device.poke(Addr::slotNumber(9), 2);
    return rig;
}

// A unit holding something else everywhere a backup covers.
std::unique_ptr<EditorRig> otherUnit()
{
    auto rig = std::make_unique<EditorRig>();
    for (int a = 0x0060; a < 0x1880; ++a)
        rig->device.poke(static_cast<uint16_t>(a), static_cast<uint8_t>(a * 7 + 3));
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s)
            rig->device.poke(Addr::directory(e, s), (e + s) % 3 == 0 ? Addr::SlotUsed : 0xFF);
    rig->device.poke(Addr::CurrentEffect, 4);
    rig->device.receive(makeFrame(Cmd::SetSwitch, 0, 0, 0, 0, 0, 0));
    return rig;
}

UnitBackup backUp(EditorRig& rig)
{
    const BackupResult result = readUnit(rig.editor);
    EXPECT_EQ(result.end, TransferEnd::Done);
    return result.unit;
}

constexpr std::time_t kNoon7December2026 = 1796644800;

std::string fileText(const std::filesystem::path& path)
{
    const auto bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The editor's tables tell what the unit holds for the effect.
void expectEditorTellsTheUnit(EditorRig& rig, int e)
{
    const auto index = static_cast<std::size_t>(e);
    for (int c = 0; c < kDeviceColumns; ++c) {
        ASSERT_EQ(rig.state.store.at(e, c), rig.device.peek(Addr::live(e, c))) << e << " column " << c;
        ASSERT_EQ(rig.state.startConfig.at(e, c), rig.device.peek(Addr::live(e, c))) << e << " column " << c;
    }
    EXPECT_EQ(rig.state.presetSlotNumbers[index], std::to_string(rig.device.peek(Addr::slotNumber(e)))) << e;
    for (int s = 0; s < kSlotCount; ++s) {
        const uint8_t directory = rig.device.peek(Addr::directory(e, s));
        EXPECT_EQ(rig.state.presetDirectory[index][static_cast<std::size_t>(s)], std::to_string(directory)) << e;
        std::string name;
        for (int k = 0; k < kNameLength; ++k)
            name += static_cast<char>(rig.device.peek(Addr::name(e, s, k)));
        EXPECT_EQ(rig.state.presetNames[index][static_cast<std::size_t>(s)],
                  directory == Addr::SlotUsed ? latin1ToUtf8(name) : std::string(" Empty  "))
            << e << " slot " << s;
    }
}

// The restore dialog as a test answers it, keeping what it was shown.
struct Chooser {
    explicit Chooser(std::set<int> effects) : answer(std::move(effects)) {}
    std::set<int> answer;
    std::vector<UnitBackup> shown;
    ChooseEffects function()
    {
        return [this](const UnitBackup& unit) {
            shown.push_back(unit);
            return answer;
        };
    }
};

TEST(DeviceBackup, TheEditorsBackupIsTheCommandLinesFileAndRestoresAnotherUnitWhole)
{
    TempFolder folder;
    const auto source = sourceUnit();
    source->state.programFolder = folder.path;
    const auto file = folder.path / "source.json";
    source->host.choosePath(file);
    backUpDevice(source->editor, kNoon7December2026);

    ASSERT_EQ(source->host.dialogs.size(), 1u);
    EXPECT_TRUE(source->host.dialogs[0].save);
    EXPECT_EQ(source->host.dialogs[0].filter, kBackupFilter);
    EXPECT_EQ(source->host.dialogs[0].folder.parent_path(), presetFolder(source->state));
    EXPECT_EQ(source->host.dialogs[0].folder.filename().string().rfind("unit-2026-12-0", 0), 0u);
    EXPECT_TRUE(source->host.boxes.empty());
    int stored = 0;
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s)
            stored += source->device.peek(Addr::directory(e, s)) == Addr::SlotUsed ? 1 : 0;
    EXPECT_EQ(source->state.lastOutcome,
              "Backed up the unit to source.json (" + std::to_string(stored) + " stored presets)");
    for (int address : source->memoryReads())
        if (address >= 0x0300 && address < 0x1300) {
            const int e = (address - 0x0300) / 256, s = (address - 0x0300) % 256 / 32;
            EXPECT_EQ(source->device.peek(Addr::directory(e, s)), Addr::SlotUsed) << "read of empty slot " << address;
        }
    const std::string text = fileText(file);
    EXPECT_NE(text.find("\"name\": \"\xC3\x89t\xC3\xA9 \xC2\xB0 1 \""), std::string::npos);
    EXPECT_NE(text.find("\"name\": \"        \""), std::string::npos);
    // What qrv5173-cli backup writes for the same unit.
    EXPECT_EQ(text, encodeBackup(backUp(*sourceUnit())));

    const auto target = otherUnit();
    target->state.programFolder = folder.path;
    target->host.choosePath(file);
    Chooser all{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
    restoreDevice(target->editor, all.function());
    ASSERT_EQ(all.shown.size(), 1u);
    EXPECT_EQ(all.shown[0], backUp(*sourceUnit()));
    EXPECT_TRUE(target->host.boxes.empty());
    EXPECT_EQ(target->state.lastOutcome, "Restored the unit from source.json");
    for (uint16_t address : coveredAddresses(source->device))
        ASSERT_EQ(target->device.peek(address), source->device.peek(address)) << "address " << address;
    EXPECT_EQ(target->device.effectSwitch(), source->device.effectSwitch());
    EXPECT_EQ(target->device.currentEffect(), 9);
    for (int e = 0; e < kEffectCount; ++e)
        expectEditorTellsTheUnit(*target, e);
    EXPECT_EQ(target->state.currentEffect, 9);
    EXPECT_EQ(target->form.Combo1.index, 9);
    for (int c = 0; c < kDeviceColumns; ++c)
        EXPECT_EQ(target->state.deviceCopy.at(9, c), source->device.peek(Addr::stored(9, 2, c)));
}

TEST(DeviceBackup, RestoringChosenEffectsLeavesTheRestAloneNamesDifferencesAndClearsTheHistory)
{
    TempFolder folder;
    const auto file = folder.path / "source.json";
    ASSERT_FALSE(writeBackupFile(file, backUp(*sourceUnit())));
    const auto target = otherUnit();
    target->state.programFolder = folder.path;
    target->select(3);
    target->form.Check1.value = 1;
    target->editor.effectSwitchClick();
    ASSERT_TRUE(target->editor.history().canUndo());
    const ProgramState before = target->state;
    const std::vector<uint8_t> unitBefore(target->device.memory().begin(), target->device.memory().end());
    // A unit that drops the last name byte of effect 3, slot 6.
    target->device.onMemoryWritten = [&] { target->device.poke(Addr::name(3, 5, 7), '#'); };

    target->host.choosePath(file);
    Chooser chosen{{3, 12}};
    restoreDevice(target->editor, chosen.function());

    ASSERT_EQ(target->host.boxes.size(), 1u);
    EXPECT_EQ(target->host.boxes[0].title, kRestoreDeviceTitle);
    EXPECT_EQ(target->host.boxes[0].text,
              "The unit reads back otherwise than written (1 difference):\n"
              "effect 3 (REVERB VOCAL) slot 6 name byte 7: wrote 32, read 35");
    EXPECT_EQ(target->state.lastOutcome, "Restored REVERB VOCAL, CHORUS REVERB from source.json, with differences");
    for (int e : {3, 12})
        expectEditorTellsTheUnit(*target, e);
    EXPECT_EQ(target->state.presetNames[3][5], "\xC3\x89t\xC3\xA9 \xC2\xB0 1#");
    const auto source = sourceUnit();
    for (int c = 0; c < kDeviceColumns; ++c)
        EXPECT_EQ(target->state.deviceCopy.at(3, c),
                  source->device.peek(Addr::stored(3, source->device.peek(Addr::slotNumber(3)), c)));
    for (int e = 0; e < kEffectCount; ++e) {
        if (e == 3 || e == 12)
            continue;
        for (int c = 0; c < kRowSize; ++c)
            ASSERT_EQ(target->state.store.at(e, c), before.store.at(e, c)) << e;
        EXPECT_EQ(target->state.presetDirectory[e], before.presetDirectory[e]);
        EXPECT_EQ(target->state.presetNames[e], before.presetNames[e]);
        for (uint16_t address : coveredAddresses(target->device))
            if (address != Addr::CurrentEffect &&
                (address == Addr::slotNumber(e) || (address >= Addr::live(e, 0) && address <= Addr::live(e, 31)) ||
                 (address >= Addr::stored(e, 0, 0) && address < Addr::stored(e + 1, 0, 0)) ||
                 (address >= Addr::name(e, 0, 0) && address < Addr::name(e + 1, 0, 0)) ||
                 (address >= Addr::directory(e, 0) && address < Addr::directory(e + 1, 0)))) {
                ASSERT_EQ(target->device.peek(address), unitBefore[address]) << "address " << address;
            }
    }
    EXPECT_EQ(target->state.currentEffect, 3);
    EXPECT_EQ(target->device.effectSwitch(), 1); // the switch follows the backup only with every effect
    EXPECT_FALSE(target->editor.history().canUndo());
    EXPECT_FALSE(target->editor.history().canRedo());
}

TEST(DeviceBackup, NoUnitOrARefusedFileSendsNothing)
{
    TempFolder folder;
    for (const bool demo : {true, false}) {
        EditorRig rig;
        rig.state.programFolder = folder.path;
        rig.state.DemoMode = demo;
        rig.state.LinkUp = demo; // demo mode says so whatever the link flag
        backUpDevice(rig.editor, kNoon7December2026);
        restoreDevice(rig.editor, [](const UnitBackup&) -> std::set<int> { throw std::logic_error("asked"); });
        ASSERT_EQ(rig.host.boxes.size(), 2u);
        for (const auto& box : rig.host.boxes)
            EXPECT_NE(box.text.find(demo ? "demo mode" : "ReConnect"), std::string::npos) << box.text;
        EXPECT_TRUE(rig.host.dialogs.empty());
        EXPECT_TRUE(rig.port.sent().empty());
    }

    EditorRig rig;
    rig.state.programFolder = folder.path;
    std::ofstream(folder.path / "bad.json") << "{\"kind\": \"qrv5173-backup\", \"format\": 2}";
    rig.host.choosePath(folder.path / "bad.json");
    restoreDevice(rig.editor, [](const UnitBackup&) -> std::set<int> { throw std::logic_error("asked"); });
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_NE(rig.host.boxes[0].text.find("this version reads format 1"), std::string::npos) << rig.host.boxes[0].text;
    EXPECT_NE(rig.host.boxes[0].text.find("Nothing was written to the unit."), std::string::npos);
    EXPECT_TRUE(rig.port.sent().empty());
}

// Every slot the unit marks stored holds entirely the old or entirely the restored preset.
void expectNoMixedSlot(const DeviceModel& device, const std::vector<uint8_t>& before, const UnitBackup& unit)
{
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s) {
            if (device.peek(Addr::directory(e, s)) != Addr::SlotUsed)
                continue;
            bool old = true, restored = unit.effects[e].presets[s].stored();
            for (int k = 0; k < kNameLength; ++k) {
                old = old && device.peek(Addr::name(e, s, k)) == before[Addr::name(e, s, k)];
                restored = restored && device.peek(Addr::name(e, s, k)) == unit.effects[e].presets[s].name[k];
            }
            for (int c = 0; c < kDeviceColumns; ++c) {
                old = old && device.peek(Addr::stored(e, s, c)) == before[Addr::stored(e, s, c)];
                restored = restored && device.peek(Addr::stored(e, s, c)) == unit.effects[e].presets[s].data[c];
            }
            ASSERT_TRUE(old || restored) << "effect " << e << " slot " << s << " is mixed";
        }
}

TEST(DeviceBackup, CutOrCancelledAnywhereLeavesNoMixedSlotAndNamesTheCompletedEffects)
{
    const auto source = sourceUnit();
    const UnitBackup unit = backUp(*source);
    for (int cut = 1; cut < 2200; cut += 37) {
        const auto target = otherUnit();
        const std::vector<uint8_t> before(target->device.memory().begin(), target->device.memory().end());
        target->unplugAfter(cut, false);
        const RestoreResult result = writeUnit(target->editor, unit, {});
        EXPECT_EQ(result.end, TransferEnd::Lost) << cut;
        expectNoMixedSlot(target->device, before, unit);
        for (int e : result.completed)
            EXPECT_EQ(target->device.peek(Addr::slotNumber(e)), unit.effects[e].slotNumber);
    }

    // Cancel from the editor: the box names the effects completed and the one stopped
    // part-way, and the editor tells what the unit now holds of each.
    TempFolder folder;
    const auto file = folder.path / "source.json";
    ASSERT_FALSE(writeBackupFile(file, unit));
    const auto target = otherUnit();
    target->state.programFolder = folder.path;
    const std::vector<uint8_t> before(target->device.memory().begin(), target->device.memory().end());
    target->host.cancelAtStep = 700;
    target->host.choosePath(file);
    Chooser all{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
    restoreDevice(target->editor, all.function());
    expectNoMixedSlot(target->device, before, unit);
    ASSERT_EQ(target->host.boxes.size(), 1u);
    const std::string told = target->host.boxes[0].text;
    const std::string lead = "The restore was cancelled.\nEffects completed: ";
    ASSERT_EQ(told.rfind(lead, 0), 0u) << told;
    const std::string list = told.substr(lead.size(), told.find(".\n") - lead.size());
    int completed = 0, stopped = 0;
    for (int e = 0; e < kEffectCount; ++e) {
        const std::string name = catalogue::effect(e).listText;
        if (told.find("\n" + name + " was stopped part-way") != std::string::npos) {
            ++stopped;
            expectEditorTellsTheUnit(*target, e);
        } else if ((", " + list + ", ").find(", " + name + ", ") != std::string::npos) {
            ++completed;
            expectEditorTellsTheUnit(*target, e);
            for (int c = 0; c < kDeviceColumns; ++c)
                ASSERT_EQ(target->device.peek(Addr::live(e, c)), unit.effects[e].live[c]) << e;
        }
    }
    EXPECT_GT(completed, 0);
    EXPECT_LT(completed, kEffectCount - 1);
    EXPECT_EQ(stopped, 1);
    EXPECT_TRUE(target->host.progress.front().ended);
    EXPECT_FALSE(target->editor.history().canUndo());

    // A backup stopped by Cancel or a lost link writes no file.
    for (const bool cancel : {true, false}) {
        const auto rig = sourceUnit();
        rig->state.programFolder = folder.path;
        if (cancel)
            rig->host.cancelAtStep = 50;
        else
            rig->unplugAfter(300, false);
        rig->host.choosePath(folder.path / "stopped.json");
        backUpDevice(rig->editor, kNoon7December2026);
        ASSERT_EQ(rig->host.boxes.size(), 1u);
        EXPECT_EQ(rig->host.boxes.back().text,
                  cancel ? "The backup was cancelled. No file was written."
                         : "The connection to the QRV5173 was lost during the backup. "
                           "No file was written.");
        if (cancel) {
            EXPECT_LT(rig->port.sent().size(), 60u);
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder.path))
            EXPECT_TRUE(entry.path().filename() == "source.json" || entry.path().filename() == "Preset")
                << entry.path();
    }
}

TEST(BackupFile, DamagedOrForeignFilesAreRefusedWithTheReason)
{
    const auto source = sourceUnit();
    const std::string good = encodeBackup(backUp(*source));
    ASSERT_TRUE(decodeBackup(good).unit);
    const auto replaced = [&](std::string_view from, std::string_view to) {
        std::string text = good;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::pair<std::string, std::string> cases[] = {
        {good.substr(0, good.size() / 2), "not a JSON document"},
        {"[1, 2]", "not a QRV5173 backup"},
        {replaced("qrv5173-backup", "other-tool"), "not a QRV5173 backup"},
        {replaced("\"format\": 1", "\"format\": 2"), "this version reads format 1"},
        {replaced("\"currentEffect\": 9", "\"currentEffect\": 16"), "\"currentEffect\" must be a whole number"},
        {replaced("\"effect\": 4,", "\"effect\": 5,"), "effect 4: "},
        {replaced("\"name\": \"        \"", "\"name\": \"       \""), "effect 15 slot 8: \"name\" must be 8"},
        {replaced("\xC3\x89t\xC3\xA9", "\xE2\x82\xACt\xC3\xA9"), "effect 3 slot 6: \"name\" must be 8 Latin-1"},
        {replaced("\"live\": [\n                45", "\"live\": [\n                256"), "not a byte"},
        {replaced("\"slotNumber\": 2", "\"slotNumber\": 8"), "\"slotNumber\" must be a whole number from 0 to 7"},
        {replaced("\"name\": \"        \"", "\"name\": \"   \\u0007    \""),
         "effect 15 slot 8: \"name\" holds the control code 0x07, which the unit cannot hold"},
        {replaced("\"name\": \"        \"", "\"name\": \"\\u0085       \""), "effect 15 slot 8: \"name\" holds the control code 0x85"},
    };
    for (const auto& [text, reason] : cases) {
        const DecodedBackup decoded = decodeBackup(text);
        EXPECT_FALSE(decoded.unit) << reason;
        EXPECT_NE(decoded.problem.find(reason), std::string::npos) << decoded.problem;
    }

    // A huge file is refused by its size, before it is read (sparse: it takes no disk).
    TempFolder folder;
    const auto huge = folder.path / "huge.json";
    std::ofstream(huge) << good;
    std::filesystem::resize_file(huge, 300'000'000);
    const DecodedBackup refused = readBackupFile(huge);
    EXPECT_FALSE(refused.unit);
    EXPECT_NE(refused.problem.find("larger than any QRV5173 backup"), std::string::npos) << refused.problem;
    std::filesystem::resize_file(huge, good.size());
    EXPECT_TRUE(readBackupFile(huge).unit);
}

} // namespace
} // namespace qrv::test
