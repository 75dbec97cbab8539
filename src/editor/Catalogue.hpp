#pragma once

#include "EditorForm.hpp"

#include "state/ValueTables.hpp"

#include <span>
#include <string>

namespace qrv {

enum class ControlKind { VerticalSlider, HorizontalSlider, CheckBox };

// How a value box shows a stored value.
enum class TextRule { None, Percent, Milliseconds, TimesFiveMs, GateTime, Pitch };

// Index of the rotor switch, which runs through its own procedure rather than by index.
inline constexpr int kNoIndex = -1;
inline constexpr int kTapDelayPage = 6;
inline constexpr int kRotaryPage = 11;

struct PageParameter {
    int index; // page parameter index; for sliders also the element number
    int column;
    ControlKind kind;
    int maximum; // slider's maximum position; 1 for check boxes
    TextRule text;
    const char* label;
    CheckBox FrmMain::*check = nullptr; // the check box of a check-box parameter
    const char* checkName = nullptr;
    const char* boxCaption = nullptr; // the frame around a check box, if it has one
};

struct BandRef {
    int band; // element number of the band's controls
    const char* caption;
};

struct PassFilterRef {
    int list; // element number of Combo2
    const char* label;
};

struct PageInfo {
    int element; // element of Frame5
    const char* caption;
    const char* sliderName;
    const char* textName;
    ControlArray<Slider> FrmMain::*sliders;
    ControlArray<TextBox> FrmMain::*texts;
    std::span<const PageParameter> parameters; // in the order a refresh runs them
    std::span<const BandRef> bands;
    std::span<const PassFilterRef> passFilters;
};

struct EffectInfo {
    const char* listText;
    int pageElement;
    int columnCount; // parameter columns 0 to N-1 owned by the page
};

namespace catalogue {

const EffectInfo& effect(int effectIndex);
const PageInfo& pageOfEffect(int effectIndex);
// nullptr for the elements 1 to 3, which have no page
const PageInfo* pageByElement(int element);
std::span<const PageInfo> pages();
// nullptr when the page has no parameter with that index
const PageParameter* parameter(const PageInfo& page, int index);

extern const std::array<const char*, 31> frequencyList;
std::string widthEntry(int index);
inline constexpr int kWidthCount = 60;
inline constexpr int kGainMax = 60;

} // namespace catalogue

// The text a value box shows for a stored value (without the PEQ gain, see gainText).
std::string valueText(const ValueTables& tables, TextRule rule, int value);
// The PEQ gain stored/2 - 15 dB in the shortest decimal form.
std::string gainText(int stored, char decimalPoint);

} // namespace qrv
