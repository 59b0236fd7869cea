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

namespace {

// The length of the well-formed UTF-8 sequence at `p` (1 for ASCII), 0 when none starts
// there.
std::size_t utf8SequenceAt(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = *p;
    if (c < 0x80)
        return 1;
    int extra = 0;
    std::uint32_t value = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        extra = 1;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        extra = 2;
        value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        extra = 3;
        value = c & 0x07;
    } else {
        return 0;
    }
    if (end - p <= extra)
        return 0;
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    if ((extra == 2 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (extra == 3 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    return static_cast<std::size_t>(extra) + 1;
}

} // namespace

bool isValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const std::size_t length = utf8SequenceAt(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

std::string utf8OrLatin1(std::string_view text) {
    if (isValidUtf8(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = begin + text.size();
    for (const auto* p = begin; p < end;) {
        const std::size_t length = utf8SequenceAt(p, end);
        if (length > 0) {
            out.append(reinterpret_cast<const char*>(p), length);
            p += length;
        } else {
            out += latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(p), 1));
            ++p;
        }
    }
    return out;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string displayLine(std::string_view text, std::size_t limit) {
    std::string out = isValidUtf8(text) ? std::string(text) : latin1ToUtf8(text);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = ' ';
    }
    out = std::string(trimmed(out));
    if (out.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
    }
    return out;
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
