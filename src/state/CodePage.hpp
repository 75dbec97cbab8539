#pragma once

#include <string>
#include <string_view>

namespace qrv {

// Preset names travel as single bytes of the Latin-1 code page (0x20..0x7E plain ASCII)
// and live as UTF-8 texts inside the program.

// Every byte becomes the character of the same number.
std::string latin1ToUtf8(std::string_view bytes);
// Every character becomes its byte; one that Latin-1 cannot hold, or a broken
// UTF-8 sequence, becomes '?'.
std::string utf8ToLatin1(std::string_view text);

// The text without the blanks the unit and the windows pad it with at either end.
std::string trimmed(std::string_view text);

} // namespace qrv
