#include "Program.hpp"

#include "effects/Pages.hpp"

namespace qrv {

Program::Program(Transport& port, Clock& clock, Host& host)
    : link(state, port, clock, host), editor(state, form, link, host)
{
    installPageBehaviours(editor);
}

} // namespace qrv
