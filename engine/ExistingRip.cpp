#include "ExistingRip.h"

#include "ArLookup.h"
#include "AudioFileReader.h"
#include "CtdbLookup.h"
#include "CueWords.h"
#include "Exception.h"
#include "TrackAudio.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace cld::engine {

namespace {

namespace fs = std::filesystem;

// "mm:ss:ff" in sectors; -1 when it is none.
int64_t msfSectors(const std::string& text) {
    int m = 0, s = 0, f = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d%c", &m, &s, &f, &tail) != 3 || m < 0 || s < 0 ||
        s > 59 || f < 0 || f > 74 || m > 999)
        return -1;
    return (static_cast<int64_t>(m) * 60 + s) * 75 + f;
}

// A file the sheet names: as named beside the sheet, else a file of that name in any
// case there (sheets written on other systems).
fs::path locate(const fs::path& folder, const std::string& name) {
    fs::path p = fs::path(name).is_absolute() ? fs::path(name) : folder / name;
    std::error_code ec;
    if (fs::exists(p, ec))
        return p;
    const std::string wanted = cue::upperCase(fs::path(name).filename().string());
    for (const auto& entry : fs::directory_iterator(p.parent_path(), ec))
        if (cue::upperCase(entry.path().filename().string()) == wanted)
            return entry.path();
    return p;
}

struct PendingTrack {
    int number = 0;
    size_t piece = 0;    // the file piece its INDEX 01 lies in
    int64_t offset = -1; // samples into that piece
    std::string file;
};

} // namespace

bool layoutFromTocQuery(const std::string& query, accurip::DiscLayout& layout) {
    layout = {};
    std::vector<std::string> parts;
    size_t at = 0;
    for (;;) {
        const size_t colon = query.find(':', at);
        parts.push_back(
            query.substr(at, colon == std::string::npos ? std::string::npos : colon - at));
        if (colon == std::string::npos)
            break;
        at = colon + 1;
    }
    if (parts.size() < 2 || parts.size() > 100)
        return false;
    std::vector<int64_t> values;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string p = parts[i];
        const bool data = !p.empty() && p[0] == '-';
        if (data)
            p.erase(0, 1);
        if (p.empty() || p.size() > 7 ||
            !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const int64_t v = std::stoll(p);
        if (i + 1 < parts.size())
            layout.tracks.push_back({static_cast<int>(i + 1), v, !data});
        else
            layout.leadOut = v;
    }
    std::string why;
    return layout.valid(why);
}

bool readRipSheet(const std::string& cuePath, RipSheet& sheet, std::string& why) {
    sheet = {};
    std::ifstream in(cuePath, std::ios::binary);
    if (!in) {
        why = "the cue sheet cannot be read";
        return false;
    }
    std::string text;
    {
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    if (text.size() > (1 << 20)) {
        why = "the cue sheet is larger than 1 MB";
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    const fs::path folder = fs::path(cuePath).parent_path();
    std::vector<PendingTrack> pending;
    bool fileHasIndex = false;
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::vector<std::string> w;
        // A quote left open runs to the end of the line.
        cue::splitWords(line, w);
        if (w.empty())
            continue;
        const std::string command = cue::upperCase(w[0]);
        const auto bad = [&](const std::string& what) {
            why = "line " + std::to_string(lineNumber) + " of the cue sheet " + what;
            return false;
        };
        if (command == "FILE") {
            if (w.size() < 2 || w[1].empty())
                return bad("names no file");
            if (sheet.pieces.size() >= 200)
                return bad("names more files than a disc holds");
            RipPiece piece;
            const fs::path p = locate(folder, w[1]);
            piece.file = p.string();
            std::error_code ec;
            piece.present = fs::is_regular_file(p, ec);
            piece.raw = w.size() > 2 && cue::upperCase(w[2]) == "BINARY";
            piece.lossless = piece.raw || isLosslessAudioFile(piece.file);
            piece.samples = -1;
            if (piece.present && piece.raw) {
                const auto size = fs::file_size(p, ec);
                piece.samples = ec ? -1 : static_cast<int64_t>(size / 4);
            } else if (piece.present && piece.lossless) {
                try {
                    AudioFileReader reader;
                    reader.Open(piece.file);
                    reader.GetAudioStream(0);
                    piece.samples = reader.GetLength();
                } catch (const std::exception&) {
                    piece.samples = -1;
                }
            }
            sheet.pieces.push_back(piece);
            fileHasIndex = false;
        } else if (command == "TRACK") {
            if (w.size() < 3)
                return bad("is a TRACK without number and type");
            if (cue::upperCase(w[2]) != "AUDIO")
                return bad("names a data track (" + w[2] + "): only the audio can be verified");
            if (sheet.pieces.empty())
                return bad("names a track before any FILE");
            int number = 0;
            if (std::sscanf(w[1].c_str(), "%d", &number) != 1 || number < 1 || number > 99)
                return bad("names a track number outside 1..99");
            if (pending.size() >= 99)
                return bad("names more tracks than a disc holds");
            pending.push_back({number, sheet.pieces.size() - 1, -1, sheet.pieces.back().file});
        } else if (command == "PREGAP") {
            const int64_t sectors = w.size() > 1 ? msfSectors(w[1]) : -1;
            if (pending.empty() || sectors < 0)
                return bad("is a PREGAP that is not a time of a track");
            if (fileHasIndex)
                return bad("is a PREGAP inside a file, which no rip holds");
            // Silence the sheet declares before the track's file.
            RipPiece silence;
            silence.samples = sectors * accurip::kSamplesPerSector;
            silence.present = true;
            sheet.pieces.insert(sheet.pieces.end() - 1, silence);
            for (PendingTrack& t : pending)
                if (t.piece == sheet.pieces.size() - 2)
                    t.piece = sheet.pieces.size() - 1;
        } else if (command == "INDEX") {
            if (pending.empty() || w.size() < 3)
                return bad("is an INDEX outside a track");
            const int64_t sectors = msfSectors(w[2]);
            if (sectors < 0)
                return bad("holds a time that is not mm:ss:ff");
            fileHasIndex = true;
            if (w[1] == "01" || w[1] == "1") {
                pending.back().offset = sectors * accurip::kSamplesPerSector;
                pending.back().piece = sheet.pieces.size() - 1;
                pending.back().file = sheet.pieces.back().file;
            }
        }
    }
    if (pending.empty()) {
        why = "the cue sheet names no audio track";
        return false;
    }
    for (const PendingTrack& t : pending) {
        if (t.offset < 0) {
            why = "track " + std::to_string(t.number) + " of the cue sheet has no INDEX 01";
            return false;
        }
    }

    // Where every piece starts in the row, as far as the lengths are known (-1 after a
    // piece of unknown length).
    std::vector<int64_t> pieceStart = {0};
    for (size_t i = 0; i < sheet.pieces.size(); ++i) {
        const RipPiece& piece = sheet.pieces[i];
        const int64_t start = pieceStart.back();
        if (start < 0 || piece.samples < 0) {
            if (start >= 0 && sheet.layoutWhy.empty())
                sheet.layoutWhy = "the length of " + fs::path(piece.file).filename().string() +
                                  " is unknown (" +
                                  (!piece.present    ? "missing"
                                   : !piece.lossless ? "a lossy file"
                                                     : "unreadable") +
                                  ")";
            pieceStart.push_back(-1);
            continue;
        }
        if (piece.samples % accurip::kSamplesPerSector != 0 && sheet.layoutWhy.empty())
            sheet.layoutWhy =
                fs::path(piece.file).filename().string() + " does not hold whole CD sectors";
        pieceStart.push_back(start + piece.samples);
    }
    const int64_t total = pieceStart.back();
    for (size_t i = 0; i < pending.size(); ++i) {
        RipSheetTrack t;
        t.number = pending[i].number;
        t.file = pending[i].file;
        const int64_t base = pieceStart[pending[i].piece];
        t.start = base < 0 ? -1 : base + pending[i].offset;
        sheet.tracks.push_back(t);
    }
    for (size_t i = 0; i < sheet.tracks.size(); ++i)
        sheet.tracks[i].end = i + 1 < sheet.tracks.size() ? sheet.tracks[i + 1].start : total;
    if (!sheet.layoutWhy.empty())
        return true;
    accurip::DiscLayout layout;
    for (const RipSheetTrack& t : sheet.tracks) {
        if (t.start < 0 || t.end <= t.start) {
            sheet.layoutWhy = "track " + std::to_string(t.number) + " has no audio of its own";
            return true;
        }
        layout.tracks.push_back({t.number, t.start / accurip::kSamplesPerSector, true});
    }
    layout.leadOut = total / accurip::kSamplesPerSector;
    std::string invalid;
    if (!layout.valid(invalid)) {
        sheet.layoutWhy = invalid;
        return true;
    }
    sheet.layout = layout;
    return true;
}

RipCheck checkRip(const RipSheet& sheet, const VerifyEnv& env) {
    RipCheck check;
    const bool placed = !sheet.layout.tracks.empty();
    const size_t n = sheet.tracks.size();
    // Which pieces each track reaches into: a missing or lossy one fails it.
    for (const RipSheetTrack& t : sheet.tracks) {
        CheckedTrack c;
        c.number = t.number;
        c.file = fs::path(t.file).filename().string();
        int64_t at = 0;
        for (const RipPiece& p : sheet.pieces) {
            const int64_t from = at;
            at += std::max<int64_t>(p.samples, 0);
            const bool reaches = placed ? (from < t.end && at > t.start) : p.file == t.file;
            if (!reaches || p.file.empty() || c.status != CheckedTrack::Status::Ok)
                continue;
            const std::string name = fs::path(p.file).filename().string();
            if (!p.present) {
                c.status = CheckedTrack::Status::Missing;
                c.error = name + " is missing";
            } else if (!p.lossless) {
                c.status = CheckedTrack::Status::Lossy;
                c.error = name + " is a lossy file: it cannot be verified";
            }
        }
        if (c.status == CheckedTrack::Status::Ok && !placed) {
            c.status = CheckedTrack::Status::Unreadable;
            c.error = "the disc's layout is unknown: " + sheet.layoutWhy;
        }
        check.tracks.push_back(c);
    }
    if (!placed)
        return check;

    // One pass over the row: every sample goes to the tracks it belongs to; a piece that
    // cannot be read counts as silence, so that the tracks after it stay in place.
    std::vector<std::unique_ptr<accurip::TrackChecksummer>> ar;
    std::vector<std::unique_ptr<accurip::CtdbTrackChecksummer>> ctdb;
    for (size_t i = 0; i < n; ++i) {
        const int64_t len = sheet.tracks[i].end - sheet.tracks[i].start;
        ar.push_back(std::make_unique<accurip::TrackChecksummer>(len, i == 0, i + 1 == n));
        ctdb.push_back(std::make_unique<accurip::CtdbTrackChecksummer>(len));
    }
    const auto feed = [&](int64_t position, const uint8_t* bytes, int64_t samples) {
        for (size_t i = 0; i < n; ++i) {
            const int64_t lo = std::max(position, sheet.tracks[i].start);
            const int64_t hi = std::min(position + samples, sheet.tracks[i].end);
            if (lo >= hi)
                continue;
            const uint8_t* p = bytes + (lo - position) * 4;
            ar[i]->add(p, static_cast<size_t>(hi - lo) * 4);
            ctdb[i]->add(p, static_cast<size_t>(hi - lo) * 4);
        }
    };
    constexpr int64_t kFrames = 588 * 75;
    std::vector<uint8_t> buffer(static_cast<size_t>(kFrames) * 4);
    int64_t position = 0;
    for (const RipPiece& piece : sheet.pieces) {
        int64_t done = 0;
        std::string failure;
        if (!piece.file.empty() && piece.present && piece.raw) {
            std::ifstream raw(piece.file, std::ios::binary);
            while (raw && done < piece.samples) {
                const int64_t want = std::min(kFrames, piece.samples - done);
                raw.read(reinterpret_cast<char*>(buffer.data()), want * 4);
                const int64_t got = static_cast<int64_t>(raw.gcount()) / 4;
                if (got <= 0)
                    break;
                feed(position + done, buffer.data(), got);
                done += got;
            }
            if (done < piece.samples)
                failure = "it ends early";
        } else if (!piece.file.empty() && piece.present && piece.lossless) {
            try {
                AudioFileReader reader;
                reader.Open(piece.file);
                reader.GetAudioStream(0);
                const WaveFormat f = reader.GetFormat();
                if (f.channels != 2 || f.bitsPerSample != 16 || f.samplesPerSec != 44100)
                    throw std::runtime_error("its audio is not 16-bit stereo at 44100 Hz");
                while (done < piece.samples) {
                    const int64_t got = reader.ReadInto(
                        done, std::min(kFrames, piece.samples - done), buffer.data());
                    if (got <= 0)
                        break;
                    feed(position + done, buffer.data(), got);
                    done += got;
                }
                if (done < piece.samples)
                    failure = "it ends early";
            } catch (const Exception& e) {
                failure =
                    e.GetText().empty() ? "error " + std::to_string(e.GetCode()) : e.GetText();
            } catch (const std::exception& e) {
                failure = e.what();
            }
        }
        std::fill(buffer.begin(), buffer.end(), 0);
        while (done < piece.samples) {
            const int64_t k = std::min(kFrames, piece.samples - done);
            feed(position + done, buffer.data(), k);
            done += k;
        }
        if (!failure.empty()) {
            for (size_t i = 0; i < n; ++i) {
                CheckedTrack& c = check.tracks[i];
                if (c.status == CheckedTrack::Status::Ok && position < sheet.tracks[i].end &&
                    position + piece.samples > sheet.tracks[i].start) {
                    c.status = CheckedTrack::Status::Unreadable;
                    c.error = fs::path(piece.file).filename().string() + ": " + failure;
                }
            }
        }
        position += piece.samples;
    }
    std::vector<accurip::TrackChecksums> sums;
    std::vector<accurip::CtdbTrackSums> ctdbSums;
    for (size_t i = 0; i < n; ++i) {
        check.tracks[i].ar = ar[i]->result();
        sums.push_back(check.tracks[i].ar);
        ctdbSums.push_back(ctdb[i]->result());
    }

    accurip::RipLogInfo info;
    info.disc = sheet.layout;
    if (env.lookup) {
        const accurip::DiscIds ids = accurip::discIds(sheet.layout);
        const accurip::LookupAnswer a = accurip::lookUp(env.server, ids, env.deadlineMs, nullptr);
        check.arDetail = a.detail;
        switch (a.status) {
        case accurip::LookupAnswer::Found: {
            bool other = false;
            const auto verdicts = accurip::verify(ids, sums, a.responses, other);
            check.arLookup =
                other ? accurip::LookupState::OtherDisc : accurip::LookupState::Checked;
            for (size_t i = 0; !other && i < n && i < verdicts.size(); ++i) {
                if (check.tracks[i].status != CheckedTrack::Status::Ok)
                    continue;
                check.tracks[i].hasVerdict = true;
                check.tracks[i].arVerdict = verdicts[i];
            }
            break;
        }
        case accurip::LookupAnswer::NotInDatabase:
            check.arLookup = accurip::LookupState::NotInDatabase;
            break;
        case accurip::LookupAnswer::Offline:
            check.arLookup = accurip::LookupState::Offline;
            break;
        default:
            check.arLookup = accurip::LookupState::Failed;
            break;
        }
    }
    if (env.lookup && env.ctdbLookup) {
        accurip::CtdbLookupOptions options;
        options.deadlineMs = env.deadlineMs;
        options.proxyHost = env.proxyHost;
        options.proxyPort = env.proxyPort;
        const accurip::CtdbLookupAnswer a =
            accurip::ctdbLookUp(env.ctdbServer, sheet.layout, options);
        check.ctdb.detail = a.detail;
        switch (a.status) {
        case accurip::CtdbLookupAnswer::Found:
            check.ctdb.state = accurip::CtdbLogResult::State::Checked;
            check.ctdb.detail.clear();
            check.ctdb.verdict =
                accurip::ctdbVerify(accurip::CtdbDisc(std::move(ctdbSums)), a.entries);
            for (size_t i = 0; i < n && i < check.ctdb.verdict.tracks.size(); ++i) {
                if (check.tracks[i].status != CheckedTrack::Status::Ok)
                    continue;
                check.tracks[i].hasCtdb = true;
                check.tracks[i].ctdb = check.ctdb.verdict.tracks[i];
            }
            break;
        case accurip::CtdbLookupAnswer::NotInDatabase:
            check.ctdb.state = accurip::CtdbLogResult::State::NotInDatabase;
            break;
        case accurip::CtdbLookupAnswer::Offline:
            check.ctdb.state = accurip::CtdbLogResult::State::Offline;
            break;
        default:
            check.ctdb.state = accurip::CtdbLogResult::State::Failed;
            break;
        }
    }
    info.lookup = check.arLookup;
    for (const CheckedTrack& c : check.tracks) {
        accurip::LogTrack t;
        t.number = c.number;
        t.hasVerdict = c.hasVerdict;
        t.verdict = c.arVerdict;
        info.tracks.push_back(t);
    }
    check.arSummary = accurip::summarize(info);
    // A rip with a track that failed here is verified by no database.
    const bool allOk =
        std::all_of(check.tracks.begin(), check.tracks.end(),
                    [](const CheckedTrack& c) { return c.status == CheckedTrack::Status::Ok; });
    check.verifiedBy = allOk ? accurip::verifiedBy(check.arSummary, check.ctdb) : std::string();
    return check;
}

} // namespace cld::engine
