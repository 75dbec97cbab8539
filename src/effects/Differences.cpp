#include "Pages.hpp"

#include "editor/Describe.hpp"

namespace qrv {

namespace {

std::string element(const char* array, int index)
{
    return std::string(array) + "_" + std::to_string(index);
}

} // namespace

void markDifferences(Editor& editor, bool show)
{
    FrmMain& form = editor.form();
    form.differing.clear();
    form.markerToolTip.clear();
    if (!show)
        return;
    const ProgramState& s = editor.state();
    const int e = s.currentEffect;
    const PageInfo& page = editor.currentPage();
    const auto differs = [&](int column) { return s.store.at(e, column) != s.deviceCopy.at(e, column); };

    const auto mark = [&](int column, std::string name) {
        if (differs(column))
            form.differing.insert(std::move(name));
    };
    for (const PageParameter& p : page.parameters)
        mark(p.column, p.kind == ControlKind::CheckBox ? std::string(p.checkName) : element(page.textName, p.index));
    for (const BandRef& band : page.bands) {
        const int b = s.tables.filterTableA.at(static_cast<std::size_t>(band.band));
        mark(b, element("Text16", band.band));
        mark(b + 1, element("Combo4", band.band));
        mark(b + 2, element("Combo3", band.band));
    }
    for (const PassFilterRef& list : page.passFilters)
        mark(s.tables.filterTableB.at(static_cast<std::size_t>(list.list)), element("Combo2", list.list));

    std::string tip = "Differs from the preset stored in the unit:";
    for (int c = 0; c < kDeviceColumns; ++c) {
        if (!differs(c))
            continue;
        const char point = editor.host().decimalPoint();
        const auto edited = describeColumn(page, s.tables, c, s.store.at(e, c), point);
        const auto stored = describeColumn(page, s.tables, c, s.deviceCopy.at(e, c), point);
        const std::string why = editor.whyDiffers(c);
        if (edited && stored)
            tip += "\n" + edited->name + ": " + edited->text + " (stored: " + stored->text + ")" +
                (why.empty() ? "" : " \u2014 " + why);
        else // a column no control shows, put there by a file or the unit
            tip += "\ncolumn " + std::to_string(c) + ": " + std::to_string(s.store.at(e, c)) +
                " (stored: " + std::to_string(s.deviceCopy.at(e, c)) + ")";
    }
    form.markerToolTip = tip;
}

} // namespace qrv
