#pragma once

#include "Catalogue.hpp"
#include "EditorForm.hpp"
#include "History.hpp"

#include "link/Clock.hpp"
#include "link/DeviceLink.hpp"
#include "link/PortSearch.hpp" // kUsbProblemText, kUsbProblemTitle
#include "state/Host.hpp"
#include "state/ProgramState.hpp"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace qrv {

inline constexpr const char* kSendEffectTitle = "Sending the effect to the QRV5173";

class Editor;

// A user's action: what it changes in the store, the start configuration and the
// effect switch becomes one step of the history when the outermost scope ends.
// Scopes nest; none records while the history itself is being replayed.
class EditScope {
public:
    EditScope(Editor& editor, StepKind kind, std::string control = {});
    ~EditScope();
    EditScope(const EditScope&) = delete;
    EditScope& operator=(const EditScope&) = delete;

private:
    Editor& editor_;
    StepKind kind_;
    std::string control_;
    bool outermost_;
};

// Page behaviour beyond the generic edit path. The defaults are the generic path.
class PageBehaviour {
public:
    virtual ~PageBehaviour() = default;
    // A slider of the page reported a new position.
    virtual void sliderEvent(Editor& editor, const PageInfo& page, int index);
    // A check box of the page was clicked by the user.
    virtual void checkClick(Editor& editor, const PageInfo& page, int index);
    // Inside the page procedure, before the control is read and after the value was sent.
    virtual void beforeParameter(Editor&, const PageInfo&, const PageParameter&) {}
    virtual void afterParameter(Editor&, const PageInfo&, const PageParameter&, uint8_t) {}
    // Why the column differs from the unit's stored preset when a rule of the page, not
    // the user, put it there ("linked rates follow Rate left"); empty otherwise.
    virtual std::string whyDiffers(Editor&, const PageInfo&, int /*column*/) { return {}; }
};

// How a column is driven to a value: as the hand moves its control (the slider rules of
// the page run, linked rates follow), or straight through the page procedure.
enum class Drive { Hand, Procedure };

enum class ResetTo { Stored, Start };

inline constexpr const char* kStoredVersion = "the stored version";
inline constexpr const char* kCompareTitle = "Compare";

// The editor core: the edit path from a control to the store, the value box and the
// device, the shared filter controls, the refresh and effect selection.
class Editor {
public:
    Editor(ProgramState& state, FrmMain& form, DeviceLink& link, Host& host);

    ProgramState& state() { return state_; }
    FrmMain& form() { return form_; }
    DeviceLink& link() { return link_; }
    Host& host() { return host_; }

    void setBehaviour(int pageElement, std::unique_ptr<PageBehaviour> behaviour);

    // Events of the page controls, as the window reports them.
    void sliderEvent(int pageElement, int index);
    void checkClick(int pageElement, int index);

    // The page procedure: shows, stores and sends one parameter. Unknown indices do nothing.
    void PageProcedure(const PageInfo& page, int index);
    // The Rotary page's switch procedure.
    void RotorSwitch();
    // The generic path for one parameter.
    void applyParameter(const PageInfo& page, const PageParameter& parameter);

    // Controls of a page parameter.
    Slider& slider(const PageInfo& page, const PageParameter& parameter);
    TextBox& valueBox(const PageInfo& page, const PageParameter& parameter);
    // The stored value the control stands for now.
    int controlValue(const PageInfo& page, const PageParameter& parameter);
    // Puts the control where it stands for the value, clamped to the control's range;
    // returns the value it now stands for.
    int setControl(const PageInfo& page, const PageParameter& parameter, int value);

    void storeAndSend(int column, uint8_t value);

    // Shared PEQ bands (part 0 gain, 1 frequency, 2 width) and pass-filter lists.
    void SetBand(int band, int part);
    void SetPassFilter(int list);
    void gainSliderEvent(int band);
    void frequencyListClick(int band);
    void widthListClick(int band);
    void passFilterClick(int list);

    // Sets every control of the current page from the store and runs it through the
    // edit path; RefreshPage sends nothing, RefreshPageAndSend sends every column.
    void RefreshPage();
    void RefreshPageAndSend();

    // What the editor has not yet read of the unit is read before an operation uses it.
    using UnitProvider = std::function<bool(const std::vector<UnitItem>&)>;
    void setUnitProvider(UnitProvider provider) { unitProvider_ = std::move(provider); }
    // False when the link failed on the way; without a provider everything counts as read.
    bool provide(const std::vector<UnitItem>& items) { return !unitProvider_ || unitProvider_(items); }

    // Effect selection and the effect switch.
    void effectListClick();
    // With Presets::Later the effect's presets and stored preset are left to be read
    // afterwards: the start-up shows the page after three exchanges.
    enum class Presets { Now, Later };
    void SelectEffect(int effect, Presets presets = Presets::Now);
    // The unit selected the effect itself and showed its live row: the page follows, the row
    // becomes the start values, and nothing is sent. No step of the history.
    void selectedOnUnit(int effect, std::span<const uint8_t> row);
    // Reads the slot's 32 bytes into the device copy; false, with the copy unchanged,
    // when not every byte could be read.
    bool ReadStoredPreset(int effect, int slot);
    // The slot's 32 bytes as the unit holds them; nothing when not every byte could be read.
    std::optional<std::array<uint8_t, kDeviceColumns>> readStoredSlot(int effect, int slot);
    void SendEffectSwitch();
    void effectSwitchClick();
    // The slot number recorded for an effect; anything but 0 to 7 counts as slot 0.
    int presetSlot(int effect) const;
    // Sets the preset caption from the slot and name recorded for the effect.
    void showPresetCaption(int effect);
    const PageInfo& currentPage() const { return catalogue::pageOfEffect(state_.currentEffect); }

    // Writes a slots step's bytes to the unit (forward: its after bytes, else its before bytes),
    // read back; returns why it could not, empty when it did.
    using SlotReplayer = std::function<std::string(const HistoryStep&, bool forward)>;
    void setSlotReplayer(SlotReplayer replayer) { slotReplayer_ = std::move(replayer); }

    // Undo and redo: the step's effect is selected first, then every byte goes back
    // through the control that owns it. A slots step goes to the slot replayer and stays
    // where it is when that fails (the user is told why). False when there is nothing to
    // undo or redo, or it failed.
    History& history() { return history_; }
    bool undo();
    bool redo();
    // A slider was released: its next move starts a new step.
    void sliderReleased() { history_.close(); }
    // Joining moves into one step needs the time; without a clock every move is a step.
    void setClock(Clock* clock) { clock_ = clock; }

    // Compare: the unit plays, and the page shows, the reference's values of the columns
    // where the current effect's edits differ from it; the store keeps the edits. Nothing
    // of it goes into the history. False, and nothing changes, when nothing differs.
    bool compareWith(std::span<const uint8_t> reference, const std::string& source);
    // Compare with the device copy, or back to the edits while comparing.
    void compareClick();
    // Compare with another slot of the unit for the current effect; false when it cannot
    // be read (the user is told) or nothing differs.
    bool compareWithSlot(int slot);
    // Sends the edits back and shows them; does nothing when not comparing.
    void leaveCompare();
    bool comparing() const { return comparison_.has_value(); }
    // Columns 0 to 31 where the current effect's store differs from the reference.
    std::vector<int> differingColumns(std::span<const uint8_t> reference) const;
    // The column of the current page back to the device copy or the start configuration,
    // moved as by hand; one step of the history. False when it holds that value already.
    bool resetColumn(int column, ResetTo to);
    // The page rule that explains a difference from the stored preset, if one does.
    std::string whyDiffers(int column);

    // The text typed into a value box (already in the box's model) goes through the
    // edit path as the nearest value the control can take; text that is no value puts
    // the shown value back. False then. The status bar tells of a refused or limited value.
    bool typedValue(int pageElement, int index);
    bool typedGain(int band);

    // Drives each column of the current effect to its value in turn, skipping one that an
    // earlier column's page rule already moved there; a column a rule moved elsewhere is
    // driven once more.
    void driveColumns(const std::vector<std::pair<int, uint8_t>>& targets, Drive drive);

private:
    friend class EditScope;
    struct Snapshot {
        ParameterTable store;
        ParameterTable startConfig;
        int16_t effectSwitch = 0;
    };
    // Undo (forward false) or redo the next step, if there is one.
    bool stepThroughHistory(bool forward);
    void replay(const HistoryStep& step, bool forward);
    void driveColumn(int column, uint8_t value, Drive drive);
    // Sends the column's stored byte unless a comparison keeps the frame back.
    void sendColumn(int column);
    void sendEach(const std::vector<int>& columns, std::span<const uint8_t> values);
    std::vector<std::pair<int, uint8_t>> checksFirst(const std::vector<int>& columns, std::span<const uint8_t> values);

    PageBehaviour& behaviour(int pageElement);
    void refreshControls();
    // The Tap Delay page's timers run while it is selected from the list, and stop otherwise.
    void runTapTimersOnTapDelay();

    ProgramState& state_;
    FrmMain& form_;
    DeviceLink& link_;
    Host& host_;
    PageBehaviour generic_;
    std::array<std::unique_ptr<PageBehaviour>, kEffectCount> behaviours_;
    History history_;
    Clock* clock_ = nullptr;
    int editDepth_ = 0;
    bool replaying_ = false;
    Snapshot before_;
    std::vector<int> sent_; // columns in the order the open step sent them

    struct Comparison {
        int effect = 0;
        Row edits{};
        Row shown{}; // what the page and the unit hold while comparing
        std::vector<int> columns;
    };
    std::optional<Comparison> comparison_;
    const std::vector<int>* sendOnly_ = nullptr; // while comparing: the columns that may be sent
    UnitProvider unitProvider_;
    SlotReplayer slotReplayer_;
};

} // namespace qrv
