// Every device operation against the emulator's paced wire with a faulty cable, on the
// fake clock: whatever the fault, no wrong byte reaches the store, the unit or a slot.
#include "FakeHost.hpp"
#include "TempFolder.hpp"

#include "app/Program.hpp"
#include "devmem/Backup.hpp"
#include "devmem/MemoryDump.hpp"
#include "devmem/UnitReading.hpp"
#include "devmem/PresetDialogs.hpp"
#include "emulator/Session.hpp"
#include "link/UnitIdentity.hpp"
#include "state/CodePage.hpp"
#include "storage/FileCodec.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <utility>

namespace qrv::test {
namespace {

// The emulator's session as the far end of a port, in fake time: bytes leave and arrive
// one by one at 4800 baud as the clock moves.
class PacedTransport final : public Transport {
public:
    PacedTransport(EmulatorSession& session, ManualClock& clock) : session_(session), clock_(clock) {}

    void open(const std::string& name) override
    {
        name_ = name;
        open_ = true;
        input_.clear();
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    std::string portName() const override { return name_; }
    void write(std::span<const uint8_t> bytes) override
    {
        pump();
        session_.received(bytes, clock_.now());
    }
    std::size_t bytesAvailable() override
    {
        pump();
        return input_.size();
    }
    std::vector<uint8_t> read(std::size_t max) override
    {
        pump();
        const std::size_t n = std::min({max, readLength_, input_.size()});
        std::vector<uint8_t> out(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }
    void clearInput() override
    {
        pump();
        input_.clear();
    }
    // Waits for a byte more, or until the time has passed.
    bool waitForData(double seconds) override
    {
        const double until = clock_.now() + seconds;
        const std::size_t before = input_.size();
        while (input_.size() == before) {
            const auto next = session_.nextDue();
            if (!next || *next > until) {
                clock_.advance(until - clock_.now());
                pump();
                break;
            }
            clock_.advance(std::max(0.0, *next - clock_.now()));
            pump();
        }
        return !input_.empty();
    }
    void setReadLength(std::size_t n) override { readLength_ = n; }

private:
    void pump()
    {
        const auto out = session_.advance(clock_.now());
        input_.insert(input_.end(), out.begin(), out.end());
    }

    EmulatorSession& session_;
    ManualClock& clock_;
    std::deque<uint8_t> input_;
    std::string name_;
    std::size_t readLength_ = 10;
    bool open_ = false;
};

struct Fault {
    const char* name;
    EmulatorOptions options;
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

EmulatorOptions with(uint64_t EmulatorOptions::*member, uint64_t n)
{
    EmulatorOptions options;
    options.*member = n;
    return options;
}

EmulatorOptions noise(uint64_t every, EmulatorOptions::NoiseAt at, uint64_t bytes)
{
    EmulatorOptions options;
    options.noiseEvery = every;
    options.noiseAt = at;
    options.noiseBytes = bytes;
    return options;
}

// A flipped bit in the first or last byte of ten-byte replies, the probe's included.
EmulatorOptions flippedFraming(uint64_t every, uint64_t byte)
{
    EmulatorOptions options;
    options.flipEvery = every;
    options.flipByte = byte;
    options.flipLength = 10;
    return options;
}

// A stored preset's name as the editor keeps it.
std::string nameOf(const DeviceModel& unit, int e, int s)
{
    std::string bytes;
    for (int k = 0; k < kNameLength; ++k)
        bytes += static_cast<char>(unit.peek(Addr::name(e, s, k)));
    return latin1ToUtf8(bytes);
}

class FaultMatrix : public ::testing::TestWithParam<Fault> {
protected:
    ManualClock clock;
    FakeHost host;
    DeviceModel device;
    DeviceModel reference; // the same unit, untouched: what a healthy dump reads
    EmulatorSession session{device, GetParam().options};
    PacedTransport port{session, clock};
    Program program{port, clock, host};
    ProgramState& state = program.state;

    FaultMatrix()
    {
        for (int e = 0; e < kEffectCount; ++e)
            for (int c = 0; c < kDeviceColumns; ++c)
                device.poke(Addr::live(e, c), static_cast<uint8_t>(3 + 7 * e + c));
        reference = device;
    }
};

TEST_P(FaultMatrix, EveryOperationTakesAndGivesOnlyTheRightBytes)
{
    // Start-up dump: the start configuration holds the unit's live values (the store the
    // same, but fitted to the controls).
    ASSERT_TRUE(program.search.connectAtStartUp({}));
    ASSERT_TRUE(DumpDeviceMemory(program.editor, program.splash));
    const int current = reference.currentEffect();
    for (int e = 0; e < kEffectCount; ++e) {
        for (int c = 0; c < (e == current ? kDeviceColumns : state.tables.parameterCount[e]); ++c)
            ASSERT_EQ(state.startConfig.at(e, c), reference.peek(Addr::live(e, c))) << e << "/" << c;
        for (int s = 0; s < kSlotCount; ++s) {
            ASSERT_EQ(state.presetDirectory[e][s], std::to_string(reference.peek(Addr::directory(e, s))));
            if (reference.peek(Addr::directory(e, s)) == Addr::SlotUsed) {
                ASSERT_EQ(state.presetNames[e][s], nameOf(reference, e, s)) << e << "/" << s;
            }
        }
    }

    // Selection: the row as read and the device copy are the unit's, on a shared page too.
    for (int e : {1, 2, 3, 9}) {
        program.form.Combo1.index = e;
        program.editor.effectListClick();
        for (int c = 0; c < kDeviceColumns; ++c) {
            ASSERT_EQ(state.startConfig.at(e, c), device.peek(Addr::live(e, c))) << e << "/" << c;
            ASSERT_EQ(state.deviceCopy.at(e, c), device.peek(Addr::stored(e, program.editor.presetSlot(e), c))) << c;
        }
    }

    // Edit: the unit holds what the editor shows. Lower values stay in the control's range.
    const uint8_t before = state.store.at(9, 2);
    const uint8_t edit = before == 0 ? 1 : static_cast<uint8_t>(before - 1);
    program.editor.storeAndSend(2, edit);
    EXPECT_EQ(device.peek(Addr::live(9, 2)), edit);

    // Store into slot 3, then load slot 3 back over a changed edit.
    StoreDialog store(program.editor);
    store.load();
    store.form.Text1.text = "MATRIX";
    store.form.Combo1.index = 3;
    ASSERT_TRUE(store.Memorize_eep());
    for (int c = 0; c < kDeviceColumns; ++c)
        ASSERT_EQ(device.peek(Addr::stored(9, 3, c)), state.store.at(9, c)) << c;
    EXPECT_EQ(device.peek(Addr::directory(9, 3)), Addr::SlotUsed);
    Row expected{};
    std::copy(state.store.row(9).begin(), state.store.row(9).end(), expected.begin());
    program.editor.storeAndSend(2, before);
    ReadDialog read(program.editor);
    read.load();
    ASSERT_TRUE(read.LoadPresetFromDevice(3));
    for (int c = 0; c < kDeviceColumns; ++c)
        ASSERT_EQ(state.store.at(9, c), expected[static_cast<std::size_t>(c)]) << c;
    EXPECT_EQ(device.peek(Addr::live(9, 2)), expected[2]);

    // Project load: every live byte of the unit is the file's.
    TempFolder dir;
    ParameterTable rows;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            rows.at(e, c) = static_cast<uint8_t>((5 * e + 3 * c) % 40);
    const auto file = dir.path / "m.prj";
    writeBytes(file, encodeProject(rows));
    state.programFolder = dir.path;
    host.choosePath(file);
    LoadProjectFile(program.editor);
    for (int e = 1; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            ASSERT_EQ(device.peek(Addr::live(e, c)), rows.at(e, c)) << e << "/" << c;
    EXPECT_TRUE(host.boxes.empty()) << host.boxes.front().text;
    EXPECT_EQ(state.currentEffect, 0);
}

// Everything a backup of the unit holds, taken straight from its memory.
UnitBackup unitOf(const DeviceModel& unit)
{
    UnitBackup out;
    out.currentEffect = static_cast<uint8_t>(unit.currentEffect());
    out.effectSwitch = unit.effectSwitch();
    for (int e = 0; e < kEffectCount; ++e) {
        EffectBackup& effect = out.effects[static_cast<std::size_t>(e)];
        effect.slotNumber = unit.peek(Addr::slotNumber(e));
        for (int c = 0; c < kDeviceColumns; ++c)
            effect.live[static_cast<std::size_t>(c)] = unit.peek(Addr::live(e, c));
        for (int s = 0; s < kSlotCount; ++s) {
            SlotBackup& slot = effect.presets[static_cast<std::size_t>(s)];
            slot.directory = unit.peek(Addr::directory(e, s));
            for (int k = 0; k < kNameLength; ++k)
                slot.name[static_cast<std::size_t>(k)] = unit.peek(Addr::name(e, s, k));
            for (int c = 0; c < kDeviceColumns; ++c)
                slot.data[static_cast<std::size_t>(c)] = unit.peek(Addr::stored(e, s, c));
        }
    }
    return out;
}

TEST(RestoreReadBack, NamesOnlyTheDifferencesASecondReadConfirms)
{
    // A data bit flipped now and then in one-byte read replies, which no check can see, and
    // one byte the unit does not keep.
    EmulatorOptions options;
    options.flipEvery = 41;
    options.flipByte = 6;
    options.flipLength = 10;
    ManualClock clock;
    FakeHost host;
    DeviceModel device;
    const UnitBackup wanted = unitOf(device);
    device.onMemoryWritten = [&device] { device.poke(Addr::live(3, 4), 0); };
    device.poke(Addr::live(3, 4), 0);
    EmulatorSession session{device, options};
    PacedTransport port{session, clock};
    Program program{port, clock, host};
    ASSERT_TRUE(program.search.connectAtStartUp({}));

    const RestoreResult restored = writeUnit(program.editor, wanted, {});
    EXPECT_EQ(restored.end, TransferEnd::Done);

    ASSERT_EQ(restored.differences.size(), wanted.effects[3].live[4] == 0 ? 0u : 1u);
    EXPECT_NE(restored.differences.front().find("live values byte 4"), std::string::npos);
    EXPECT_EQ(restored.readBack.effects[3].live[4], 0);
    // The read-backs count on from the writes: progress never passes its total.
    ASSERT_FALSE(host.progress.empty());
    EXPECT_LE(host.progress.back().done, host.progress.back().steps);
    EXPECT_GT(host.progress.back().done, 2 * kEffectCount * kDeviceColumns);
}

// A byte the unit lost after the read that spared its write (as a damaged read would show it)
// reads back otherwise: its effect is written once more in full, and then reads back equal.
TEST(RestoreReadBack, AnEffectThatReadsBackOtherwiseIsWrittenAgainInFull)
{
    ManualClock clock;
    FakeHost host;
    DeviceModel device;
    const UnitBackup wanted = unitOf(device);
    device.poke(Addr::live(0, 0), static_cast<uint8_t>(wanted.effects[0].live[0] ^ 1)); // one write to make
    bool changed = false;
    device.onMemoryWritten = [&] {
        if (!std::exchange(changed, true))
            device.poke(Addr::live(9, 2), static_cast<uint8_t>(wanted.effects[9].live[2] ^ 1));
    };
    EmulatorSession session{device, {}};
    PacedTransport port{session, clock};
    Program program{port, clock, host};
    ASSERT_TRUE(program.search.connectAtStartUp({}));
    const RestoreResult restored = writeUnit(program.editor, wanted, {});
    EXPECT_EQ(restored.end, TransferEnd::Done);
    EXPECT_TRUE(restored.differences.empty()) << restored.differences.front();
    EXPECT_EQ(device.peek(Addr::live(9, 2)), wanted.effects[9].live[2]);
    EXPECT_LE(host.progress.back().done, host.progress.back().steps);
}

using At = EmulatorOptions::NoiseAt;
TEST_P(FaultMatrix, BackupAndRestoreReadAndWriteOnlyTheUnitsBytes)
{
    ASSERT_TRUE(program.search.connectAtStartUp({}));
    const BackupResult backup = readUnit(program.editor);
    ASSERT_EQ(backup.end, TransferEnd::Done);
    const UnitBackup& unit = backup.unit;
    EXPECT_EQ(unit.currentEffect, reference.currentEffect());
    for (int e = 0; e < kEffectCount; ++e) {
        const EffectBackup& effect = unit.effects[static_cast<std::size_t>(e)];
        for (int c = 0; c < kDeviceColumns; ++c)
            ASSERT_EQ(effect.live[static_cast<std::size_t>(c)], reference.peek(Addr::live(e, c))) << e << "/" << c;
        for (int s = 0; s < kSlotCount; ++s) {
            const SlotBackup& slot = effect.presets[static_cast<std::size_t>(s)];
            ASSERT_EQ(slot.directory, reference.peek(Addr::directory(e, s)));
            if (!slot.stored())
                continue;
            ASSERT_EQ(nameText(slot.name), nameOf(reference, e, s)) << e << "/" << s;
            for (int c = 0; c < kDeviceColumns; ++c)
                ASSERT_EQ(slot.data[static_cast<std::size_t>(c)], reference.peek(Addr::stored(e, s, c)));
        }
    }

    // The unit changes; restoring the backup brings it back byte for byte, with no
    // difference reported that the unit does not hold.
    for (int e = 0; e < kEffectCount; ++e) {
        device.poke(Addr::live(e, 1), 0);
        device.poke(Addr::name(e, 0, 0), 'Q');
    }
    const RestoreResult restored = writeUnit(program.editor, unit, {});
    EXPECT_EQ(restored.end, TransferEnd::Done);
    EXPECT_TRUE(restored.differences.empty()) << restored.differences.front();
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kDeviceColumns; ++c)
            ASSERT_EQ(device.peek(Addr::live(e, c)), reference.peek(Addr::live(e, c))) << e << "/" << c;
    EXPECT_EQ(device.peek(Addr::name(0, 0, 0)), reference.peek(Addr::name(0, 0, 0)));
}

EmulatorOptions bitErrors(double rate, uint64_t seed)
{
    EmulatorOptions options;
    options.bitErrorRate = rate;
    options.seed = seed;
    return options;
}

// A line that damages replies at random: the backup and the dump as the command line makes them
// end with the unit's exact bytes, or fail and say which value never agreed.
class NoisyLine : public FaultMatrix {};

TEST_P(NoisyLine, BackupRestoreAndDumpGiveTheUnitsBytesOrSayWhy)
{
    ASSERT_TRUE(program.search.connectAtStartUp({}));
    const BackupResult backup = readUnit(program.editor);
    if (backup.end != TransferEnd::Done) {
        EXPECT_EQ(backup.end, TransferEnd::Unconfirmed);
        EXPECT_FALSE(backup.problem.empty());
    } else {
        UnitBackup expected = unitOf(reference);
        for (EffectBackup& effect : expected.effects)
            for (SlotBackup& slot : effect.presets)
                if (!slot.stored())
                    slot = SlotBackup{slot.directory};
        EXPECT_EQ(backup.unit, expected);
        for (int e = 0; e < kEffectCount; ++e)
            device.poke(Addr::live(e, 1), 0);
        const RestoreResult restored = writeUnit(program.editor, backup.unit, {});
        EXPECT_TRUE(restored.end == TransferEnd::Unconfirmed ||
                    (restored.end == TransferEnd::Done && restored.differences.empty()));
        for (int e = 0; e < kEffectCount; ++e)
            ASSERT_EQ(device.peek(Addr::live(e, 1)), reference.peek(Addr::live(e, 1))) << e;
    }

    const auto expectUnitsRows = [&] {
        ASSERT_EQ(state.currentEffect, reference.currentEffect());
        for (int e = 0; e < kEffectCount; ++e)
            for (int c = 0; c < (e == state.currentEffect ? kDeviceColumns : state.tables.parameterCount[e]); ++c)
                ASSERT_EQ(state.startConfig.at(e, c), reference.peek(Addr::live(e, c))) << e << "/" << c;
    };
    ASSERT_TRUE(DumpDeviceMemory(program.editor, program.splash));
    if (!confirmDumpedRows(program.editor)) // else a value that never agreed, named
        expectUnitsRows();

    // The start-up that reads the rest in the background ends with the unit's bytes too; a
    // piece that never agreed is named and tried again later.
    ASSERT_TRUE(DumpDeviceMemory(program.editor, program.splash, UnitRead::First));
    for (int step = 0; step < 20000 && !program.reading.finished(); ++step) {
        if (program.reading.backgroundStep([] { return false; }) == UnitReading::Step::Failed) {
            ASSERT_FALSE(host.logs.empty());
        }
    }
    ASSERT_TRUE(program.reading.finished());
    expectUnitsRows();
    for (int e = 0; e < kEffectCount; ++e) {
        ASSERT_EQ(state.presetSlotNumbers[e], std::to_string(reference.peek(Addr::slotNumber(e))));
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const uint8_t directory = reference.peek(Addr::directory(e, slot));
            ASSERT_EQ(state.presetDirectory[e][slot], std::to_string(directory));
            if (directory == Addr::SlotUsed) {
                ASSERT_EQ(state.presetNames[e][slot], nameOf(reference, e, slot)) << e << "/" << slot;
            }
        }
    }
    const int e = state.currentEffect;
    const int slot = program.editor.presetSlot(e);
    for (int c = 0; c < kDeviceColumns; ++c)
        ASSERT_EQ(state.deviceCopy.at(e, c), reference.peek(Addr::stored(e, slot, c))) << c;
}

INSTANTIATE_TEST_SUITE_P(Line, NoisyLine,
                         ::testing::Values(Fault{"bitErrors1e4", bitErrors(1e-4, 7)},
                                           Fault{"bitErrors1e3", bitErrors(1e-3, 11)},
                                           Fault{"bitErrors1e3b", bitErrors(1e-3, 2)},
                                           Fault{"bitErrors3e3", bitErrors(3e-3, 3)},
                                           Fault{"noiseOnEveryOtherReply", noise(2, At::Inside, 3)}),
                         [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// A unit restarted or replaced behind a port that stays up, in the middle of a backup.
class UnitChangedBehindThePort : public FaultMatrix {};

TEST_P(UnitChangedBehindThePort, FailsTheBackupAsAnotherUnit)
{
    ASSERT_TRUE(program.search.connectAtStartUp({}));
    const BackupResult backup = readUnit(program.editor);
    EXPECT_EQ(backup.end, TransferEnd::OtherUnit);
    EXPECT_EQ(backup.problem, kAnotherUnitText);
}

INSTANTIATE_TEST_SUITE_P(Unit, UnitChangedBehindThePort,
                         ::testing::Values(Fault{"powerCycle", with(&EmulatorOptions::powerCycleAfter, 700)},
                                           Fault{"swap", with(&EmulatorOptions::swapAfter, 700)}),
                         [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Cable, FaultMatrix,
                         ::testing::Values(Fault{"healthy", {}}, Fault{"late", with(&EmulatorOptions::lateEvery, 97)},
                                           Fault{"extra", with(&EmulatorOptions::extraEvery, 1)},
                                           Fault{"short", with(&EmulatorOptions::shortEvery, 89)},
                                           Fault{"noiseBefore", noise(5, At::Before, 2)},
                                           Fault{"noiseInside", noise(7, At::Inside, 3)},
                                           Fault{"noiseAfter", noise(3, At::After, 8)},
                                           Fault{"flippedStart", flippedFraming(1, 0)},
                                           Fault{"flippedEnd", flippedFraming(11, 9)}),
                         [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

} // namespace
} // namespace qrv::test
