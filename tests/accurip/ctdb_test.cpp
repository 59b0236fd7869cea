// The CUETools database: TOC ids against published ones, CRCs against a plain reference
// written here from the database's description (one bitwise CRC over the bytes the rules
// keep), rips that match, differ, or are right but shifted, and look-ups on loopback
// servers that answer well, not at all, brokenly, hugely or slowly.
#include "CddbCancel.h"
#include "CddbTestServer.h"
#include "Ctdb.h"
#include "CtdbLookup.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace accurip;

namespace {

// ---- Reference: the rules written out plainly. ----

uint32_t bitwiseCrc(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < to; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// A disc's audio and where its tracks start (in samples).
struct TestDisc {
    std::vector<uint8_t> audio;
    std::vector<size_t> starts; // samples; plus the end
};

TestDisc makeDisc(const std::vector<int>& trackSectors, uint32_t seed) {
    TestDisc d;
    std::mt19937 random(seed);
    size_t at = 0;
    for (int sectors : trackSectors) {
        d.starts.push_back(at);
        at += static_cast<size_t>(sectors) * 588;
    }
    d.starts.push_back(at);
    d.audio.resize(at * 4);
    for (uint8_t& b : d.audio)
        b = static_cast<uint8_t>(random());
    return d;
}

// The entry a database would hold for this audio: the disc from its 5880th sample to
// 5880 + (length mod 5880) samples before its end; each track whole, but the first
// without those first samples and the last without those last ones.
CtdbEntry referenceEntry(const TestDisc& d, int confidence, const std::string& id) {
    CtdbEntry e;
    e.id = id;
    e.confidence = confidence;
    const size_t total = d.starts.back();
    const size_t skip = 5880;
    const size_t tail = 5880 + total % 5880;
    e.crc = bitwiseCrc(d.audio, skip * 4, (total - tail) * 4);
    for (size_t t = 0; t + 1 < d.starts.size(); ++t) {
        size_t from = d.starts[t];
        size_t to = d.starts[t + 1];
        if (t == 0)
            from += skip;
        if (t + 2 == d.starts.size())
            to -= tail;
        e.trackCrcs.push_back(bitwiseCrc(d.audio, from * 4, to * 4));
    }
    return e;
}

std::string entryXml(const CtdbEntry& e) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", e.crc);
    std::string tracks;
    for (uint32_t t : e.trackCrcs) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", t);
        tracks += (tracks.empty() ? "" : " ") + std::string(hex);
    }
    return "  <entry confidence=\"" + std::to_string(e.confidence) + "\" crc32=\"" + crc +
           "\" hasparity=\"/parity/1\" id=\"" + e.id +
           "\" npar=\"8\" stride=\"5880\" syndrome=\"AAAA\" toc=\"0:100:200\" trackcrcs=\"" +
           tracks + "\" />\n";
}

std::string answerXml(const std::vector<CtdbEntry>& entries) {
    std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\" "
                       "xmlns:ext=\"http://db.cuetools.net/ns/ext-1.0#\">\n";
    for (const CtdbEntry& e : entries)
        body += entryXml(e);
    body += "  <metadata source=\"musicbrainz\" artist=\"A &amp; B\" album=\"X\">\n"
            "    <track name=\"one\" />\n  </metadata>\n</ctdb>\n";
    return body;
}

// The rip of the disc as a drive whose offset is off by `shift` samples reads it: sample i
// of the rip is sample i + shift of the disc, silence beyond its edges.
CtdbDisc ripOf(const TestDisc& d, int shift, size_t damagedSample = SIZE_MAX) {
    std::vector<uint8_t> rip(d.audio.size(), 0);
    const auto total = static_cast<int64_t>(d.starts.back());
    for (int64_t i = 0; i < total; ++i) {
        const int64_t from = i + shift;
        if (from >= 0 && from < total)
            std::copy_n(d.audio.begin() + from * 4, 4, rip.begin() + i * 4);
    }
    if (damagedSample != SIZE_MAX)
        rip[damagedSample * 4] ^= 0x40;
    std::vector<CtdbTrackSums> tracks;
    for (size_t t = 0; t + 1 < d.starts.size(); ++t) {
        const size_t n = d.starts[t + 1] - d.starts[t];
        CtdbTrackChecksummer c(static_cast<int64_t>(n));
        // Pieces of odd sizes, as files deliver them.
        size_t at = d.starts[t] * 4;
        const size_t end = d.starts[t + 1] * 4;
        size_t piece = 1;
        while (at < end) {
            const size_t len = std::min(piece, end - at);
            c.add(rip.data() + at, len);
            at += len;
            piece = piece * 7 % 65521 + 3;
        }
        tracks.push_back(c.result());
        EXPECT_TRUE(tracks.back().complete());
    }
    return CtdbDisc(std::move(tracks));
}

DiscLayout layoutFromQuery(const std::string& query) {
    DiscLayout layout;
    size_t at = 0;
    std::vector<std::string> parts;
    while (at <= query.size()) {
        const size_t colon = query.find(':', at);
        parts.push_back(
            query.substr(at, colon == std::string::npos ? std::string::npos : colon - at));
        if (colon == std::string::npos)
            break;
        at = colon + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const bool data = parts[i][0] == '-';
        layout.tracks.push_back(
            {static_cast<int>(i + 1), std::stoll(parts[i].substr(data ? 1 : 0)), !data});
    }
    layout.leadOut = std::stoll(parts.back());
    return layout;
}

} // namespace

TEST(Ctdb, TocIdsAndQueriesMatchPublishedOnes) {
    // Ids the database shows for these discs: plain, with a data track after the audio,
    // with audio before the first track, and with a first track that starts late.
    const struct {
        const char* query;
        const char* id;
    } discs[] = {
        {"0:11413:25024:45713:55220", "VukMWWItblELRM.CEFpXxw0FlME-"},
        {"0:15047:30797:45995:60397:78942:94607:108395:125382:146117:162905:177397:194782:-"
         "220352:332850",
         "gmEsiU5wvQFA1Nq9YE_posiwgK8-"},
        {"32:21180:25110:39232:57730:76330:79185:82515:96282:105612:110650:124772:141292:"
         "149317:159710:172327:180325",
         "iL4EZ56YD5WmG..M4v5qzPG0cFY-"},
        {"9192:11094:19038:29394:38510:46846:57819:69690:76516:83243:93209:103737:111481:"
         "126900:135914:144791:153607:161959:173770:186780:196683:207536",
         "8geCxI4CSyw_ydvHWGmPQUGF1UE-"},
    };
    for (const auto& disc : discs) {
        const DiscLayout layout = layoutFromQuery(disc.query);
        EXPECT_EQ(ctdbTocId(layout), disc.id) << disc.query;
        EXPECT_EQ(ctdbTocQuery(layout), disc.query);
    }
    EXPECT_EQ(ctdbRequestTarget("/lookup2.php", layoutFromQuery("0:11413:25024:45713:55220")),
              "/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=0:11413:25024:45713:55220");
}

TEST(Ctdb, RipsAreAccurateDifferOrShifted) {
    // Short discs keep the test quick; the middle track is shorter than the samples kept
    // at a track's edges, so that shifted CRCs reach across it.
    const TestDisc d = makeDisc({120, 13, 95}, 7);
    const std::vector<CtdbEntry> entries = {referenceEntry(d, 5, "1234"),
                                            referenceEntry(makeDisc({120, 13, 95}, 8), 2, "99")};

    // The rip as it is.
    CtdbVerdict v = ctdbVerify(ripOf(d, 0), entries);
    EXPECT_EQ(v.kind, CtdbVerdict::Accurate);
    EXPECT_EQ(v.confidence, 5);
    EXPECT_EQ(v.submissions, 7);
    EXPECT_EQ(v.entryId, "1234");
    EXPECT_EQ(v.shift, 0);
    ASSERT_EQ(v.tracks.size(), 3u);
    for (const CtdbTrackVerdict& t : v.tracks) {
        EXPECT_EQ(t.kind, CtdbTrackVerdict::Accurate);
        EXPECT_EQ(t.confidence, 5);
    }
    EXPECT_EQ(ctdbVerdictText(v), "accurate (confidence 5 of 7 submissions, entry 1234)");
    EXPECT_EQ(ctdbTrackText(v.tracks[0]), "accurate (confidence 5)");

    // Right but shifted either way, up to the whole left-out edge: found, and by how much.
    for (int shift : {1, -1, 588, -667, 5880, -5880}) {
        v = ctdbVerify(ripOf(d, shift), entries);
        EXPECT_EQ(v.kind, CtdbVerdict::Accurate) << shift;
        EXPECT_EQ(v.shift, -shift);
        EXPECT_EQ(v.entryId, "1234");
        for (const CtdbTrackVerdict& t : v.tracks)
            EXPECT_EQ(t.kind, CtdbTrackVerdict::Accurate) << shift;
    }
    EXPECT_NE(ctdbVerdictText(ctdbVerify(ripOf(d, 30), entries)).find("shifted by -30 samples"),
              std::string::npos);
    // Beyond the edge the database leaves out, no match is claimed; without the
    // offset-independent match a shifted rip differs.
    EXPECT_EQ(ctdbVerify(ripOf(d, 5881), entries).kind, CtdbVerdict::Differs);
    EXPECT_EQ(ctdbVerify(ripOf(d, 5), entries, 0).kind, CtdbVerdict::Differs);

    // One damaged sample in the middle track: the disc and that track differ, the others
    // stay accurate.
    v = ctdbVerify(ripOf(d, 0, d.starts[1] + 100), entries);
    EXPECT_EQ(v.kind, CtdbVerdict::Differs);
    EXPECT_EQ(v.tracks[0].kind, CtdbTrackVerdict::Accurate);
    EXPECT_EQ(v.tracks[1].kind, CtdbTrackVerdict::Differs);
    EXPECT_EQ(v.tracks[2].kind, CtdbTrackVerdict::Accurate);
    EXPECT_EQ(ctdbTrackText(v.tracks[1]), "differs");
    // A damaged sample inside the left-out edge changes nothing.
    EXPECT_EQ(ctdbVerify(ripOf(d, 0, 10), entries).kind, CtdbVerdict::Accurate);

    // Entries of another track count are not this disc's; an entry without a track's CRC
    // leaves that track unknown.
    CtdbEntry other = entries[0];
    other.trackCrcs.pop_back();
    v = ctdbVerify(ripOf(d, 0), {other});
    EXPECT_EQ(v.kind, CtdbVerdict::NotInDatabase);
    EXPECT_EQ(ctdbVerdictText(v), "not in the database");
    CtdbEntry partial = entries[1];
    partial.trackCrcs[2] = 0;
    v = ctdbVerify(ripOf(d, 0), {partial});
    EXPECT_EQ(v.kind, CtdbVerdict::Differs);
    EXPECT_EQ(v.tracks[2].kind, CtdbTrackVerdict::NotInDatabase);
    EXPECT_EQ(ctdbTrackText(v.tracks[2]), "not in the database");
}

TEST(Ctdb, AnswersAreParsedOrRefusedWithAReason) {
    const TestDisc d = makeDisc({40, 40}, 3);
    const std::string good = answerXml({referenceEntry(d, 3, "17"), referenceEntry(d, 1, "18")});
    std::vector<CtdbEntry> out;
    std::string why;
    ASSERT_TRUE(parseCtdbAnswer(good.data(), good.size(), out, why)) << why;
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].id, "17");
    EXPECT_EQ(out[0].confidence, 3);
    EXPECT_EQ(out[0].crc, referenceEntry(d, 3, "17").crc);
    EXPECT_EQ(out[0].trackCrcs, referenceEntry(d, 3, "17").trackCrcs);
    EXPECT_EQ(out[0].toc, "0:100:200");

    const std::string empty = "<?xml version=\"1.0\"?><ctdb xmlns=\"x\"></ctdb>";
    EXPECT_TRUE(parseCtdbAnswer(empty.data(), empty.size(), out, why));
    EXPECT_TRUE(out.empty());

    const struct {
        std::string text;
        const char* reason;
    } bad[] = {
        {"", "empty"},
        {"<html><body>Not here</body></html>", "not a CTDB answer"},
        {"<ctdbx></ctdbx>", "not a CTDB answer"},
        {good.substr(0, good.size() / 2), "truncated"},
        {good.substr(0, good.find("</ctdb>")), "truncated"},
        {"<ctdb><entry confidence=\"1\" trackcrcs=\"1 2\"/></ctdb>", "no disc CRC"},
        {"<ctdb><entry crc32=\"xyz\" confidence=\"1\" trackcrcs=\"1\"/></ctdb>", "no disc CRC"},
        {"<ctdb><entry crc32=\"1\" confidence=\"-1\" trackcrcs=\"1\"/></ctdb>", "no confidence"},
        {"<ctdb><entry crc32=\"1\" confidence=\"1\"/></ctdb>", "no track CRCs"},
        {"<ctdb><entry crc32=\"1\" confidence=\"1\" trackcrcs=\"123456789\"/></ctdb>",
         "track CRCs"},
        {"<ctdb><entry crc32=\"1\" confidence=\"1\" trackcrcs=\"  \"/></ctdb>", "track CRCs"},
        {"<ctdb><entry crc32=1 confidence=\"1\" trackcrcs=\"1\"/></ctdb>", "broken"},
        {"<ctdb><entry crc32=\"1\" id=\"1 OR 1\" confidence=\"1\" trackcrcs=\"1\"/></ctdb>",
         "not a number"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(parseCtdbAnswer(b.text.data(), b.text.size(), out, why)) << b.text;
        EXPECT_NE(why.find(b.reason), std::string::npos) << b.text << " -> " << why;
        EXPECT_TRUE(out.empty());
    }
    // 100 track CRCs are more than a disc holds.
    std::string many = "<ctdb><entry crc32=\"1\" confidence=\"1\" trackcrcs=\"";
    for (int i = 0; i < 100; ++i)
        many += "1 ";
    many += "\"/></ctdb>";
    EXPECT_FALSE(parseCtdbAnswer(many.data(), many.size(), out, why));
    // Larger than the cap.
    std::string huge = "<ctdb>" + std::string(kMaxCtdbAnswerBytes, ' ') + "</ctdb>";
    EXPECT_FALSE(parseCtdbAnswer(huge.data(), huge.size(), out, why));
    EXPECT_NE(why.find("larger than"), std::string::npos);
}

class CtdbLookupTest : public ::testing::Test {
protected:
    cldtest::CddbTestServer m_server;
    DiscLayout m_layout = layoutFromQuery("0:40:80");
    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(m_server.port()) + "/ctdb/lookup2.php";
    }
    CtdbLookupOptions options(int deadlineMs = 5000) const {
        CtdbLookupOptions o;
        o.deadlineMs = deadlineMs;
        return o;
    }
    static std::string ok(const std::string& body) {
        return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" + body;
    }
    template <typename F> static bool waitUntil(F condition) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
};

TEST_F(CtdbLookupTest, FoundAbsentAndBrokenAnswers) {
    const TestDisc d = makeDisc({40, 40}, 5);
    m_server.queueAnswer(ok(answerXml({referenceEntry(d, 4, "321")})));
    CtdbLookupAnswer a = ctdbLookUp(url(), m_layout, options());
    ASSERT_EQ(a.status, CtdbLookupAnswer::Found) << a.detail;
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_EQ(a.entries[0].id, "321");
    ASSERT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(m_server.requests()[0].rfind(
                  "GET /ctdb/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=0:40:80 HTTP/1.0\r\n", 0),
              0u)
        << m_server.requests()[0];
    // The rip read back from the answer is accurate.
    EXPECT_EQ(ctdbVerify(ripOf(d, 0), a.entries).kind, CtdbVerdict::Accurate);

    m_server.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\nNot Found");
    EXPECT_EQ(ctdbLookUp(url(), m_layout, options()).status, CtdbLookupAnswer::NotInDatabase);
    m_server.queueAnswer(ok("<?xml version=\"1.0\"?><ctdb xmlns=\"x\"/>"));
    EXPECT_EQ(ctdbLookUp(url(), m_layout, options()).status, CtdbLookupAnswer::NotInDatabase);

    m_server.queueAnswer("HTTP/1.0 500 Internal Server Error\r\n\r\n");
    a = ctdbLookUp(url(), m_layout, options());
    EXPECT_EQ(a.status, CtdbLookupAnswer::Malformed);
    EXPECT_NE(a.detail.find("500"), std::string::npos);
    const std::string whole = ok(answerXml({referenceEntry(d, 4, "321")}));
    m_server.queueAnswer(whole.substr(0, whole.size() - 40));
    a = ctdbLookUp(url(), m_layout, options());
    EXPECT_EQ(a.status, CtdbLookupAnswer::Malformed);
    EXPECT_NE(a.detail.find("truncated"), std::string::npos) << a.detail;
    m_server.queueAnswer("garbage");
    EXPECT_EQ(ctdbLookUp(url(), m_layout, options()).status, CtdbLookupAnswer::Malformed);
    m_server.queueAnswer("");
    EXPECT_EQ(ctdbLookUp(url(), m_layout, options()).status, CtdbLookupAnswer::Malformed);

    // An answer beyond the cap ends the reading.
    CtdbLookupOptions small = options();
    small.maxBytes = 64 * 1024;
    m_server.queueAnswer(ok("<ctdb>" + std::string(200 * 1024, ' ') + "</ctdb>"));
    a = ctdbLookUp(url(), m_layout, small);
    EXPECT_EQ(a.status, CtdbLookupAnswer::Malformed);
    EXPECT_NE(a.detail.find("larger than"), std::string::npos);

    EXPECT_EQ(ctdbLookUp("ftp://example.org/", m_layout, options()).status,
              CtdbLookupAnswer::Malformed);
}

TEST_F(CtdbLookupTest, ThroughAProxy) {
    // The proxy here is the loopback server: it receives the absolute address.
    m_server.queueAnswer(ok("<ctdb></ctdb>"));
    CtdbLookupOptions o = options();
    o.proxyHost = "127.0.0.1";
    o.proxyPort = m_server.port();
    EXPECT_EQ(ctdbLookUp("http://db.example.org:8080/lookup2.php", m_layout, o).status,
              CtdbLookupAnswer::NotInDatabase);
    ASSERT_EQ(m_server.requests().size(), 1u);
    EXPECT_EQ(m_server.requests()[0].rfind("GET http://db.example.org:8080/lookup2.php?version=3&"
                                           "ctdb=1&fuzzy=1&toc=0:40:80 HTTP/1.0\r\nHost: "
                                           "db.example.org:8080\r\n",
                                           0),
              0u)
        << m_server.requests()[0];
}

TEST_F(CtdbLookupTest, SlowAndSilentServersEndAtTheDeadlineOrTheCancel) {
    // A server that dribbles its answer past the deadline.
    cldtest::CddbTestServer::Script slow;
    slow.pieces.push_back({"HTTP/1.0 200 OK\r\n\r\n<ctdb>", 5000});
    slow.pieces.push_back({"</ctdb>", 0});
    m_server.queue(slow);
    CtdbLookupAnswer a = ctdbLookUp(url(), m_layout, options(300));
    EXPECT_EQ(a.status, CtdbLookupAnswer::TimedOut);
    EXPECT_TRUE(waitUntil([&] { return m_server.idle(); }));
    EXPECT_EQ(m_server.closedByClient(), 1);

    // A silent one, and a cancel raised from another thread.
    cldtest::CddbTestServer::Script silent;
    silent.holdMs = 20000;
    m_server.queue(silent);
    CddbCancel cancel;
    CtdbLookupOptions o = options(60000);
    o.cancel = &cancel;
    std::thread canceller([&] {
        waitUntil([&] { return m_server.requests().size() == 2; });
        cancel.cancel();
    });
    a = ctdbLookUp(url(), m_layout, o);
    canceller.join();
    EXPECT_EQ(a.status, CtdbLookupAnswer::Cancelled);
}
