#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "storage/FileView.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace qrv::test {
namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun show(const std::string& arguments, const std::filesystem::path& errors)
{
    const std::string command = std::string(QRV_CLI) + " show " + arguments + " 2>" + errors.string();
    CliRun run{-1, {}, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto err = readBytes(errors);
    run.err.assign(err.begin(), err.end());
    return run;
}

TEST(CliShow, PrintsTheValuesTheEditorShowed)
{
    EditorRig rig;
    TempFolder dir;
    rig.state.programFolder = dir.path;
    rig.select(0);
    rig.form.Slider12.at(0).position = 100 - 61;
    rig.editor.sliderEvent(0, 0);
    rig.form.Combo2.at(1).index = 12;
    rig.editor.passFilterClick(1);
    const auto file = dir.path / "hall.fxp";
    rig.host.choosePath(file);
    SavePresetFile(rig.editor);

    const CliRun run = show(file.string(), dir.path / "err");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    std::string problem;
    const auto view = describeFile(rig.state.tables, readBytes(file), '.', problem);
    ASSERT_TRUE(view) << problem;
    EXPECT_EQ(run.out, renderText(*view));
    EXPECT_NE(run.out.find("\n  Decay                 " + rig.form.Text18.at(0).text + "\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(rig.form.Text18.at(0).text, "61 %");
    EXPECT_NE(run.out.find("\n  Lo-Damp Freq          315 Hz\n"), std::string::npos) << run.out;

    const CliRun json = show(file.string() + " --json", dir.path / "err");
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out, renderJson(*view));
}

TEST(CliShow, DamagedFilesFailWithTheReasonOnStandardError)
{
    TempFolder dir;
    const auto shortFile = dir.path / "short.fxp";
    writeBytes(shortFile, std::vector<uint8_t>(32, 0));
    CliRun run = show(shortFile.string(), dir.path / "err");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find(shortFile.string()), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("32 bytes"), std::string::npos) << run.err;

    std::vector<uint8_t> bytes(33, 0);
    bytes[32] = 16;
    const auto noEffect = dir.path / "sixteen.fxp";
    writeBytes(noEffect, bytes);
    run = show(noEffect.string(), dir.path / "err");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("16"), std::string::npos) << run.err;

    run = show((dir.path / "absent.prj").string(), dir.path / "err");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());

    run = show("", dir.path / "err");
    EXPECT_EQ(run.status, 2);
}

} // namespace
} // namespace qrv::test
