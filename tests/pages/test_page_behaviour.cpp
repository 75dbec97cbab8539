#include "EditorRig.hpp"

#include "effects/Pages.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Writes = std::vector<std::pair<int, int>>;

struct TapDelay : ::testing::Test {
    EditorRig rig;
    void SetUp() override { rig.select(6); }
    void setMono(int mono)
    {
        rig.form.Check3.value = mono;
        rig.editor.checkClick(6, 3);
        rig.port.clearLog();
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            tapTick(rig.editor);
    }
};

TEST_F(TapDelay, SwitchingToStereoClampsWithoutSendingTheDelay)
{
    setMono(1);
    rig.form.Slider2.at(0).position = 54;
    rig.editor.sliderEvent(6, 0);
    ASSERT_EQ(rig.stored(0), 200);
    rig.port.clearLog();
    const TapTempoState before = rig.state.tap;
    setMono(0);
    EXPECT_EQ(rig.stored(0), 160);
    EXPECT_EQ(rig.form.Text4.at(0).text, "800 ms");
    EXPECT_EQ(rig.form.Slider2.at(0).position, 94);
    EXPECT_EQ(rig.state.tap.delayValue, before.delayValue);
    EXPECT_EQ(rig.live(6, 0), 200); // the device is not told
}

TEST_F(TapDelay, TooSlowTapKeepsThePreviousDelayAndResendsItTheCounterStopsAt260)
{
    for (int mono : {0, 1}) {
        setMono(mono);
        const int limit = mono ? 25 : 16;
        tapClick(rig.editor);
        ticks(limit);
        tapClick(rig.editor);
        ASSERT_EQ(rig.stored(0), limit * 10);
        rig.port.clearLog();
        ticks(limit + 1);
        tapClick(rig.editor);
        EXPECT_EQ(rig.stored(0), limit * 10) << "mono " << mono;
        EXPECT_EQ(rig.parameterWrites(), (Writes{{0, limit * 10}}));
        EXPECT_EQ(rig.state.tap.tapCounter, 0);
    }
    ticks(400);
    EXPECT_EQ(rig.state.tap.tapCounter, 260); // the counter stops there
}

TEST_F(TapDelay, LampBlinksAtTheDelayTime)
{
    setMono(1);
    rig.form.Slider2.at(0).position = 254 - 101; // 505 ms
    rig.editor.sliderEvent(6, 0);
    EXPECT_EQ(rig.form.Timer2.interval, 505);
    lampTick(rig.editor);
    EXPECT_EQ(rig.form.Shape5.colour, kLampDark);
    EXPECT_EQ(rig.form.Timer2.interval, 252); // 252.5 rounds to even
    lampTick(rig.editor);
    EXPECT_EQ(rig.form.Shape5.colour, kLampBright);
    lampTick(rig.editor);
    EXPECT_EQ(rig.form.Shape5.colour, kLampDark);
}

struct RateLink : ::testing::Test {
    EditorRig rig;
};

TEST_F(RateLink, DecliningLeavesTheLinkOffAndSwitchingOffAsksNothing)
{
    rig.select(8);
    const uint8_t right = rig.stored(2);
    rig.form.Check6.value = 1;
    rig.host.answer(false);
    rig.editor.checkClick(8, 6);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, "The Link function copy RateL to RateR, are you sure?");
    EXPECT_EQ(rig.host.boxes[0].title, "Link Rate");
    EXPECT_EQ(rig.form.Check6.value, 0);
    EXPECT_EQ(rig.stored(2), right);
    EXPECT_TRUE(rig.port.sent().empty());

    rig.select(7);
    const auto asked = rig.host.boxes.size();
    rig.form.Check7.value = 0;
    rig.editor.checkClick(7, 5);
    EXPECT_EQ(rig.host.boxes.size(), asked);
    EXPECT_EQ(rig.parameterWrites(), (Writes{{3, 0}}));
}

TEST_F(RateLink, RefreshOfAStoredLinkAsksNothingAndCopiesAgain)
{
    rig.select(7);
    rig.state.store.at(7, 3) = 1;
    rig.state.store.at(7, 4) = 64;
    rig.state.store.at(7, 5) = 10;
    rig.editor.RefreshPageAndSend();
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.stored(5), 64);
    EXPECT_EQ(rig.form.Text5.at(2).text, "64 %");
    EXPECT_EQ(rig.live(7, 5), 64);
    EXPECT_FALSE(rig.state.refreshGuard);
}

TEST(Rotary, RefreshRunsTheSwitchFirstAndNoSliderWritesColumnsOneToNine)
{
    EditorRig rig;
    rig.select(11);
    rig.editor.RefreshPageAndSend();
    const Writes writes = rig.parameterWrites();
    ASSERT_EQ(writes.size(), 23u);
    EXPECT_EQ(writes[0].first, 0);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(writes[1 + static_cast<std::size_t>(i)].first, i + 10);
}

TEST(PitchShifter, TextsAtTheTellingPositions)
{
    EditorRig rig;
    rig.select(15);
    const std::map<int, std::string> telling = {
        {0, "-12     "}, {35, "-01 +66%"}, {36, " 00     "}, {37, " 00 +33%"}, {72, "+12     "}};
    for (const auto& [position, text] : telling) {
        rig.form.Slider10.at(0).position = position;
        rig.editor.sliderEvent(15, 0);
        EXPECT_EQ(rig.form.Text13.at(0).text, text);
        EXPECT_EQ(rig.stored(0), position);
    }
}

TEST(ChangedMarker, IgnoresColumn32AndStaysHiddenInDemoMode)
{
    EditorRig rig;
    rig.state.store.at(0, 32) = 7;
    compareTick(rig.editor);
    EXPECT_FALSE(rig.form.Label8.visible);
    rig.state.store.at(0, 31) = 1;
    compareTick(rig.editor);
    EXPECT_TRUE(rig.form.Label8.visible);
    rig.state.DemoMode = true;
    compareTick(rig.editor);
    EXPECT_FALSE(rig.form.Label8.visible);
}

} // namespace
} // namespace qrv::test
