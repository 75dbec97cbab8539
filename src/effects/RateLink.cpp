#include "Pages.hpp"

#include "editor/Describe.hpp"

namespace qrv {

namespace {

// A page whose left and right rate sliders can be linked by a check box.
struct RateLinkLayout {
    int page;
    int rateLeft; // slider indices of the pair
    int rateRight;
    int linkIndex; // parameter index of the link box
    int16_t ProgramState::*flag;
};

constexpr RateLinkLayout kChorus{7, 1, 2, 5, &ProgramState::chorusLinkFlag};
constexpr RateLinkLayout kFlange{8, 0, 1, 6, &ProgramState::flangeLinkFlag};

class RateLinkPage final : public PageBehaviour {
public:
    explicit RateLinkPage(RateLinkLayout layout) : layout_(layout) {}

    void sliderEvent(Editor& editor, const PageInfo& page, int index) override
    {
        editor.PageProcedure(page, index);
        const bool inPair = index == layout_.rateLeft || index == layout_.rateRight;
        if (!inPair || editor.state().*layout_.flag != 1)
            return;
        const int other = index == layout_.rateLeft ? layout_.rateRight : layout_.rateLeft;
        auto& sliders = editor.form().*page.sliders;
        sliders.at(other).position = sliders.at(index).position;
        editor.PageProcedure(page, other);
    }

    void checkClick(Editor& editor, const PageInfo& page, int index) override
    {
        if (index != layout_.linkIndex || editor.state().refreshGuard)
            return;
        CheckBox& box = editor.form().*catalogue::parameter(page, index)->check;
        if (box.value == 1 &&
            !editor.host().askYesNo("The Link function copy RateL to RateR, are you sure?", "Link Rate", Icon::None,
                                    Button::Yes)) {
            box.value = 0;
            return;
        }
        editor.PageProcedure(page, index);
    }

    void afterParameter(Editor& editor, const PageInfo& page, const PageParameter& parameter, uint8_t value) override
    {
        if (parameter.index != layout_.linkIndex)
            return;
        ProgramState& s = editor.state();
        s.*layout_.flag = value;
        if (value != 1)
            return;
        const PageParameter& left = *catalogue::parameter(page, layout_.rateLeft);
        const PageParameter& right = *catalogue::parameter(page, layout_.rateRight);
        s.store.at(s.currentEffect, right.column) = s.store.at(s.currentEffect, left.column);
        editor.setControl(page, right, s.store.at(s.currentEffect, right.column));
        editor.PageProcedure(page, layout_.rateRight);
    }

    std::string whyDiffers(Editor& editor, const PageInfo& page, int column) override
    {
        const PageParameter& left = *catalogue::parameter(page, layout_.rateLeft);
        const PageParameter& right = *catalogue::parameter(page, layout_.rateRight);
        const ProgramState& s = editor.state();
        const int e = s.currentEffect;
        if (column != right.column || editor.state().*layout_.flag != 1 ||
            s.store.at(e, right.column) != s.store.at(e, left.column))
            return {};
        return "linked rates follow " + fullParameterName(left.label);
    }

private:
    RateLinkLayout layout_;
};

} // namespace

void installRateLinkPages(Editor& editor)
{
    editor.setBehaviour(kChorus.page, std::make_unique<RateLinkPage>(kChorus));
    editor.setBehaviour(kFlange.page, std::make_unique<RateLinkPage>(kFlange));
}

} // namespace qrv
