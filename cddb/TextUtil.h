#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cld {

bool isSpace(char c);
std::string_view trimmed(std::string_view text);
bool contains(std::string_view text, std::string_view part);
// The decimal number at the start of `text` after leading white space, 0 without digits,
// saturated at the 32-bit maximum.
std::uint32_t leadingDecimal(std::string_view text);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool isValidUtf8(std::string_view text);
// Every byte taken as an ISO-8859-1 character, written as UTF-8.
std::string latin1ToUtf8(std::string_view text);
// UTF-8 taken as it is and any other byte as ISO-8859-1: every well-formed UTF-8 sequence
// stays, each byte that does not begin one becomes the Latin-1 character. Old clients
// typed Latin-1, newer ones UTF-8, and one entry may hold both.
std::string utf8OrLatin1(std::string_view text);
// A line a server sent, fit to show: UTF-8 (Latin-1 when it is not), control characters
// made spaces, trimmed, and cut at `limit` bytes on a character boundary.
std::string displayLine(std::string_view text, std::size_t limit = 300);

// Reads lines the way splitLine does, in one pass: a line ends at the first CR LF left in
// the text, or at the first LF when no CR LF is left at all.
class LineReader {
public:
    explicit LineReader(std::string_view text);
    // False once the last line has been read.
    bool next(std::string_view& line);

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_crlf;
    bool m_done = false;
};

} // namespace cld
