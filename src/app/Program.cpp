#include "Program.hpp"

#include "effects/Pages.hpp"

namespace qrv {

Program::Program(Transport& port, Clock& clock, Host& host, PortResolver resolver)
    : link(state, port, clock, host), editor(state, form, link, host), search(state, link, host, std::move(resolver))
{
    link.setDeviceSearch([this] { return search.FindDevice(); });
    installPageBehaviours(editor);
    editor.setClock(&clock);
}

} // namespace qrv
