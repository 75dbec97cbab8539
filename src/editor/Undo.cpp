#include "Editor.hpp"
#include "GuardUp.hpp"
#include "TypedValues.hpp"

#include <algorithm>

namespace qrv {

namespace {

constexpr const char* kNoSlotReplayerText = "The unit's presets cannot be written from here.";

void diffTables(const ParameterTable& before, const ParameterTable& after, ChangedTable table,
                std::vector<ByteChange>& changes)
{
    for (int e = 0; e < kEffectCount; ++e)
        for (int c = 0; c < kRowSize; ++c)
            if (before.at(e, c) != after.at(e, c))
                changes.push_back({table, e, c, before.at(e, c), after.at(e, c)});
}

} // namespace

EditScope::EditScope(Editor& editor, StepKind kind, std::string control)
    : editor_(editor), kind_(kind), control_(std::move(control)), outermost_(editor.editDepth_++ == 0)
{
    if (!outermost_ || editor_.replaying_)
        return;
    // An edit, a load or a reload applies to the edits, never to a version being compared.
    editor_.leaveCompare();
    editor_.sent_.clear();
    editor_.before_ = {editor_.state_.store, editor_.state_.startConfig, editor_.state_.effectSwitchState};
    if (control_.empty())
        editor_.history_.close();
}

EditScope::~EditScope()
{
    --editor_.editDepth_;
    if (!outermost_ || editor_.replaying_)
        return;
    const ProgramState& s = editor_.state_;
    HistoryStep step;
    step.kind = kind_;
    step.control = control_;
    step.lastMove = editor_.clock_ ? editor_.clock_->now() : 0;
    if (!editor_.clock_)
        step.control.clear();
    diffTables(editor_.before_.store, s.store, ChangedTable::Store, step.changes);
    diffTables(editor_.before_.startConfig, s.startConfig, ChangedTable::StartConfig, step.changes);
    // In the order the hand's frames went out, so that a replay sends them in that order;
    // what a page rule changed without a frame comes last.
    const auto rank = [this](const ByteChange& change) {
        const auto found = std::find(editor_.sent_.begin(), editor_.sent_.end(), change.column);
        return change.table == ChangedTable::Store ? found - editor_.sent_.begin() : editor_.sent_.end() - editor_.sent_.begin();
    };
    std::stable_sort(step.changes.begin(), step.changes.end(),
                     [&](const ByteChange& a, const ByteChange& b) { return rank(a) < rank(b); });
    if (editor_.before_.effectSwitch != s.effectSwitchState)
        step.changes.push_back({ChangedTable::EffectSwitch, -1, 0, static_cast<uint8_t>(editor_.before_.effectSwitch),
                                static_cast<uint8_t>(s.effectSwitchState)});
    const bool tablesChanged = std::any_of(step.changes.begin(), step.changes.end(), [](const ByteChange& change) {
        return change.table != ChangedTable::EffectSwitch;
    });
    step.effect = tablesChanged ? s.currentEffect : -1;
    editor_.history_.record(std::move(step));
}

bool Editor::undo()
{
    return stepThroughHistory(false);
}

bool Editor::redo()
{
    return stepThroughHistory(true);
}

bool Editor::stepThroughHistory(bool forward)
{
    leaveCompare();
    history_.close();
    const HistoryStep* step = forward ? history_.nextRedo() : history_.nextUndo();
    if (!step)
        return false;
    const HistoryStep copy = *step;
    if (copy.kind == StepKind::Slots) {
        const std::string problem = slotReplayer_ ? slotReplayer_(copy, forward) : kNoSlotReplayerText;
        if (!problem.empty()) {
            host_.message(problem, forward ? "Redo" : "Undo", Icon::Exclamation);
            return false;
        }
    }
    if (forward)
        history_.markRedone();
    else
        history_.markUndone();
    replay(copy, forward);
    return true;
}

void Editor::replay(const HistoryStep& step, bool forward)
{
    if (step.kind == StepKind::Slots)
        return;
    const GuardUp replaying(replaying_);
    const auto valueOf = [forward](const ByteChange& change) { return forward ? change.after : change.before; };

    for (const ByteChange& change : step.changes)
        if (change.table == ChangedTable::EffectSwitch) {
            form_.Check1.value = valueOf(change) ? 1 : 0;
            SendEffectSwitch();
        }
    if (step.effect < 0)
        return;
    if (step.effect != state_.currentEffect) {
        form_.Combo1.index = step.effect;
        effectListClick();
    }
    const int e = state_.currentEffect;

    if (step.kind == StepKind::Rows) {
        for (const ByteChange& change : step.changes) {
            if (change.table == ChangedTable::EffectSwitch)
                continue;
            ParameterTable& table = change.table == ChangedTable::Store ? state_.store : state_.startConfig;
            table.at(change.effect, change.column) = valueOf(change);
            // Rows of other effects live in the unit too; selecting one later reads them back.
            if (change.table == ChangedTable::Store && change.effect != e && change.column < kDeviceColumns)
                link_.writeByte(Addr::live(change.effect, change.column), valueOf(change));
        }
        RefreshPageAndSend();
        return;
    }

    // Column by column in the hand's order: what the hand's page rule moved along is
    // not moved again.
    std::vector<std::pair<int, uint8_t>> targets;
    for (const ByteChange& change : step.changes)
        if (change.table == ChangedTable::Store && change.effect == e)
            targets.emplace_back(change.column, valueOf(change));
    driveColumns(targets, Drive::Hand);
}

void Editor::driveColumns(const std::vector<std::pair<int, uint8_t>>& targets, Drive drive)
{
    const int e = state_.currentEffect;
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& [column, value] : targets)
            if (state_.store.at(e, column) != value)
                driveColumn(column, value, drive);
}

void Editor::driveColumn(int column, uint8_t value, Drive drive)
{
    const PageInfo& page = currentPage();
    for (const PageParameter& parameter : page.parameters) {
        if (parameter.column != column)
            continue;
        setControl(page, parameter, value);
        if (parameter.index == kNoIndex)
            RotorSwitch();
        else if (parameter.kind == ControlKind::CheckBox || drive == Drive::Procedure)
            PageProcedure(page, parameter.index); // no question: the user answered it when editing
        else
            sliderEvent(page.element, parameter.index);
        return;
    }
    for (const BandRef& band : page.bands) {
        const int b = state_.tables.filterTableA.at(static_cast<std::size_t>(band.band));
        if (column < b || column > b + 2)
            continue;
        const int part = column - b;
        if (part == 0)
            form_.Slider15.at(band.band).position = catalogue::kGainMax - std::min<int>(value, catalogue::kGainMax);
        else if (part == 1)
            form_.Combo4.at(band.band).index =
                std::min<int>(value, static_cast<int>(catalogue::frequencyList.size()) - 1);
        else
            form_.Combo3.at(band.band).index = std::min<int>(value, catalogue::kWidthCount - 1);
        SetBand(band.band, part);
        return;
    }
    for (const PassFilterRef& list : page.passFilters) {
        if (state_.tables.filterTableB.at(static_cast<std::size_t>(list.list)) != column)
            continue;
        form_.Combo2.at(list.list).index = std::min<int>(value, static_cast<int>(catalogue::frequencyList.size()) - 1);
        SetPassFilter(list.list);
        return;
    }
    storeAndSend(column, value);
}

bool Editor::typedValue(int pageElement, int index)
{
    const PageInfo* page = catalogue::pageByElement(pageElement);
    const PageParameter* parameter = page ? catalogue::parameter(*page, index) : nullptr;
    if (!parameter || parameter->kind == ControlKind::CheckBox)
        return false;
    TextBox& box = valueBox(*page, *parameter);
    const auto typed = parseTypedValue(parameter->text, box.text, parameter->maximum, host_.decimalPoint());
    if (!typed) {
        box.text = valueText(state_.tables, parameter->text, controlValue(*page, *parameter));
        state_.lastOutcome = kNotANumberText;
        return false;
    }
    history_.close();
    setControl(*page, *parameter, typed->stored);
    {
        const EditScope scope(*this, StepKind::Edit);
        sliderEvent(pageElement, index);
    }
    // A Tap Delay value beyond stereo's reach is clamped by the page: the box shows what holds.
    const int held = controlValue(*page, *parameter);
    box.text = valueText(state_.tables, parameter->text, held);
    if (typed->limited || held != typed->stored)
        state_.lastOutcome = limitedText(box.text);
    return true;
}

bool Editor::typedGain(int band)
{
    TextBox& box = form_.Text16.at(band);
    Slider& gain = form_.Slider15.at(band);
    const auto typed = parseGain(box.text, host_.decimalPoint());
    if (!typed) {
        box.text = gainText(gain.max - gain.position, host_.decimalPoint());
        state_.lastOutcome = kNotANumberText;
        return false;
    }
    history_.close();
    gain.position = gain.max - typed->stored;
    const EditScope scope(*this, StepKind::Edit);
    gainSliderEvent(band);
    if (typed->limited)
        state_.lastOutcome = limitedText(gainText(typed->stored, host_.decimalPoint()) + " dB");
    return true;
}

} // namespace qrv
