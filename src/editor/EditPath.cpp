#include "Editor.hpp"

#include <algorithm>

namespace qrv {

void PageBehaviour::sliderEvent(Editor& editor, const PageInfo& page, int index)
{
    editor.PageProcedure(page, index);
}

void PageBehaviour::checkClick(Editor& editor, const PageInfo& page, int index)
{
    if (index == kNoIndex)
        editor.RotorSwitch();
    else
        editor.PageProcedure(page, index);
}

Editor::Editor(ProgramState& state, FrmMain& form, DeviceLink& link, Host& host)
    : state_(state), form_(form), link_(link), host_(host)
{
}

void Editor::setBehaviour(int pageElement, std::unique_ptr<PageBehaviour> behaviour)
{
    behaviours_.at(static_cast<std::size_t>(pageElement)) = std::move(behaviour);
}

PageBehaviour& Editor::behaviour(int pageElement)
{
    auto& custom = behaviours_.at(static_cast<std::size_t>(pageElement));
    return custom ? *custom : generic_;
}

void Editor::sliderEvent(int pageElement, int index)
{
    const EditScope scope(*this, StepKind::Edit, "slider " + std::to_string(pageElement) + " " + std::to_string(index));
    if (const PageInfo* page = catalogue::pageByElement(pageElement))
        behaviour(pageElement).sliderEvent(*this, *page, index);
}

void Editor::checkClick(int pageElement, int index)
{
    const EditScope scope(*this, StepKind::Edit);
    if (const PageInfo* page = catalogue::pageByElement(pageElement))
        behaviour(pageElement).checkClick(*this, *page, index);
}

Slider& Editor::slider(const PageInfo& page, const PageParameter& parameter)
{
    return (form_.*page.sliders).at(parameter.index);
}

TextBox& Editor::valueBox(const PageInfo& page, const PageParameter& parameter)
{
    return (form_.*page.texts).at(parameter.index);
}

int Editor::controlValue(const PageInfo& page, const PageParameter& parameter)
{
    switch (parameter.kind) {
    case ControlKind::CheckBox:
        return (form_.*parameter.check).value != 0 ? 1 : 0;
    case ControlKind::HorizontalSlider:
        return slider(page, parameter).position;
    case ControlKind::VerticalSlider: {
        const Slider& s = slider(page, parameter);
        return s.max - s.position;
    }
    }
    return 0;
}

int Editor::setControl(const PageInfo& page, const PageParameter& parameter, int value)
{
    const int v = std::clamp(value, 0, parameter.maximum);
    switch (parameter.kind) {
    case ControlKind::CheckBox:
        (form_.*parameter.check).value = v;
        break;
    case ControlKind::HorizontalSlider:
        slider(page, parameter).position = v;
        break;
    case ControlKind::VerticalSlider:
        slider(page, parameter).position = parameter.maximum - v;
        break;
    }
    return v;
}

void Editor::storeAndSend(int column, uint8_t value)
{
    state_.store.at(state_.currentEffect, column) = value;
    sendColumn(column);
}

void Editor::sendColumn(int column)
{
    if (sendOnly_ && std::find(sendOnly_->begin(), sendOnly_->end(), column) == sendOnly_->end())
        return;
    if (editDepth_ > 0 && std::find(sent_.begin(), sent_.end(), column) == sent_.end())
        sent_.push_back(column);
    link_.sendParameter(column, state_.store.at(state_.currentEffect, column));
}

void Editor::applyParameter(const PageInfo& page, const PageParameter& parameter)
{
    PageBehaviour& pageBehaviour = behaviour(page.element);
    pageBehaviour.beforeParameter(*this, page, parameter);
    const auto value = static_cast<uint8_t>(controlValue(page, parameter));
    if (parameter.kind != ControlKind::CheckBox) {
        valueBox(page, parameter).text = valueText(state_.tables, parameter.text, value);
        host_.refresh(Window::Editor);
    }
    storeAndSend(parameter.column, value);
    pageBehaviour.afterParameter(*this, page, parameter, value);
}

void Editor::PageProcedure(const PageInfo& page, int index)
{
    if (const PageParameter* parameter = catalogue::parameter(page, index))
        applyParameter(page, *parameter);
}

void Editor::RotorSwitch()
{
    const PageInfo& rotary = *catalogue::pageByElement(kRotaryPage);
    applyParameter(rotary, rotary.parameters.front());
}

} // namespace qrv
