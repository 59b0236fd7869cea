#include "CddbParse.h"

#include "TextUtil.h"

#include <cstdint>
#include <string>

using cld::contains;
using cld::leadingDecimal;
using cld::LineReader;
using cld::trimmed;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The hexadecimal number at the start of `text`: one to eight digits, nothing else
// counts as a disc ID.
bool leadingHex(std::string_view text, std::uint32_t& value) {
    std::uint32_t result = 0;
    std::size_t digits = 0;
    while (digits < text.size() && hexValue(text[digits]) >= 0) {
        if (digits == 8)
            return false;
        result = (result << 4) | static_cast<std::uint32_t>(hexValue(text[digits]));
        ++digits;
    }
    if (digits == 0)
        return false;
    value = result;
    return true;
}

bool allDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, pos)) {
        out.append(text, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    if (pos == 0)
        return;
    out.append(text, pos, std::string::npos);
    text = std::move(out);
}

void skipSpaces(std::string_view& text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
}

// Next space-delimited word; false when the text holds none.
bool nextWord(std::string_view& text, std::string_view& word) {
    skipSpaces(text);
    if (text.empty())
        return false;
    const std::size_t end = text.find(' ');
    word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    return true;
}

// "Artist / Title": freedb separates the two with " / ", since artists' names hold "/"
// themselves ("AC/DC / Back in Black"). Only a disc title without " / " is cut at its
// first "/". Both halves are trimmed; without any "/" the whole text is the title.
void splitDiscTitle(std::string_view discTitle, std::string& artist, std::string& title,
                    bool trimWhole) {
    std::size_t cut = discTitle.find(" / ");
    std::size_t skip = 3;
    if (cut == std::string_view::npos) {
        cut = discTitle.find('/');
        skip = 1;
    }
    if (cut == std::string_view::npos) {
        artist.clear();
        title = trimWhole ? trimmed(discTitle) : discTitle;
        return;
    }
    artist = trimmed(discTitle.substr(0, cut));
    title = trimmed(discTitle.substr(cut + skip));
}

// "N037.21": hemisphere letter, three digits of degrees, a point, two digits of minutes.
bool parsePosition(std::string_view text, char positive, char negative, std::int32_t& flag,
                   std::int32_t& minutes) {
    if (text.size() != 7 || text[4] != '.' || !allDigits(text.substr(1, 3)) ||
        !allDigits(text.substr(5, 2)))
        return false;
    if (text[0] == positive)
        flag = 1;
    else if (text[0] == negative)
        flag = 0;
    else
        return false;
    minutes = static_cast<std::int32_t>(leadingDecimal(text.substr(1, 3)) * 60 +
                                        leadingDecimal(text.substr(5, 2)));
    return true;
}

} // namespace

std::optional<std::string_view> splitLine(std::string_view text, std::string_view& line) {
    std::size_t end = text.find("\r\n");
    std::size_t length = 2;
    if (end == std::string_view::npos) {
        end = text.find('\n');
        length = 1;
    }
    if (end == std::string_view::npos) {
        line = text;
        return std::nullopt;
    }
    line = text.substr(0, end);
    return text.substr(end + length);
}

std::optional<std::string_view> nextLine(std::string_view text) {
    std::string_view line;
    return splitLine(text, line);
}

int statusCode(std::string_view text) {
    if (text.size() < 3 || !allDigits(text.substr(0, 3)))
        return -1;
    return static_cast<int>(leadingDecimal(text.substr(0, 3)));
}

bool parseComment(std::string_view line, std::string& text) {
    if (line.empty() || line.front() != '#')
        return false;
    const std::string_view rest = line.substr(1);
    if (rest.size() <= 1)
        text.clear();
    else
        text = trimmed(rest);
    return true;
}

bool parseKeyValue(std::string_view line, std::string& key, std::string& value) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = line.substr(0, eq);
    value = line.substr(eq + 1);
    replaceAll(value, "\\n", "\n");
    replaceAll(value, "\\t", "\t");
    replaceAll(value, "\\\\", "\\");
    return true;
}

bool parseMatchLine(std::string_view line, CddbMatch& match) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space == 0)
        return false;
    std::string_view rest = line.substr(space);
    std::string_view idText;
    if (!nextWord(rest, idText) || rest.empty())
        return false;
    std::uint32_t id = 0;
    if (!leadingHex(idText, id))
        return false;
    for (char c : idText)
        if (hexValue(c) < 0)
            return false;
    skipSpaces(rest);
    if (rest.empty())
        return false;
    std::string_view discTitle;
    splitLine(rest, discTitle);

    match.category = line.substr(0, space);
    match.discId = id;
    splitDiscTitle(discTitle, match.artist, match.title, false);
    return true;
}

bool parseServerLine(std::string_view line, CddbServer& server) {
    std::string_view rest = line;
    std::string_view site, protocol, port, address, latitude, longitude;
    if (!nextWord(rest, site) || !nextWord(rest, protocol) || !nextWord(rest, port) ||
        !nextWord(rest, address) || !nextWord(rest, latitude) || !nextWord(rest, longitude))
        return false;
    skipSpaces(rest);
    if (rest.empty() || protocol != "http" || !allDigits(port) || port.size() > 5)
        return false;
    const std::uint32_t portNumber = leadingDecimal(port);
    if (portNumber == 0 || portNumber > 65535)
        return false;
    CddbServer parsed;
    if (!parsePosition(latitude, 'N', 'S', parsed.north, parsed.latitude) ||
        !parsePosition(longitude, 'E', 'W', parsed.east, parsed.longitude))
        return false;
    parsed.host = site;
    parsed.port = static_cast<std::int32_t>(portNumber);
    parsed.scriptPath = address;
    std::string_view description;
    splitLine(rest, description);
    parsed.description = description;
    server = std::move(parsed);
    return true;
}

bool parseXmcd(std::string_view body, XmcdEntry& entry) {
    LineReader reader(body);
    std::string_view line;
    std::string text, key, value;

    // Status line.
    if (!reader.next(line))
        return false;
    const int status = statusCode(line);
    if (status < 210 || status > 219)
        return false;

    // "# xmcd" signature.
    if (!reader.next(line) || !parseComment(line, text) || !contains(text, "xmcd"))
        return false;

    // Comment lines up to the frame offsets.
    for (;;) {
        if (!reader.next(line) || !parseComment(line, text))
            return false;
        if (contains(text, "Track frame offsets:"))
            break;
    }
    // One offset per comment line, up to an empty comment or any other line. A comment
    // that is not a number ends the list too but is not consumed: entries without the
    // blank "#" line go straight on to "Disc length:".
    bool pending = false;
    while (reader.next(line)) {
        if (!parseComment(line, text) || text.empty())
            break;
        if (text.front() < '0' || text.front() > '9') {
            pending = true;
            break;
        }
        entry.frameOffsets.push_back(leadingDecimal(text));
    }

    // Disc length.
    for (;;) {
        if (!pending && (!reader.next(line) || !parseComment(line, text)))
            return false;
        pending = false;
        if (contains(text, "Disc length:"))
            break;
    }
    if (text.size() <= 12)
        return false;
    entry.discLength = leadingDecimal(std::string_view(text).substr(13));

    // Optional revision, then the submitting program.
    bool submitted = false;
    while (!submitted) {
        if (!reader.next(line) || !parseComment(line, text))
            return false;
        if (contains(text, "Revision:")) {
            entry.revision =
                text.size() < 11 ? 0 : leadingDecimal(std::string_view(text).substr(9));
            submitted = contains(text, "Submitted via:");
            while (!submitted) {
                if (!reader.next(line) || !parseComment(line, text))
                    return false;
                submitted = contains(text, "Submitted via:");
            }
        } else if (contains(text, "Submitted via:")) {
            entry.revision = 0;
            submitted = true;
        }
    }
    if (text.size() <= 13)
        return false;
    std::string_view words = std::string_view(text).substr(14);
    std::string_view program, version, comment;
    if (!nextWord(words, program) || !nextWord(words, version))
        return false;
    entry.submitProgram = program;
    entry.submitVersion = version;
    entry.submitComment = nextWord(words, comment) ? std::string(comment) : std::string();

    // Disc ID: the first of a comma-separated list.
    for (;;) {
        if (!reader.next(line))
            return false;
        if (contains(line, "DISCID="))
            break;
    }
    if (!parseKeyValue(line, key, value) || key != "DISCID" || value.size() < 8 ||
        !leadingHex(value.substr(0, value.find(',')), entry.discId))
        return false;

    // Disc title, possibly continued over several lines.
    bool haveLine = reader.next(line);
    if (haveLine && contains(line, "DTITLE")) {
        std::string discTitle;
        while (haveLine && contains(line, "DTITLE")) {
            if (!parseKeyValue(line, key, value))
                return false;
            discTitle += value;
            haveLine = reader.next(line);
        }
        splitDiscTitle(discTitle, entry.artist, entry.title, true);
    } else if (haveLine) {
        haveLine = reader.next(line);
    }

    // Year and genre (protocol level 5 and up), in either order, each possibly continued.
    std::string year, genre;
    while (haveLine && (line.starts_with("DYEAR=") || line.starts_with("DGENRE="))) {
        if (!parseKeyValue(line, key, value))
            return false;
        (key == "DYEAR" ? year : genre) += value;
        haveLine = reader.next(line);
    }
    const std::string_view yearText = trimmed(year);
    const std::uint32_t yearValue = leadingDecimal(yearText);
    entry.year = !yearText.empty() && yearText.front() >= '0' && yearText.front() <= '9' &&
                         yearValue >= 1 && yearValue <= 9999
                     ? static_cast<std::int32_t>(yearValue)
                     : 0;
    entry.genre = std::string(trimmed(genre));

    // Track titles; a repeated key continues the previous title.
    std::string previousKey;
    bool first = true;
    while (haveLine && contains(line, "TTITLE")) {
        if (!parseKeyValue(line, key, value))
            return false;
        if (first || key != previousKey)
            entry.trackTitles.push_back(value);
        else
            entry.trackTitles.back() += value;
        previousKey = key;
        first = false;
        haveLine = reader.next(line);
    }

    // Extended disc data, cut into lines at its line feeds.
    std::string extended;
    while (haveLine && contains(line, "EXTD=")) {
        if (!parseKeyValue(line, key, value))
            return false;
        extended += value;
        haveLine = reader.next(line);
    }
    std::size_t start = 0;
    for (std::size_t lf = extended.find('\n'); lf != std::string::npos;
         lf = extended.find('\n', start)) {
        entry.extendedDiscData.push_back(extended.substr(start, lf - start));
        start = lf + 1;
    }
    if (start < extended.size())
        entry.extendedDiscData.push_back(extended.substr(start));

    // Extended track data; empty values are skipped.
    std::string lastKey;
    bool haveEntry = false;
    while (haveLine && contains(line, "EXTT")) {
        if (!parseKeyValue(line, key, value))
            return false;
        if (!value.empty()) {
            if (!haveEntry || key != lastKey)
                entry.extendedTrackData.push_back(value);
            else
                entry.extendedTrackData.back() += value;
            lastKey = key;
            haveEntry = true;
        }
        haveLine = reader.next(line);
    }

    // Play order.
    if (haveLine && parseKeyValue(line, key, value) && key == "PLAYORDER") {
        std::string_view list = value;
        for (std::size_t comma = list.find(','); comma != std::string_view::npos;
             comma = list.find(',')) {
            entry.playOrder.push_back(leadingDecimal(list.substr(0, comma)));
            list.remove_prefix(comma + 1);
        }
        if (!list.empty())
            entry.playOrder.push_back(leadingDecimal(list));
    }
    return true;
}
