#include "E2eSupport.hpp"
#include "FakeHost.hpp"
#include "tests/startup/ExpectedDump.hpp"
#include "tests/startup/StartUpRig.hpp"

#include "app/DeviceBackup.hpp"
#include "editor/Describe.hpp"
#include "link/SerialTransport.hpp"
#include "storage/FileCodec.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

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
                              "dump --no-system-ports --port /nonexistent/first --port " + device->slavePath() +
                                  " --out " + project.string());
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

    // The whole dump as the editor makes it, then the exit notice, and nothing else.
    const auto taken = requests(cwd.path() / "device.log");
    const auto expected = expectedDump(memory);
    ASSERT_EQ(taken.size(), expected.size() + 2);
    EXPECT_EQ(taken.front(), frame(0x00));
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(taken[i + 1], expected[i].bytes) << "exchange " << i;
    EXPECT_EQ(taken.back(), frame(0x0F));
    EXPECT_TRUE(std::filesystem::exists(project));
    for (const auto& entry : std::filesystem::directory_iterator(cwd.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST(CliDump, NoDeviceIsAnErrorWithAMessage)
{
    TemporaryWorkingDirectory cwd;
    const auto project = cwd.path() / "none.prj";
    const CliRun run = runCli(cwd.path(), "dump --no-system-ports --port /nonexistent/a --out " + project.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("no QRV5173 answered"), std::string::npos) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(project));
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

TEST(CliBackup, TheEditorsBackUpDeviceWritesTheSameFile)
{
    TemporaryWorkingDirectory cwd;
    DeviceModel memory;
    memory.poke(Addr::directory(6, 7), Addr::SlotUsed);
    const std::string name = "Gr\xFC\xDF 7  ";
    for (int k = 0; k < kNameLength; ++k)
        memory.poke(Addr::name(6, 7, k), static_cast<uint8_t>(name[static_cast<std::size_t>(k)]));
    memory.poke(Addr::CurrentEffect, 6);
    const auto device = startEmulator(cwd.path(), "device", "device", memory);
    const auto cliFile = cwd.path() / "cli.json";
    const CliRun run =
        runCli(cwd.path(), "backup --no-system-ports --port " + device->slavePath() + " --out " + cliFile.string());
    ASSERT_EQ(run.status, 0) << run.errors;

    ensureApplication();
    FakeHost host;
    SteadyClock clock;
    SerialTransport port;
    Program program(port, clock, host, [&](int n) -> std::optional<std::string> {
        return n == 1 ? std::optional<std::string>(device->slavePath()) : std::nullopt;
    });
    ASSERT_TRUE(program.search.connectAtStartUp({}));
    program.state.LinkUp = true;
    program.state.programFolder = cwd.path();
    host.choosePath(cwd.path() / "editor.json");
    backUpDevice(program.editor, 0);
    EXPECT_TRUE(host.boxes.empty());
    const auto editorBytes = readFile(cwd.path() / "editor.json");
    EXPECT_EQ(editorBytes, readFile(cliFile));
    EXPECT_NE(std::string(editorBytes.begin(), editorBytes.end()).find("\"name\": \"Gr\xC3\xBC\xC3\x9F 7  \""),
              std::string::npos);
}

// The file a healthy dump of the memory gives: the live values read, zeros elsewhere.
std::vector<uint8_t> healthyDump(const DeviceModel& memory)
{
    ParameterTable rows;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < 32; ++c)
            if (e == memory.currentEffect() || c < kLiveCounts[e])
                rows.at(e, c) = memory.peek(Addr::live(e, c));
    return encodeProject(rows);
}

TEST(CliDump, AFaultyCableGivesTheRightFileOrNone)
{
    TemporaryWorkingDirectory cwd;
    DeviceModel memory;
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < 32; ++c)
            memory.poke(Addr::live(e, c), static_cast<uint8_t>(7 + e * 5 + c));
    const std::vector<std::pair<std::string, std::vector<std::string>>> faults = {
        {"late", {"--late-every", "250"}},
        {"extra", {"--extra-every", "1"}},
        {"short", {"--short-every", "300"}},
    };
    for (const auto& [name, options] : faults) {
        const auto device = startEmulator(cwd.path(), name, name, memory, options);
        const auto project = cwd.path() / (name + ".prj");
        const CliRun run =
            runCli(cwd.path(), "dump --no-system-ports --port " + device->slavePath() + " --out " + project.string());
        ASSERT_EQ(run.status, 0) << name << ": " << run.errors;
        EXPECT_EQ(readFile(project), healthyDump(memory)) << name;
    }

    // Hung up among the name reads: the search finds nothing; no file, not the editor's words.
    // Whether the search still opens the vanishing port (and gives up silently) or finds no
    // port at all (and says so) depends on how fast the emulator goes; the tool's own
    // closing words come either way.
    const auto device = startEmulator(cwd.path(), "gone", "gone", memory,
                                      {"--hangup-after", std::to_string(1 + expectedDump(memory).size() - 32 - 2)});
    const auto project = cwd.path() / "gone.prj";
    const CliRun run =
        runCli(cwd.path(), "dump --no-system-ports --port " + device->slavePath() + " --out " + project.string());
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(project));
    EXPECT_EQ(run.errors.find("DEMO MODE"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("the device was lost during the dump; nothing written"), std::string::npos) << run.errors;

    // Replies that never look right: the tool gives up without a file.
    const auto garbled = startEmulator(cwd.path(), "garbled", "garbled", memory, {"--garbage"});
    const CliRun none =
        runCli(cwd.path(), "dump --no-system-ports --port " + garbled->slavePath() + " --out " + project.string());
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(std::filesystem::exists(project));
}

TEST(CliDump, HelpAndWrongCommandLines)
{
    TemporaryWorkingDirectory cwd;
    CliRun run = runCli(cwd.path(), "dump --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("--out FILE"), std::string::npos);
    run = runCli(cwd.path(), "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("dump"), std::string::npos);
    EXPECT_EQ(runCli(cwd.path(), "dump --port").status, 2);
    EXPECT_EQ(runCli(cwd.path(), "dump --port /dev/null").status, 2); // no --out
    EXPECT_EQ(runCli(cwd.path(), "dump --out x.prj --colour").status, 2);
    EXPECT_EQ(runCli(cwd.path(), "frobnicate").status, 2);
}

} // namespace
} // namespace qrv::test
