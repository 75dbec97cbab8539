#pragma once

#include "Host.hpp"
#include "ProgramState.hpp"

#include "editor/Editor.hpp"
#include "editor/EditorForm.hpp"
#include "link/DeviceLink.hpp"

namespace qrv {

// One running editor: the program-wide state, the editor window's model, the link
// and the editor core, wired together. Two can live side by side in one process.
class Program {
public:
    Program(Transport& port, Clock& clock, Host& host);
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ProgramState state;
    FrmMain form = makeEditorForm();
    DeviceLink link;
    Editor editor;
};

} // namespace qrv
