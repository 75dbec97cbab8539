#include "EditorRig.hpp"

#include "backupfile/BackupFile.hpp"
#include "devmem/Backup.hpp"
#include "state/CodePage.hpp"

#include <gtest/gtest.h>

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

TEST(Backup, ReadsNoEmptySlotAndRestoresAnotherUnitToTheSameMemoryAndFile)
{
    const auto source = sourceUnit();
    const UnitBackup unit = backUp(*source);
    for (int address : source->memoryReads())
        if (address >= 0x0300 && address < 0x1300) {
            const int e = (address - 0x0300) / 256, s = (address - 0x0300) % 256 / 32;
            EXPECT_EQ(source->device.peek(Addr::directory(e, s)), Addr::SlotUsed) << "read of empty slot " << address;
        }
    EXPECT_EQ(nameText(unit.effects[3].presets[5].name), "\xC3\x89t\xC3\xA9 \xC2\xB0 1 ");
    EXPECT_FALSE(source->host.progress.empty());
    EXPECT_EQ(source->host.progress.back().done, source->host.progress.back().steps);

    const std::string file = encodeBackup(unit);
    EXPECT_NE(file.find("\"format\": 1"), std::string::npos);
    EXPECT_NE(file.find("\"name\": \"\xC3\x89t\xC3\xA9 \xC2\xB0 1 \""), std::string::npos);
    EXPECT_NE(file.find("\"name\": \"        \""), std::string::npos);

    const auto target = otherUnit();
    const DecodedBackup decoded = decodeBackup(file);
    ASSERT_TRUE(decoded.unit) << decoded.problem;
    const RestoreResult restored = writeUnit(target->editor, *decoded.unit, {});
    EXPECT_EQ(restored.end, TransferEnd::Done);
    EXPECT_TRUE(restored.differences.empty());
    EXPECT_EQ(restored.completed.size(), 16u);
    for (uint16_t address : coveredAddresses(source->device))
        ASSERT_EQ(target->device.peek(address), source->device.peek(address)) << "address " << address;
    EXPECT_EQ(target->device.effectSwitch(), source->device.effectSwitch());
    EXPECT_EQ(target->device.currentEffect(), 9);

    // The editor of the restored unit now tells what the unit holds.
    adoptRestoredUnit(target->editor, *decoded.unit, {});
    ProgramState& s = target->state;
    EXPECT_EQ(s.currentEffect, 9);
    EXPECT_EQ(target->form.Combo1.index, 9);
    for (int e = 0; e < kEffectCount; ++e) {
        for (int c = 0; c < kDeviceColumns; ++c) {
            ASSERT_EQ(s.store.at(e, c), source->device.peek(Addr::live(e, c)));
            ASSERT_EQ(s.startConfig.at(e, c), source->device.peek(Addr::live(e, c)));
        }
        EXPECT_EQ(s.presetSlotNumbers[static_cast<std::size_t>(e)],
                  std::to_string(source->device.peek(Addr::slotNumber(e))));
        for (int slot = 0; slot < kSlotCount; ++slot)
            EXPECT_EQ(s.presetDirectory[static_cast<std::size_t>(e)][static_cast<std::size_t>(slot)],
                      std::to_string(source->device.peek(Addr::directory(e, slot))));
    }
    EXPECT_EQ(s.presetNames[3][5], "\xC3\x89t\xC3\xA9 \xC2\xB0 1 ");
    EXPECT_EQ(s.presetNames[0][7], " Empty  ");
    for (int c = 0; c < kDeviceColumns; ++c)
        EXPECT_EQ(s.deviceCopy.at(9, c), source->device.peek(Addr::stored(9, 2, c)));

    EXPECT_EQ(encodeBackup(backUp(*target)), file);
}

TEST(Restore, ChosenEffectsOnlyAndAReadBackThatDiffersIsNamed)
{
    const auto source = sourceUnit();
    const UnitBackup unit = backUp(*source);
    const auto target = otherUnit();
    const std::vector<uint8_t> before(target->device.memory().begin(), target->device.memory().end());
    // A unit that drops the last name byte of effect 3, slot 6.
    target->device.onMemoryWritten = [&] { target->device.poke(Addr::name(3, 5, 7), '#'); };
    const RestoreResult result = writeUnit(target->editor, unit, {3});
    EXPECT_EQ(result.completed, std::vector<int>{3});
    ASSERT_EQ(result.differences.size(), 1u);
    EXPECT_EQ(result.differences[0], "effect 3 (REVERB VOCAL) slot 6 name byte 7: wrote 32, read 35");
    for (uint16_t address : coveredAddresses(source->device)) {
        const bool ofEffect3 = (address >= Addr::live(3, 0) && address <= Addr::live(3, 31)) ||
            address == Addr::slotNumber(3) || (address >= Addr::stored(3, 0, 0) && address < Addr::stored(4, 0, 0)) ||
            (address >= Addr::name(3, 0, 0) && address < Addr::name(4, 0, 0)) ||
            (address >= Addr::directory(3, 0) && address < Addr::directory(4, 0));
        if (!ofEffect3) {
            ASSERT_EQ(target->device.peek(address), before[address]) << "address " << address;
        }
    }
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

TEST(Restore, CutOrCancelledAnywhereLeavesNoMixedSlotAndNamesTheCompletedEffects)
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
    const auto target = otherUnit();
    const std::vector<uint8_t> before(target->device.memory().begin(), target->device.memory().end());
    target->host.cancelAtStep = 700;
    const RestoreResult result = writeUnit(target->editor, unit, {});
    EXPECT_EQ(result.end, TransferEnd::Cancelled);
    EXPECT_FALSE(result.completed.empty());
    EXPECT_LT(result.completed.size(), 16u);
    expectNoMixedSlot(target->device, before, unit);
    EXPECT_TRUE(target->host.progress.back().ended);

    const auto cancelled = sourceUnit();
    cancelled->host.cancelAtStep = 50;
    EXPECT_EQ(readUnit(cancelled->editor).end, TransferEnd::Cancelled);
    EXPECT_LT(cancelled->port.sent().size(), 60u);
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
    };
    for (const auto& [text, reason] : cases) {
        const DecodedBackup decoded = decodeBackup(text);
        EXPECT_FALSE(decoded.unit) << reason;
        EXPECT_NE(decoded.problem.find(reason), std::string::npos) << decoded.problem;
    }
}

} // namespace
} // namespace qrv::test
