#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "storage/FileView.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

std::string text(const QJsonValue& value)
{
    return value.toString().toStdString();
}

// The JSON holds every effect and value of the view, in order, with the same texts.
void expectJsonShows(const std::string& json, const FileView& view)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << json;
    const QJsonObject root = document.object();
    EXPECT_EQ(text(root["kind"]), view.kind == FileView::Kind::Preset ? "preset" : "project");
    const QJsonArray effects = root["effects"].toArray();
    ASSERT_EQ(static_cast<std::size_t>(effects.size()), view.effects.size());
    for (std::size_t e = 0; e < view.effects.size(); ++e) {
        const EffectView& expected = view.effects[e];
        const QJsonObject effect = effects[static_cast<qsizetype>(e)].toObject();
        EXPECT_EQ(effect["effect"].toInt(-1), expected.effect);
        EXPECT_EQ(text(effect["name"]), expected.name);
        EXPECT_EQ(text(effect["page"]), expected.page);
        const QJsonArray values = effect["values"].toArray();
        ASSERT_EQ(static_cast<std::size_t>(values.size()), expected.values.size()) << expected.name;
        for (std::size_t v = 0; v < expected.values.size(); ++v) {
            const QJsonObject value = values[static_cast<qsizetype>(v)].toObject();
            EXPECT_EQ(text(value["label"]), expected.values[v].label);
            EXPECT_EQ(value["column"].toInt(-1), expected.values[v].column) << expected.values[v].label;
            EXPECT_EQ(value["stored"].toInt(-1), expected.values[v].stored) << expected.values[v].label;
            EXPECT_EQ(text(value["text"]), expected.values[v].text) << expected.values[v].label;
        }
    }
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
    EXPECT_EQ(run.out.rfind("Preset file, effect 0, REVERB HALL (Reverb Edit)\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\n  Decay                 " + rig.form.Text18.at(0).text + "\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(rig.form.Text18.at(0).text, "61 %");
    EXPECT_NE(run.out.find("\n  Lo-Damp Freq          315 Hz\n"), std::string::npos) << run.out;

    const CliRun json = show(file.string() + " --json", dir.path / "err");
    EXPECT_EQ(json.status, 0);
    expectJsonShows(json.out, *view);
    EXPECT_NE(json.out.find("\"Lo-Damp Freq\""), std::string::npos) << json.out;

    const auto project = dir.path / "all.prj";
    writeBytes(project, std::vector<uint8_t>(528, 3));
    const CliRun all = show(project.string() + " --json", dir.path / "err");
    EXPECT_EQ(all.status, 0) << all.err;
    const auto projectView = describeFile(rig.state.tables, readBytes(project), '.', problem);
    ASSERT_TRUE(projectView) << problem;
    expectJsonShows(all.out, *projectView);
}

TEST(CliShow, LongerFilesShowAsTheEditorLoadsThemAndDamagedOnesFailWithTheReason)
{
    TempFolder dir;
    // Longer files show as the editor loads them: their first 33 or 528 bytes.
    for (const auto& [name, size, kind] : {std::tuple{"long.fxp", 40, "Preset file"}, {"long.prj", 600, "Project file"}}) {
        writeBytes(dir.path / name, std::vector<uint8_t>(size, 3));
        const CliRun run = show((dir.path / name).string(), dir.path / "err");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.rfind(kind, 0), 0u) << run.out;
        EXPECT_NE(run.err.find(" bytes after the first "), std::string::npos) << run.err;
    }
    const auto shortFile = dir.path / "short.fxp";
    writeBytes(shortFile, std::vector<uint8_t>(32, 0));
    CliRun run = show(shortFile.string(), dir.path / "err");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find(shortFile.string()), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("32 bytes"), std::string::npos) << run.err;

    run = show((dir.path / "absent.prj").string(), dir.path / "err");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());

    run = show("", dir.path / "err");
    EXPECT_EQ(run.status, 2);
}

} // namespace
} // namespace qrv::test
