// AccurateRip checksums, CRC32s, disc ids and entries against a reference written here
// from the published rules, on discs the test makes.
#include "AccurateRip.h"
#include "RipLog.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace accurip;

namespace {

// ---- Reference: the rules written out plainly, one sample at a time. ----

struct Reference {
    uint32_t v1 = 0, v2 = 0, crc = 0, crcNoSilence = 0;
};

uint32_t bitwiseCrc(uint32_t crc, const std::vector<uint8_t>& bytes) {
    crc = ~crc;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

Reference reference(const std::vector<uint8_t>& track, bool first, bool last) {
    Reference r;
    const size_t n = track.size() / 4;
    uint64_t highSum = 0;
    for (size_t k = 0; k < n; ++k) {
        const uint64_t position = k + 1;
        // First track: the first 5 sectors minus one sample are left out; last track:
        // the last 5 sectors.
        if (first && position < 5 * 588)
            continue;
        if (last && position + 5 * 588 > n)
            continue;
        const uint32_t left = track[4 * k] | (track[4 * k + 1] << 8);
        const uint32_t right = track[4 * k + 2] | (track[4 * k + 3] << 8);
        const uint64_t sample = left | (static_cast<uint64_t>(right) << 16);
        const uint64_t product = sample * position;
        r.v1 = static_cast<uint32_t>(r.v1 + (product & 0xFFFFFFFFu));
        highSum += product >> 32;
    }
    r.v2 = static_cast<uint32_t>(r.v1 + highSum);
    r.crc = bitwiseCrc(0, track);
    std::vector<uint8_t> loud;
    for (size_t i = 0; i + 1 < track.size(); i += 2)
        if (track[i] != 0 || track[i + 1] != 0) {
            loud.push_back(track[i]);
            loud.push_back(track[i + 1]);
        }
    r.crcNoSilence = bitwiseCrc(0, loud);
    return r;
}

uint32_t referenceFreedb(const DiscLayout& d) {
    int sum = 0;
    for (const DiscTrack& t : d.tracks) {
        int seconds = static_cast<int>((t.start + 150) / 75);
        while (seconds > 0) {
            sum += seconds % 10;
            seconds /= 10;
        }
    }
    const int length =
        static_cast<int>((d.leadOut + 150) / 75 - (d.tracks.front().start + 150) / 75);
    return (static_cast<uint32_t>(sum % 255) << 24) | (static_cast<uint32_t>(length) << 8) |
           static_cast<uint32_t>(d.tracks.size());
}

// ---- Discs made here. ----

std::vector<uint8_t> noise(size_t samples, uint32_t seed, double silentShare = 0.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> share(0.0, 1.0);
    std::vector<uint8_t> out(samples * 4);
    for (size_t i = 0; i < out.size(); i += 2) {
        const bool silent = share(rng) < silentShare;
        const uint32_t v = silent ? 0 : rng();
        out[i] = static_cast<uint8_t>(v);
        out[i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return out;
}

TrackChecksums sumInPieces(const std::vector<uint8_t>& track, bool first, bool last, size_t piece) {
    TrackChecksummer c(static_cast<int64_t>(track.size() / 4), first, last);
    for (size_t at = 0; at < track.size(); at += piece)
        c.add(track.data() + at, std::min(piece, track.size() - at));
    return c.result();
}

void expectSame(const TrackChecksums& got, const Reference& want, const char* what) {
    EXPECT_EQ(got.v1, want.v1) << what;
    EXPECT_EQ(got.v2, want.v2) << what;
    EXPECT_EQ(got.crc32, want.crc) << what;
    EXPECT_EQ(got.crc32NoSilence, want.crcNoSilence) << what;
}

} // namespace

TEST(AccurateRipChecksums, MatchTheReferenceForEveryPlaceOfATrackAndAnyPieceSize) {
    const std::vector<uint8_t> track = noise(588 * 40 + 17, 7, 0.2);
    for (const bool first : {false, true})
        for (const bool last : {false, true})
            for (const size_t piece : {size_t{1}, size_t{1001}, size_t{2352}, track.size()}) {
                const Reference want = reference(track, first, last);
                expectSame(sumInPieces(track, first, last, piece), want,
                           (std::string(first ? "first " : "") + (last ? "last " : "") + "piece " +
                            std::to_string(piece))
                               .c_str());
            }
}

TEST(AccurateRipChecksums, FirstAndLastTrackEdgesLieExactlyWhereTheRulesSay) {
    const size_t n = 588 * 20;
    auto only = [&](size_t position) { // 1-based position holds the one loud sample
        std::vector<uint8_t> t(n * 4, 0);
        t[(position - 1) * 4] = 3;
        return t;
    };
    // The first track starts counting at sample 2940 (5 sectors minus one sample skipped).
    EXPECT_EQ(sumInPieces(only(2939), true, false, 4096).v1, 0u);
    EXPECT_EQ(sumInPieces(only(2940), true, false, 4096).v1, 2940u * 3);
    EXPECT_EQ(sumInPieces(only(1), false, false, 4096).v1, 3u);
    // The last track stops 5 whole sectors before its end.
    EXPECT_EQ(sumInPieces(only(n - 2940), false, true, 4096).v1, (n - 2940) * 3);
    EXPECT_EQ(sumInPieces(only(n - 2939), false, true, 4096).v1, 0u);
    EXPECT_EQ(sumInPieces(only(n), false, false, 4096).v1, n * 3);
    // The CRC32s cover every sample either way; a silent track has the empty CRC
    // without silence.
    const std::vector<uint8_t> silent(n * 4, 0);
    const TrackChecksums s = sumInPieces(silent, true, true, 5000);
    EXPECT_EQ(s.crc32NoSilence, 0u);
    EXPECT_EQ(s.crc32, reference(silent, true, true).crc);
    EXPECT_EQ(s.v1, 0u);
}

TEST(AccurateRipChecksums, V2DiffersFromV1OnlyByTheHighHalvesOfTheProducts) {
    // Full-scale samples at high positions overflow 32 bits; small ones do not.
    std::vector<uint8_t> loud(588 * 10 * 4, 0xFF);
    const TrackChecksums l = sumInPieces(loud, false, false, 777);
    EXPECT_NE(l.v1, l.v2);
    EXPECT_EQ(l.v2, reference(loud, false, false).v2);
    std::vector<uint8_t> quiet(588 * 4, 0);
    quiet[0] = 1;
    const TrackChecksums q = sumInPieces(quiet, false, false, 777);
    EXPECT_EQ(q.v1, q.v2);
}

namespace {

DiscLayout makeDisc(const std::vector<int64_t>& lengths, bool dataTrack) {
    DiscLayout d;
    int64_t at = 0;
    int number = 1;
    for (int64_t len : lengths) {
        d.tracks.push_back({number++, at, true});
        at += len;
    }
    if (dataTrack) {
        at += kSessionGap;
        d.tracks.push_back({number, at, false});
        at += 3000;
    }
    d.leadOut = at;
    return d;
}

} // namespace

TEST(AccurateRipDiscIds, OneTrackNinetyNineTracksAndADataTrack) {
    struct Case {
        std::vector<int64_t> lengths;
        bool data;
    };
    std::vector<int64_t> many(99);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = 300 + static_cast<int64_t>(i) * 7;
    for (const Case& c :
         {Case{{18000}, false}, Case{many, false}, Case{{15000, 22000, 9000}, true}}) {
        const DiscLayout d = makeDisc(c.lengths, c.data);
        std::string why;
        ASSERT_TRUE(d.valid(why)) << why;
        // Reference ids: the audio tracks' offsets (track 1 counted as 1 in the second
        // sum when it starts at 0) and the end of the audio.
        uint32_t id1 = 0, id2 = 0;
        int audio = 0;
        for (size_t i = 0; i < c.lengths.size(); ++i) {
            const auto off = static_cast<uint32_t>(d.tracks[i].start);
            id1 += off;
            id2 += (off == 0 ? 1 : off) * static_cast<uint32_t>(i + 1);
            ++audio;
        }
        const auto end = static_cast<uint32_t>(c.data ? d.tracks.back().start - 11400 : d.leadOut);
        id1 += end;
        id2 += end * static_cast<uint32_t>(audio + 1);
        const DiscIds ids = discIds(d);
        EXPECT_EQ(ids.id1, id1);
        EXPECT_EQ(ids.id2, id2);
        EXPECT_EQ(ids.trackCount, audio);
        EXPECT_EQ(ids.freedb, referenceFreedb(d));
        char name[80];
        std::snprintf(name, sizeof name, "%x/%x/%x/dBAR-%03d-%08x-%08x-%08x.bin", id1 & 15,
                      (id1 >> 4) & 15, (id1 >> 8) & 15, audio, id1, id2, referenceFreedb(d));
        EXPECT_EQ(entryPath(ids), name);
        EXPECT_EQ(d.audioEnd(), end);
        // The last audio track ends where the audio ends.
        EXPECT_EQ(d.trackEnd(c.lengths.size() - 1), end);
    }
    const DiscIds many99 = discIds(makeDisc(many, false));
    EXPECT_EQ(entryFileName(many99).substr(0, 9), "dBAR-099-");
}

TEST(AccurateRipDiscIds, ChecksumsOfAWholeDiscMatchTheReferenceTrackByTrack) {
    // Three tracks and a data track: only the audio tracks are summed; the first and the
    // last audio track lose their edges.
    const DiscLayout d = makeDisc({3000, 1200, 4000}, true);
    const std::vector<uint8_t> audio = noise(static_cast<size_t>(d.audioEnd()) * 588, 99, 0.1);
    for (size_t i = 0; i < 3; ++i) {
        const auto from = static_cast<size_t>(d.tracks[i].start * 588 * 4);
        const auto to = static_cast<size_t>(d.trackEnd(i) * 588 * 4);
        const std::vector<uint8_t> track(audio.begin() + static_cast<long>(from),
                                         audio.begin() + static_cast<long>(to));
        expectSame(sumInPieces(track, i == 0, i == 2, 65536), reference(track, i == 0, i == 2),
                   ("track " + std::to_string(i + 1)).c_str());
    }
}

TEST(AccurateRipDiscIds, ALayoutThatMakesNoSenseIsRefused) {
    std::string why;
    EXPECT_FALSE(DiscLayout{}.valid(why));
    DiscLayout backwards = makeDisc({100, 100}, false);
    backwards.tracks[1].start = 0;
    EXPECT_FALSE(backwards.valid(why));
    EXPECT_NE(why.find("track 2"), std::string::npos);
    DiscLayout shortDisc = makeDisc({100}, false);
    shortDisc.leadOut = 0;
    EXPECT_FALSE(shortDisc.valid(why));
}

namespace {

EntryResponse response(const DiscIds& ids, std::vector<EntryTrack> tracks) {
    EntryResponse r;
    r.ids = ids;
    r.tracks = std::move(tracks);
    return r;
}

} // namespace

TEST(AccurateRipEntry, ParsesWhatItBuildsAndRefusesBrokenEntries) {
    const DiscIds ids = discIds(makeDisc({1000, 2000}, false));
    const std::vector<EntryResponse> in = {
        response(ids, {{7, 0x11111111, 0xAAAA}, {5, 0x22222222, 0xBBBB}}),
        response(ids, {{2, 0x33333333, 0xCCCC}, {200, 0x44444444, 0xDDDD}})};
    const std::vector<uint8_t> bytes = buildEntry(in);
    ASSERT_EQ(bytes.size(), 2u * (13 + 2 * 9));
    std::vector<EntryResponse> out;
    std::string error;
    ASSERT_TRUE(parseEntry(bytes.data(), bytes.size(), out, error)) << error;
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].ids.id2, ids.id2);
    EXPECT_EQ(out[1].tracks[1].confidence, 200);
    EXPECT_EQ(out[1].tracks[1].crc, 0x44444444u);
    EXPECT_EQ(out[0].tracks[1].frame450, 0xBBBBu);

    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        if (cut == 13 + 2 * 9) { // a whole first response is an entry of its own
            EXPECT_TRUE(parseEntry(bytes.data(), cut, out, error));
            EXPECT_EQ(out.size(), 1u);
            continue;
        }
        EXPECT_FALSE(parseEntry(bytes.data(), cut, out, error)) << cut;
        EXPECT_NE(error.find("truncated"), std::string::npos) << cut;
        EXPECT_TRUE(out.empty());
    }
    EXPECT_FALSE(parseEntry(bytes.data(), 0, out, error));
    EXPECT_NE(error.find("empty"), std::string::npos);
    std::vector<uint8_t> huge(kMaxEntryBytes + 1, 1);
    EXPECT_FALSE(parseEntry(huge.data(), huge.size(), out, error));
    EXPECT_NE(error.find("larger"), std::string::npos);
    std::vector<uint8_t> noTracks(13, 0);
    EXPECT_FALSE(parseEntry(noTracks.data(), noTracks.size(), out, error));
}

TEST(AccurateRipEntry, VerdictsAddUpConfidenceAndTellV1FromV2AndOtherDiscs) {
    const DiscIds ids = discIds(makeDisc({1000, 2000, 3000}, false));
    std::vector<TrackChecksums> sums(3);
    sums[0].v1 = 0x100;
    sums[0].v2 = 0x200;
    sums[1].v1 = 0x300;
    sums[1].v2 = 0x400;
    sums[2].v1 = 0x500;
    sums[2].v2 = 0x600;
    const std::vector<EntryResponse> entry = {
        response(ids, {{3, 0x100, 0}, {4, 0x999, 0}, {0, 0x500, 0}}), // v1, differs, none
        response(ids, {{6, 0x200, 0}, {2, 0x998, 0}, {0, 0, 0}}),     // v2, differs, none
    };
    bool other = true;
    const auto v = verify(ids, sums, entry, other);
    EXPECT_FALSE(other);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].kind, TrackVerdict::Accurate);
    EXPECT_EQ(v[0].confidence, 9);
    EXPECT_EQ(v[0].version, 2);
    EXPECT_EQ(v[1].kind, TrackVerdict::NotAccurate);
    EXPECT_EQ(v[1].otherRips, 6);
    EXPECT_EQ(v[2].kind, TrackVerdict::NotInDatabase);

    DiscIds another = ids;
    another.id1 += 1;
    const auto w = verify(another, sums, entry, other);
    EXPECT_TRUE(other);
    EXPECT_EQ(w[0].kind, TrackVerdict::NotInDatabase);
}

// Each checksum version's rips are told apart, and an entry that repeats a response word
// for word does not count those rips twice.
TEST(AccurateRipEntry, ConfidenceIsCountedPerVersionAndOncePerResponse) {
    const DiscIds ids = discIds(makeDisc({1000, 2000}, false));
    std::vector<TrackChecksums> sums(2);
    sums[0].v1 = 0x100;
    sums[0].v2 = 0x200;
    sums[1].v1 = 0x300;
    sums[1].v2 = 0x300; // a track whose two checksums agree counts once
    const EntryResponse first = response(ids, {{5, 0x100, 0}, {4, 0x300, 0}});
    const EntryResponse second = response(ids, {{9, 0x200, 0}, {2, 0x777, 0}});
    bool other = true;
    const auto v = verify(ids, sums, {first, second, first, second}, other);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].confidenceV1, 5);
    EXPECT_EQ(v[0].confidenceV2, 9);
    EXPECT_EQ(v[0].confidence, 14);
    EXPECT_EQ(verdictText(v[0]), "accurately ripped (confidence 5 (v1), 9 (v2))");
    EXPECT_EQ(v[1].confidence, 4);
    EXPECT_EQ(v[1].confidenceV1 + v[1].confidenceV2, 4);
    EXPECT_EQ(v[1].otherRips, 2);
}

// Whatever a name holds, the log and the cue sheet keep it on one line of their own, so
// that no reader shows a line the program did not write; the names themselves stay.
TEST(RipLogText, NamesFromOutsideStayOnOneLine) {
    RipLogInfo info;
    info.program = "Calderine";
    info.disc = makeDisc({1000, 2000}, false);
    info.artist = "A\u2028Summary: 2 tracks, 2 exact\u2029B\u0085C\rD\nE\x1b[2J";
    info.album = "Слово/Word: 終 \"Live\"";
    for (int i = 0; i < 2; ++i) {
        LogTrack t;
        t.number = i + 1;
        t.file = i == 0 ? "x\u2028Summary.wav" : "two.wav";
        t.title = "T\u2029itle";
        t.result = ReadResult::Exact;
        info.tracks.push_back(t);
    }
    const std::string log = logText(info);
    int summaries = 0;
    std::size_t at = 0;
    for (std::size_t nl; (nl = log.find('\n', at)) != std::string::npos; at = nl + 1) {
        const std::string line = log.substr(at, nl - at);
        summaries += line.rfind("Summary:", 0) == 0;
        EXPECT_EQ(line.find("\u2028"), std::string::npos) << line;
        EXPECT_EQ(line.find("\u2029"), std::string::npos) << line;
        EXPECT_EQ(line.find("\u0085"), std::string::npos) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
    }
    EXPECT_EQ(summaries, 1) << log;
    EXPECT_NE(log.find("Album: Слово/Word: 終 \"Live\"\n"), std::string::npos) << log;
    const std::string cue = cueText(info);
    EXPECT_NE(cue.find("TITLE \"Слово/Word: 終 'Live'\"\n"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("\u2028"), std::string::npos) << cue;
    EXPECT_NE(cue.find("TITLE \"T itle\""), std::string::npos) << cue;
}

// A rip that did not run to its end says so at the top and in the summary, gives each
// track's file as it is, and its cue sheet describes the complete files only.
TEST(RipLogText, AnUnfinishedRipSaysSoAndItsCueSheetHasOnlyWholeFiles) {
    RipLogInfo info;
    info.program = "Calderine";
    info.disc = makeDisc({1000, 2000, 3000}, false);
    info.ending = "aborted by the user";
    const FileState states[] = {FileState::Complete, FileState::Incomplete, FileState::NotWritten};
    const char* files[] = {"one.mp3", "two.mp3.part", "three.mp3"};
    for (int i = 0; i < 3; ++i) {
        LogTrack t;
        t.number = i + 1;
        t.file = files[i];
        t.state = states[i];
        t.result = ReadResult::Exact;
        info.tracks.push_back(t);
    }
    const std::string log = logText(info);
    EXPECT_EQ(log.rfind("Rip log\nStatus: incomplete, aborted by the user\n", 0), 0u) << log;
    EXPECT_NE(log.find("  File: one.mp3\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  File: two.mp3.part (incomplete"), std::string::npos) << log;
    EXPECT_NE(log.find("  File: none (not saved as three.mp3)"), std::string::npos) << log;
    EXPECT_NE(log.find("Summary: rip aborted by the user; 1 of 3 files complete;"),
              std::string::npos)
        << log;
    const std::string cue = cueText(info);
    EXPECT_NE(cue.find("FILE \"one.mp3\" MP3"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("two.mp3"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("three.mp3"), std::string::npos) << cue;

    info.ending.clear();
    for (LogTrack& t : info.tracks)
        t.state = FileState::Complete;
    EXPECT_EQ(logText(info).find("Status:"), std::string::npos);
}

TEST(AccurateRipEntry, OffsetDetectionFindsTheShiftOfRawAudio) {
    // A disc whose track 2 starts at sector 1000; the drive delivers, for sector L, the
    // disc's samples from L*588 - N on.
    const int64_t trackStart = 1000;
    const std::vector<uint8_t> disc = noise(static_cast<size_t>((trackStart + 600) * 588), 5);
    const int64_t frame = (trackStart + kOffsetFrame) * 588;
    EntryResponse r;
    r.tracks = {{1, 0, 0}, {9, 0, frameChecksum(disc.data() + frame * 4)}};
    for (const int n : {0, 667, -1164, 48, 4999}) {
        // Raw read of sectors trackStart+440 .. +460 (with offset N).
        const int64_t rawStart = (trackStart + 440) * 588;
        std::vector<uint8_t> raw(20 * 588 * 4 + 12000 * 4);
        for (size_t k = 0; k < raw.size() / 4; ++k) {
            const int64_t s = rawStart + static_cast<int64_t>(k) - n;
            for (int b = 0; b < 4; ++b)
                raw[k * 4 + b] = s >= 0 && s * 4 + b < static_cast<int64_t>(disc.size())
                                     ? disc[static_cast<size_t>(s * 4 + b)]
                                     : 0;
        }
        const auto found =
            findOffsets(raw.data(), raw.size() / 4, rawStart, trackStart, 1, {r}, 5000);
        ASSERT_FALSE(found.empty()) << n;
        EXPECT_EQ(found.front().offset, n);
        EXPECT_EQ(found.front().confidence, 9);
    }
}
