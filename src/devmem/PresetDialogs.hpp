#pragma once

#include "editor/Controls.hpp"
#include "editor/Editor.hpp"

#include <array>
#include <string>

namespace qrv {

inline constexpr const char* kSlotNumbersCaption = "01 02 03 04 05 06 07 08";
inline constexpr const char* kReadTitle = "Read Preset";
inline constexpr const char* kPresetEmptyText = "Preset empty";
inline constexpr const char* kStoreTitle = "Save preset to device";
inline constexpr const char* kStorePrompt = "               Are you sure ? ";
inline constexpr int kReadProgressMax = 35;
inline constexpr int kStoreProgressMax = 44;
inline constexpr int kNameLength = 8;

// Control model of the dialog that loads a stored preset from the device.
struct FrmRead {
    std::string caption = "Load Preset From Device";
    ListBox List1{{}, -1, "Double click to load a preset"};
    ControlArray<CommandButton> Command1{{0, {"Cancel", ""}}, {1, {"Load", ""}}};
    ProgressBar ProgressBar1;
    Label Label3{"Memory Preset"};
    Label Label1{kSlotNumbersCaption};
    bool open = false; // false again once the dialog has unloaded itself
};

// Control model of the dialog that stores the current edit into a device slot.
struct FrmStore {
    std::string caption = "Save Current Preset To Device";
    ListBox List1{{}, -1, "Double click to select a preset"};
    TextBox Text1;
    ListBox Combo1{{"1", "2", "3", "4", "5", "6", "7", "8"}, 0, ""};
    ControlArray<CommandButton> Command1{{0, {"Cancel", ""}}, {1, {"Store", ""}}};
    ProgressBar ProgressBar1;
    ControlArray<Label> Label2{{0, {"Select position"}}, {1, {"Edit Name"}}};
    Label Label1{kSlotNumbersCaption};
    bool open = false;
};

// Whether the directory marks the slot of the effect as holding a preset.
bool slotHoldsPreset(const ProgramState& state, int effect, int slot);

// The UI creates one per showing: load() when it opens, the handlers on the user's
// events, and closes the window once form.open is false.
class ReadDialog {
public:
    explicit ReadDialog(Editor& editor) : editor_(editor) {}

    FrmRead form;

    void load();
    void commandClick(int index);
    void listDoubleClick() { loadRequest(); }
    // Reads the slot of the current effect into the store and the device copy and
    // sends it as the edit; false when the device was lost, with nothing changed.
    bool LoadPresetFromDevice(int slot);

private:
    void loadRequest();
    void advance();

    Editor& editor_;
};

// Pads the name to eight characters, the blank more in front, and returns the eight
// bytes to store: Latin-1, characters after the eighth left out.
std::array<uint8_t, kNameLength> CentreName(std::string& name);

class StoreDialog {
public:
    explicit StoreDialog(Editor& editor) : editor_(editor) {}

    FrmStore form;

    void load();
    // A click on a slot makes it the target; a double click also takes its name.
    void listClick();
    void listDoubleClick();
    void commandClick(int index);
    // Stores the current effect's row under Text1 into the slot of Combo1; false when
    // the device was lost, with the program's records of the slot as they were.
    bool Memorize_eep();

private:
    void advance();
    // Beneath the confirmation: the slot and the preset it replaces.
    std::string storeDetail();

    Editor& editor_;
};

} // namespace qrv
