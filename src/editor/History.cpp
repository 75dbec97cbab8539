#include "History.hpp"

#include <algorithm>

namespace qrv {

namespace {

bool sameByte(const ByteChange& a, const ByteChange& b)
{
    return a.table == b.table && a.effect == b.effect && a.column == b.column;
}

std::string actionText(const char* action, const HistoryStep* step)
{
    return step && !step->label.empty() ? std::string(action) + " " + step->label : action;
}

} // namespace

std::string History::undoText() const
{
    return actionText("Undo", nextUndo());
}

std::string History::redoText() const
{
    return actionText("Redo", nextRedo());
}

void History::record(HistoryStep step)
{
    if (step.changes.empty() && step.memory.empty())
        return;
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(done_), steps_.end());
    HistoryStep* last = steps_.empty() ? nullptr : &steps_.back();
    if (open_ && last && !step.control.empty() && last->control == step.control && last->effect == step.effect &&
        step.lastMove - last->lastMove <= kJoinGap) {
        for (const ByteChange& change : step.changes) {
            auto found = std::find_if(last->changes.begin(), last->changes.end(),
                                      [&](const ByteChange& known) { return sameByte(known, change); });
            if (found == last->changes.end())
                last->changes.push_back(change);
            else
                found->after = change.after;
        }
        last->lastMove = step.lastMove;
        return;
    }
    open_ = !step.control.empty();
    steps_.push_back(std::move(step));
    if (steps_.size() > kLimit)
        steps_.erase(steps_.begin());
    done_ = steps_.size();
}

void History::markUndone()
{
    open_ = false;
    if (done_ > 0)
        --done_;
}

void History::markRedone()
{
    open_ = false;
    if (done_ < steps_.size())
        ++done_;
}

void History::clear()
{
    steps_.clear();
    done_ = 0;
    open_ = false;
}

} // namespace qrv
