#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "storage/FileView.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The texts the editor's page shows now, in the order the viewer lists them.
std::vector<std::string> pageTexts(Editor& editor)
{
    FrmMain& form = editor.form();
    const PageInfo& page = editor.currentPage();
    std::vector<std::string> texts;
    for (const PageParameter& p : page.parameters) {
        if (p.kind == ControlKind::CheckBox)
            texts.push_back((form.*p.check).value ? "on" : "off");
        else
            texts.push_back(editor.valueBox(page, p).text);
    }
    for (const BandRef& band : page.bands) {
        texts.push_back(form.Text16.at(band.band).text + " dB");
        const ListBox& frequency = form.Combo4.at(band.band);
        texts.push_back(trimmed(frequency.items.at(static_cast<std::size_t>(frequency.index))));
        const ListBox& width = form.Combo3.at(band.band);
        texts.push_back(width.items.at(static_cast<std::size_t>(width.index)));
    }
    for (const PassFilterRef& list : page.passFilters) {
        const ListBox& box = form.Combo2.at(list.list);
        texts.push_back(trimmed(box.items.at(static_cast<std::size_t>(box.index))));
    }
    return texts;
}

std::vector<std::string> viewTexts(const EffectView& view)
{
    std::vector<std::string> texts;
    for (const ShownValue& value : view.values)
        texts.push_back(value.text);
    return texts;
}

// For the same bytes the viewer shows what the editor shows: every effect as saved, and
// four effects with every byte out of range.
TEST(FileView, ShowsWhatTheEditorShowsForEveryEffectAndForOutOfRangeValues)
{
    EditorRig rig;
    TempFolder dir;
    rig.state.programFolder = dir.path;
    const auto file = dir.path / "e.fxp";
    const auto expectEditorsTexts = [&](int e) {
        const auto bytes = readBytes(file);
        std::string problem;
        const auto view = describeFile(rig.state.tables, bytes, '.', problem);
        ASSERT_TRUE(view) << problem;
        ASSERT_EQ(view->kind, FileView::Kind::Preset);
        ASSERT_EQ(view->effects.size(), 1u);
        EXPECT_EQ(view->effects[0].effect, e);
        EXPECT_EQ(view->effects[0].name, catalogue::effect(e).listText);
        EXPECT_EQ(viewTexts(view->effects[0]), pageTexts(rig.editor)) << "effect " << e;
        const ShownValue& first = view->effects[0].values.front();
        EXPECT_EQ(first.stored, bytes.at(static_cast<std::size_t>(first.column))) << "effect " << e;
    };
    for (int e = 0; e < kEffectCount; ++e) {
        rig.select(e);
        rig.host.choosePath(file);
        SavePresetFile(rig.editor);
        expectEditorsTexts(e);
    }
    rig.state.DemoMode = true;
    for (int e : {0, 4, 11, 15}) {
        std::vector<uint8_t> bytes(33, 255);
        bytes[32] = static_cast<uint8_t>(e);
        writeBytes(file, bytes);
        rig.host.choosePath(file);
        LoadPresetFile(rig.editor);
        expectEditorsTexts(e);
    }
}

TEST(FileView, ProjectListsAllSixteenEffectsByPlace)
{
    const ValueTables tables = buildValueTables();
    const int gainColumn = tables.filterTableA[6]; // Vocal Echo's first band
    std::vector<uint8_t> bytes(528, 0);
    bytes[33 * 3 + 32] = 9; // a record's own index is not what places it
    bytes[static_cast<std::size_t>(33 * 5 + gainColumn)] = 41;
    std::string problem;
    const auto view = describeFile(tables, bytes, ',', problem);
    ASSERT_TRUE(view) << problem;
    EXPECT_EQ(view->kind, FileView::Kind::Project);
    ASSERT_EQ(view->effects.size(), 16u);
    for (int e = 0; e < 16; ++e)
        EXPECT_EQ(view->effects[static_cast<std::size_t>(e)].effect, e);
    const auto& echo = view->effects[5].values;
    const auto gain =
        std::find_if(echo.begin(), echo.end(), [&](const ShownValue& v) { return v.column == gainColumn; });
    ASSERT_NE(gain, echo.end());
    EXPECT_EQ(gain->label, "PEQ 1 Gain");
    EXPECT_EQ(gain->text, "5,5 dB");
    const auto first = view->effects[0].values.front();
    EXPECT_EQ(first.label, "Decay");
    EXPECT_EQ(first.text, "0 %");
}

TEST(FileView, DamagedFilesAreRefusedWithTheReason)
{
    const ValueTables tables = buildValueTables();
    std::string problem;
    EXPECT_FALSE(describeFile(tables, std::vector<uint8_t>(32, 0), '.', problem));
    EXPECT_NE(problem.find("32 bytes"), std::string::npos) << problem;
    std::vector<uint8_t> preset(33, 0);
    preset[32] = 16;
    EXPECT_FALSE(describeFile(tables, preset, '.', problem));
    EXPECT_NE(problem.find("16"), std::string::npos) << problem;
    EXPECT_FALSE(describeFile(tables, {}, '.', problem));
    EXPECT_FALSE(describeFile(tables, std::vector<uint8_t>(529, 0), '.', problem));
}

} // namespace
} // namespace qrv::test
