#include "editor/Catalogue.hpp"

#include <gtest/gtest.h>

#include <set>

namespace qrv {
namespace {

// Every column a page owns, with the number of controls writing it.
std::map<int, int> columnOwners(int effect)
{
    const ValueTables tables = buildValueTables();
    const PageInfo& page = catalogue::pageOfEffect(effect);
    std::map<int, int> owners;
    for (const PageParameter& p : page.parameters)
        ++owners[p.column];
    for (const BandRef& band : page.bands)
        for (int part = 0; part < 3; ++part)
            ++owners[tables.filterTableA[static_cast<std::size_t>(band.band)] + part];
    for (const PassFilterRef& list : page.passFilters)
        ++owners[tables.filterTableB[static_cast<std::size_t>(list.list)]];
    return owners;
}

TEST(Catalogue, EveryEffectCoversItsColumnsExactlyOnce)
{
    const ValueTables tables = buildValueTables();
    for (int e = 0; e < kEffectCount; ++e) {
        const int n = catalogue::effect(e).columnCount;
        EXPECT_EQ(tables.parameterCount[static_cast<std::size_t>(e)], n + 2) << "effect " << e;
        const auto owners = columnOwners(e);
        EXPECT_EQ(static_cast<int>(owners.size()), n) << "effect " << e;
        for (const auto& [column, count] : owners) {
            EXPECT_GE(column, 0) << "effect " << e;
            EXPECT_LT(column, n) << "effect " << e;
            EXPECT_EQ(count, 1) << "effect " << e << " column " << column;
        }
    }
}

TEST(Catalogue, BandsAndListsAreEachOnExactlyOnePage)
{
    std::multiset<int> bands, lists;
    for (const PageInfo& page : catalogue::pages()) {
        for (const BandRef& b : page.bands)
            bands.insert(b.band);
        for (const PassFilterRef& l : page.passFilters)
            lists.insert(l.list);
    }
    EXPECT_EQ(bands.size(), static_cast<std::size_t>(kBandCount));
    EXPECT_EQ(lists.size(), static_cast<std::size_t>(kPassFilterCount));
    for (int k = 0; k < kBandCount; ++k)
        EXPECT_EQ(bands.count(k), 1u) << "band " << k;
    for (int j = 0; j < kPassFilterCount; ++j)
        EXPECT_EQ(lists.count(j), 1u) << "list " << j;
}

TEST(Catalogue, ReverbsShareOnePageAndOtherEffectsHaveTheirOwn)
{
    for (int e = 0; e < 4; ++e)
        EXPECT_EQ(catalogue::pageOfEffect(e).element, 0);
    for (int e = 4; e < kEffectCount; ++e)
        EXPECT_EQ(catalogue::pageOfEffect(e).element, e);
    for (int element = 1; element <= 3; ++element)
        EXPECT_EQ(catalogue::pageByElement(element), nullptr);
    EXPECT_STREQ(catalogue::pageOfEffect(2).caption, "Reverb Edit");
    EXPECT_STREQ(catalogue::pageOfEffect(12).caption, "Chorus/Flanger Reverb Edit");
    EXPECT_STREQ(catalogue::effect(5).listText, "VOCAL_ECHO");
}

TEST(Catalogue, ColumnsThatAreNotTheIndex)
{
    const auto column = [](int effect, int index) {
        return catalogue::parameter(catalogue::pageOfEffect(effect), index)->column;
    };
    EXPECT_EQ(column(0, 8), 21); // Pseudo St.
    EXPECT_EQ(column(5, 3), 14); // Vocal Echo Out Level
    EXPECT_EQ(column(10, 1), 3); // Tremolo Depth
    EXPECT_EQ(column(9, 4), 17); // Phaser Offset Depth
    EXPECT_EQ(column(14, 4), 6); // Chorus/Flanger Delay Delay Time
    EXPECT_EQ(column(7, 5), 3);  // Chorus link box
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(column(11, i), i + 10);
    EXPECT_EQ(catalogue::parameter(catalogue::pageOfEffect(6), 4), nullptr);
}

TEST(ValueTables, TellingEntries)
{
    const ValueTables t = buildValueTables();
    EXPECT_EQ(t.pitchText[1], "-12 +33%");
    EXPECT_EQ(t.pitchText[2], "-12 +66%");
    EXPECT_EQ(t.pitchText[3], "-11     ");
    EXPECT_EQ(t.pitchText[39], "+01     ");
    EXPECT_EQ(t.pitchText[71], "+11 +66%");
    for (const std::string& entry : t.pitchText)
        EXPECT_EQ(entry.size(), 8u);
    EXPECT_EQ(t.gateTime[0], "   0.0");
    EXPECT_EQ(t.gateTime[1], "  31.5");
    EXPECT_EQ(t.gateTime[3], "  94.5");
    EXPECT_EQ(t.gateTime[33], "1039.5");
    EXPECT_EQ(t.gateTime[100], "3150.0");
}

TEST(ValueText, EveryRuleAtItsBounds)
{
    const ValueTables t = buildValueTables();
    EXPECT_EQ(valueText(t, TextRule::Percent, 0), "0 %");
    EXPECT_EQ(valueText(t, TextRule::Percent, 100), "100 %");
    EXPECT_EQ(valueText(t, TextRule::Milliseconds, 80), "80 ms");
    EXPECT_EQ(valueText(t, TextRule::TimesFiveMs, 160), "800 ms");
    EXPECT_EQ(valueText(t, TextRule::TimesFiveMs, 254), "1270 ms");
    EXPECT_EQ(valueText(t, TextRule::TimesFiveMs, 0), "0 ms");
    EXPECT_EQ(valueText(t, TextRule::GateTime, 0), "   0.0 ms");
    EXPECT_EQ(valueText(t, TextRule::GateTime, 100), "3150.0 ms");
    EXPECT_EQ(valueText(t, TextRule::Pitch, 72), "+12     ");
    EXPECT_EQ(valueText(t, TextRule::Pitch, 200), "+12     "); // a damaged value stays inside the table
}

TEST(ValueText, GainInShortestDecimalFormAndTheNarrowestWidth)
{
    EXPECT_EQ(gainText(0, '.'), "-15");
    EXPECT_EQ(gainText(30, '.'), "0");
    EXPECT_EQ(gainText(29, '.'), "-0.5");
    EXPECT_EQ(gainText(1, '.'), "-14.5");
    EXPECT_EQ(gainText(45, ','), "7,5");
    EXPECT_EQ(gainText(60, '.'), "15");
    EXPECT_EQ(catalogue::widthEntry(0), "0.05 Oct");
}

} // namespace
} // namespace qrv
