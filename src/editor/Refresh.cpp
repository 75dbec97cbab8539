#include "Editor.hpp"
#include "GuardUp.hpp"

#include "link/LongOperation.hpp"

#include <algorithm>

namespace qrv {

namespace {

bool isLinkBox(const PageParameter& parameter)
{
    return parameter.check == &FrmMain::Check7 || parameter.check == &FrmMain::Check6;
}

} // namespace

void Editor::refreshControls()
{
    const int e = state_.currentEffect;
    if (e < 0 || e >= kEffectCount)
        return;
    const PageInfo& page = currentPage();
    auto& row = state_.store;

    // A damaged file or device answer can hold values no control can show: the
    // control takes the nearest value and the edit path stores that.
    for (const PageParameter& parameter : page.parameters) {
        if (isLinkBox(parameter)) {
            GuardUp guard(state_.refreshGuard);
            setControl(page, parameter, row.at(e, parameter.column));
        } else {
            setControl(page, parameter, row.at(e, parameter.column));
        }
        if (parameter.index == kNoIndex)
            RotorSwitch();
        else
            PageProcedure(page, parameter.index);
    }

    for (const BandRef& band : page.bands) {
        const int b = state_.tables.filterTableA.at(static_cast<std::size_t>(band.band));
        {
            GuardUp guard(state_.bandGuard);
            form_.Slider15.at(band.band).position =
                catalogue::kGainMax - std::min<int>(row.at(e, b), catalogue::kGainMax);
            form_.Combo4.at(band.band).index = std::min<int>(row.at(e, b + 1), 30);
            form_.Combo3.at(band.band).index = std::min<int>(row.at(e, b + 2), catalogue::kWidthCount - 1);
        }
        for (int part = 0; part < 3; ++part)
            SetBand(band.band, part);
    }

    for (const PassFilterRef& list : page.passFilters) {
        const int c = state_.tables.filterTableB.at(static_cast<std::size_t>(list.list));
        form_.Combo2.at(list.list).index = std::min<int>(row.at(e, c), 30);
        SetPassFilter(list.list);
    }
}

void Editor::RefreshPageAndSend()
{
    if (!link_.sendingAllowed()) {
        refreshControls();
        return;
    }
    const LongOperation operation(link_, host_, kSendEffectTitle,
                                  state_.tables.parameterCount.at(static_cast<std::size_t>(state_.currentEffect)));
    refreshControls();
}

void Editor::RefreshPage()
{
    state_.LinkUp = false;
    struct LinkBackUp {
        bool& linkUp;
        ~LinkBackUp() { linkUp = true; }
    } restore{state_.LinkUp};
    refreshControls();
}

} // namespace qrv
