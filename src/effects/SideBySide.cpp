#include "SideBySide.hpp"

#include "Pages.hpp"

#include "editor/Describe.hpp"
#include "state/CodePage.hpp"

#include <algorithm>

namespace qrv {

namespace {

std::string effectName(int effect)
{
    if (effect < 0 || effect >= kEffectCount)
        return "no known effect (its effect byte holds " + std::to_string(effect) + ")";
    return trimmed(catalogue::effect(effect).listText);
}

// Every column a control of the page shows, in page order.
std::vector<int> pageColumns(const PageInfo& page, const ValueTables& tables)
{
    std::vector<int> columns;
    for (const PageParameter& p : page.parameters)
        columns.push_back(p.column);
    for (const BandRef& band : page.bands)
        for (int part = 0; part < 3; ++part)
            columns.push_back(tables.filterTableA.at(static_cast<std::size_t>(band.band)) + part);
    for (const PassFilterRef& list : page.passFilters)
        columns.push_back(tables.filterTableB.at(static_cast<std::size_t>(list.list)));
    return columns;
}

std::string labelOf(const PageInfo& page, const ColumnView& view, int column)
{
    for (const PageParameter& p : page.parameters)
        if (p.column == column)
            return pageLabel(p);
    return view.name; // a band's part or a pass filter, named as its frame and list show it
}

// The page shows a value beyond a control's reach as the nearest one it can take, and says
// nothing of it: here the stored value follows.
std::string shownText(const PageInfo& page, const ValueTables& tables, std::span<const uint8_t> row, int column,
                      char point)
{
    const int stored = row[static_cast<std::size_t>(column)];
    int shown = std::min(stored, columnMaximum(page, tables, column).value_or(stored));
    if (page.element == kTapDelayPage)
        shown = tapDelayShown(row, column, shown);
    const std::string text = describeColumn(page, tables, column, shown, point)->text;
    if (shown == stored)
        return text;
    const std::string storedText = describeColumn(page, tables, column, stored, point)->text;
    return text + " (stored: " + (storedText == text ? std::to_string(stored) : storedText) + ")";
}

} // namespace

std::string sideBySideRefusal(const PresetSide& first, const PresetSide& second)
{
    const bool known = first.effect >= 0 && first.effect < kEffectCount;
    if (first.effect == second.effect && known)
        return {};
    return "Only two presets of one effect can be compared side by side: " + first.caption + " is for " +
        effectName(first.effect) + ", " + second.caption + " for " + effectName(second.effect) + ".";
}

int SideBySide::differing() const
{
    return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const SideBySideRow& r) { return r.differs; }));
}

SideBySide compareSideBySide(const ValueTables& tables, const PresetSide& first, const PresetSide& second,
                             char decimalPoint)
{
    SideBySide result;
    result.refusal = sideBySideRefusal(first, second);
    if (!result.refusal.empty())
        return result;
    const PageInfo& page = catalogue::pageOfEffect(first.effect);
    const std::vector<int> columns = pageColumns(page, tables);
    for (int column : columns) {
        const auto view = describeColumn(page, tables, column, first.bytes[static_cast<std::size_t>(column)], decimalPoint);
        result.rows.push_back({labelOf(page, *view, column), view->name,
                               shownText(page, tables, first.bytes, column, decimalPoint),
                               shownText(page, tables, second.bytes, column, decimalPoint),
                               first.bytes[static_cast<std::size_t>(column)] !=
                                   second.bytes[static_cast<std::size_t>(column)]});
    }
    // A byte no control shows, put there by a file or the unit, still makes the presets differ.
    for (int column = 0; column < kDeviceColumns; ++column) {
        const uint8_t a = first.bytes[static_cast<std::size_t>(column)];
        const uint8_t b = second.bytes[static_cast<std::size_t>(column)];
        if (a != b && std::find(columns.begin(), columns.end(), column) == columns.end())
            result.rows.push_back({"column " + std::to_string(column), "a value no control of the page shows",
                                   std::to_string(a), std::to_string(b), true});
    }
    return result;
}

std::string differingText(int count)
{
    if (count == 0)
        return "No parameters differ";
    if (count == 1)
        return "1 parameter differs";
    return std::to_string(count) + " parameters differ";
}

PresetSide currentEdits(const ProgramState& state)
{
    PresetSide side{kYourEdits, state.currentEffect, {}, true};
    const auto row = state.store.row(state.currentEffect);
    std::copy_n(row.begin(), kDeviceColumns, side.bytes.begin());
    return side;
}

std::string slotCaption(const ProgramState& state, int effect, int slot)
{
    const std::string name =
        trimmed(state.presetNames.at(static_cast<std::size_t>(effect)).at(static_cast<std::size_t>(slot)));
    return slotPlace(effect, slot) + (name.empty() ? "" : " " + name);
}

std::string slotPlace(int effect, int slot)
{
    return effectName(effect) + " " + std::to_string(slot + 1);
}

} // namespace qrv
