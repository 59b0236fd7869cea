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
