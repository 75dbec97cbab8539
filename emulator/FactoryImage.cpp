#include "FactoryImage.hpp"

#include "link/Frame.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace qrv {

namespace {

constexpr int kEffects = 16;
constexpr int kSlots = 8;
constexpr uint8_t kSlotEmpty = 0xFF; // erased memory
constexpr uint8_t kFlatGain = 30;    // 0 dB on the PEQ gain scale

struct Slider {
    uint8_t column;
    uint8_t max;
};

// Which columns of an effect carry what, so that every value lands inside its control's range.
struct Layout {
    std::vector<Slider> sliders;
    std::vector<uint8_t> checks;
    std::vector<uint8_t> bands; // first column (gain) of each PEQ band; frequency and width follow
    std::vector<uint8_t> passFilters;
};

Layout reverbLayout()
{
    return {{{0, 100}, {1, 80}, {2, 100}, {9, 100}, {10, 40}, {11, 100}, {12, 40}, {13, 100}, {21, 100}},
            {},
            {6, 15, 18},
            {3, 4, 5, 14}};
}

std::array<Layout, kEffects> layouts()
{
    Layout gate = reverbLayout();
    gate.sliders.insert(gate.sliders.end(), {{22, 100}, {23, 100}, {24, 100}});
    return {{
        reverbLayout(),
        reverbLayout(),
        reverbLayout(),
        reverbLayout(),
        gate,
        {{{0, 100}, {1, 140}, {2, 100}, {14, 100}}, {}, {5, 8, 11}, {3, 4}},
        {{{0, 254}, {1, 100}, {13, 100}}, {14}, {4, 7, 10}, {2, 3}},
        {{{0, 100}, {4, 100}, {5, 100}, {6, 100}, {7, 100}}, {3}, {}, {1, 2}},
        {{{1, 100}, {2, 100}, {3, 100}, {6, 100}, {7, 100}, {8, 100}}, {0}, {}, {4, 5}},
        {{{0, 100}, {12, 100}, {13, 100}, {14, 100}, {17, 100}}, {15, 16}, {1, 4, 9}, {7, 8}},
        {{{0, 100}, {3, 100}, {4, 100}, {5, 100}}, {}, {}, {1, 2}},
        {{{10, 100}, {11, 100}, {12, 100}, {13, 100}, {14, 100}, {15, 100}, {16, 100}, {17, 100}, {18, 100}, {19, 100}},
         {0},
         {2, 7, 20},
         {1, 5, 6}},
        {{{0, 100}, {1, 100}, {2, 100}, {5, 100}, {8, 80}, {9, 100}, {10, 100}, {11, 100}},
         {},
         {12, 15, 18},
         {3, 4, 6, 7}},
        {{{0, 160}, {1, 100}, {4, 100}, {7, 80}, {8, 100}, {9, 100}, {10, 100}}, {}, {11, 14, 17}, {2, 3, 5, 6}},
        {{{0, 100}, {1, 100}, {2, 100}, {5, 100}, {6, 160}, {7, 100}, {10, 100}}, {}, {11, 14, 17}, {3, 4, 8, 9}},
        {{{0, 72}, {1, 100}}, {}, {2}, {}},
    }};
}

// Preset names per effect and slot; an empty name is an empty slot.
constexpr std::array<std::array<std::string_view, kSlots>, kEffects> kNames{{
    {"HALL", "BIG HALL", "CONCERT", "", "CATHEDRL", "", "", ""},
    {"ROOM", "SMALL RM", "", "STUDIO", "WOOD RM", "", "", ""},
    {"PLATE", "BRIGHT", "DARK PLT", "", "", "VOX PLT", "", ""},
    {"VOCAL", "WARM VOX", "", "", "AMBIENT", "", "", ""},
    {"GATED", "SNARE GT", "REVERSE", "", "", "", "", ""},
    {"ECHO", "SLAPBACK", "LONG ECH", "", "", "", "", "MULTI"},
    {"TAP DLY", "1/4 NOTE", "", "DOTTED", "PING", "", "", ""},
    {"CHORUS", "WIDE CHR", "SUBTLE", "", "", "", "", ""},
    {"FLANGE", "JET", "", "SLOW FLG", "", "", "", ""},
    {"PHASER", "4 STAGE", "SWEEP", "", "", "", "", ""},
    {"TREMOLO", "FAST TRM", "", "", "SOFT", "", "", ""},
    {"ROTARY", "LESLIE", "SLOW ROT", "", "", "", "", ""},
    {"CHR REV", "LUSH", "", "SHIMMER", "", "", "", ""},
    {"DLY REV", "AMBIENT", "SPACE", "", "", "", "", ""},
    {"CHR DLY", "DREAMY", "", "", "", "", "", ""},
    {"OCTAVE", "FIFTH", "DETUNE", "", "", "", "", ""},
}};

// Slider settings as fractions of the range, rotated per effect and slot so presets differ.
constexpr std::array<double, 8> kSliderShare{0.45, 0.62, 0.30, 0.75, 0.55, 0.40, 0.68, 0.50};
constexpr std::array<int, 7> kGainOffset{0, 2, -2, 4, -4, 1, -1};

std::array<uint8_t, 32> presetValues(const Layout& layout, int e, int s)
{
    std::array<uint8_t, 32> row{};
    for (std::size_t i = 0; i < layout.sliders.size(); ++i) {
        const Slider slider = layout.sliders[i];
        const double share = kSliderShare[(i + 3 * s + e) % kSliderShare.size()];
        row[slider.column] = static_cast<uint8_t>(std::lround(slider.max * share));
    }
    for (std::size_t i = 0; i < layout.checks.size(); ++i)
        row[layout.checks[i]] = static_cast<uint8_t>((i + s + e) % 2);
    for (std::size_t k = 0; k < layout.bands.size(); ++k) {
        const uint8_t b = layout.bands[k];
        const int band = static_cast<int>(k);
        row[b] = static_cast<uint8_t>(kFlatGain + kGainOffset[(band + s + e) % kGainOffset.size()]);
        row[b + 1] = static_cast<uint8_t>(4 + 10 * band + (s + e) % 6); // low, mid, high band
        row[b + 2] = static_cast<uint8_t>(18 + (7 * band + 5 * s + 3 * e) % 24);
    }
    for (std::size_t i = 0; i < layout.passFilters.size(); ++i)
        row[layout.passFilters[i]] = static_cast<uint8_t>((6 + 9 * i + 2 * s + e) % 31);
    return row;
}

void writeName(std::vector<uint8_t>& memory, int e, int s, std::string_view name)
{
    const std::size_t lead = (8 - name.size()) / 2;
    for (std::size_t k = 0; k < 8; ++k) {
        const bool inside = k >= lead && k < lead + name.size();
        memory[Addr::name(e, s, static_cast<int>(k))] = static_cast<uint8_t>(inside ? name[k - lead] : ' ');
    }
}

} // namespace

std::vector<uint8_t> factoryImage()
{
    std::vector<uint8_t> memory(kMemorySize, 0);
    const auto allLayouts = layouts();
    for (int e = 0; e < kEffects; ++e) {
        std::vector<int> stored;
        for (int s = 0; s < kSlots; ++s) {
            const std::string_view name = kNames[e][s];
            writeName(memory, e, s, name);
            memory[Addr::directory(e, s)] = name.empty() ? kSlotEmpty : Addr::SlotUsed;
            if (name.empty())
                continue;
            stored.push_back(s);
            const auto values = presetValues(allLayouts[e], e, s);
            std::copy(values.begin(), values.end(), memory.begin() + Addr::stored(e, s, 0));
        }
        // The unit comes up on one of the effect's own presets, unedited.
        const int slot = stored[static_cast<std::size_t>(e) % stored.size()];
        memory[Addr::slotNumber(e)] = static_cast<uint8_t>(slot);
        std::copy_n(memory.begin() + Addr::stored(e, slot, 0), 32, memory.begin() + Addr::live(e, 0));
    }
    memory[Addr::CurrentEffect] = 0;
    return memory;
}

} // namespace qrv
