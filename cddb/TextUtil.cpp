#include "TextUtil.h"

namespace cld {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::uint32_t leadingDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFu)
            return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

LineReader::LineReader(std::string_view text) : m_text(text), m_crlf(text.find("\r\n")) {}

bool LineReader::next(std::string_view& line) {
    if (m_done)
        return false;
    // Remember where the next CR LF is so that text full of lone LFs is read in one pass.
    if (m_crlf != std::string_view::npos && m_crlf < m_pos)
        m_crlf = m_text.find("\r\n", m_pos);
    if (m_crlf != std::string_view::npos) {
        line = m_text.substr(m_pos, m_crlf - m_pos);
        m_pos = m_crlf + 2;
        return true;
    }
    const std::size_t lf = m_text.find('\n', m_pos);
    if (lf != std::string_view::npos) {
        line = m_text.substr(m_pos, lf - m_pos);
        m_pos = lf + 1;
        return true;
    }
    line = m_text.substr(m_pos);
    m_pos = m_text.size();
    m_done = true;
    return true;
}

} // namespace cld
