#include "EditorRig.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

const PageInfo& page(int element)
{
    return *catalogue::pageByElement(element);
}

TEST(EditPath, RotarySliderStoresShowsAndSendsColumnIndexPlusTen)
{
    EditorRig rig;
    rig.select(11);
    rig.form.Slider60.at(3).position = 40;
    rig.editor.sliderEvent(11, 3);
    EXPECT_EQ(rig.state.store.at(11, 13), 60);
    EXPECT_EQ(rig.form.Text80.at(3).text, "60 %");
    ASSERT_EQ(rig.frames(Cmd::SetParameter).size(), 1u);
    EXPECT_EQ(rig.frames(Cmd::SetParameter)[0], (Bytes{0xF0, 0x9C, 0x20, 0x0D, 0, 0, 0, 0, 0x3C, 0xF7}));
    EXPECT_EQ(rig.live(11, 13), 60);
}

TEST(EditPath, TheValueBoxIsRepaintedBeforeTheFrameGoesOut)
{
    EditorRig rig;
    rig.select(5);
    rig.host.refreshes.clear();
    rig.form.Slider1.at(1).position = 0;
    rig.editor.sliderEvent(5, 1);
    EXPECT_EQ(rig.form.Text3.at(1).text, "140 ms");
    EXPECT_EQ(rig.host.refreshes, (std::vector<Window>{Window::Editor}));
}

TEST(EditPath, EveryTextRuleAtItsBoundsThroughItsPage)
{
    EditorRig rig;
    rig.select(0);
    rig.form.Slider12.at(1).position = 0; // the top stores the maximum
    rig.editor.sliderEvent(0, 1);
    EXPECT_EQ(rig.stored(1), 80);
    EXPECT_EQ(rig.form.Text18.at(1).text, "80 ms");
    rig.form.Slider12.at(8).position = 100;
    rig.editor.sliderEvent(0, 8);
    EXPECT_EQ(rig.stored(21), 0);
    EXPECT_EQ(rig.form.Text18.at(8).text, "0 %");
    EXPECT_EQ(rig.parameterWrites(), (std::vector<std::pair<int, int>>{{1, 80}, {21, 0}}));

    rig.select(4);
    rig.form.Slider11.at(0).position = 100;
    rig.editor.sliderEvent(4, 0);
    EXPECT_EQ(rig.form.Text11.at(0).text, "   0.0 ms");
    rig.form.Slider11.at(0).position = 0;
    rig.editor.sliderEvent(4, 0);
    EXPECT_EQ(rig.form.Text11.at(0).text, "3150.0 ms");
    EXPECT_EQ(rig.stored(0), 100);

    rig.select(13);
    rig.form.Slider13.at(0).position = 1;
    rig.editor.sliderEvent(13, 0);
    EXPECT_EQ(rig.form.Text19.at(0).text, "795 ms");
    EXPECT_EQ(rig.stored(0), 159);

    rig.select(15);
    rig.form.Slider10.at(0).position = 36;
    rig.editor.sliderEvent(15, 0);
    EXPECT_EQ(rig.form.Text13.at(0).text, " 00     ");
    EXPECT_EQ(rig.frames(Cmd::SetParameter).back(), (Bytes{0xF0, 0x9C, 0x20, 0, 0, 0, 0, 0, 0x24, 0xF7}));
}

TEST(EditPath, DemoModeChangesStoreAndTextButWritesNothing)
{
    EditorRig rig;
    rig.select(11);
    rig.state.DemoMode = true;
    rig.form.Slider60.at(9).position = 0;
    rig.editor.sliderEvent(11, 9);
    EXPECT_EQ(rig.stored(19), 100);
    EXPECT_EQ(rig.form.Text80.at(9).text, "100 %");
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(EditPath, ReverbsEditTheirOwnRowsThroughOnePage)
{
    EditorRig rig;
    rig.select(0);
    rig.form.Slider12.at(0).position = 10;
    rig.editor.sliderEvent(0, 0);
    EXPECT_EQ(rig.state.store.at(0, 0), 90);

    rig.select(1);
    EXPECT_EQ(rig.form.Text18.at(0).text, std::to_string(rig.state.store.at(1, 0)) + " %");
    EXPECT_EQ(rig.state.store.at(1, 0), rig.live(1, 0));
    rig.form.Slider12.at(0).position = 70;
    rig.editor.sliderEvent(0, 0);
    EXPECT_EQ(rig.state.store.at(1, 0), 30);
    EXPECT_EQ(rig.state.store.at(0, 0), 90);
}

TEST(EditPath, AnUnknownIndexOrAColumnAboveTheEffectsCountIsNeverWritten)
{
    EditorRig rig;
    rig.select(10);
    const ParameterTable before = rig.state.store;
    rig.editor.PageProcedure(page(10), 4);
    rig.editor.PageProcedure(page(10), -3);
    EXPECT_EQ(rig.state.store, before);
    EXPECT_TRUE(rig.port.sent().empty());

    rig.select(15);
    for (int pos : {0, 20, 72}) {
        rig.form.Slider10.at(0).position = pos;
        rig.editor.sliderEvent(15, 0);
        rig.form.Slider10.at(1).position = pos;
        rig.editor.sliderEvent(15, 1);
    }
    for (const auto& [column, value] : rig.parameterWrites())
        EXPECT_LT(column, 5);
    EXPECT_EQ(rig.state.store.at(15, 32), 0);
}

} // namespace
} // namespace qrv::test
