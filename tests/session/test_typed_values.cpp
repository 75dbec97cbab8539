#include "EditorRig.hpp"

#include "editor/TypedValues.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

TEST(TypedValues, EveryTextRuleSnapsToTheNearestValueTheControlCanTake)
{
    struct Case {
        TextRule rule;
        int maximum;
        const char* text;
        int stored;
        bool limited;
    };
    const Case cases[] = {
        {TextRule::Percent, 100, "45", 45, false},
        {TextRule::Percent, 100, " 45 % ", 45, false},
        {TextRule::Percent, 100, "45.6", 46, false},
        {TextRule::Percent, 100, "150", 100, true},
        {TextRule::Percent, 100, "-3", 0, true},
        {TextRule::Milliseconds, 80, "33ms", 33, false},
        {TextRule::Milliseconds, 40, "41 MS", 40, true},
        {TextRule::TimesFiveMs, 254, "450", 90, false},
        {TextRule::TimesFiveMs, 254, "450 ms", 90, false},
        {TextRule::TimesFiveMs, 254, "452", 90, false},
        {TextRule::TimesFiveMs, 254, "453", 91, false},
        {TextRule::TimesFiveMs, 254, "9999", 254, true},
        {TextRule::GateTime, 100, "315", 10, false},
        {TextRule::GateTime, 100, " 330.7 ms", 10, false},
        {TextRule::GateTime, 100, "3150.0 ms", 100, false},
        {TextRule::Pitch, 72, "+07", 57, false},
        {TextRule::Pitch, 72, "-01 +66%", 35, false},
        {TextRule::Pitch, 72, "-12", 0, false},
        {TextRule::Pitch, 72, " 00 +33%", 37, false},
        {TextRule::Pitch, 72, "7", 57, false},
        {TextRule::Pitch, 72, "+12", 72, false},
        {TextRule::Pitch, 72, "-3.3", 26, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseTypedValue(c.rule, c.text, c.maximum, '.'), (TypedValue{c.stored, c.limited})) << c.text;

    EXPECT_EQ(parseGain("-3.5", '.'), (TypedValue{23, false}));
    EXPECT_EQ(parseGain("+2 dB", '.'), (TypedValue{34, false}));
    EXPECT_EQ(parseGain("7,5", ','), (TypedValue{45, false}));
    EXPECT_EQ(parseGain("0.3", '.'), (TypedValue{31, false}));
    EXPECT_EQ(parseGain("-40", '.'), (TypedValue{0, true}));
    EXPECT_EQ(parsePercent("12,5", 100, ','), (TypedValue{13, false}));
}

TEST(TypedValues, GarbageIsRefused)
{
    for (const char* text : {"", "  ", "abc", "45 ms%", "4 5", "1e3", "nan", "inf", "--3", "+", ".", "45%%", "12 Hz"})
        EXPECT_EQ(parseTypedValue(TextRule::Percent, text, 100, '.'), std::nullopt) << text;
    EXPECT_EQ(parseTypedValue(TextRule::TimesFiveMs, "450 %", 254, '.'), std::nullopt);
    EXPECT_EQ(parsePitch("+07 +66", 72, '.'), std::nullopt);
    EXPECT_EQ(parsePitch("+07 x", 72, '.'), std::nullopt);
    EXPECT_EQ(parseGain("3 ms", '.'), std::nullopt);
    EXPECT_EQ(parseTypedValue(TextRule::None, "1", 1, '.'), std::nullopt);
}

TEST(TypedValues, EnterRunsTheEditPathAndGarbageShowsTheValueAgain)
{
    EditorRig rig;
    rig.select(6);
    rig.form.Check3.value = 1;
    rig.editor.checkClick(6, 3);
    rig.port.clearLog();
    const uint8_t delay = rig.stored(0);

    rig.form.Text4.at(0).text = "452 ms";
    EXPECT_TRUE(rig.editor.typedValue(6, 0));
    EXPECT_EQ(rig.form.Text4.at(0).text, "450 ms");
    EXPECT_EQ(rig.form.Slider2.at(0).position, 254 - 90);
    EXPECT_EQ(rig.stored(0), 90);
    EXPECT_EQ(rig.live(6, 0), 90);

    EXPECT_EQ(rig.state.lastOutcome, "");

    rig.form.Text4.at(0).text = "fast";
    EXPECT_FALSE(rig.editor.typedValue(6, 0));
    EXPECT_EQ(rig.form.Text4.at(0).text, "450 ms");
    EXPECT_EQ(rig.state.lastOutcome, "Not a number");
    EXPECT_EQ(rig.parameterWrites().size(), 1u);

    // Beyond the range: the nearest end, and the user is told in the box's unit.
    rig.form.Text4.at(1).text = "150";
    EXPECT_TRUE(rig.editor.typedValue(6, 1));
    EXPECT_EQ(rig.form.Text4.at(1).text, "100 %");
    EXPECT_EQ(rig.state.lastOutcome, "Limited to 100 %");

    rig.form.Text16.at(10).text = "-3.5";
    EXPECT_TRUE(rig.editor.typedGain(10));
    EXPECT_EQ(rig.form.Text16.at(10).text, "-3.5");
    EXPECT_EQ(rig.stored(7), 23);
    EXPECT_EQ(rig.live(6, 7), 23);
    rig.form.Text16.at(10).text = "+20 dB";
    EXPECT_TRUE(rig.editor.typedGain(10));
    EXPECT_EQ(rig.form.Text16.at(10).text, "15");
    EXPECT_EQ(rig.state.lastOutcome, "Limited to 15 dB");
    rig.form.Text16.at(10).text = "loud";
    EXPECT_FALSE(rig.editor.typedGain(10));
    EXPECT_EQ(rig.form.Text16.at(10).text, "15");
    EXPECT_EQ(rig.state.lastOutcome, "Not a number");

    // Typed values are steps of the history like any other edit.
    for (int step = 0; step < 4; ++step)
        rig.editor.undo();
    EXPECT_EQ(rig.stored(0), delay);
}

} // namespace
} // namespace qrv::test
