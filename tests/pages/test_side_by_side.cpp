#include "effects/SideBySide.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

constexpr int kTapDelay = 6, kPhaser = 9, kRotary = 11;

PresetSide side(const char* caption, int effect, std::initializer_list<std::pair<int, uint8_t>> values)
{
    PresetSide s{caption, effect, {}};
    for (const auto& [column, value] : values)
        s.bytes[static_cast<std::size_t>(column)] = value;
    return s;
}

struct Shown {
    std::string label, first, second;
    bool differs;
    bool operator==(const Shown&) const = default;
    friend void PrintTo(const Shown& s, std::ostream* out)
    {
        *out << s.label << " | " << s.first << " | " << s.second << (s.differs ? " | differs" : "");
    }
};

std::vector<Shown> shown(const SideBySide& compared)
{
    std::vector<Shown> rows;
    for (const SideBySideRow& r : compared.rows)
        rows.push_back({r.label, r.first, r.second, r.differs});
    return rows;
}

// Tap Delay: the delay in ms, cut to 800 ms in stereo as its page does, the Mono box, a
// PEQ band and the pass filters; a byte no control shows still counts.
TEST(SideBySide, RowsInPageOrderWithEachValueAsThePageShowsIt)
{
    const ValueTables tables = buildValueTables();
    const PresetSide slot = side("TAP DELAY 3 SLAP", kTapDelay,
                                 {{0, 100}, {1, 40}, {13, 80}, {14, 1}, {4, 31}, {5, 17}, {6, 9}, {2, 3}, {3, 30}});
    const PresetSide file = side("slap.fxp", kTapDelay,
                                 {{0, 200}, {1, 40}, {13, 80}, {14, 0}, {4, 20}, {5, 17}, {6, 9}, {2, 3}, {3, 27}, {20, 7}});
    const SideBySide compared = compareSideBySide(tables, slot, file, ',');
    EXPECT_TRUE(compared.refusal.empty());
    const std::vector<Shown> expected{
        {"Delay", "500 ms", "800 ms (stored: 1000 ms)", true},
        {"Feedback", "40 %", "40 %", false},
        {"Out Level", "80 %", "80 %", false},
        {"Mono", "on", "off", true},
        {"PEQ 1 gain", "0,5 dB", "-5 dB", true},
        {"PEQ 1 frequency", "1000 Hz", "1000 Hz", false},
        {"PEQ 1 width", "0.50 Oct", "0.50 Oct", false},
        {"PEQ 2 gain", "-15 dB", "-15 dB", false},
        {"PEQ 2 frequency", "20.0Hz", "20.0Hz", false},
        {"PEQ 2 width", "0.05 Oct", "0.05 Oct", false},
        {"PEQ 3 gain", "-15 dB", "-15 dB", false},
        {"PEQ 3 frequency", "20.0Hz", "20.0Hz", false},
        {"PEQ 3 width", "0.05 Oct", "0.05 Oct", false},
        {"HighPass Freq", "40.0 Hz", "40.0 Hz", false},
        {"LowPass Freq", "20  KHz", "10  KHz", true},
        {"column 20", "0", "7", true},
    };
    EXPECT_EQ(shown(compared), expected);
    EXPECT_EQ(compared.differing(), 5);
    EXPECT_EQ(differingText(compared.differing()), "5 parameters differ");
    EXPECT_EQ(compared.rows.front().description, "Delay");

    // The same bytes in mono: the delay shows as stored. Identical presets differ nowhere.
    PresetSide mono = file;
    mono.bytes[14] = 1;
    EXPECT_EQ(compareSideBySide(tables, mono, slot, '.').rows.front().first, "1000 ms");
    EXPECT_EQ(compareSideBySide(tables, slot, slot, '.').differing(), 0);
}

TEST(SideBySide, CheckBoxesAsTheirPageNamesThemAndTwoEffectsAreRefused)
{
    const ValueTables tables = buildValueTables();
    const SideBySide phaser =
        compareSideBySide(tables, side("a", kPhaser, {{15, 1}}), side("b", kPhaser, {{15, 2}, {16, 1}}), '.');
    const auto row = [&phaser](const std::string& label) {
        for (const SideBySideRow& r : phaser.rows)
            if (r.label == label)
                return Shown{r.label, r.first, r.second, r.differs};
        return Shown{};
    };
    EXPECT_EQ(row("Input Phase 180'"), (Shown{"Input Phase 180'", "on", "on (stored: 2)", true}));
    EXPECT_EQ(row("Feedback Phase 180'"), (Shown{"Feedback Phase 180'", "off", "on", true}));
    const SideBySide rotary = compareSideBySide(tables, side("a", kRotary, {}), side("b", kRotary, {{0, 1}}), '.');
    EXPECT_EQ(rotary.rows.front().label, "Rotor");
    EXPECT_EQ(rotary.rows.front().second, "Fast");
    EXPECT_EQ(rotary.rows.front().description, "Rotor speed");

    const SideBySide refused =
        compareSideBySide(tables, side("REVERB HALL 3 WIDE", 0, {}), side("slap.fxp", kTapDelay, {}), '.');
    EXPECT_TRUE(refused.rows.empty());
    EXPECT_EQ(refused.refusal, "Only two presets of one effect can be compared side by side: REVERB HALL 3 WIDE is "
                               "for REVERB HALL, slap.fxp for TAP DELAY.");
}

} // namespace
} // namespace qrv::test
