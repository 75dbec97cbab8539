#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "storage/CommandPanel.hpp"
#include "storage/PresetFiles.hpp"
#include "storage/Reload.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

TEST(Reload, CurrentEffectGoesBackToTheStartConfigurationAndIsSentAgainNoKeepsTheEdit)
{
    EditorRig rig;
    rig.select(0);
    const int original = rig.state.startConfig.at(0, 0);
    rig.form.Slider12.at(0).position = 100 - 77;
    rig.editor.sliderEvent(0, 0);
    ASSERT_EQ(rig.state.store.at(0, 0), 77);
    rig.port.clearLog();

    // No keeps the edit.
    rig.host.answer(false);
    ReloadCurrentEffect(rig.editor);
    EXPECT_EQ(rig.state.store.at(0, 0), 77);
    EXPECT_TRUE(rig.port.sent().empty());

    rig.host.answer(true);
    ReloadCurrentEffect(rig.editor);

    ASSERT_EQ(rig.host.boxes.size(), 2u);
    for (const auto& box : rig.host.boxes) {
        EXPECT_EQ(box.text, "                Are you sure ?");
        EXPECT_EQ(box.title, "Reload Current Effect");
        EXPECT_EQ(box.icon, Icon::None);
        EXPECT_TRUE(box.question);
        EXPECT_EQ(box.defaultButton, Button::Yes);
    }
    EXPECT_EQ(rig.state.store.at(0, 0), original);
    EXPECT_EQ(rig.form.Slider12.at(0).position, 100 - original);
    EXPECT_EQ(rig.form.Text18.at(0).text, std::to_string(original) + " %");
    EXPECT_EQ(rig.device.peek(Addr::live(0, 0)), original);
    EXPECT_FALSE(rig.frames(Cmd::SetParameter).empty());
    EXPECT_FALSE(rig.host.busy(Window::Editor));
}

TEST(Reload, AllEffectsRestoresEveryRowButSendsOnlyTheCurrentOneAndNothingInDemoMode)
{
    EditorRig rig;
    rig.select(3);
    for (int e = 0; e < kEffectCount; ++e)
        rig.state.store.at(e, 0) = static_cast<uint8_t>(rig.state.startConfig.at(e, 0) + 1);
    const ParameterTable edited = rig.state.store;
    rig.port.clearLog();
    rig.host.answer(false);
    ReloadAllEffects(rig.editor);
    EXPECT_EQ(rig.host.boxes.at(0).title, "Reload All Effect");
    EXPECT_EQ(rig.host.boxes.at(0).text, "                Are you sure ?");
    EXPECT_TRUE(rig.state.store == edited);
    EXPECT_TRUE(rig.port.sent().empty());

    rig.host.answer(true);
    ReloadAllEffects(rig.editor);
    EXPECT_TRUE(rig.state.store == rig.state.startConfig);
    const auto sent = rig.port.sent();
    ASSERT_FALSE(sent.empty());
    for (const auto& frame : sent) {
        ASSERT_EQ(frame.bytes.at(2), Cmd::SetParameter);
        EXPECT_EQ(frame.bytes.at(8), rig.state.startConfig.at(3, frame.bytes.at(3))) << int(frame.bytes.at(3));
    }
    EXPECT_EQ(rig.device.currentEffect(), 3);

    // In demo mode the editor changes the same way and sends nothing.
    rig.state.DemoMode = true;
    for (int e = 0; e < kEffectCount; ++e)
        rig.state.store.at(e, 0) = static_cast<uint8_t>(rig.state.startConfig.at(e, 0) + 1);
    rig.port.clearLog();
    rig.host.answer(true);
    ReloadCurrentEffect(rig.editor);
    rig.host.answer(true);
    ReloadAllEffects(rig.editor);
    EXPECT_TRUE(rig.state.store == rig.state.startConfig);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(Reload, AfterAPresetFileTheFilesValuesReturn)
{
    EditorRig rig;
    TempFolder dir;
    rig.state.programFolder = dir.path;
    const auto file = dir.path / "p.fxp";
    rig.select(7);
    rig.form.Slider3.at(1).position = 100 - 64;
    rig.editor.sliderEvent(7, 1);
    rig.host.choosePath(file);
    SavePresetFile(rig.editor);
    rig.select(2);
    rig.host.choosePath(file);
    LoadPresetFile(rig.editor);
    rig.form.Slider3.at(1).position = 100 - 5;
    rig.editor.sliderEvent(7, 1);
    rig.host.answer(true);
    ReloadCurrentEffect(rig.editor);
    const auto bytes = readBytes(file);
    EXPECT_EQ(rig.state.store.at(7, 4), 64);
    for (int c = 0; c < kRowSize; ++c)
        EXPECT_EQ(rig.state.store.at(7, c), bytes.at(static_cast<std::size_t>(c))) << c;
    EXPECT_EQ(rig.form.Text5.at(1).text, "64 %");
}

TEST(CommandPanel, EachIndexRunsItsActionAndOthersDoNothing)
{
    EditorRig rig;
    TempFolder dir;
    rig.state.programFolder = dir.path;
    std::vector<int> ran;
    PanelActions actions{[&] { ran.push_back(0); }, [&] { ran.push_back(7); }, [&] { ran.push_back(8); },
                         [&] { ran.push_back(9); }};
    for (int i : {0, 7, 8, 9})
        commandPanelClick(rig.editor, actions, i);
    EXPECT_EQ(ran, (std::vector<int>{0, 7, 8, 9}));

    for (int i = 1; i <= 4; ++i) {
        rig.host.choosePath(std::nullopt);
        commandPanelClick(rig.editor, actions, i);
    }
    ASSERT_EQ(rig.host.dialogs.size(), 4u);
    EXPECT_TRUE(rig.host.dialogs[0].save);
    EXPECT_EQ(rig.host.dialogs[0].filter, "file preset (*.fxp)|*.fxp");
    EXPECT_FALSE(rig.host.dialogs[1].save);
    EXPECT_EQ(rig.host.dialogs[1].filter, "file preset (*.fxp)|*.fxp");
    EXPECT_TRUE(rig.host.dialogs[2].save);
    EXPECT_EQ(rig.host.dialogs[2].filter, "file preset (*.Prj)|*.Prj");
    EXPECT_FALSE(rig.host.dialogs[3].save);
    EXPECT_EQ(rig.host.dialogs[3].filter, "file preset (*.prj)|*.Prj");

    rig.host.answer(false);
    commandPanelClick(rig.editor, actions, 5);
    rig.host.answer(false);
    commandPanelClick(rig.editor, actions, 6);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[0].title, "Reload Current Effect");
    EXPECT_EQ(rig.host.boxes[1].title, "Reload All Effect");

    for (int i : {-1, 10, 42})
        commandPanelClick(rig.editor, actions, i);
    EXPECT_EQ(ran.size(), 4u);
    EXPECT_EQ(rig.host.dialogs.size(), 4u);
    EXPECT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_TRUE(rig.port.sent().empty());

    // Actions the application has not wired are skipped.
    EXPECT_NO_THROW(commandPanelClick(rig.editor, PanelActions{}, 0));
    EXPECT_NO_THROW(commandPanelClick(rig.editor, PanelActions{}, 9));
}

} // namespace
} // namespace qrv::test
