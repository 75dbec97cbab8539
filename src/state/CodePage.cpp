#include "CodePage.hpp"

namespace qrv {

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            text.push_back(ch);
        } else {
            text.push_back(static_cast<char>(0xC0 | (b >> 6)));
            text.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return text;
}

namespace {

bool continuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Length of the sequence led by b, or 0 for a byte that cannot lead one.
std::size_t sequenceLength(unsigned char b)
{
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 0;
}

} // namespace

std::string utf8ToLatin1(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequenceLength(lead);
        std::size_t whole = length;
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= text.size() || !continuation(static_cast<unsigned char>(text[i + k]))) {
                whole = 0;
                break;
            }
        }
        if (whole == 0) {
            // Skip the lead and any continuation bytes that follow it as one broken character.
            bytes.push_back('?');
            ++i;
            while (i < text.size() && continuation(static_cast<unsigned char>(text[i])))
                ++i;
            continue;
        }
        if (length == 1)
            bytes.push_back(static_cast<char>(lead));
        else if (length == 2 && lead <= 0xC3)
            bytes.push_back(static_cast<char>(((lead & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
        else
            bytes.push_back('?');
        i += length;
    }
    return bytes;
}

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

} // namespace qrv
