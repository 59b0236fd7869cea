#include "Commands.h"

#include <cctype>

namespace cld::cli {

namespace {

bool readNumber(const std::string& text, size_t& pos, int& value) {
    const size_t start = pos;
    value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        if (value > 999)
            return false;
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return pos > start;
}

} // namespace

bool parseTrackList(const std::string& text, std::set<int>& tracks, std::string& why) {
    tracks.clear();
    size_t pos = 0;
    if (text.empty()) {
        why = "an empty track list";
        return false;
    }
    while (pos <= text.size()) {
        int first = 0;
        if (!readNumber(text, pos, first)) {
            why = "'" + text + "' is not a track list such as 1-3,7";
            return false;
        }
        int last = first;
        if (pos < text.size() && text[pos] == '-') {
            ++pos;
            if (!readNumber(text, pos, last)) {
                why = "'" + text + "' is not a track list such as 1-3,7";
                return false;
            }
        }
        if (first < 1 || last > 99 || last < first) {
            why = "track range " + std::to_string(first) + "-" + std::to_string(last) +
                  " is not within 1-99 in rising order";
            return false;
        }
        for (int t = first; t <= last; ++t)
            tracks.insert(t);
        if (pos == text.size())
            return true;
        if (text[pos] != ',') {
            why = "'" + text + "' is not a track list such as 1-3,7";
            return false;
        }
        ++pos;
    }
    return true;
}

} // namespace cld::cli
