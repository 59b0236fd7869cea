#include "GrabText.h"

#include "SafeFiles.h"

#include <algorithm>
#include <cstdio>

namespace cld {
namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint32_t min = 0;
    std::uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not valid text.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8SequenceLength(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

// The text snprintf wrote into a buffer of 64 bytes.
std::string written(const char* buffer, int n) {
    return std::string(buffer, static_cast<std::size_t>(std::clamp(n, 0, 63)));
}

// Sector 0 of a disc lies 2 seconds after the start CDDB counts from.
constexpr std::int32_t kPregapSeconds = 2;

bool readDigits(std::string_view text, std::size_t from, std::size_t count, std::int32_t& out) {
    if (from + count > text.size() || count == 0)
        return false;
    std::int32_t value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    out = value;
    return true;
}

} // namespace

std::string utf8Text(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    if (isValidUtf8(bytes)) {
        for (char c : bytes) {
            if (c != '\0')
                out += c;
        }
        return out;
    }
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0)
            continue;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int characterCount(std::string_view utf8) {
    int count = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

std::string defaultTrackTitle(int number) {
    char buffer[64];
    return written(buffer, std::snprintf(buffer, sizeof buffer, "Track%.02d", number));
}

std::string wavBaseName(std::string_view artist, std::string_view name, std::string_view numberText,
                        std::size_t maxBytes) {
    std::string title = files::safeName(name, maxBytes);
    if (title.empty())
        title = files::safeName(numberText, maxBytes);
    if (artist.empty())
        return title;
    const std::string base = files::safeName(artist, maxBytes) + " - " + title;
    return files::safeName(base, maxBytes);
}

std::string albumFolderName(std::string_view artist, std::string_view album) {
    return files::pairName(artist, album, kUnknownArtistFolder, kUnknownAlbumFolder);
}

int effectiveIntroSeconds(int typedSeconds) {
    if (typedSeconds <= 0)
        return kDefaultIntroSeconds;
    return std::min(typedSeconds, kMaxIntroSeconds);
}

int errorCorrectionType(int comboIndex) {
    switch (comboIndex) {
    case 0:
        return 0;
    case 2:
        return 5;
    default:
        return 1;
    }
}

int errorCorrectionIndex(int storedValue) {
    return storedValue >= 0 && storedValue <= 2 ? storedValue : 1;
}

TotalsTexts totalsTexts(const GrabTotals& totals) {
    TotalsTexts t;
    char buffer[64];
    t.tracks = written(buffer, std::snprintf(buffer, sizeof buffer, "%d Track(s) ", totals.tracks));
    t.size = written(buffer, std::snprintf(buffer, sizeof buffer, "%.1f MB ",
                                           static_cast<double>(totals.kilobytes) * 0.001));
    const auto h = static_cast<unsigned long long>(totals.seconds / 3600);
    const auto m = static_cast<unsigned long long>((totals.seconds / 60) % 60);
    const auto s = static_cast<unsigned long long>(totals.seconds % 60);
    t.duration =
        written(buffer, std::snprintf(buffer, sizeof buffer, "%02llu:%02llu:%02llu ", h, m, s));
    return t;
}

std::string discIdText(std::uint32_t discId) {
    char buffer[64];
    return written(buffer,
                   std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(discId)));
}

bool tocFromStartTexts(const std::vector<std::string>& startTexts, std::uint32_t discSeconds,
                       std::vector<MsfTime>& toc) {
    toc.clear();
    for (const std::string& text : startTexts) {
        const std::size_t colon = text.find(':');
        const std::size_t dot = text.find('.', colon == std::string::npos ? 0 : colon);
        MsfTime t;
        if (colon == std::string::npos || dot != colon + 3 || text.size() != dot + 3 || colon > 4 ||
            !readDigits(text, 0, colon, t.minute) || !readDigits(text, colon + 1, 2, t.second) ||
            !readDigits(text, dot + 1, 2, t.frame) || t.second > 59 || t.frame > 74) {
            toc.clear();
            return false;
        }
        t.second += kPregapSeconds;
        t.minute += t.second / 60;
        t.second %= 60;
        toc.push_back(t);
    }
    const std::uint64_t end = static_cast<std::uint64_t>(discSeconds) + kPregapSeconds;
    MsfTime leadOut;
    leadOut.minute = static_cast<std::int32_t>(end / 60);
    leadOut.second = static_cast<std::int32_t>(end % 60);
    toc.push_back(leadOut);
    return true;
}

} // namespace cld

namespace cld {

std::string freedbIdText(std::uint32_t discId) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", discId);
    return text;
}

} // namespace cld
