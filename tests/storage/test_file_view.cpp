#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "storage/FileView.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

#include <cctype>

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

TEST(FileView, ShowsWhatTheEditorShowedForEveryEffect)
{
    EditorRig rig;
    TempFolder dir;
    rig.state.programFolder = dir.path;
    for (int e = 0; e < kEffectCount; ++e) {
        rig.select(e);
        const auto file = dir.path / ("e" + std::to_string(e) + ".fxp");
        rig.host.choosePath(file);
        SavePresetFile(rig.editor);
        std::string problem;
        const auto view = describeFile(rig.state.tables, readBytes(file), '.', problem);
        ASSERT_TRUE(view) << problem;
        ASSERT_EQ(view->kind, FileView::Kind::Preset);
        ASSERT_EQ(view->effects.size(), 1u);
        EXPECT_EQ(view->effects[0].effect, e);
        EXPECT_EQ(view->effects[0].name, catalogue::effect(e).listText);
        EXPECT_EQ(viewTexts(view->effects[0]), pageTexts(rig.editor)) << "effect " << e;
    }
}

TEST(FileView, OutOfRangeValuesShowAsTheControlsShowThem)
{
    EditorRig rig;
    TempFolder dir;
    rig.state.programFolder = dir.path;
    rig.state.DemoMode = true;
    for (int e : {0, 4, 11, 15}) {
        std::vector<uint8_t> bytes(33, 255);
        bytes[32] = static_cast<uint8_t>(e);
        const auto file = dir.path / "wild.fxp";
        writeBytes(file, bytes);
        rig.host.choosePath(file);
        LoadPresetFile(rig.editor);
        std::string problem;
        const auto view = describeFile(rig.state.tables, bytes, '.', problem);
        ASSERT_TRUE(view) << problem;
        EXPECT_EQ(viewTexts(view->effects[0]), pageTexts(rig.editor)) << "effect " << e;
        EXPECT_EQ(view->effects[0].values.front().stored, 255);
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

// A strict reader of the JSON the viewer writes: true when the whole text is one value.
class JsonReader {
public:
    explicit JsonReader(const std::string& text) : s_(text) {}
    bool document() { return value() && (skip(), i_ == s_.size()); }

private:
    void skip()
    {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            ++i_;
    }
    bool take(char c)
    {
        skip();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool string()
    {
        if (!take('"'))
            return false;
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c == '\\') {
                if (i_ >= s_.size())
                    return false;
                const char e = s_[i_++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k)
                        if (i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_++])))
                            return false;
                } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool number()
    {
        skip();
        const std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-')
            ++i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])))
            ++i_;
        return i_ > start;
    }
    template <class Item> bool sequence(char open, char close, Item item)
    {
        if (!take(open))
            return false;
        if (take(close))
            return true;
        do {
            if (!item())
                return false;
        } while (take(','));
        return take(close);
    }
    bool value()
    {
        skip();
        if (i_ >= s_.size())
            return false;
        switch (s_[i_]) {
        case '{':
            return sequence('{', '}', [this] { return string() && take(':') && value(); });
        case '[':
            return sequence('[', ']', [this] { return value(); });
        case '"':
            return string();
        default:
            return number();
        }
    }
    const std::string& s_;
    std::size_t i_ = 0;
};

TEST(FileView, JsonIsValidAndCarriesTheTexts)
{
    std::vector<uint8_t> bytes(33, 0);
    bytes[0] = 57;
    bytes[32] = 7;
    std::string problem;
    auto view = describeFile(buildValueTables(), bytes, '.', problem);
    ASSERT_TRUE(view);
    const std::string json = renderJson(*view);
    EXPECT_TRUE(JsonReader(json).document()) << json;
    EXPECT_NE(json.find("\"kind\": \"preset\""), std::string::npos);
    EXPECT_NE(json.find("\"label\": \"Depth\", \"column\": 0, \"stored\": 57, \"text\": \"57 %\""), std::string::npos)
        << json;
    // Captions double '&' for the window; the viewer shows it once.
    EXPECT_NE(json.find("\"label\": \"Link Rate L&R\""), std::string::npos) << json;

    view->effects[0].name = "a\"b\\c\nd\x01";
    const std::string odd = renderJson(*view);
    EXPECT_TRUE(JsonReader(odd).document()) << odd;
    EXPECT_NE(odd.find(R"("a\"b\\c\u000ad\u0001")"), std::string::npos) << odd;
    EXPECT_FALSE(JsonReader(R"({"a": "x)").document()); // the reader itself refuses broken text

    const auto project = describeFile(buildValueTables(), std::vector<uint8_t>(528, 3), '.', problem);
    ASSERT_TRUE(project);
    EXPECT_TRUE(JsonReader(renderJson(*project)).document());
}

TEST(FileView, TextListsEachLabelWithItsText)
{
    std::vector<uint8_t> bytes(33, 0);
    bytes[0] = 57;
    bytes[32] = 7;
    std::string problem;
    const auto view = describeFile(buildValueTables(), bytes, '.', problem);
    ASSERT_TRUE(view);
    const std::string text = renderText(*view);
    EXPECT_EQ(text.rfind("Preset file, effect 7, CHORUS (Chorus Edit)\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n  Depth                 57 %\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  Link Rate L&R         off\n"), std::string::npos) << text;
}

} // namespace
} // namespace qrv::test
