#include "Exit.hpp"

namespace qrv {

bool ConfirmExit(DeviceLink& link, Host& host)
{
    if (host.askYesNo(kExitQuestionText, kExitTitle, Icon::None, Button::No)) {
        link.SendCommand(Cmd::ExitNotice);
        host.endProgram();
    }
    return false;
}

bool mainWindowCloseRequest(Program& program)
{
    return ConfirmExit(program.link, program.editor.host());
}

bool editorWindowCloseRequest()
{
    return false;
}

} // namespace qrv
