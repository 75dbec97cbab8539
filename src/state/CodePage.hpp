#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qrv {

// Preset names travel as single bytes of the Latin-1 code page (0x20..0x7E plain ASCII)
// and live as UTF-8 texts inside the program.

// Whether a name can hold the byte: a printable Latin-1 character, never a control code
// (below 0x20, 0x7F, 0x80..0x9F).
constexpr bool isNameByte(uint8_t byte)
{
    return (byte >= 0x20 && byte <= 0x7E) || byte >= 0xA0;
}

// Every byte becomes the character of the same number.
std::string latin1ToUtf8(std::string_view bytes);
// Every character becomes its byte; one that Latin-1 cannot hold, or a broken
// UTF-8 sequence, becomes '?'.
std::string utf8ToLatin1(std::string_view text);

// The text without the blanks the unit and the windows pad it with at either end.
std::string trimmed(std::string_view text);

} // namespace qrv
