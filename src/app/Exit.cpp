#include "Exit.hpp"

namespace qrv {

bool ConfirmExit(DeviceLink& link, Host& host, const std::function<void()>& leaving)
{
    if (host.askYesNo(kExitQuestionText, kExitTitle, Icon::None, Button::No)) {
        if (leaving)
            leaving();
        link.SendCommand(Cmd::ExitNotice);
        host.endProgram();
    }
    return false;
}

bool mainWindowCloseRequest(Program& program)
{
    program.editor.leaveCompare(); // the unit is left playing the edits
    return ConfirmExit(program.link, program.editor.host(), [&program] { program.recovery.leave(); });
}

bool editorWindowCloseRequest()
{
    return false;
}

} // namespace qrv
