#include "Program.hpp"

#include "devmem/UnitSlots.hpp"
#include "editor/ReplyCheck.hpp"
#include "effects/Pages.hpp"

namespace qrv {

Program::Program(Transport& port, Clock& clock, Host& host, PortResolver resolver)
    : clock(clock), link(state, port, clock, host), editor(state, form, link, host),
      search(state, link, host, std::move(resolver))
{
    link.setDeviceSearch([this] { return search.findAfterLoss(); });
    link.setReplyCheck([this](const Frame& request, std::span<const uint8_t> reply) {
        return replyPlausible(state.tables, request, reply);
    });
    installPageBehaviours(editor);
    editor.setClock(&clock);
    editor.setUnitProvider([this](const std::vector<UnitItem>& items) { return reading.provide(items); });
    editor.setSlotReplayer([this](const HistoryStep& step, bool forward) {
        const SlotOutcome outcome = UnitSlots(editor).replay(step, forward);
        return outcome.done() ? std::string() : outcome.message;
    });
}

} // namespace qrv
