#include "Catalogue.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

namespace qrv {

namespace {

using K = ControlKind;
using T = TextRule;

constexpr PageParameter slider(int index, int column, int maximum, TextRule text, const char* label)
{
    return {index, column, K::VerticalSlider, maximum, text, label};
}

constexpr PageParameter percent(int index, int column, const char* label)
{
    return slider(index, column, 100, T::Percent, label);
}

constexpr PageParameter check(int index, int column, CheckBox FrmMain::*box, const char* name, const char* caption,
                              const char* frame = nullptr)
{
    return {index, column, K::CheckBox, 1, T::None, caption, box, name, frame};
}

constexpr PageParameter reverbParameters[] = {
    percent(0, 0, "Decay"),
    slider(1, 1, 80, T::Milliseconds, "Pdly Rev"),
    percent(2, 2, "Density"),
    percent(3, 9, "E.Ref Vol"),
    slider(4, 10, 40, T::Milliseconds, "E.Ref Pdly"),
    percent(5, 11, "F.Ref Vol"),
    slider(6, 12, 40, T::Milliseconds, "F.Ref Pdly"),
    percent(7, 13, "Rev Vol"),
    percent(8, 21, "Pseudo St."),
};

constexpr PageParameter gateReverbParameters[] = {
    slider(0, 0, 100, T::GateTime, "Time"),
    slider(1, 1, 80, T::Milliseconds, "PDly Rev"),
    percent(2, 2, "Density"),
    percent(3, 9, "E.Ref Vol"),
    slider(4, 10, 40, T::Milliseconds, "E.Ref Pdly"),
    percent(5, 11, "F.Ref Vol"),
    slider(6, 12, 40, T::Milliseconds, "F.Ref Pdly"),
    percent(7, 13, "Rev Vol"),
    percent(8, 21, "Pseudo St."),
    percent(9, 22, "Threshold"),
    percent(10, 23, "Release"),
    percent(11, 24, "Attack"),
};

constexpr PageParameter vocalEchoParameters[] = {
    percent(0, 0, "Displacement"),
    slider(1, 1, 140, T::Milliseconds, "Delay"),
    percent(2, 2, "Feedback"),
    percent(3, 14, "Out Level"),
};

constexpr PageParameter tapDelayParameters[] = {
    slider(0, 0, 254, T::TimesFiveMs, "Delay"),
    percent(1, 1, "Feedback"),
    percent(2, 13, "Out Level"),
    check(3, 14, &FrmMain::Check3, "Check3", "Mono", "Stereo/Mono"),
};

constexpr PageParameter chorusParameters[] = {
    percent(0, 0, "Depth"),     percent(1, 4, "Rate L"), percent(2, 5, "Rate R"),
    percent(3, 6, "Out Level"), percent(4, 7, "Phase"),  check(5, 3, &FrmMain::Check7, "Check7", "Link Rate L&&R"),
};

constexpr PageParameter flangeParameters[] = {
    percent(0, 1, "Rate L"),
    percent(1, 2, "Rate R"),
    percent(2, 3, "Depth"),
    percent(3, 6, "Feedback"),
    percent(4, 7, "Out Level"),
    percent(5, 8, "Phase"),
    check(6, 0, &FrmMain::Check6, "Check6", "Link RateL&&R"),
};

constexpr PageParameter phaserParameters[] = {
    percent(0, 0, "Rate"),
    percent(1, 12, "Feedback"),
    percent(2, 13, "Depth"),
    percent(3, 14, "Out Level"),
    percent(4, 17, "Offset Depth"),
    check(5, 15, &FrmMain::Check4, "Check4", "180'", "Input Phase"),
    check(6, 16, &FrmMain::Check5, "Check5", "180'", "Feedback Phase"),
};

constexpr PageParameter tremoloParameters[] = {
    percent(0, 0, "Rate"),
    percent(1, 3, "Depth"),
    percent(2, 4, "Out Level"),
    percent(3, 5, "Offset"),
};

// The rotor switch comes first; the sliders write column = index + 10.
constexpr PageParameter rotaryParameters[] = {
    check(kNoIndex, 0, &FrmMain::Check2, "Check2", "Rotor", "Switch"),
    percent(0, 10, "Cyl Low Speed"),
    percent(1, 11, "Cyl High Speed"),
    percent(2, 12, "Cyl Depth"),
    percent(3, 13, "Cyl Feedback"),
    percent(4, 14, "Cyl Out Level"),
    percent(5, 15, "Horn Low Speed"),
    percent(6, 16, "Horn High Speed"),
    percent(7, 17, "Horn Depth"),
    percent(8, 18, "Horn Feedback"),
    percent(9, 19, "Horn Out Level"),
};

constexpr PageParameter chorusReverbParameters[] = {
    percent(0, 0, "Chr/Flg Depth"),
    percent(1, 1, "Chr/Flg Rate"),
    percent(2, 2, "Chr/Flg Feedback"),
    percent(3, 5, "Chr/Flg Out Level"),
    slider(4, 8, 80, T::Milliseconds, "Reverb Predelay"),
    percent(5, 9, "Reverb Density"),
    percent(6, 10, "Reverb Decay"),
    percent(7, 11, "Reverb Out Level"),
};

constexpr PageParameter delayReverbParameters[] = {
    slider(0, 0, 160, T::TimesFiveMs, "Delay Time"),
    percent(1, 1, "Delay Feedback"),
    percent(2, 4, "Delay Out Level"),
    slider(3, 7, 80, T::Milliseconds, "Reverb Predelay"),
    percent(4, 8, "Reverb Density"),
    percent(5, 9, "Reverb Decay"),
    percent(6, 10, "Reverb Out Level"),
};

constexpr PageParameter chorusDelayParameters[] = {
    percent(0, 0, "Chr/Flg Depth"),
    percent(1, 1, "Chr/Flg Rate"),
    percent(2, 2, "Chr/Flg Feedback"),
    percent(3, 5, "Chr/Flg Out Level"),
    slider(4, 6, 160, T::TimesFiveMs, "Delay Time"),
    percent(5, 7, "Delay Feedback"),
    percent(6, 10, "Delay Out Level"),
};

constexpr PageParameter pitchShifterParameters[] = {
    {0, 0, K::HorizontalSlider, 72, T::Pitch, "Semi-Tones"},
    percent(1, 1, "Chorus %"),
};

constexpr BandRef reverbBands[] = {{0, "PEQ 1"}, {1, "PEQ 2"}, {2, "PEQ 3"}};
constexpr BandRef gateReverbBands[] = {{3, "PEQ 1"}, {4, "PEQ 2"}, {5, "PEQ 3"}};
constexpr BandRef vocalEchoBands[] = {{6, "PEQ 1"}, {7, "PEQ 2"}, {8, "PEQ 3"}};
constexpr BandRef tapDelayBands[] = {{9, "PEQ 1"}, {10, "PEQ 2"}, {11, "PEQ 3"}};
constexpr BandRef phaserBands[] = {{12, "PEQ 1"}, {13, "PEQ 2"}, {14, "PEQ 3"}};
constexpr BandRef rotaryBands[] = {{15, "Cyl PEQ"}, {16, "Horn PEQ"}, {17, "PEQ"}};
constexpr BandRef chorusReverbBands[] = {{18, "PEQ 1"}, {19, "PEQ 2"}, {20, "PEQ 3"}};
constexpr BandRef delayReverbBands[] = {{21, "PEQ 1"}, {22, "PEQ 2"}, {23, "PEQ 3"}};
constexpr BandRef chorusDelayBands[] = {{24, "PEQ 1"}, {25, "PEQ 2"}, {26, "PEQ 3"}};
constexpr BandRef pitchShifterBands[] = {{27, "PEQ"}};

constexpr PassFilterRef reverbFilters[] = {
    {0, "Hi-Damp Freq"}, {1, "Lo-Damp Freq"}, {2, "LowPass Freq"}, {3, "HighPass Freq"}};
constexpr PassFilterRef gateReverbFilters[] = {
    {4, "Hi-Damp Freq"}, {5, "Lo-Damp Freq"}, {6, "LowPass Freq"}, {7, "HighPass Freq"}};
constexpr PassFilterRef vocalEchoFilters[] = {{8, "HighPass Freq"}, {9, "LowPass Freq"}};
constexpr PassFilterRef tapDelayFilters[] = {{10, "HighPass Freq"}, {11, "LowPass Freq"}};
constexpr PassFilterRef chorusFilters[] = {{12, "Hi-Damp Freq"}, {13, "Lo-Damp Freq"}};
constexpr PassFilterRef flangeFilters[] = {{14, "Hi-Damp Freq"}, {15, "Lo-Damp Freq"}};
constexpr PassFilterRef phaserFilters[] = {{16, "HighPass Freq"}, {17, "LowPass Freq"}};
constexpr PassFilterRef tremoloFilters[] = {{18, "Hi-Damp Freq"}, {19, "Lo-Damp Freq"}};
constexpr PassFilterRef rotaryFilters[] = {{20, "Cyl Low Pass"}, {21, "Horn High Pass"}, {22, "Horn Low Pass"}};
constexpr PassFilterRef chorusReverbFilters[] = {
    {23, "Ch/Flg High Pass"}, {24, "Ch/Flg Low Pass"}, {25, "Rev Hi-Damp"}, {26, "Rev Lo-Damp"}};
constexpr PassFilterRef delayReverbFilters[] = {
    {27, "Delay Low Pass"}, {28, "Delay High Pass"}, {29, "Rev Hi-Damp"}, {30, "Rev Lo-Damp"}};
constexpr PassFilterRef chorusDelayFilters[] = {
    {31, "Chr/Flg High Pass"}, {32, "Chr/Flg Low Pass"}, {33, "Delay LowPass"}, {34, "Delay High Pass"}};

#define QRV_PAGE(element, caption, slider, text, params, bands, filters)                                               \
    PageInfo                                                                                                           \
    {                                                                                                                  \
        element, caption, #slider, #text, &FrmMain::slider, &FrmMain::text, params, bands, filters                     \
    }

const std::array<PageInfo, 13> pageTable = {
    QRV_PAGE(0, "Reverb Edit", Slider12, Text18, reverbParameters, reverbBands, reverbFilters),
    QRV_PAGE(4, "Gate Reverb Edit", Slider11, Text11, gateReverbParameters, gateReverbBands, gateReverbFilters),
    QRV_PAGE(5, "Vocal Echo Edit", Slider1, Text3, vocalEchoParameters, vocalEchoBands, vocalEchoFilters),
    QRV_PAGE(6, "Tap Delay Edit", Slider2, Text4, tapDelayParameters, tapDelayBands, tapDelayFilters),
    QRV_PAGE(7, "Chorus Edit", Slider3, Text5, chorusParameters, {}, chorusFilters),
    QRV_PAGE(8, "Flange Edit", Slider4, Text6, flangeParameters, {}, flangeFilters),
    QRV_PAGE(9, "Phaser Edit", Slider5, Text7, phaserParameters, phaserBands, phaserFilters),
    QRV_PAGE(10, "Tremolo Edit", Slider6, Text8, tremoloParameters, {}, tremoloFilters),
    QRV_PAGE(11, "Rotary Edit", Slider60, Text80, rotaryParameters, rotaryBands, rotaryFilters),
    QRV_PAGE(12, "Chorus/Flanger Reverb Edit", Slider8, Text10, chorusReverbParameters, chorusReverbBands,
             chorusReverbFilters),
    QRV_PAGE(13, "Delay Reverb Edit", Slider13, Text19, delayReverbParameters, delayReverbBands, delayReverbFilters),
    QRV_PAGE(14, "Chorus/Flanger Delay Edit", Slider9, Text12, chorusDelayParameters, chorusDelayBands,
             chorusDelayFilters),
    QRV_PAGE(15, "Pitch Shifter Edit", Slider10, Text13, pitchShifterParameters, pitchShifterBands, {}),
};

#undef QRV_PAGE

constexpr std::array<EffectInfo, kEffectCount> effectTable = {{
    {"REVERB HALL", 0, 22},
    {"REVERB ROOM", 0, 22},
    {"REVERB PLATE", 0, 22},
    {"REVERB VOCAL", 0, 22},
    {"GATE REVERB", 4, 25},
    {"VOCAL_ECHO", 5, 15},
    {"TAP DELAY", 6, 15},
    {"CHORUS", 7, 8},
    {"FLANGE", 8, 9},
    {"PHASER", 9, 18},
    {"TREMOLO", 10, 6},
    {"ROTARY", 11, 23},
    {"CHORUS REVERB", 12, 21},
    {"DELAY REVERB", 13, 20},
    {"CHORUS DELAY", 14, 20},
    {"PITCH SHIFTER", 15, 5},
}};

} // namespace

namespace catalogue {

const std::array<const char*, 31> frequencyList = {
    " 20.0Hz",  " 25.0 Hz", " 31.5 Hz", " 40.0 Hz", " 50.0 Hz", " 63.0 Hz", " 80.0 Hz", "  100 Hz",
    "  125 Hz", "  160 Hz", "  200 Hz", "  250 Hz", "  315 Hz", "  400 Hz", "  500 Hz", "  630 Hz",
    "  800 Hz", "1000 Hz",  "1250 Hz",  "1600 Hz",  "2000 Hz",  "2500 Hz",  "3150 Hz",  "4000 Hz",
    "5000 Hz",  "6300 Hz",  "8000 Hz",  " 10  KHz", " 12  KHz", " 16  KHz", " 20  KHz",
};

std::string widthEntry(int index)
{
    const int hundredths = 5 * (index + 1);
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d Oct", hundredths / 100, hundredths % 100);
    return text;
}

const EffectInfo& effect(int effectIndex)
{
    if (effectIndex < 0 || effectIndex >= kEffectCount)
        throw std::out_of_range("effect index");
    return effectTable[static_cast<std::size_t>(effectIndex)];
}

const PageInfo* pageByElement(int element)
{
    for (const PageInfo& page : pageTable)
        if (page.element == element)
            return &page;
    return nullptr;
}

const PageInfo& pageOfEffect(int effectIndex)
{
    return *pageByElement(effect(effectIndex).pageElement);
}

std::span<const PageInfo> pages()
{
    return pageTable;
}

const PageParameter* parameter(const PageInfo& page, int index)
{
    if (index == kNoIndex)
        return nullptr;
    for (const PageParameter& p : page.parameters)
        if (p.index == index)
            return &p;
    return nullptr;
}

} // namespace catalogue

std::string valueText(const ValueTables& tables, TextRule rule, int value)
{
    const auto entry = [value](const auto& table) {
        return table[static_cast<std::size_t>(std::clamp(value, 0, static_cast<int>(table.size()) - 1))];
    };
    switch (rule) {
    case TextRule::Percent:
        return std::to_string(value) + " %";
    case TextRule::Milliseconds:
        return std::to_string(value) + " ms";
    case TextRule::TimesFiveMs:
        return std::to_string(value * 5) + " ms";
    case TextRule::GateTime:
        return entry(tables.gateTime) + " ms";
    case TextRule::Pitch:
        return entry(tables.pitchText);
    case TextRule::None:
        break;
    }
    return {};
}

std::string gainText(int stored, char decimalPoint)
{
    const int halfDecibels = stored - 30; // gain = stored / 2 - 15 dB
    std::string text = halfDecibels < 0 ? "-" : "";
    const int magnitude = halfDecibels < 0 ? -halfDecibels : halfDecibels;
    text += std::to_string(magnitude / 2);
    if (magnitude % 2)
        text += std::string(1, decimalPoint) + "5";
    return text;
}

} // namespace qrv
