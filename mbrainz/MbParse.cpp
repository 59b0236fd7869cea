#include "MbParse.h"

// GCC's null-dereference analysis sees through the library's iterators into paths that
// cannot happen (an end iterator is never dereferenced here) and warns inside its header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnull-dereference"
#include <nlohmann/json.hpp>
#pragma GCC diagnostic pop

#include <cctype>

namespace cld::mb {

namespace {

using nlohmann::json;

// The string at `key`, or empty when absent or not a string. Control characters (a line
// break in a title, say) become blanks: the texts end up in one-line fields and file names.
std::string text(const json& object, const char* key) {
    if (!object.is_object())
        return {};
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return {};
    std::string value = it->get<std::string>();
    for (char& c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return value;
}

const json* array(const json& object, const char* key) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it != object.end() && it->is_array() ? &*it : nullptr;
}

// "Name1 & Name2" from an artist credit: each name followed by its join phrase.
std::string artistCredit(const json& owner) {
    const json* credit = array(owner, "artist-credit");
    if (!credit)
        return {};
    std::string out;
    for (const json& part : *credit) {
        std::string name = text(part, "name");
        if (name.empty() && part.is_object() && part.contains("artist"))
            name = text(part["artist"], "name");
        out += name + text(part, "joinphrase");
    }
    return out;
}

// The year at the start of an ISO date ("1997", "1997-05", "1997-05-21"); 0 when none.
int yearOf(const std::string& date) {
    if (date.size() < 4)
        return 0;
    int year = 0;
    for (int i = 0; i < 4; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(date[static_cast<std::size_t>(i)])))
            return 0;
        year = year * 10 + (date[static_cast<std::size_t>(i)] - '0');
    }
    return year;
}

// The name of the most-voted entry of a "genres" or "tags" list (first wins a tie).
std::string topTag(const json& owner, const char* key) {
    const json* tags = array(owner, key);
    if (!tags)
        return {};
    std::string best;
    long long bestCount = -1;
    for (const json& tag : *tags) {
        const std::string name = text(tag, "name");
        if (name.empty())
            continue;
        long long count = 0;
        if (tag.contains("count") && tag["count"].is_number_integer())
            count = tag["count"].get<long long>();
        if (count > bestCount) {
            best = name;
            bestCount = count;
        }
    }
    return best;
}

bool mediumHasDisc(const json& medium, const std::string& discId) {
    const json* discs = array(medium, "discs");
    if (!discs || discId.empty())
        return false;
    for (const json& disc : *discs)
        if (text(disc, "id") == discId)
            return true;
    return false;
}

std::size_t trackCountOf(const json& medium) {
    const json* tracks = array(medium, "tracks");
    return tracks ? tracks->size() : 0;
}

bool readRelease(const json& release, const std::string& discId, int trackCount, MbRelease& out) {
    out.id = text(release, "id");
    if (out.id.empty())
        return false;
    out.album = text(release, "title");
    out.artist = artistCredit(release);
    out.country = text(release, "country");
    out.date = text(release, "date");
    out.year = yearOf(out.date);
    const json emptyObject = json::object();
    const json& group = release.contains("release-group") && release["release-group"].is_object()
                            ? release["release-group"]
                            : emptyObject;
    if (out.year == 0)
        out.year = yearOf(text(group, "first-release-date"));
    if (out.artist.empty())
        out.artist = artistCredit(group);
    for (const auto& [owner, key] : {std::pair<const json*, const char*>{&release, "genres"},
                                     {&group, "genres"},
                                     {&release, "tags"},
                                     {&group, "tags"}}) {
        out.genre = topTag(*owner, key);
        if (!out.genre.empty())
            break;
    }

    const json* media = array(release, "media");
    if (!media || media->empty())
        return true; // a release without media still names the album
    out.mediumCount = static_cast<int>(media->size());
    const json* chosen = nullptr;
    for (const json& medium : *media)
        if (mediumHasDisc(medium, discId)) {
            chosen = &medium;
            break;
        }
    if (!chosen)
        for (const json& medium : *media)
            if (trackCount > 0 && trackCountOf(medium) == static_cast<std::size_t>(trackCount)) {
                chosen = &medium;
                break;
            }
    if (!chosen)
        chosen = &media->front();
    out.mediumPosition = 1;
    if (chosen->is_object() && chosen->contains("position") &&
        (*chosen)["position"].is_number_integer())
        out.mediumPosition = (*chosen)["position"].get<int>();
    if (const json* tracks = array(*chosen, "tracks"))
        for (const json& track : *tracks) {
            std::string title = text(track, "title");
            if (title.empty() && track.is_object() && track.contains("recording"))
                title = text(track["recording"], "title");
            out.trackTitles.push_back(title);
        }
    return true;
}

} // namespace

bool parseDiscAnswer(std::string_view body, const std::string& discId, int trackCount,
                     std::vector<MbRelease>& releases, std::string& error) {
    releases.clear();
    error.clear();
    // Depth and size are bounded by the HTTP client's body limit; the parser keeps no
    // recursion of its own beyond what nlohmann does, which a fuzzer checks.
    const json document = json::parse(body.begin(), body.end(), nullptr, false);
    if (document.is_discarded()) {
        error = "The answer is not JSON.";
        return false;
    }
    if (!document.is_object()) {
        error = "The answer is not a disc description.";
        return false;
    }
    const json* list = array(document, "releases");
    if (!list) {
        // A known disc id always has the list (possibly empty); anything else is not an
        // answer to the question asked.
        if (document.contains("error")) {
            error = "The server said: " + text(document, "error");
            return false;
        }
        error = "The answer names no releases.";
        return false;
    }
    for (const json& release : *list) {
        MbRelease read;
        if (release.is_object() && readRelease(release, discId, trackCount, read))
            releases.push_back(std::move(read));
    }
    return true;
}

bool isCoverImage(std::string_view bytes) {
    const bool jpeg = bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xff &&
                      static_cast<unsigned char>(bytes[1]) == 0xd8 &&
                      static_cast<unsigned char>(bytes[2]) == 0xff;
    const bool png =
        bytes.size() >= 8 && bytes.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8);
    return jpeg || png;
}

} // namespace cld::mb
