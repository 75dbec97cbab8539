#include "EditorForm.hpp"

#include "Catalogue.hpp"
#include "Describe.hpp"

namespace qrv {

namespace {

ListBox listOf(std::vector<std::string> items)
{
    ListBox box;
    box.items = std::move(items);
    box.index = 0;
    return box;
}

void addPage(FrmMain& form, const PageInfo& page)
{
    static const ValueTables tables = buildValueTables();
    form.Frame5[page.element] = GroupFrame{page.caption, page.element == 0};
    auto& sliders = form.*page.sliders;
    auto& texts = form.*page.texts;
    for (const PageParameter& p : page.parameters) {
        if (p.kind == ControlKind::CheckBox) {
            (form.*p.check).caption = p.label;
            continue;
        }
        sliders[p.index] = Slider{p.maximum, 0, p.kind == ControlKind::HorizontalSlider};
        texts[p.index] = TextBox{"", parameterToolTip(tables, p)};
    }
    const std::vector<std::string> frequencies(catalogue::frequencyList.begin(), catalogue::frequencyList.end());
    std::vector<std::string> widths;
    for (int i = 0; i < catalogue::kWidthCount; ++i)
        widths.push_back(catalogue::widthEntry(i));
    for (const BandRef& band : page.bands) {
        form.Frame17[band.band] = GroupFrame{band.caption};
        form.Slider15[band.band] = Slider{catalogue::kGainMax, 0, false};
        form.Text16[band.band] = TextBox{"", "Filter Gain"};
        form.Combo4[band.band] = listOf(frequencies);
        form.Combo4[band.band].toolTip = bandToolTip(band, 1);
        form.Combo3[band.band] = listOf(widths);
        form.Combo3[band.band].toolTip = bandToolTip(band, 2);
    }
    for (const PassFilterRef& filter : page.passFilters) {
        form.Combo2[filter.list] = listOf(frequencies);
        form.Combo2[filter.list].toolTip = passFilterToolTip(filter);
    }
}

} // namespace

FrmMain makeEditorForm()
{
    FrmMain form;
    for (int e = 0; e < kEffectCount; ++e)
        form.Combo1.items.push_back(catalogue::effect(e).listText);
    form.Combo1.index = 0;
    for (const PageInfo& page : catalogue::pages())
        addPage(form, page);
    return form;
}

} // namespace qrv
