#include "TranslationSource.h"

#include <charconv>
#include <set>
#include <sstream>
#include <tuple>

namespace cld {
namespace {

class LineReader {
public:
    explicit LineReader(const std::string& line) : m_line(line) {}

    void skipSpace() {
        while (m_pos < m_line.size() && (m_line[m_pos] == ' ' || m_line[m_pos] == '\t'))
            ++m_pos;
    }
    bool atEnd() {
        skipSpace();
        return m_pos >= m_line.size();
    }
    std::string word() {
        skipSpace();
        const std::size_t start = m_pos;
        while (m_pos < m_line.size() && m_line[m_pos] != ' ' && m_line[m_pos] != '\t')
            ++m_pos;
        return m_line.substr(start, m_pos - start);
    }
    bool number(int& value) {
        const std::string w = word();
        const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), value);
        return !w.empty() && ec == std::errc() && end == w.data() + w.size() && value >= 0 &&
               value <= 65535;
    }
    bool quoted(std::string& text, std::string& error) {
        skipSpace();
        if (m_pos >= m_line.size() || m_line[m_pos] != '"') {
            error = "a text in double quotes is expected";
            return false;
        }
        ++m_pos;
        text.clear();
        while (m_pos < m_line.size()) {
            const char c = m_line[m_pos++];
            if (c == '"')
                return true;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (m_pos >= m_line.size())
                break;
            switch (const char e = m_line[m_pos++]) {
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            case '"':
            case '\\':
                text += e;
                break;
            default:
                error = std::string("unknown escape \\") + e;
                return false;
            }
        }
        error = "the text has no closing quote";
        return false;
    }

private:
    const std::string& m_line;
    std::size_t m_pos = 0;
};

} // namespace

Translation parseTranslation(const std::string& source) {
    Translation result;
    std::istringstream in(source);
    std::string line;
    std::set<std::tuple<int, int, int>> seen;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        LineReader reader(line);
        if (reader.atEnd())
            continue;
        const std::string keyword = reader.word();
        if (keyword[0] == '#')
            continue;
        auto fail = [&](const std::string& what) {
            result.errors.push_back("line " + std::to_string(number) + ": " + what);
        };
        std::string error;
        if (keyword == "program") {
            if (!reader.quoted(result.program, error))
                fail(error);
            else if (!reader.atEnd())
                fail("unexpected text after the program name");
            continue;
        }
        TranslationEntry entry;
        entry.line = number;
        if (keyword == "string")
            entry.kind = TranslationEntry::Kind::String;
        else if (keyword == "caption")
            entry.kind = TranslationEntry::Kind::Caption;
        else if (keyword == "control")
            entry.kind = TranslationEntry::Kind::Control;
        else {
            fail("unknown entry \"" + keyword + "\"");
            continue;
        }
        if (!reader.number(entry.id)) {
            fail("an id from 0 to 65535 is expected");
            continue;
        }
        if (entry.kind == TranslationEntry::Kind::Control && !reader.number(entry.controlId)) {
            fail("a control id from 0 to 65535 is expected");
            continue;
        }
        if (!reader.quoted(entry.text, error)) {
            fail(error);
            continue;
        }
        if (!reader.atEnd()) {
            fail("unexpected text after the closing quote");
            continue;
        }
        if (entry.text.find('\0') != std::string::npos) {
            fail("the text holds a NUL character");
            continue;
        }
        if (!seen.insert({static_cast<int>(entry.kind), entry.id, entry.controlId}).second) {
            fail("the id " + std::to_string(entry.id) + " is given twice");
            continue;
        }
        result.entries.push_back(std::move(entry));
    }
    if (result.program.empty())
        result.errors.push_back("the program the translation belongs to is not named");
    return result;
}

} // namespace cld
