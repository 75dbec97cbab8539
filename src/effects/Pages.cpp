#include "Pages.hpp"

namespace qrv {

void installTapDelayPage(Editor& editor);
void installRateLinkPages(Editor& editor);

void installPageBehaviours(Editor& editor)
{
    installTapDelayPage(editor);
    installRateLinkPages(editor);
}

} // namespace qrv
