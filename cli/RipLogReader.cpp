#include "RipLogReader.h"

#include <charconv>
#include <sstream>

namespace cld::cli {

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool hexValue(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 8)
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && end == text.data() + text.size();
}

// "dBAR-NNN-XXXXXXXX-YYYYYYYY-ZZZZZZZZ.bin"
bool parseEntryName(const std::string& name, accurip::DiscIds& ids) {
    if (name.size() != 39 || !startsWith(name, "dBAR-") || name.compare(35, 4, ".bin") != 0 ||
        name[8] != '-' || name[17] != '-' || name[26] != '-')
        return false;
    int count = 0;
    const auto [end, ec] = std::from_chars(name.data() + 5, name.data() + 8, count);
    if (ec != std::errc() || end != name.data() + 8 || count < 1 || count > 99)
        return false;
    ids.trackCount = count;
    return hexValue(std::string_view(name).substr(9, 8), ids.id1) &&
           hexValue(std::string_view(name).substr(18, 8), ids.id2) &&
           hexValue(std::string_view(name).substr(27, 8), ids.freedb);
}

} // namespace

bool readRipLog(const std::string& text, LoggedRip& rip, std::string& why) {
    rip = {};
    std::istringstream in(text);
    std::string line;
    bool sawIds = false;
    LoggedTrack* track = nullptr;
    bool hasV1 = false, hasV2 = false, hasCrc = false;
    auto closeTrack = [&] {
        if (track)
            track->hasChecksums = hasV1 && hasV2 && hasCrc;
        hasV1 = hasV2 = hasCrc = false;
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (startsWith(line, "AccurateRip id: ")) {
            sawIds = parseEntryName(line.substr(16), rip.ids);
        } else if (startsWith(line, "CTDB TOC: ") && line.size() < 1200) {
            rip.tocQuery = line.substr(10);
        } else if (startsWith(line, "Track ") && line.size() <= 8) {
            closeTrack();
            int number = 0;
            const auto [end, ec] =
                std::from_chars(line.data() + 6, line.data() + line.size(), number);
            if (ec != std::errc() || end != line.data() + line.size() || number < 1 ||
                number > 99) {
                why = "a track line the log cannot hold: '" + line + "'";
                return false;
            }
            rip.tracks.push_back({});
            track = &rip.tracks.back();
            track->number = number;
        } else if (track && startsWith(line, "  File: ")) {
            std::string file = line.substr(8);
            if (startsWith(file, "none (")) {
                track->complete = false;
            } else {
                const auto cut = file.find(" (incomplete:");
                if (cut != std::string::npos) {
                    file.resize(cut);
                    track->complete = false;
                }
                track->file = file;
            }
        } else if (track && startsWith(line, "  CRC32: ")) {
            hasCrc = hexValue(line.substr(9), track->sums.crc32);
        } else if (track && startsWith(line, "  AccurateRip v1: ")) {
            hasV1 = hexValue(line.substr(18), track->sums.v1);
        } else if (track && startsWith(line, "  AccurateRip v2: ")) {
            hasV2 = hexValue(line.substr(18), track->sums.v2);
        } else if (line.empty()) {
            closeTrack();
            track = nullptr;
        }
    }
    closeTrack();
    if (!sawIds) {
        why = "it names no AccurateRip disc id: not a rip log of this program";
        return false;
    }
    if (rip.tracks.empty()) {
        why = "it lists no track";
        return false;
    }
    return true;
}

} // namespace cld::cli
