#include "Describe.hpp"
#include "Editor.hpp"
#include "GuardUp.hpp"

#include "state/CodePage.hpp"

#include <algorithm>

namespace qrv {

std::vector<int> Editor::differingColumns(std::span<const uint8_t> reference) const
{
    std::vector<int> columns;
    const int e = state_.currentEffect;
    for (int c = 0; c < kDeviceColumns && c < static_cast<int>(reference.size()); ++c)
        if (state_.store.at(e, c) != reference[static_cast<std::size_t>(c)])
            columns.push_back(c);
    return columns;
}

// The Mono box and the link boxes decide what the sliders may take.
std::vector<std::pair<int, uint8_t>> Editor::checksFirst(const std::vector<int>& columns,
                                                         std::span<const uint8_t> values)
{
    const PageInfo& page = currentPage();
    std::vector<std::pair<int, uint8_t>> targets;
    for (int c : columns)
        targets.emplace_back(c, values[static_cast<std::size_t>(c)]);
    std::stable_partition(targets.begin(), targets.end(), [&page](const auto& target) {
        return std::any_of(page.parameters.begin(), page.parameters.end(), [&](const PageParameter& p) {
            return p.kind == ControlKind::CheckBox && p.column == target.first;
        });
    });
    return targets;
}

// Each column goes out once, with its own value: a page rule that would send another
// column on the way (the link copying a rate) only moves the page.
void Editor::sendEach(const std::vector<int>& columns, std::span<const uint8_t> values)
{
    const GuardUp replaying(replaying_);
    for (const auto& [column, value] : checksFirst(columns, values)) {
        const std::vector<int> only{column};
        sendOnly_ = &only;
        driveColumn(column, value, Drive::Procedure);
    }
    sendOnly_ = nullptr;
}

bool Editor::compareWith(std::span<const uint8_t> reference, const std::string& source)
{
    leaveCompare();
    const int e = state_.currentEffect;
    Comparison comparison{e, {}, {}, differingColumns(reference)};
    if (comparison.columns.empty())
        return false;
    history_.close();
    std::copy(state_.store.row(e).begin(), state_.store.row(e).end(), comparison.edits.begin());
    sendEach(comparison.columns, reference);
    {
        // What a rule moved on the way is shown as the unit now holds it.
        const GuardUp replaying(replaying_);
        const std::vector<int> none;
        sendOnly_ = &none;
        for (int c = 0; c < kDeviceColumns; ++c) {
            const bool compared =
                std::find(comparison.columns.begin(), comparison.columns.end(), c) != comparison.columns.end();
            const uint8_t held =
                compared ? reference[static_cast<std::size_t>(c)] : comparison.edits[static_cast<std::size_t>(c)];
            if (state_.store.at(e, c) != held)
                driveColumn(c, held, Drive::Procedure);
        }
        sendOnly_ = nullptr;
    }
    std::copy(state_.store.row(e).begin(), state_.store.row(e).end(), comparison.shown.begin());
    state_.store.setRow(e, comparison.edits);
    comparison_ = std::move(comparison);
    form_.compareBanner = "Comparing: " + source + " \u2014 press Compare to return to your edits";
    form_.compareSource = source;
    host_.refresh(Window::Editor);
    return true;
}

void Editor::leaveCompare()
{
    if (!comparison_)
        return;
    Comparison comparison = std::move(*comparison_);
    comparison_.reset();
    form_.compareBanner.clear();
    form_.compareSource.clear();
    const int e = comparison.effect;
    if (e != state_.currentEffect)
        return; // the page of the comparison is gone: nothing shows it any more
    state_.store.setRow(e, comparison.shown);
    sendEach(comparison.columns, comparison.edits);
    {
        // Every control, value box and page state as the edits have them, without a frame.
        const GuardUp replaying(replaying_);
        state_.store.setRow(e, comparison.edits);
        RefreshPage();
        state_.store.setRow(e, comparison.edits);
    }
    host_.refresh(Window::Editor);
}

void Editor::compareClick()
{
    if (comparing()) {
        leaveCompare();
        return;
    }
    if (provide(storedPresetItems(state_.currentEffect)))
        compareWith(state_.deviceCopy.row(state_.currentEffect), kStoredVersion);
}

bool Editor::compareWithSlot(int slot)
{
    leaveCompare();
    const int e = state_.currentEffect;
    const auto bytes = state_.DemoMode || !provide(presetItems(e)) ? std::nullopt : readStoredSlot(e, slot);
    if (!bytes) {
        host_.message("The unit's slot " + std::to_string(slot + 1) + " could not be read.", kCompareTitle,
                      Icon::Exclamation);
        return false;
    }
    const std::string name =
        trimmed(state_.presetNames.at(static_cast<std::size_t>(e)).at(static_cast<std::size_t>(slot)));
    return compareWith(*bytes, "slot " + std::to_string(slot + 1) + " \"" + name + "\"");
}

bool Editor::resetColumn(int column, ResetTo to)
{
    leaveCompare();
    const int e = state_.currentEffect;
    if (to == ResetTo::Stored && !provide(storedPresetItems(e)))
        return false;
    const uint8_t target = (to == ResetTo::Stored ? state_.deviceCopy : state_.startConfig).at(e, column);
    if (state_.store.at(e, column) == target)
        return false;
    history_.close();
    const EditScope scope(*this, StepKind::Edit);
    driveColumns({{column, target}}, Drive::Hand);
    return true;
}

std::string Editor::whyDiffers(int column)
{
    const PageInfo& page = currentPage();
    std::string why = behaviour(page.element).whyDiffers(*this, page, column);
    const int e = state_.currentEffect;
    const auto maximum = columnMaximum(page, state_.tables, column);
    if (why.empty() && maximum && state_.deviceCopy.at(e, column) > *maximum && state_.store.at(e, column) == *maximum)
        why = "the control goes no further";
    return why;
}

} // namespace qrv
