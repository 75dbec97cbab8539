#pragma once

#include "app/AutoBackup.hpp"
#include "devmem/SplashForm.hpp"
#include "devmem/UnitReading.hpp"
#include "state/Host.hpp"
#include "state/ProgramState.hpp"

#include "editor/Editor.hpp"
#include "editor/EditorForm.hpp"
#include "link/DeviceLink.hpp"
#include "link/PortSearch.hpp"
#include "storage/Recovery.hpp"

namespace qrv {

// One running editor: the program-wide state, the editor window's model, the link
// and the editor core, wired together. Two can live side by side in one process.
class Program {
public:
    // Port numbers map to device names through the resolver; the default names COM1..COM35.
    Program(Transport& port, Clock& clock, Host& host, PortResolver resolver = comPorts());
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Clock& clock;
    ProgramState state;
    FrmMain form = makeEditorForm();
    DeviceLink link;
    Editor editor;
    PortSearch search;
    FrmSplash splash;
    UnitReading reading{editor};
    AutoBackup autoBackup{editor, reading};
    RecoveryKeeper recovery; // off until a folder is given
};

} // namespace qrv
