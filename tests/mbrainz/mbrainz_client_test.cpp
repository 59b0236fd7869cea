#include "CddbTestServer.h"
#include "MbAnswers.h"
#include "MbDiscId.h"
#include "MbHttp.h"
#include "MbParse.h"
#include "MusicBrainzClient.h"
#include "Processes.h"

#include <chrono>
#include <discid/discid.h>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace cld::mb;
using cldtest::CddbTestServer;
using cldtest::mbDiscJson;
using cldtest::mbHttp;
using cldtest::mbJpeg;
using cldtest::MbTestRelease;
using Clock = std::chrono::steady_clock;

namespace {

std::string libdiscidId(const std::vector<int>& offsets, int leadOut) {
    DiscId* d = discid_new();
    int table[100] = {};
    table[0] = leadOut;
    for (std::size_t i = 0; i < offsets.size(); ++i)
        table[i + 1] = offsets[i];
    EXPECT_EQ(discid_put(d, 1, static_cast<int>(offsets.size()), table), 1);
    std::string id = discid_get_id(d);
    discid_free(d);
    return id;
}

MbToc threeTracks() {
    return tocFromSectors({0, 15000, 30000}, 44999);
}

MbTestRelease release(const std::string& id, const std::string& title, const std::string& disc) {
    return {id, title, "The Band", "1997-05-21", "rock", disc, {"One", "Two", "Three"}};
}

// A client on the loopback server, its gates opened so that tests do not wait a second
// between requests (the test of the gate sets it back).
class MbClientTest : public ::testing::Test {
protected:
    MbClientTest() {
        MusicBrainzClient::musicBrainzGate().setInterval(std::chrono::milliseconds(0));
        MusicBrainzClient::coverGate().setInterval(std::chrono::milliseconds(0));
        const std::string at = "127.0.0.1:" + std::to_string(m_server.port());
        EXPECT_TRUE(m_client.setServer(at));
        EXPECT_TRUE(m_client.setCoverServer("http://" + at + "/"));
        m_client.setContact("rips@example.org");
        m_client.setReceiveTimeout(500);
        m_client.setDeadline(std::chrono::milliseconds(3000));
    }
    ~MbClientTest() override {
        MusicBrainzClient::musicBrainzGate().setInterval(std::chrono::milliseconds(1000));
        MusicBrainzClient::coverGate().setInterval(std::chrono::milliseconds(1000));
    }
    CddbTestServer m_server;
    MusicBrainzClient m_client;
};

} // namespace

TEST(MbDiscId, WorkedExampleAndLibdiscidAgreeOnConvertedSectors) {
    // Four tracks at 150, 11563, 25174, 45863 with the lead-out at 55370.
    MbToc toc = tocFromSectors({0, 11413, 25024, 45713}, 55219);
    EXPECT_EQ(toc.leadOut, 55370);
    EXPECT_EQ(musicBrainzDiscId(toc), "nljDXdC8B_pDwbdY1vZJvdrAZI4-");
    EXPECT_EQ(tocParameter(toc), "1+4+55370+150+11563+25174+45863");

    std::mt19937 random(29);
    for (int round = 0; round < 200; ++round) {
        const int tracks = 1 + static_cast<int>(random() % 99);
        std::vector<std::int32_t> sectors;
        std::vector<int> offsets;
        std::int32_t lba = static_cast<std::int32_t>(random() % 300);
        for (int t = 0; t < tracks; ++t) {
            sectors.push_back(lba);
            offsets.push_back(lba + 150);
            lba += 1 + static_cast<std::int32_t>(random() % 3000);
        }
        ASSERT_EQ(musicBrainzDiscId(tocFromSectors(sectors, lba - 1)),
                  libdiscidId(offsets, lba + 150))
            << "round " << round;
    }
}

TEST(MbDiscId, InvalidTablesGiveNoId) {
    EXPECT_EQ(musicBrainzDiscId(tocFromSectors({}, 100)), "");
    EXPECT_EQ(musicBrainzDiscId(tocFromSectors({500, 400}, 1000)), "");
    EXPECT_EQ(musicBrainzDiscId(tocFromSectors({0}, -1)), "");
    std::vector<std::int32_t> hundred(100);
    for (int i = 0; i < 100; ++i)
        hundred[static_cast<std::size_t>(i)] = i * 10;
    EXPECT_EQ(musicBrainzDiscId(tocFromSectors(hundred, 2000)), "");
}

TEST(MbParse, ReadsReleasesTheirMediumYearGenreAndCredits) {
    const std::string json = R"({"releases":[
      {"id":"aaaa-1","title":"Double Ålbum","date":"","release-group":{"first-release-date":"1989-02",
       "genres":[{"name":"jazz","count":1},{"name":"fusion","count":4}]},
       "artist-credit":[{"name":"Anna","joinphrase":" & "},{"artist":{"name":"Bo"},"joinphrase":""}],
       "media":[{"position":1,"discs":[{"id":"other"}],"tracks":[{"title":"A1"},{"title":"A2"},{"title":"A3"}]},
                {"position":2,"discs":[{"id":"mine"}],"tracks":[{"title":"B1"},{"recording":{"title":"B2"}}]}]},
      {"title":"no id is skipped"},
      {"id":"bbbb-2","title":"Single","date":"2001-10-01","tags":[{"name":"pop","count":2}],
       "media":[{"position":1,"tracks":[{"title":"X"},{"title":"Y"}]},
                {"position":2,"tracks":[{"title":"P"},{"title":"Q"},{"title":"R"}]}]}]})";
    std::vector<MbRelease> releases;
    std::string error;
    ASSERT_TRUE(parseDiscAnswer(json, "mine", 3, releases, error)) << error;
    ASSERT_EQ(releases.size(), 2u);
    const MbRelease& a = releases[0];
    EXPECT_EQ(a.artist, "Anna & Bo");
    EXPECT_EQ(a.album, "Double Ålbum");
    EXPECT_EQ(a.year, 1989);
    EXPECT_EQ(a.genre, "fusion");
    EXPECT_EQ(a.mediumPosition, 2); // the medium that lists the disc, not the first
    EXPECT_EQ(a.mediumCount, 2);
    EXPECT_EQ(a.trackTitles, (std::vector<std::string>{"B1", "B2"}));
    const MbRelease& b = releases[1];
    EXPECT_EQ(b.year, 2001);
    EXPECT_EQ(b.genre, "pop");
    EXPECT_EQ(b.mediumPosition, 2); // no disc listed: the medium with three tracks
    EXPECT_EQ(b.trackTitles, (std::vector<std::string>{"P", "Q", "R"}));
}

TEST(MbParse, RefusesWhatIsNoDiscAnswer) {
    std::vector<MbRelease> releases{MbRelease{}};
    std::string error;
    EXPECT_FALSE(parseDiscAnswer("<html>busy</html>", "d", 1, releases, error));
    EXPECT_TRUE(releases.empty());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(parseDiscAnswer("[1,2]", "d", 1, releases, error));
    EXPECT_FALSE(parseDiscAnswer(R"({"error":"Not Found"})", "d", 1, releases, error));
    EXPECT_NE(error.find("Not Found"), std::string::npos);
    EXPECT_FALSE(parseDiscAnswer("{\"releases\":[{\"id\":\"a\",\"title\":\"\xff\"}]}", "d", 1,
                                 releases, error)); // not UTF-8
    // Wrong types are skipped, not trusted.
    ASSERT_TRUE(parseDiscAnswer(R"({"releases":[7,{"id":"a","title":5,"media":"x",
        "artist-credit":{"name":1},"tags":[{"name":"t","count":"many"}]}]})",
                                "d", 1, releases, error));
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].album, "");
    EXPECT_EQ(releases[0].genre, "t");
    EXPECT_TRUE(releases[0].trackTitles.empty());
    // Control characters never reach a one-line field.
    ASSERT_TRUE(parseDiscAnswer(R"({"releases":[{"id":"a","title":"Two\nLines\u0000","media":[
        {"tracks":[{"title":"Tab\there"}]}]}]})",
                                "d", 1, releases, error));
    EXPECT_EQ(releases.at(0).album, "Two Lines ");
    EXPECT_EQ(releases.at(0).trackTitles.at(0), "Tab here");
    // Deep nesting is refused or read, never a crash.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(parseDiscAnswer(deep, "d", 1, releases, error));
}

TEST(MbHttpParse, LengthsChunksAndRetryAfter) {
    HttpAnswer a = parseHttpAnswer("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", 100);
    EXPECT_EQ(a.outcome, HttpOutcome::Ok);
    EXPECT_EQ(a.body, "abc");
    a = parseHttpAnswer("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", 100);
    EXPECT_EQ(a.outcome, HttpOutcome::Malformed);
    a = parseHttpAnswer("HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                        "chunked\r\n\r\n4;x=y\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n",
                        100);
    EXPECT_EQ(a.outcome, HttpOutcome::Ok);
    EXPECT_EQ(a.body, "Wikipedia");
    a = parseHttpAnswer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nZZ\r\n", 100);
    EXPECT_EQ(a.outcome, HttpOutcome::Malformed);
    a = parseHttpAnswer("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", 100);
    EXPECT_EQ(a.outcome, HttpOutcome::TooLarge);
    a = parseHttpAnswer("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 7\r\n\r\n", 100);
    EXPECT_EQ(a.outcome, HttpOutcome::Unavailable);
    EXPECT_EQ(a.retryAfterSeconds, 7);
    EXPECT_EQ(parseHttpAnswer("SSH-2.0-OpenSSH\r\n\r\n", 100).outcome, HttpOutcome::Malformed);
    HttpUrl url;
    EXPECT_TRUE(parseHttpUrl("http://Host.example:8080/a/b", url));
    EXPECT_EQ(url.host, "Host.example");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/a/b");
    EXPECT_FALSE(url.tls);
    EXPECT_TRUE(parseHttpUrl("https://archive.example/x", url));
    EXPECT_TRUE(url.tls);
    EXPECT_EQ(url.port, 443);
    EXPECT_FALSE(parseHttpUrl("gopher://archive.example/x", url));
    EXPECT_FALSE(parseHttpUrl("host:99999", url));
    EXPECT_FALSE(parseHttpUrl("bad host", url));
}

// An answer that declares more than the caller takes is refused as soon as the declaration
// has come, while the server still holds the connection open; answers that come a byte at
// a time are read whole, whatever the split.
TEST(MbHttpReceive, DeclaredSizeOverTheLimitEndsAtOnceAndSplitAnswersReadWhole) {
    CddbTestServer server;
    HttpRequest request;
    request.url.host = "127.0.0.1";
    request.url.port = server.port();
    request.url.path = "/ws/2/x";
    request.maxBody = 1000;
    // Only a hang would wait for silence: the answer must end the request by itself.
    request.receiveTimeoutMs = cldtest::kHangLimitMs;
    const std::string declarations[] = {
        "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n{\"releases\":[",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n186A0\r\n{\"rel",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n3E6\r\n",
    };
    int held = 0;
    for (const std::string& head : declarations) {
        server.queue({{{head, 0}}, cldtest::kHangLimitMs});
        const HttpAnswer answer = httpGet(request);
        EXPECT_EQ(answer.outcome, HttpOutcome::TooLarge) << head;
        EXPECT_TRUE(answer.body.empty());
        ++held;
        EXPECT_TRUE(cldtest::waitUntil([&] { return server.handled() == held; }));
        EXPECT_EQ(server.closedByClient(), held) << "the server was still holding: " << head;
    }

    const std::string body(900, 'x');
    std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < body.size(); at += 300)
        chunked += "12C;ext=1\r\n" + body.substr(at, 300) + "\r\n";
    chunked += "0\r\nX-Trailer: t\r\n\r\n";
    const std::string byLength =
        "HTTP/1.1 200 OK\r\nContent-Length: 900\r\nRetry-After: 3\r\n\r\n" + body +
        "trailing bytes past the length";
    for (const std::string& whole : {chunked, byLength}) {
        CddbTestServer::Script bytewise;
        for (char c : whole)
            bytewise.pieces.push_back({std::string(1, c), 0});
        server.queue(bytewise);
        const HttpAnswer answer = httpGet(request);
        EXPECT_EQ(answer.outcome, HttpOutcome::Ok) << answer.statusLine;
        EXPECT_EQ(answer.body, body);
    }
    // Past the limit by the bytes themselves, without a declared size.
    server.queueAnswer("HTTP/1.1 200 OK\r\n\r\n" + std::string(1001, 'y'));
    EXPECT_EQ(httpGet(request).outcome, HttpOutcome::TooLarge);
    server.queueAnswer("HTTP/1.1 200 OK\r\n\r\n" + std::string(1000, 'y'));
    EXPECT_EQ(httpGet(request).body.size(), 1000u);
}

TEST_F(MbClientTest, OneReleaseAndTheRequestThatAskedForIt) {
    const MbToc toc = threeTracks();
    const std::string id = musicBrainzDiscId(toc);
    m_server.queueAnswer(mbHttp(200, "OK", mbDiscJson({release("rel-1", "Ünïcode", id)})));
    std::vector<MbRelease> releases;
    ASSERT_EQ(m_client.lookup(toc, releases), LookupStatus::Found) << m_client.lastDetail();
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].album, "Ünïcode");
    EXPECT_EQ(releases[0].artist, "The Band");
    EXPECT_EQ(releases[0].year, 1997);
    EXPECT_EQ(releases[0].genre, "rock");
    EXPECT_EQ(releases[0].trackTitles.size(), 3u);
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& r = requests[0];
    EXPECT_EQ(r.rfind("GET /ws/2/discid/" + id + "?toc=1+3+45150+150+15150+30150&inc=", 0), 0u)
        << r;
    EXPECT_NE(r.find("fmt=json HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(r.find("\r\nHost: 127.0.0.1:" + std::to_string(m_server.port()) + "\r\n"),
              std::string::npos);
    EXPECT_NE(r.find("\r\nUser-Agent: Calderine/4.05 ( rips@example.org )\r\n"), std::string::npos);
    EXPECT_NE(r.find("\r\nAccept: application/json\r\n"), std::string::npos);
}

TEST_F(MbClientTest, SeveralReleasesUnknownDiscBusyServerAndMalformedAnswers) {
    const MbToc toc = threeTracks();
    const std::string id = musicBrainzDiscId(toc);
    std::vector<MbRelease> releases;
    m_server.queueAnswer(mbHttp(200, "OK",
                                mbDiscJson({release("r1", "First", id), release("r2", "Second", id),
                                            release("r3", "Third", "elsewhere")})));
    ASSERT_EQ(m_client.lookup(toc, releases), LookupStatus::Found);
    ASSERT_EQ(releases.size(), 3u);
    EXPECT_EQ(releases[2].album, "Third");

    m_server.queueAnswer(mbHttp(404, "Not Found", R"({"error":"Not Found"})"));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Unknown);
    EXPECT_TRUE(releases.empty());
    m_server.queueAnswer(mbHttp(200, "OK", R"({"releases":[]})"));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Unknown);

    m_server.queueAnswer(
        mbHttp(503, "Service Unavailable", "slow down", "text/plain", "Retry-After: 12\r\n"));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Unavailable);
    EXPECT_EQ(m_client.retryAfterSeconds(), 12);
    EXPECT_EQ(m_client.lastDetail(), "HTTP/1.1 503 Service Unavailable");

    m_server.queueAnswer(mbHttp(200, "OK", R"({"releases":[{"id":"r1","media":[)"));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Malformed);
    EXPECT_FALSE(m_client.lastDetail().empty());
    m_server.queueAnswer("garbage without a header");
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Malformed);
    m_server.queueAnswer(mbHttp(500, "Internal Server Error", ""));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Failed);
}

TEST_F(MbClientTest, CoverFoundMissingRedirectedOrNoPicture) {
    std::string image;
    m_server.queueAnswer(mbHttp(200, "OK", mbJpeg("front"), "image/jpeg"));
    ASSERT_TRUE(m_client.fetchCover("0a1b-2c3d", image));
    EXPECT_EQ(image, mbJpeg("front"));
    EXPECT_EQ(m_server.requests().back().rfind("GET /release/0a1b-2c3d/front-500 HTTP/1.1\r\n", 0),
              0u);

    m_server.queueAnswer(mbHttp(404, "Not Found", "no cover"));
    EXPECT_FALSE(m_client.fetchCover("0a1b", image));
    EXPECT_TRUE(image.empty());

    // The archive sends the picture from elsewhere: one redirect is followed.
    m_server.queueAnswer(mbHttp(307, "Temporary Redirect", "", "text/plain",
                                "Location: http://127.0.0.1:" + std::to_string(m_server.port()) +
                                    "/download/front.jpg\r\n"));
    m_server.queueAnswer(mbHttp(200, "OK", mbJpeg("moved"), "image/jpeg"));
    ASSERT_TRUE(m_client.fetchCover("0a1b", image));
    EXPECT_EQ(image, mbJpeg("moved"));
    EXPECT_EQ(m_server.requests().back().rfind("GET /download/front.jpg HTTP/1.1", 0), 0u);

    // A redirect to a scheme other than http or https is not followed, and the detail says so.
    m_server.queueAnswer(mbHttp(307, "Temporary Redirect", "", "text/plain",
                                "Location: ftp://archive.example/front.jpg\r\n"));
    EXPECT_FALSE(m_client.fetchCover("0a1b", image));
    EXPECT_NE(m_client.lastDetail().find("(not followed)"), std::string::npos)
        << m_client.lastDetail();

    m_server.queueAnswer(mbHttp(200, "OK", "<html>not a picture</html>", "text/html"));
    EXPECT_FALSE(m_client.fetchCover("0a1b", image));
    // An id that could smuggle a path is never sent.
    const std::size_t before = m_server.requests().size();
    EXPECT_FALSE(m_client.fetchCover("../../etc", image));
    EXPECT_EQ(m_server.requests().size(), before);
}

TEST_F(MbClientTest, SlowServerOfflineServerAndCancelEndWithinTheDeadline) {
    const MbToc toc = threeTracks();
    std::vector<MbRelease> releases;
    // Silent server: the receive time-out (500 ms) ends it.
    // Each server answer is held a minute: the server sees the client close long before.
    m_server.queue({{}, 60000});
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::TimedOut);
    EXPECT_TRUE(cldtest::waitUntil([&] { return m_server.handled() == 1; }));
    EXPECT_EQ(m_server.closedByClient(), 1);

    // A server that trickles bytes never ends by silence: the deadline ends it.
    CddbTestServer::Script trickle;
    for (int i = 0; i < 300; ++i)
        trickle.pieces.push_back({i == 0 ? "HTTP/1.1 200 OK\r\n" : "X-Wait: 1\r\n", 200});
    m_server.queue(trickle);
    m_client.setDeadline(std::chrono::milliseconds(1200));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::TimedOut);
    EXPECT_TRUE(cldtest::waitUntil([&] { return m_server.handled() == 2; }));
    EXPECT_EQ(m_server.closedByClient(), 2) << "the server was still trickling";

    // Cancel from another thread.
    m_client.setDeadline(std::chrono::milliseconds(10000));
    m_client.setReceiveTimeout(10000);
    m_server.queue({{}, 60000});
    const std::size_t asked = m_server.requests().size();
    std::thread canceller([&] {
        cldtest::waitUntil([&] { return m_server.requests().size() > asked; });
        m_client.cancel();
    });
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Cancelled);
    canceller.join();
    EXPECT_TRUE(cldtest::waitUntil([&] { return m_server.handled() == 3; }));
    EXPECT_EQ(m_server.closedByClient(), 3) << "the cancel came before the server's hold ended";
    m_client.resetCancel();

    // Nothing listens on the port.
    MusicBrainzClient offline;
    ASSERT_TRUE(offline.setServer("127.0.0.1:1"));
    offline.setDeadline(std::chrono::milliseconds(2000));
    EXPECT_EQ(offline.lookup(toc, releases), LookupStatus::Offline);
}

TEST_F(MbClientTest, RequestsKeepASecondApart) {
    MusicBrainzClient::musicBrainzGate().setInterval(std::chrono::milliseconds(1000));
    const MbToc toc = threeTracks();
    std::vector<MbRelease> releases;
    m_server.queueAnswer(mbHttp(404, "Not Found", "{}"));
    m_server.queueAnswer(mbHttp(404, "Not Found", "{}"));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Unknown);
    const auto first = Clock::now();
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::Unknown);
    EXPECT_GE(Clock::now() - first, std::chrono::milliseconds(900));
    // A wait that cannot end within the deadline does not start.
    m_client.setDeadline(std::chrono::milliseconds(100));
    EXPECT_EQ(m_client.lookup(toc, releases), LookupStatus::TimedOut);
    EXPECT_EQ(m_server.requests().size(), 2u);
}

TEST_F(MbClientTest, AProxyGetsTheWholeAddress) {
    ASSERT_TRUE(m_client.setServer("musicbrainz.test:8000"));
    m_client.setProxy("127.0.0.1", m_server.port());
    m_server.queueAnswer(mbHttp(404, "Not Found", "{}"));
    std::vector<MbRelease> releases;
    EXPECT_EQ(m_client.lookup(threeTracks(), releases), LookupStatus::Unknown);
    const std::string request = m_server.requests().at(0);
    EXPECT_EQ(request.rfind("GET http://musicbrainz.test:8000/ws/2/discid/", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nHost: musicbrainz.test:8000\r\n"), std::string::npos);
}

TEST_F(MbClientTest, ServersAndContactAreCheckedBeforeUse) {
    EXPECT_FALSE(m_client.setServer("ftp://musicbrainz.org"));
    EXPECT_EQ(m_client.server().host, "127.0.0.1"); // unchanged
    EXPECT_TRUE(m_client.setServer(""));
    EXPECT_EQ(m_client.server().host, "musicbrainz.org");
    EXPECT_EQ(m_client.server().port, 443);
    m_client.setContact("a(b)\r\nX: y");
    EXPECT_EQ(m_client.userAgent(), "Calderine/4.05 ( abX:y )");
    m_client.setContact("");
    EXPECT_EQ(m_client.userAgent(), std::string("Calderine/4.05 ( ") + kDefaultContact + " )");
}
