#include "E2eSupport.hpp"
#include "FakeHost.hpp"
#include "tests/startup/ExpectedDump.hpp"
#include "tests/startup/StartUpRig.hpp"

#include "backupfile/BackupFile.hpp"
#include "devmem/UnitSlots.hpp"
#include "editor/Describe.hpp"
#include "storage/FileCodec.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qrv::test {
namespace {

struct CliRun {
    int status = -1;
    std::string errors;
    std::string output;
};

// Runs qrv5173-cli with the arguments (none may hold a blank) and collects what it printed.
CliRun runCli(const std::filesystem::path& folder, const std::string& arguments)
{
    const auto out = folder / "cli.out";
    const auto err = folder / "cli.err";
    const std::string command =
        std::string(QRV_CLI_PATH) + " " + arguments + " >" + out.string() + " 2>" + err.string();
    const int raw = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const auto text = [](const std::filesystem::path& path) {
        const auto bytes = readFile(path);
        return std::string(bytes.begin(), bytes.end());
    };
    run.errors = text(err);
    run.output = text(out);
    return run;
}

TEST(CliDump, WritesTheDevicesLiveParametersAsAProject)
{
    TemporaryWorkingDirectory cwd;
    DeviceModel memory;
    memory.poke(Addr::CurrentEffect, 5);
    // Values every control can hold (a unit's odd byte is read twice), all different where they can be.
    const ValueTables tables = buildValueTables();
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < 32; ++c) {
            const int maximum = columnMaximum(catalogue::pageOfEffect(e), tables, c).value_or(255);
            memory.poke(Addr::live(e, c), static_cast<uint8_t>((1 + e * 3 + c) % (maximum + 1)));
        }
    const auto device = startEmulator(cwd.path(), "device", "device", memory);
    const auto project = cwd.path() / "all.prj";

    const CliRun run = runCli(cwd.path(),
                              "dump --exact-startup --no-system-ports --port /nonexistent/first --port " +
                                  device->slavePath() + " --out " + project.string());
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("Dumping memory: please wait"), std::string::npos) << run.errors;

    const auto bytes = readFile(project);
    std::string problem;
    const auto rows = decodeProject(bytes, problem);
    ASSERT_TRUE(rows.has_value()) << problem;
    for (int e = 0; e < kEffectCount; ++e) {
        for (int c = 0; c < 32; ++c) {
            const bool read = e == 5 || c < kLiveCounts[e];
            EXPECT_EQ(rows->at(e, c), read ? memory.peek(Addr::live(e, c)) : 0) << "effect " << e << " column " << c;
        }
        EXPECT_EQ(rows->at(e, 32), e);
    }

    // The whole dump as the editor makes it, in one run: before it only the probe and reads of
    // the unit's telling bytes, after it only reads (every value a second time, the telling
    // bytes again) and the exit notice.
    const auto taken = requests(cwd.path() / "device.log");
    const auto expected = expectedDump(memory);
    std::vector<std::vector<uint8_t>> dump;
    for (const auto& x : expected)
        dump.push_back(x.bytes);
    const auto at = std::search(taken.begin(), taken.end(), dump.begin(), dump.end());
    ASSERT_NE(at, taken.end());
    EXPECT_EQ(taken.front(), frame(0x00));
    EXPECT_EQ(taken.back(), frame(0x0F));
    const auto onlyReads = [](auto first, auto last) {
        return std::all_of(first, last, [](const std::vector<uint8_t>& f) {
            return f[2] == Cmd::ReadByte || f[2] == Cmd::ReadSwitch || f[2] == Cmd::ReadEffectBlock;
        });
    };
    EXPECT_TRUE(onlyReads(taken.begin() + 1, at));
    const auto after = at + static_cast<std::ptrdiff_t>(dump.size());
    EXPECT_TRUE(onlyReads(after, taken.end() - 1));
    // Each effect's live row is read once more.
    EXPECT_GE(std::count_if(after, taken.end(), [](const auto& f) { return f[2] == Cmd::ReadEffectBlock; }) +
                  std::count_if(after, taken.end(), [](const auto& f) { return f[2] == Cmd::ReadByte; }) / 7,
              kEffectCount);
    EXPECT_TRUE(std::filesystem::exists(project));
    for (const auto& entry : std::filesystem::directory_iterator(cwd.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST(CliDump, AnUnwritableProjectIsReportedAndLeavesNothingBehind)
{
    TemporaryWorkingDirectory cwd;
    const auto device = startEmulator(cwd.path(), "device", "device", DeviceModel());
    const auto target = cwd.path() / "taken.prj";
    std::filesystem::create_directory(target); // a folder where the file should go
    std::filesystem::create_directory(target / "inside");
    const CliRun run =
        runCli(cwd.path(), "dump --no-system-ports --port " + device->slavePath() + " --out " + target.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("cannot write the project"), std::string::npos) << run.errors;
    EXPECT_TRUE(std::filesystem::is_directory(target / "inside"));
    for (const auto& entry : std::filesystem::directory_iterator(cwd.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
    // Checked before the dump: the device heard nothing.
    EXPECT_TRUE(requests(cwd.path() / "device.log").empty());
}

// The cable faults that a resend mends are the fault matrix's; here the two endings the tool
// must word itself: a unit lost mid-dump and a port that never answers right.
TEST(CliDump, ALostOrGarbledUnitGivesNoFileAndSaysWhy)
{
    TemporaryWorkingDirectory cwd;
    DeviceModel memory;
    // Hung up among the name reads: the search finds nothing; no file, not the editor's words.
    // Whether the search still opens the vanishing port (and gives up silently) or finds no
    // port at all (and says so) depends on how fast the emulator goes; the tool's own
    // closing words come either way.
    const auto device = startEmulator(cwd.path(), "gone", "gone", memory,
                                      {"--hangup-after", std::to_string(1 + expectedDump(memory).size() - 32 - 2)});
    const auto project = cwd.path() / "gone.prj";
    const CliRun run =
        runCli(cwd.path(),
               "dump --exact-startup --no-system-ports --port " + device->slavePath() + " --out " + project.string());
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(project));
    EXPECT_EQ(run.errors.find("DEMO MODE"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("the device was lost during the dump; nothing written"), std::string::npos) << run.errors;

    // Replies that never look right, and a port that does not exist: no QRV5173 answered.
    const auto garbled = startEmulator(cwd.path(), "garbled", "garbled", memory, {"--garbage"});
    const CliRun none = runCli(cwd.path(),
                               "dump --no-system-ports --port /nonexistent/a --port " + garbled->slavePath() +
                                   " --out " + project.string());
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.errors.find("no QRV5173 answered"), std::string::npos) << none.errors;
    EXPECT_FALSE(std::filesystem::exists(project));
}

TEST(CliCommandLines, HelpWrongLinesAndEffectsAndSlotsByNameOrNumberInPlainWords)
{
    TemporaryWorkingDirectory cwd;
    CliRun run = runCli(cwd.path(), "dump --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("--out FILE"), std::string::npos);
    EXPECT_NE(runCli(cwd.path(), "--help").output.find("dump"), std::string::npos);
    for (const char* wrong : {"dump --port", "dump --port /dev/null", "dump --out x.prj --colour", "frobnicate"})
        EXPECT_EQ(runCli(cwd.path(), wrong).status, 2) << wrong;
    run = runCli(cwd.path(), "restore --help");
    EXPECT_EQ(run.status, 0);
    for (const char* listed : {" 0 REVERB HALL", " 5 VOCAL_ECHO", " 7 CHORUS", "15 PITCH SHIFTER", "SIGTERM"})
        EXPECT_NE(run.output.find(listed), std::string::npos) << listed << "\n" << run.output;
    run = runCli(cwd.path(), "restore --effect choruses x.json");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("no effect is called 'choruses'"), std::string::npos) << run.errors;
    EXPECT_EQ(runCli(cwd.path(), "restore --effect 16 x.json").status, 2);

    // The slot commands: help, and a wrong line refused before any port is tried.
    run = runCli(cwd.path(), "import --help");
    EXPECT_EQ(run.status, 0);
    for (const char* listed : {"import [--port PATH]... [--no-system-ports] FILE... --to EFFECT[:SLOT]", " 7 CHORUS",
                               "tap-delay:3 or 6:3", "SIGTERM", "Exit status: 0 when every preset reads back"})
        EXPECT_NE(run.output.find(listed), std::string::npos) << listed << "\n" << run.output;
    for (const char* listed : {"slots ", "copy ", "move ", "swap ", "rename ", "clear ", "export ", "import "})
        EXPECT_NE(runCli(cwd.path(), "--help").output.find(listed), std::string::npos) << listed;
    for (const char* wrong :
         {"slots extra", "copy chorus:1", "copy chorus:9 chorus:1", "move chorus:1 chorus:2 chorus:3", "swap 16:1 0:1",
          "rename chorus:1", "rename chorus:1 NINECHARS", "clear chorus", "export chorus", "export chorusx --out d",
          "export chorus:0 --out d", "import x.fxp", "import --to chorus", "import a b --to chorus:8",
          "import a --to chorus:"})
        EXPECT_EQ(runCli(cwd.path(), wrong).status, 2) << wrong;
    run = runCli(cwd.path(), "copy reverb:1 chorus:2");
    EXPECT_NE(run.errors.find("'reverb:1' is no slot; a slot is EFFECT:SLOT"), std::string::npos) << run.errors;

    // Names and numbers pass; a newer file is refused in plain words before any port is tried.
    std::ofstream(cwd.path() / "newer.json") << "{\"kind\": \"qrv5173-backup\", \"format\": 2}";
    run = runCli(cwd.path(),
                 "restore --effect vocal-echo --effect Chorus --effect 15 " + (cwd.path() / "newer.json").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("format 2, from a newer version; this version reads format 1"), std::string::npos)
        << run.errors;
    EXPECT_EQ(run.errors.find("2.0"), std::string::npos) << run.errors;
}

// qrv5173-cli running as a child whose standard error goes to a file.
class CliProcess {
public:
    CliProcess(const std::filesystem::path& folder, std::vector<std::string> arguments) : errors_(folder / "cli.err")
    {
        arguments.insert(arguments.begin(), QRV_CLI_PATH);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int err = ::open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int none = ::open("/dev/null", O_RDWR);
            ::dup2(none, STDIN_FILENO);
            ::dup2(none, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~CliProcess()
    {
        if (!status_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    void signal(int number) const { ::kill(pid_, number); }
    int wait()
    {
        if (!status_) {
            int raw = 0;
            ::waitpid(pid_, &raw, 0);
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        }
        return *status_;
    }
    std::string errors() const
    {
        const auto bytes = readFile(errors_);
        return {bytes.begin(), bytes.end()};
    }

private:
    pid_t pid_ = -1;
    std::filesystem::path errors_;
    std::optional<int> status_;
};

inline constexpr int kAnyCommand = -1;

// The requests of one command (or all) the emulator has taken so far; waits (on the log,
// at most a minute) until there are at least `count` of them.
std::vector<std::vector<uint8_t>> waitForFrames(const std::filesystem::path& log, int command, std::size_t count)
{
    std::vector<std::vector<uint8_t>> found;
    for (int tries = 0; tries < 6000; ++tries) {
        found.clear();
        for (auto& request : requests(log))
            if (request.size() == 10 && (command == kAnyCommand || request[2] == command))
                found.push_back(std::move(request));
        if (found.size() >= count)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return found;
}

// The emulator at the real 4800 baud, so that a signal lands in the middle of the work.
std::unique_ptr<EmulatorProcess> pacedEmulator(const std::filesystem::path& folder, const std::string& name,
                                               const DeviceModel& memory)
{
    writeMemoryFile(folder / (name + ".mem"), memory.memory());
    return std::make_unique<EmulatorProcess>(QRV_EMULATOR_PATH,
                                             std::vector<std::string>{"--memory", (folder / (name + ".mem")).string(),
                                                                      "--log", (folder / (name + ".log")).string()});
}

std::array<uint8_t, 8> nameOf(const std::string& text)
{
    std::array<uint8_t, 8> name{};
    for (std::size_t k = 0; k < name.size(); ++k)
        name[k] = static_cast<uint8_t>(k < text.size() ? text[k] : ' ');
    return name;
}

TEST(CliSignals, EachSignalStopsARestoreAfterTheCurrentWriteNamingWhatWasDoneAndTheEmptiedSlot)
{
    TemporaryWorkingDirectory cwd;
    // The unit holds an old preset in every CHORUS slot; the backup a new one.
    DeviceModel memory;
    UnitBackup backup;
    for (int s = 0; s < kSlotCount; ++s) {
        memory.poke(Addr::directory(7, s), Addr::SlotUsed);
        SlotBackup& slot = backup.effects[7].presets[static_cast<std::size_t>(s)];
        slot.directory = Addr::SlotUsed;
        slot.name = nameOf("NEW " + std::to_string(s));
        const auto old = nameOf("OLD " + std::to_string(s));
        for (int k = 0; k < kNameLength; ++k)
            memory.poke(Addr::name(7, s, k), old[static_cast<std::size_t>(k)]);
        for (int c = 0; c < kDeviceColumns; ++c) {
            memory.poke(Addr::stored(7, s, c), 1);
            slot.data[static_cast<std::size_t>(c)] = 2;
        }
    }
    const auto file = cwd.path() / "unit.json";
    ASSERT_FALSE(writeBackupFile(file, backup));

    for (const auto& [number, name] : {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
        SCOPED_TRACE(name);
        const auto device = pacedEmulator(cwd.path(), name, memory);
        CliProcess cli(cwd.path(),
                       {"restore", "--no-system-ports", "--port", device->slavePath(), "--effect", "Reverb-Hall",
                        "--effect", "chorus", file.string()});
        // REVERB HALL takes 41 writes; then into the first CHORUS presets.
        ASSERT_GE(waitForFrames(cwd.path() / (name + std::string(".log")), Cmd::WriteByte, 41 + 20).size(), 61u);
        cli.signal(number);
        EXPECT_EQ(cli.wait(), 1);
        device->stop();
        const std::string errors = cli.errors();
        EXPECT_NE(errors.find("restore stopped by " + std::string(name) + " after the current write"),
                  std::string::npos)
            << errors;
        EXPECT_NE(errors.find("Effects completed: REVERB HALL\n"), std::string::npos) << errors;

        // Where the writes stopped, from the unit's side.
        const auto writes = waitForFrames(cwd.path() / (name + std::string(".log")), Cmd::WriteByte, 0);
        const auto& last = writes.back();
        const auto address = static_cast<uint16_t>(last[3] << 8 | last[4]);
        const auto image = readMemoryFile(cwd.path() / (name + std::string(".mem")));
        ASSERT_TRUE(image.has_value());
        int cut = -1; // the slot whose preset the last write belonged to, unfinished
        for (int s = 0; s < kSlotCount; ++s)
            for (int k = 0; k < kDeviceColumns; ++k)
                if ((address == Addr::directory(7, s) && last[6] != Addr::SlotUsed) ||
                    (k < kNameLength && address == Addr::name(7, s, k)) || address == Addr::stored(7, s, k))
                    cut = s;
        int emptied = -1;
        for (int s = 0; s < kSlotCount; ++s) {
            const auto at = [&](uint16_t a) { return (*image)[a]; };
            const bool newName = at(Addr::name(7, s, 0)) == 'N', newData = at(Addr::stored(7, s, 31)) == 2;
            if (at(Addr::directory(7, s)) == Addr::SlotUsed) {
                // Stored means whole: all old or all new.
                EXPECT_EQ(newName, newData) << "slot " << s;
                for (int c = 0; c < kDeviceColumns; ++c)
                    ASSERT_EQ(at(Addr::stored(7, s, c)), newData ? 2 : 1) << "slot " << s << " column " << c;
            } else {
                EXPECT_EQ(emptied, -1) << "one slot at most is left empty";
                emptied = s;
            }
        }
        EXPECT_EQ(emptied, cut);
        if (emptied >= 0)
            EXPECT_NE(errors.find("CHORUS was stopped part-way: slot " + std::to_string(emptied + 1) + " is empty now"),
                      std::string::npos)
                << errors;
        else
            EXPECT_NE(errors.find("no slot was"), std::string::npos) << errors;
        for (const auto& entry : std::filesystem::directory_iterator(cwd.path()))
            EXPECT_FALSE(entry.path().string().ends_with(".part")) << entry.path();
    }
}

TEST(CliSignals, AStoppedDumpOrBackupWritesNothingAndASecondSignalEndsAtOnce)
{
    TemporaryWorkingDirectory cwd;
    const auto device = pacedEmulator(cwd.path(), "dump", DeviceModel());
    const auto project = cwd.path() / "all.prj";
    {
        CliProcess cli(cwd.path(),
                       {"dump", "--no-system-ports", "--port", device->slavePath(), "--out", project.string()});
        ASSERT_GE(waitForFrames(cwd.path() / "dump.log", kAnyCommand, 10).size(), 10u);
        cli.signal(SIGTERM);
        EXPECT_EQ(cli.wait(), 1);
        EXPECT_NE(cli.errors().find("dump stopped by SIGTERM; nothing written"), std::string::npos) << cli.errors();
    }
    const auto backup = cwd.path() / "unit.json";
    {
        const std::size_t before = requests(cwd.path() / "dump.log").size();
        CliProcess cli(cwd.path(),
                       {"backup", "--no-system-ports", "--port", device->slavePath(), "--out", backup.string()});
        ASSERT_GE(waitForFrames(cwd.path() / "dump.log", kAnyCommand, before + 20).size(), before + 20);
        // Two of one kind would merge while the first is pending.
        cli.signal(SIGINT);
        cli.signal(SIGTERM);
        EXPECT_EQ(cli.wait(), 1);
        EXPECT_NE(cli.errors().find("ended at once by a second signal"), std::string::npos) << cli.errors();
    }
    EXPECT_FALSE(std::filesystem::exists(project));
    EXPECT_FALSE(std::filesystem::exists(backup));
    for (const auto& entry : std::filesystem::directory_iterator(cwd.path()))
        EXPECT_FALSE(entry.path().string().ends_with(".part")) << entry.path();
}


// A unit's whole memory, as the emulator keeps it in its memory file.
using MemoryImage = std::vector<uint8_t>;

// A stored preset whose every byte tells it apart: its name, and data counting up from `seed`.
void storePreset(MemoryImage& m, SlotRef at, const std::string& name, uint8_t seed)
{
    m[Addr::directory(at.effect, at.slot)] = Addr::SlotUsed;
    const auto bytes = nameOf(name);
    for (int k = 0; k < kNameLength; ++k)
        m[Addr::name(at.effect, at.slot, k)] = bytes[static_cast<std::size_t>(k)];
    for (int c = 0; c < kDeviceColumns; ++c)
        m[Addr::stored(at.effect, at.slot, c)] = static_cast<uint8_t>(seed + c);
}

// A slot's name, data and directory byte, from one image to another (or the same).
void copySlot(const MemoryImage& source, SlotRef from, MemoryImage& target, SlotRef to)
{
    std::copy_n(source.begin() + Addr::name(from.effect, from.slot, 0), kNameLength,
                target.begin() + Addr::name(to.effect, to.slot, 0));
    std::copy_n(source.begin() + Addr::stored(from.effect, from.slot, 0), kDeviceColumns,
                target.begin() + Addr::stored(to.effect, to.slot, 0));
    target[Addr::directory(to.effect, to.slot)] = source[Addr::directory(from.effect, from.slot)];
}

// The unit's memory file equals the expected image; names the first addresses that differ.
void expectMemory(const std::filesystem::path& file, const MemoryImage& expected)
{
    const auto image = readMemoryFile(file);
    ASSERT_TRUE(image.has_value());
    int shown = 0;
    for (std::size_t a = 0; a < expected.size() && shown < 8; ++a)
        if ((*image)[a] != expected[a]) {
            ADD_FAILURE() << "address 0x" << std::hex << a << ": 0x" << int((*image)[a]) << " instead of 0x"
                          << int(expected[a]);
            ++shown;
        }
}

std::string quoted(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
}

constexpr int kChorus = 7;

DeviceModel unitHolding(const MemoryImage& image)
{
    DeviceModel unit;
    unit.loadMemory(image);
    return unit;
}

// CHORUS holds FIRST and SECOND in slots 1 and 2, REVERB HALL 3 holds WIDE, TREMOLO 8 holds
// LAST; every other slot is empty.
MemoryImage slotsUnit()
{
    const DeviceModel factory;
    MemoryImage m(factory.memory().begin(), factory.memory().end());
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s)
            m[Addr::directory(e, s)] = Addr::SlotErased;
    storePreset(m, {kChorus, 0}, "FIRST", 10);
    storePreset(m, {kChorus, 1}, "SECOND", 50);
    m[Addr::slotNumber(kChorus)] = 5;
    storePreset(m, {0, 2}, "WIDE", 90);
    storePreset(m, {10, 7}, "LAST", 130);
    return m;
}

TEST(CliSlots, EachCommandChangesItsSlotsOnTheUnitAndNothingElse)
{
    TemporaryWorkingDirectory cwd;
    MemoryImage expected = slotsUnit();
    const auto device = startEmulator(cwd.path(), "unit", "unit", unitHolding(expected));
    const auto memory = cwd.path() / "unit.mem";
    const std::string port = " --no-system-ports --port " + device->slavePath();

    CliRun run = runCli(cwd.path(), "slots" + port);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), kEffectCount * kSlotCount) << run.output;
    for (const char* line : {" 7  CHORUS             1  FIRST\n", " 7  CHORUS             3  empty\n",
                             " 0  REVERB HALL        3  WIDE\n", " 0  REVERB HALL        4  empty\n",
                             "10  TREMOLO            8  LAST\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;

    const auto step = [&](const std::string& command, const std::string& said) {
        SCOPED_TRACE(command);
        const CliRun done = runCli(cwd.path(), command + port);
        EXPECT_EQ(done.status, 0) << done.errors;
        EXPECT_NE(done.errors.find(said), std::string::npos) << done.errors;
        expectMemory(memory, expected);
    };
    copySlot(expected, {kChorus, 0}, expected, {kChorus, 2});
    step("copy chorus:1 chorus:3", "Copied CHORUS 1 to CHORUS 3 and read it back");
    for (int k = 0; k < kNameLength; ++k)
        expected[Addr::name(kChorus, 2, k)] = static_cast<uint8_t>("  COPY  "[k]);
    step("rename 7:3 COPY", "Renamed CHORUS 3 to COPY");
    const MemoryImage beforeSwap = expected;
    copySlot(beforeSwap, {kChorus, 0}, expected, {kChorus, 1});
    copySlot(beforeSwap, {kChorus, 1}, expected, {kChorus, 0});
    step("swap CHORUS:1 Chorus:2", "Swapped CHORUS 1 and CHORUS 2");
    copySlot(expected, {kChorus, 2}, expected, {kChorus, 7});
    expected[Addr::directory(kChorus, 2)] = Addr::SlotErased;
    step("move chorus:3 chorus:8", "Moved CHORUS 3 to CHORUS 8");
    expected[Addr::directory(kChorus, 7)] = Addr::SlotErased;
    step("clear chorus:8", "Cleared CHORUS 8");

    // Stored slots become files of their 32 bytes and the effect; empty ones give none.
    const auto out = cwd.path() / "out";
    step("export chorus reverb-hall:3 0:4 --out " + out.string(), "Exported 3 stored presets");
    std::map<std::string, SlotRef> files{
        {"CHORUS 1 SECOND.fxp", {kChorus, 0}}, {"CHORUS 2 FIRST.fxp", {kChorus, 1}}, {"REVERB HALL 3 WIDE.fxp", {0, 2}}};
    std::set<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(out))
        written.insert(entry.path().filename().string());
    ASSERT_EQ(written.size(), files.size());
    for (const auto& [name, at] : files) {
        std::vector<uint8_t> bytes(expected.begin() + Addr::stored(at.effect, at.slot, 0),
                                   expected.begin() + Addr::stored(at.effect, at.slot, 0) + kDeviceColumns);
        bytes.push_back(static_cast<uint8_t>(at.effect));
        EXPECT_EQ(readFile(out / name), bytes) << name;
    }

    // Back in: to the first empty slots of the effect, or from a given slot on.
    // The name comes from the file's, centred.
    const auto imported = [&](SlotRef from, SlotRef to, const char* name) {
        copySlot(expected, from, expected, to);
        for (int k = 0; k < kNameLength; ++k)
            expected[Addr::name(to.effect, to.slot, k)] = static_cast<uint8_t>(name[k]);
    };
    imported({kChorus, 1}, {kChorus, 2}, "  FIRST ");
    imported({kChorus, 0}, {kChorus, 3}, " SECOND ");
    step("import " + quoted(out / "CHORUS 2 FIRST.fxp") + " " + quoted(out / "CHORUS 1 SECOND.fxp") + " --to chorus",
         "Imported 2 presets into CHORUS 3, CHORUS 4");
    imported({kChorus, 1}, {kChorus, 7}, "  FIRST ");
    step("import " + quoted(out / "CHORUS 2 FIRST.fxp") + " --to chorus:8", "Imported 1 preset into CHORUS 8 and read it back");

    // The whole unit: a file for every stored slot.
    const auto all = cwd.path() / "all";
    step("export --out " + all.string(), "Exported 7 stored presets to ");
    written.clear();
    for (const auto& entry : std::filesystem::directory_iterator(all))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"REVERB HALL 3 WIDE.fxp", "CHORUS 1 SECOND.fxp", "CHORUS 2 FIRST.fxp",
                                              "CHORUS 3 FIRST.fxp", "CHORUS 4 SECOND.fxp", "CHORUS 8 FIRST.fxp",
                                              "TREMOLO 8 LAST.fxp"}));
}

TEST(CliSlots, ARefusedCommandSaysWhyAndWritesNothing)
{
    TemporaryWorkingDirectory cwd;
    MemoryImage unit = slotsUnit();
    for (int s = 2; s < kSlotCount - 1; ++s)
        storePreset(unit, {kChorus, s}, "FULL " + std::to_string(s), static_cast<uint8_t>(s));
    const auto device = startEmulator(cwd.path(), "unit", "unit", unitHolding(unit));
    const std::string port = " --no-system-ports --port " + device->slavePath();
    const auto wide = cwd.path() / "WIDE.fxp";
    {
        std::vector<uint8_t> bytes(kDeviceColumns, 3);
        bytes.push_back(0);
        std::ofstream(wide, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 33);
    }
    const auto first = cwd.path() / "FIRST.fxp";
    {
        std::vector<uint8_t> bytes(kDeviceColumns, 4);
        bytes.push_back(kChorus);
        std::ofstream(first, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 33);
    }
    for (const auto& [command, said] :
         {std::pair<std::string, std::string>{"copy chorus:1 reverb-hall:1", "CHORUS preset cannot go into a REVERB HALL"},
          {"move 0:3 chorus:8", "REVERB HALL preset cannot go into a CHORUS"},
          {"import " + wide.string() + " --to chorus", "holds a REVERB HALL preset: it cannot go into a CHORUS slot"},
          {"import " + first.string() + " " + first.string() + " --to chorus", "CHORUS has 1 empty slot left: 2 presets do not fit"},
          {"rename chorus:8 EMPTY", "CHORUS 8 is empty"}}) {
        SCOPED_TRACE(command);
        const CliRun run = runCli(cwd.path(), command + port);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.errors.find(said), std::string::npos) << run.errors;
    }
    EXPECT_TRUE(waitForFrames(cwd.path() / "unit.log", Cmd::WriteByte, 0).empty());
    expectMemory(cwd.path() / "unit.mem", unit);
}

// Each of the three imported presets is whole on the unit or its slot is empty.
void expectWholeOrEmpty(const std::filesystem::path& memory)
{
    const auto image = readMemoryFile(memory);
    ASSERT_TRUE(image.has_value());
    for (int k = 0; k < 3; ++k) {
        const SlotRef at{kChorus, 2 + k};
        if ((*image)[Addr::directory(at.effect, at.slot)] != Addr::SlotUsed)
            continue;
        for (int c = 0; c < kDeviceColumns; ++c)
            ASSERT_EQ((*image)[Addr::stored(at.effect, at.slot, c)], 0x40 + k) << "slot " << at.slot << " column " << c;
    }
    EXPECT_EQ((*image)[Addr::directory(kChorus, 4)], Addr::SlotErased) << "the third preset was not reached";
}

TEST(CliSignals, AnImportStoppedOrCutOffLeavesEachSlotWholeOrEmpty)
{
    TemporaryWorkingDirectory cwd;
    const MemoryImage unit = slotsUnit();
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k) {
        std::vector<uint8_t> bytes(kDeviceColumns, static_cast<uint8_t>(0x40 + k));
        bytes.push_back(kChorus);
        const auto file = cwd.path() / ("IN" + std::to_string(k) + ".fxp");
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 33);
        files.push_back(file.string());
    }
    const auto import = [&](const std::string& port) {
        std::vector<std::string> arguments{"import", "--no-system-ports", "--port", port, "--to", "chorus"};
        arguments.insert(arguments.end(), files.begin(), files.end());
        return arguments;
    };
    {
        const auto device = pacedEmulator(cwd.path(), "stopped", unitHolding(unit));
        CliProcess cli(cwd.path(), import(device->slavePath()));
        // Into the second of the three presets.
        ASSERT_GE(waitForFrames(cwd.path() / "stopped.log", Cmd::WriteByte, 60).size(), 60u);
        cli.signal(SIGTERM);
        EXPECT_EQ(cli.wait(), 1);
        device->stop();
        EXPECT_NE(cli.errors().find("import stopped by SIGTERM"), std::string::npos) << cli.errors();
        expectWholeOrEmpty(cwd.path() / "stopped.mem");
    }

    // A unit that hangs up in the middle of the second preset, counted on a whole run.
    std::size_t firstWrite = 0;
    {
        const auto device = startEmulator(cwd.path(), "whole", "whole", unitHolding(unit));
        CliProcess cli(cwd.path(), import(device->slavePath()));
        ASSERT_EQ(cli.wait(), 0) << cli.errors();
        const auto taken = requests(cwd.path() / "whole.log");
        while (firstWrite < taken.size() && taken[firstWrite][2] != Cmd::WriteByte)
            ++firstWrite;
    }
    const auto device = startEmulator(cwd.path(), "cut", "cut", unitHolding(unit),
                                      {"--hangup-after", std::to_string(firstWrite + 60)});
    CliProcess cli(cwd.path(), import(device->slavePath()));
    EXPECT_EQ(cli.wait(), 1);
    EXPECT_NE(cli.errors().find("import cut off: the device was lost"), std::string::npos) << cli.errors();
    // The tool has no undo: it says what the slot held instead.
    EXPECT_NE(cli.errors().find("CHORUS 3 now counts as empty; it was empty before."), std::string::npos)
        << cli.errors();
    EXPECT_EQ(cli.errors().find("undo"), std::string::npos) << cli.errors();
    expectWholeOrEmpty(cwd.path() / "cut.mem");
}

} // namespace
} // namespace qrv::test
