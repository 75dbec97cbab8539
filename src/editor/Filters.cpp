#include "Editor.hpp"

#include <exception>

namespace qrv {

void Editor::SetBand(int band, int part)
{
    if (state_.bandGuard)
        return;
    const int b = state_.tables.filterTableA.at(static_cast<std::size_t>(band));
    const Slider& gain = form_.Slider15.at(band);
    const int frequency = form_.Combo4.at(band).index;
    const int width = form_.Combo3.at(band).index;
    if (frequency < 0 || width < 0)
        throw std::logic_error("band list without a selection");
    form_.Text16.at(band).text = gainText(gain.max - gain.position, host_.decimalPoint());
    host_.refresh(Window::Editor);
    const int e = state_.currentEffect;
    state_.store.at(e, b) = static_cast<uint8_t>(gain.max - gain.position);
    state_.store.at(e, b + 1) = static_cast<uint8_t>(frequency);
    state_.store.at(e, b + 2) = static_cast<uint8_t>(width);
    sendColumn(b + part);
}

void Editor::SetPassFilter(int list)
{
    const int c = state_.tables.filterTableB.at(static_cast<std::size_t>(list));
    const int index = form_.Combo2.at(list).index;
    if (index < 0)
        throw std::logic_error("pass-filter list without a selection");
    storeAndSend(c, static_cast<uint8_t>(index));
}

void Editor::gainSliderEvent(int band)
{
    const EditScope scope(*this, StepKind::Edit, "gain " + std::to_string(band));
    try {
        const Slider& gain = form_.Slider15.at(band);
        form_.Text16.at(band).text = gainText(gain.max - gain.position, host_.decimalPoint());
        host_.refresh(Window::Editor);
        SetBand(band, 0);
    } catch (const std::exception&) {
        host_.message("  Incorrect value", "Warning", Icon::None);
    }
}

void Editor::frequencyListClick(int band)
{
    const EditScope scope(*this, StepKind::Edit);
    SetBand(band, 1);
}

void Editor::widthListClick(int band)
{
    const EditScope scope(*this, StepKind::Edit);
    SetBand(band, 2);
}

void Editor::passFilterClick(int list)
{
    const EditScope scope(*this, StepKind::Edit);
    SetPassFilter(list);
}

} // namespace qrv
