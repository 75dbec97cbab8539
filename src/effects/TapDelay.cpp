#include "Pages.hpp"

#include <algorithm>
#include <cmath>

namespace qrv {

namespace {

constexpr int kDelayIndex = 0;
constexpr int kMonoIndex = 3;
constexpr int kMonoColumn = 14;
constexpr int kDelayColumn = 0;
constexpr int kStereoMaxDelay = 160;

bool isMono(Editor& editor)
{
    ProgramState& s = editor.state();
    return s.store.at(s.currentEffect, kMonoColumn) != 0;
}

Slider& delaySlider(Editor& editor)
{
    return editor.form().Slider2.at(kDelayIndex);
}

int delayOf(const Slider& slider)
{
    return slider.max - slider.position;
}

class TapDelayPage final : public PageBehaviour {
public:
    void beforeParameter(Editor& editor, const PageInfo&, const PageParameter& parameter) override
    {
        Slider& delay = delaySlider(editor);
        if (parameter.index == kDelayIndex && !isMono(editor) && delayOf(delay) > kStereoMaxDelay)
            delay.position = delay.max - kStereoMaxDelay;
    }

    void afterParameter(Editor& editor, const PageInfo& page, const PageParameter& parameter, uint8_t value) override
    {
        if (parameter.index == kDelayIndex)
            delayChanged(editor, value);
        else if (parameter.index == kMonoIndex && value == 0)
            clampToStereo(editor, page);
    }

    std::string whyDiffers(Editor& editor, const PageInfo&, int column) override
    {
        const ProgramState& s = editor.state();
        if (column != kDelayColumn || isMono(editor) || s.store.at(s.currentEffect, kDelayColumn) != kStereoMaxDelay ||
            s.deviceCopy.at(s.currentEffect, kDelayColumn) <= kStereoMaxDelay)
            return {};
        return "stereo allows at most 800 ms";
    }

private:
    static void delayChanged(Editor& editor, uint8_t value)
    {
        TapTempoState& tap = editor.state().tap;
        tap.delayTime = value * 5.0;
        tap.delayValue = value;
        tap.previousDelayValue = value;
        tap.tapCounter = 0;
        FrmMain& form = editor.form();
        form.Timer1.enabled = true;
        form.Timer1.interval = 50;
        form.Timer2.interval = static_cast<int>(tap.delayTime);
    }

    // Stereo allows at most 800 ms: the slider, its box and the store follow, the device is not told.
    static void clampToStereo(Editor& editor, const PageInfo& page)
    {
        Slider& delay = delaySlider(editor);
        if (delayOf(delay) <= kStereoMaxDelay)
            return;
        const PageParameter& parameter = *catalogue::parameter(page, kDelayIndex);
        delay.position = delay.max - kStereoMaxDelay;
        editor.valueBox(page, parameter).text = valueText(editor.state().tables, parameter.text, delayOf(delay));
        editor.host().refresh(Window::Editor);
        ProgramState& s = editor.state();
        s.store.at(s.currentEffect, kDelayColumn) = static_cast<uint8_t>(delayOf(delay));
    }
};

} // namespace

void installTapDelayPage(Editor& editor)
{
    editor.setBehaviour(kTapDelayPage, std::make_unique<TapDelayPage>());
}

int tapDelayShown(std::span<const uint8_t> row, int column, int value)
{
    if (column != kDelayColumn || row[kMonoColumn] != 0)
        return value;
    return std::min(value, kStereoMaxDelay);
}

void tapClick(Editor& editor)
{
    const EditScope scope(editor, StepKind::Edit);
    TapTempoState& tap = editor.state().tap;
    tap.tapCountAtTap = tap.tapCounter;
    const double limit = isMono(editor) ? 25 : 16;
    if (tap.tapCountAtTap > limit) {
        tap.delayValue = tap.previousDelayValue;
    } else {
        if (tap.tapCountAtTap == 0)
            tap.tapCountAtTap = 1;
        tap.delayValue = tap.tapCountAtTap * 10;
    }
    tap.previousDelayValue = tap.delayValue;
    tap.delayTime = tap.delayValue * 5;
    Slider& delay = delaySlider(editor);
    delay.position = delay.max - static_cast<int>(tap.delayValue);
    editor.PageProcedure(*catalogue::pageByElement(kTapDelayPage), kDelayIndex);
}

void tapTick(Editor& editor)
{
    TapTempoState& tap = editor.state().tap;
    if (tap.tapCounter < kTapCounterCap)
        tap.tapCounter += 1;
    editor.form().Timer1.interval = 50;
}

void lampTick(Editor& editor)
{
    TapTempoState& tap = editor.state().tap;
    FrmMain& form = editor.form();
    form.Shape5.colour = tap.lampPhase ? kLampBright : kLampDark;
    tap.lampPhase = !tap.lampPhase;
    form.Timer2.interval = static_cast<int>(std::nearbyint(tap.delayTime / 2));
}

} // namespace qrv
