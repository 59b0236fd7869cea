#include "CueSheet.h"

#include "CueWords.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vdrive {
namespace {

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxText = 1024;
constexpr size_t kMaxCueSize = 1 << 20;

bool parseMsf(const std::string& s, int64_t& sectors) {
    const size_t a = s.find(':');
    const size_t b = a == std::string::npos ? a : s.find(':', a + 1);
    if (a == std::string::npos || b == std::string::npos)
        return false;
    int64_t m = 0, sec = 0, f = 0;
    if (!parseDecimal(s.substr(0, a), 999, m) ||
        !parseDecimal(s.substr(a + 1, b - a - 1), 59, sec) || !parseDecimal(s.substr(b + 1), 74, f))
        return false;
    sectors = (m * 60 + sec) * 75 + f;
    return true;
}

} // namespace

bool isCatalog(const std::string& s) {
    return s.size() == 13 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isIsrc(const std::string& s) {
    if (s.size() != 12)
        return false;
    for (size_t i = 0; i < 12; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (i < 5 ? !std::isalnum(c) : !std::isdigit(c))
            return false;
    }
    return true;
}

bool CueSheet::parse(const std::string& text, const std::string& cuePath, CueSheet& out,
                     std::string& error) {
    out = CueSheet{};
    const std::filesystem::path folder = std::filesystem::path(cuePath).parent_path();
    int lineNo = 0;
    auto fail = [&](const std::string& reason) {
        error = cuePath + ":" + std::to_string(lineNo) + ": " + reason;
        return false;
    };
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> words;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        if (line.size() > kMaxLine)
            return fail("line too long");
        if (!cld::cue::splitWords(line, words))
            return fail("unterminated quoted text");
        if (words.empty())
            continue;
        const std::string key = cld::cue::upperCase(words[0]);
        CueTrack* track = out.tracks.empty() ? nullptr : &out.tracks.back();
        if (key == "REM" || key == "SONGWRITER" || key == "CDTEXTFILE" || key == "POSTGAP")
            continue;
        if (key == "FILE") {
            if (words.size() != 3)
                return fail("FILE needs a name and a type");
            const std::string type = cld::cue::upperCase(words[2]);
            if (type != "BINARY" && type != "WAVE")
                return fail("file type " + words[2] + " is not supported (only BINARY and WAVE)");
            if (out.files.size() >= 99)
                return fail("too many files");
            if (!out.files.empty() &&
                (out.tracks.empty() ||
                 out.tracks.back().fileIndex != static_cast<int>(out.files.size()) - 1))
                return fail("the FILE before this one has no TRACK");
            std::filesystem::path p(words[1]);
            if (p.is_relative())
                p = folder / p;
            out.files.push_back({p.string(), lineNo, type == "WAVE"});
        } else if (key == "TRACK") {
            if (out.files.empty())
                return fail("TRACK before any FILE");
            if (words.size() != 3)
                return fail("TRACK needs a number and a mode");
            int64_t number = 0;
            if (!parseDecimal(words[1], 99, number) || number < 1)
                return fail("bad track number " + words[1]);
            if (track && number != track->number + 1)
                return fail("track " + words[1] + " is out of order");
            if (track && track->index1 < 0)
                return fail("track " + std::to_string(track->number) + " has no INDEX 01");
            const std::string mode = cld::cue::upperCase(words[2]);
            CueTrack t;
            t.number = static_cast<int>(number);
            t.line = lineNo;
            t.fileIndex = static_cast<int>(out.files.size()) - 1;
            if (mode == "AUDIO") {
                t.audio = true;
            } else if (mode == "MODE1/2352" || mode == "MODE2/2352") {
                t.audio = false;
                t.mode2 = mode == "MODE2/2352";
                t.control = 0x04;
            } else {
                return fail("track mode " + words[2] + " is not supported");
            }
            out.tracks.push_back(t);
        } else if (key == "INDEX") {
            if (!track)
                return fail("INDEX outside a track");
            int64_t number = 0, position = 0;
            if (words.size() != 3 || !parseDecimal(words[1], 99, number))
                return fail("bad INDEX line");
            if (!parseMsf(words[2], position))
                return fail("bad time " + words[2]);
            const int currentFile = static_cast<int>(out.files.size()) - 1;
            if (track->fileIndex != currentFile) {
                // Only INDEX 01 may follow its INDEX 00 into the next file: the pregap then
                // ends the file before.
                if (number != 1 || track->index0 < 0 || track->index1 >= 0 ||
                    track->index0File >= 0 || currentFile != track->fileIndex + 1)
                    return fail("INDEX in another FILE than its TRACK");
                track->index0File = track->fileIndex;
                track->fileIndex = currentFile;
            }
            if (number == 0) {
                if (track->index0 >= 0 || track->index1 >= 0)
                    return fail("INDEX 00 must come first, once");
                track->index0 = position;
            } else if (number == 1) {
                if (track->index1 >= 0)
                    return fail("second INDEX 01");
                if (track->index0 >= 0 && track->index0File < 0 && position < track->index0)
                    return fail("INDEX 01 lies before INDEX 00");
                track->index1 = position;
                // Tracks of one file must follow each other.
                if (out.tracks.size() >= 2) {
                    const CueTrack& prev = out.tracks[out.tracks.size() - 2];
                    const int64_t start = track->index0 >= 0 ? track->index0 : position;
                    const int startFile =
                        track->index0File >= 0 ? track->index0File : track->fileIndex;
                    if (prev.fileIndex == startFile && start <= prev.index1)
                        return fail("track " + std::to_string(track->number) +
                                    " overlaps the track before it");
                }
            } else if (track->index1 < 0) {
                return fail("INDEX " + words[1] + " before INDEX 01");
            }
        } else if (key == "PREGAP") {
            if (!track || track->index1 >= 0 || track->index0 >= 0)
                return fail("PREGAP must follow its TRACK line");
            if (words.size() != 2 || !parseMsf(words[1], track->pregap))
                return fail("bad PREGAP");
        } else if (key == "FLAGS") {
            if (!track)
                return fail("FLAGS outside a track");
            for (size_t i = 1; i < words.size(); ++i) {
                const std::string f = cld::cue::upperCase(words[i]);
                if (f == "PRE")
                    track->control |= 0x01;
                else if (f == "DCP")
                    track->control |= 0x02;
                else if (f == "4CH")
                    track->control |= 0x08;
                else if (f != "SCMS")
                    return fail("unknown flag " + words[i]);
            }
        } else if (key == "CATALOG") {
            if (track || words.size() != 2 || !isCatalog(words[1]))
                return fail("CATALOG needs 13 digits, before the first TRACK");
            out.catalog = words[1];
        } else if (key == "ISRC") {
            if (!track || words.size() != 2 || !isIsrc(words[1]))
                return fail("ISRC needs a track and 12 characters (5 letters or digits, 7 digits)");
            track->isrc = cld::cue::upperCase(words[1]);
        } else if (key == "TITLE" || key == "PERFORMER") {
            if (words.size() != 2)
                return fail(key + " needs one text");
            if (words[1].size() > kMaxText)
                return fail(key + " text is too long");
            std::string& target = track ? (key == "TITLE" ? track->title : track->performer)
                                        : (key == "TITLE" ? out.title : out.performer);
            target = words[1];
        } else {
            return fail("unknown command " + words[0]);
        }
    }
    ++lineNo;
    if (out.tracks.empty())
        return fail("no tracks");
    if (out.tracks.back().index1 < 0)
        return fail("track " + std::to_string(out.tracks.back().number) + " has no INDEX 01");
    return true;
}

bool CueSheet::load(const std::string& cuePath, CueSheet& out, std::string& error) {
    std::ifstream file(cuePath, std::ios::binary);
    if (!file) {
        error = cuePath + ": cannot open the cue sheet";
        return false;
    }
    std::string text;
    char buffer[65536];
    while (file.read(buffer, sizeof(buffer)) || file.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(file.gcount()));
        if (text.size() > kMaxCueSize) {
            error = cuePath + ": the cue sheet is too large";
            return false;
        }
    }
    return parse(text, cuePath, out, error);
}

bool parseDecimal(const std::string& s, int64_t maxValue, int64_t& out) {
    // Twelve digits cannot overflow; anything longer is absurd for a disc image.
    if (s.empty() || s.size() > 12)
        return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v > maxValue)
        return false;
    out = v;
    return true;
}

} // namespace vdrive
