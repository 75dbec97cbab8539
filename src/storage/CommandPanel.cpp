#include "CommandPanel.hpp"

#include "PresetFiles.hpp"
#include "Reload.hpp"

#include <array>

namespace qrv {

namespace {

struct ButtonLayout {
    const char* caption;
    const char* toolTip;
    int left;
    int width;
};

constexpr int kTop = 120;
constexpr int kHeight = 495;

constexpr std::array<ButtonLayout, kPanelButtons> layout = {{
    {"Exit", "Exit", 120, 855},
    {"Save Preset   To PC", "Save Current Effetc edit to PC", 1080, 1215},
    {"Load Preset From PC", "Load Effetc edit from PC", 2400, 1215},
    {"Save Project  To PC", "Save All effects edit to PC", 3840, 1215},
    {"Load Project From PC", "Load All effects edit from PC", 5160, 1215},
    {"Reload Current Effect", "Reload current effect with the start configuration", 6600, 1215},
    {"Reload All Effect", "Reload all effects with the start configuration", 7920, 1215},
    {"Load Preset From Device", "Load Preset From Device", 9720, 1815},
    {"  Save Current Preset  To Device", "Save Current Preset To Device", 11640, 1815},
    {"  ReConnect", "ReConnect device", 13560, 1095},
}};

void run(const std::function<void()>& action)
{
    if (action)
        action();
}

} // namespace

void setupCommandPanel(FrmMain& form)
{
    for (int i = 0; i < kPanelButtons; ++i) {
        const ButtonLayout& b = layout[static_cast<std::size_t>(i)];
        form.Command2[i] = CommandButton{b.caption, b.toolTip, i != kReloadAllButton, b.left, kTop, b.width, kHeight};
    }
}

void commandPanelClick(Editor& editor, const PanelActions& actions, int index)
{
    // Saving, storing, loading and Exit all mean the edits, never a version being compared.
    editor.leaveCompare();
    switch (index) {
    case 0:
        run(actions.confirmExit);
        break;
    case 1:
        SavePresetFile(editor);
        break;
    case 2:
        LoadPresetFile(editor);
        break;
    case 3:
        SaveProjectFile(editor);
        break;
    case 4:
        LoadProjectFile(editor);
        break;
    case 5:
        ReloadCurrentEffect(editor);
        break;
    case 6:
        ReloadAllEffects(editor);
        break;
    case 7:
        run(actions.showReadDialog);
        break;
    case 8:
        run(actions.showStoreDialog);
        break;
    case kFindDeviceButton: {
        // Coming back from demo mode or a cut-off transfer, the unit may hold anything.
        const ProgramState& state = editor.state();
        const bool mayDiffer = state.DemoMode || state.unitMayDiffer;
        run(actions.findDevice);
        const bool found = !state.DemoMode && state.PortOk && state.LinkUp;
        // Another unit is read again first, and the offer comes with that.
        if (actions.findDevice && found && mayDiffer && !state.unitChanged)
            offerToSendEverything(editor);
        break;
    }
    default:
        break;
    }
}

} // namespace qrv
