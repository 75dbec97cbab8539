#pragma once

#include "Controls.hpp"

#include <set>

namespace qrv {

// Control model of the editor window, named as the window's controls.
struct FrmMain {
    std::string caption = "QRV5173 Edit";

    // Effect change and the effect switch
    GroupFrame Frame9{"Effect change"};
    ListBox Combo1;
    GroupFrame Frame1{"Effect"};
    CheckBox Check1;
    Label Label3{"OFF"};
    Label Label4{"ON"};
    Label Label9{"Preset on device = "};
    Label Label2;
    Label Label8{"*", false};
    std::string markerToolTip; // what differs, listed while Label8 shows
    // Controls whose value differs from the unit's stored preset while Label8 shows,
    // by name as the window names them ("Text5_2", "Combo4_10", "Check7").
    std::set<std::string> differing;
    // Compare with the stored version and back, beside the marker; the banner shows
    // while comparing.
    CommandButton compareButton{"Compare", "Hear the stored version, then press again for your edits"};
    std::string compareBanner;
    std::string compareSource; // what the banner says is heard ("the stored version")

    // Pages: Frame5 elements 0 and 4 to 15, one in front
    ControlArray<GroupFrame> Frame5;
    int frontPage = 0;

    // Page sliders and value boxes
    ControlArray<Slider> Slider12, Slider11, Slider1, Slider2, Slider3, Slider4, Slider5, Slider6, Slider60, Slider8,
        Slider13, Slider9, Slider10;
    ControlArray<TextBox> Text18, Text11, Text3, Text4, Text5, Text6, Text7, Text8, Text80, Text10, Text19, Text12,
        Text13;

    // Page check boxes
    CheckBox Check2, Check3, Check4, Check5, Check6, Check7;

    // Shared PEQ bands and pass-filter lists
    ControlArray<GroupFrame> Frame17;
    ControlArray<Slider> Slider15;
    ControlArray<TextBox> Text16;
    ControlArray<ListBox> Combo4, Combo3, Combo2;

    // Tap Delay extras
    CommandButton Command1{"Tap", ""};
    Shape Shape5{{0, 128, 0}};
    Timer Timer1, Timer2;

    Timer TimerCompare;

    // Command panel
    ControlArray<CommandButton> Command2;
    // Reopen button: closes and opens the current port again
    CommandButton Command3{"ReConnect", "Close and open the port again"};
    // Progress of a project transfer
    ProgressBar ProgressBar1;
};

// A fresh editor window with every control, caption and list of the catalogue.
FrmMain makeEditorForm();

} // namespace qrv
