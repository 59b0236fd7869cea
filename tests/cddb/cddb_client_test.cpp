#include "CddbClient.h"
#include "CddbSocket.h"
#include "CddbTestServer.h"
#include "Processes.h"
#include "TestEnv.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using cldtest::CddbTestServer;
using cldtest::ScopedEnv;

namespace {

// A client with a fixed identity (the system's user name cannot hold a space) and short
// time-outs so that silence tests stay quick.
class TestClient : public CddbClient {
public:
    TestClient() {
        setReceiveTimeout(400);
        setConnectTimeout(1000);
    }
    std::string userName() override { return "John Doe"; }
    std::string hostName() override { return "pc01"; }
};

// A server that holds its answer this long would outlast any client time-out by far: a
// client that ends the command by itself is seen by the server closing early.
constexpr int kLongHoldMs = 60000;

constexpr const char* kHello = "hello=John_Doe+pc01+Calderine+3.00&proto=6";

CddbServer loopback(int port) {
    CddbServer server;
    server.host = "127.0.0.1";
    server.port = port;
    return server;
}

// One track at 00:02:00, lead-out at 03:22:00.
std::vector<MsfTime> oneTrackToc() {
    return {MsfTime{0, 2, 0}, MsfTime{3, 22, 0}};
}

std::string hostHeader(int port) {
    return "\r\nHost: 127.0.0.1" + (port == 80 ? std::string() : ":" + std::to_string(port)) +
           "\r\n\r\n";
}

std::string queryLine(int port, const std::string& path = "/~cddb/cddb.cgi") {
    return "GET " + path + "?cmd=cddb+query+0200c801+1+150+200&" + kHello + " HTTP/1.0" +
           hostHeader(port);
}

std::string longEntry() {
    std::string body = "210 rock 0200c801 CD database entry follows (until terminating `.')\r\n"
                       "# xmcd\r\n#\r\n# Track frame offsets:\r\n";
    for (int i = 0; i < 40; ++i)
        body += "#\t" + std::to_string(150 + i * 15000) + "\r\n";
    body += "#\r\n# Disc length: 3000 seconds\r\n#\r\n# Revision: 2\r\n"
            "# Submitted via: tester 0.1\r\n#\r\nDISCID=0200c801\r\nDTITLE=Some Artist / "
            "Some Album\r\n";
    for (int i = 0; i < 40; ++i) {
        body += "TTITLE" + std::to_string(i) + "=Track number " + std::to_string(i) +
                " with a title long enough to need more room\r\n";
        body += "TTITLE" + std::to_string(i) + "= (continued)\r\n";
    }
    body += "EXTD=\r\nPLAYORDER=\r\n";
    return body;
}

std::vector<CddbTestServer::Piece> inPieces(const std::string& text, std::size_t size,
                                            int pauseMs) {
    std::vector<CddbTestServer::Piece> pieces;
    for (std::size_t at = 0; at < text.size(); at += size)
        pieces.push_back({text.substr(at, size), pauseMs});
    return pieces;
}

} // namespace

TEST(CddbClientSetup, DefaultsAndIdentity) {
    CddbClient client;
    EXPECT_EQ(client.receiveTimeout(), 2000);
    EXPECT_EQ(client.connectTimeout(), 10000);
    EXPECT_EQ(CddbSocket().connectTimeout(), 10000);
    EXPECT_EQ(client.clientName(), "Calderine");
    EXPECT_EQ(client.clientVersion(), "3.00");
    EXPECT_EQ(client.protocolLevel(), 6);
    EXPECT_EQ(client.commandDeadline(), 30000);
    EXPECT_EQ(client.proxyHost(), "");
    EXPECT_EQ(client.proxyPort(), 80);
    EXPECT_STREQ(kDefaultCddbHost, "gnudb.gnudb.org");
    const CddbServer server;
    EXPECT_EQ(server.port, 80);
    EXPECT_EQ(server.scriptPath, "/~cddb/cddb.cgi");
    EXPECT_EQ(server.north, 1);
    EXPECT_EQ(server.east, 1);

    // The real identity is made of letters, digits and "_" only.
    const std::string hello = client.helloString();
    ASSERT_TRUE(hello.starts_with("hello="));
    ASSERT_TRUE(hello.ends_with("+Calderine+3.00&proto=6"));
    const std::string who = hello.substr(6, hello.size() - 6 - 23);
    const auto plus = who.find('+');
    ASSERT_NE(plus, std::string::npos);
    for (char c : who.substr(0, plus) + who.substr(plus + 1))
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_') << who;

    TestClient named;
    EXPECT_EQ(named.helloString(), kHello);
}

TEST(CddbClientRequests, QueryOffsetsAndTotal) {
    TestClient client;
    const CddbServer server = loopback(80);
    EXPECT_EQ(client.queryRequest(server, 0x0200c801, oneTrackToc()), queryLine(80));
    const std::vector<MsfTime> three = {{0, 2, 0}, {4, 1, 10}, {9, 59, 74}, {20, 0, 0}};
    EXPECT_EQ(client.queryRequest(server, 0x0a, three),
              std::string("GET /~cddb/cddb.cgi?cmd=cddb+query+0000000a+3+150+18085+44999+1198&") +
                  kHello + " HTTP/1.0" + hostHeader(80));
    EXPECT_EQ(client.readRequest(loopback(8080), 0xabc, "rock"),
              std::string("GET /~cddb/cddb.cgi?cmd=cddb+read+rock+00000abc&") + kHello +
                  " HTTP/1.0" + hostHeader(8080));
}

TEST(CddbClientExchange, ExactInexactAndNoMatch) {
    CddbTestServer server;
    TestClient client;
    std::vector<CddbMatch> matches;

    server.queueAnswer(
        CddbTestServer::httpAnswer("200 rock 0200c801 Some Artist / Some Album\r\n", false));
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches));
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].category, "rock");
    EXPECT_EQ(matches[0].discId, 0x0200c801u);
    EXPECT_EQ(matches[0].artist, "Some Artist");
    EXPECT_EQ(matches[0].title, "Some Album");

    server.queueAnswer(CddbTestServer::httpAnswer(
        "211 Found inexact matches, list follows (until terminating `.')\r\n"
        "rock 0200c801 Some Artist / Some Album\r\n"
        "not-a-match-line\r\n"
        "jazz 0200c802 Other Artist / Other Album\r\n"));
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches));
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[1].category, "jazz");
    EXPECT_EQ(matches[1].discId, 0x0200c802u);

    server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    matches.push_back({});
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches));
    EXPECT_TRUE(matches.empty());

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const std::string& request : requests)
        EXPECT_EQ(request, queryLine(server.port()));
}

TEST(CddbClientExchange, LongReadInSmallPiecesWithPauses) {
    CddbTestServer server;
    TestClient client;
    const std::string body = longEntry();
    ASSERT_GT(body.size(), 4096u);
    const std::string answer = CddbTestServer::httpAnswer(body);
    auto pieces = inPieces(answer, 256, 5);
    pieces[3].pauseMs = 250; // a pause shorter than the time-out is no end
    server.queue({pieces, 0});

    XmcdEntry entry;
    ASSERT_TRUE(client.read(loopback(server.port()), 0x0200c801, "rock", entry))
        << CddbClient::lastError();
    EXPECT_EQ(entry.artist, "Some Artist");
    EXPECT_EQ(entry.title, "Some Album");
    ASSERT_EQ(entry.trackTitles.size(), 40u);
    EXPECT_EQ(entry.trackTitles[39],
              "Track number 39 with a title long enough to need more room (continued)");
    EXPECT_EQ(entry.frameOffsets.size(), 40u);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], std::string("GET /~cddb/cddb.cgi?cmd=cddb+read+rock+0200c801&") +
                               kHello + " HTTP/1.0" + hostHeader(server.port()));
}

TEST(CddbClientExchange, AnswersArrivingByteByByte) {
    // Header end, status line and end marker all split across pieces.
    CddbTestServer server;
    TestClient client;
    server.queue(
        {inPieces(CddbTestServer::httpAnswer("200 rock 0200c801 A / B\r\n", false), 1, 0), 1000});
    std::vector<CddbMatch> matches;
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches));
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].title, "B");

    // The first server still holds its connection; the second answer comes from another.
    CddbTestServer second;
    second.queue({inPieces(CddbTestServer::httpAnswer(
                               "210 Ok\r\nh.example http 80 /p N001.02 E003.04 Here\r\n"),
                           1, 0),
                  1000});
    std::vector<CddbServer> sites;
    ASSERT_TRUE(client.sites(loopback(second.port()), sites));
    ASSERT_EQ(sites.size(), 1u);
    EXPECT_EQ(sites[0].description, "Here");
}

TEST(CddbClientExchange, SitesList) {
    CddbTestServer server;
    TestClient client;
    server.queueAnswer(CddbTestServer::httpAnswer(
        "210 Ok.  Site information follows (until terminating `.')\r\n"
        "one.example http 80 /~cddb/cddb.cgi N037.21 W122.05 Random City, CA USA\r\n"
        "one.example cddbp 8880 - N037.21 W122.05 Random City, CA USA\r\n"
        "two.example http 8080 /cddb S033.52 E151.12 Sydney\r\n"));
    std::vector<CddbServer> sites;
    ASSERT_TRUE(client.sitesAt("127.0.0.1", "/cgi/cddb", server.port(), sites));
    ASSERT_EQ(sites.size(), 2u);
    EXPECT_EQ(sites[0].latitude, 2241);
    EXPECT_EQ(sites[0].north, 1);
    EXPECT_EQ(sites[1].host, "two.example");
    EXPECT_EQ(sites[1].description, "Sydney");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], std::string("GET /cgi/cddb?cmd=sites&") + kHello + " HTTP/1.0" +
                                        hostHeader(server.port()));
}

TEST(CddbClientExchange, RefusalsAndMalformedAnswers) {
    CddbTestServer server;
    TestClient client;
    std::vector<CddbMatch> matches;
    XmcdEntry entry;
    std::vector<CddbServer> sites;

    // Refusals are single lines without an end marker; the server keeps the connection
    // open, so only recognising the line ends the command quickly.
    const auto refusal = [](const std::string& line, const auto& command) {
        CddbTestServer holding;
        holding.queue({{{CddbTestServer::httpAnswer(line + "\r\n", false), 0}}, kLongHoldMs});
        TestClient fresh;
        EXPECT_FALSE(command(fresh, loopback(holding.port())));
        EXPECT_TRUE(cldtest::waitUntil([&] { return holding.handled() == 1; }));
        EXPECT_EQ(holding.closedByClient(), 1) << line << ": the client waited for the close";
    };
    const auto query = [&](CddbClient& c, const CddbServer& s) {
        return c.query(s, 1, oneTrackToc(), matches);
    };
    const auto read = [&](CddbClient& c, const CddbServer& s) {
        return c.read(s, 1, "rock", entry);
    };
    refusal("500 Command syntax error", query);
    EXPECT_EQ(CddbClient::lastError(), kCddbServerError);
    EXPECT_EQ(CddbClient::lastErrorDetail(), "500 Command syntax error");

    refusal("401 rock 00000001 No such CD entry in database.", read);
    EXPECT_EQ(CddbClient::lastError(), kCddbNoSuchEntry);
    EXPECT_EQ(CddbClient::lastErrorDetail(), "401 rock 00000001 No such CD entry in database.");

    refusal("402 Server error.", read);
    EXPECT_EQ(CddbClient::lastError(), kCddbServerError);

    refusal("502 No permission",
            [&](CddbClient& c, const CddbServer& s) { return c.sites(s, sites); });
    EXPECT_EQ(CddbClient::lastError(), kCddbServerError);

    // A status no command uses is a malformed answer, with the line kept for the user.
    server.queueAnswer(CddbTestServer::httpAnswer("999 What?\r\n", false));
    EXPECT_FALSE(client.sites(loopback(server.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbProtocolError);
    EXPECT_EQ(CddbClient::lastErrorDetail(), "999 What?");

    // A 211 list in which no line is a match.
    server.queueAnswer(CddbTestServer::httpAnswer("211 close\r\nnothing here\r\n"));
    EXPECT_FALSE(client.query(loopback(server.port()), 1, oneTrackToc(), matches));
    EXPECT_EQ(CddbClient::lastError(), kCddbProtocolError);

    // No blank line after the HTTP header.
    server.queueAnswer("HTTP/1.0 200 OK\r\n210 Ok\r\n.\r\n");
    EXPECT_FALSE(client.sites(loopback(server.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbProtocolError);
}

TEST(CddbClientExchange, MissingEndMarkerTimesOut) {
    CddbTestServer server;
    TestClient client;
    XmcdEntry entry;
    server.queue({{{CddbTestServer::httpAnswer(longEntry(), false), 0}}, kLongHoldMs});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.read(loopback(server.port()), 1, "rock", entry));
    EXPECT_EQ(CddbClient::lastError(), kCddbTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_TRUE(cldtest::waitUntil([&] { return server.handled() == 1; }));
    EXPECT_EQ(server.closedByClient(), 1) << "the client gave up before the server closed";
}

TEST(CddbClientExchange, SilentServerTimesOut) {
    CddbTestServer server;
    TestClient client;
    std::vector<CddbServer> sites;
    server.queue({{}, kLongHoldMs});
    EXPECT_FALSE(client.sites(loopback(server.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbTimedOut);
    EXPECT_TRUE(cldtest::waitUntil([&] { return server.handled() == 1; }));
    EXPECT_EQ(server.closedByClient(), 1);
}

TEST(CddbClientExchange, EarlyCloseFailsExceptSingleLineQuery) {
    CddbTestServer server;
    TestClient client;
    XmcdEntry entry;
    const std::string answer = CddbTestServer::httpAnswer(longEntry());
    server.queueAnswer(answer.substr(0, answer.size() / 2));
    EXPECT_FALSE(client.read(loopback(server.port()), 1, "rock", entry));
    EXPECT_EQ(CddbClient::lastError(), kCddbProtocolError);
    EXPECT_NE(CddbClient::lastErrorDetail().find("closed the connection"), std::string::npos);
    EXPECT_TRUE(entry.trackTitles.empty());

    // 200 and 202 are single lines and need no end marker, not even a line end.
    std::vector<CddbMatch> matches;
    server.queueAnswer(CddbTestServer::httpAnswer("202 No match found", false));
    EXPECT_TRUE(client.query(loopback(server.port()), 1, oneTrackToc(), matches));
    server.queueAnswer(CddbTestServer::httpAnswer("200 rock 00000001 A / B", false));
    ASSERT_TRUE(client.query(loopback(server.port()), 1, oneTrackToc(), matches));
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].title, "B");
}

TEST(CddbClientExchange, OversizedAnswerIsRefused) {
    CddbTestServer server;
    TestClient client;
    std::string flood = "HTTP/1.0 200 OK\r\n\r\n210 Ok\r\n";
    const std::string line = "x.example http 80 /p N000.00 E000.00 Somewhere far away\r\n";
    while (flood.size() <= CddbClient::kMaxAnswerSize + line.size())
        flood += line;
    server.queue({{{flood, 0}}, 2000});
    std::vector<CddbServer> sites;
    EXPECT_FALSE(client.sites(loopback(server.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbAnswerTooLarge);
    EXPECT_TRUE(sites.empty());
}

TEST(CddbClientExchange, ProxyRequestsCarryBasicAuthorisation) {
    CddbTestServer proxy;
    TestClient client;
    CddbServer target;
    target.host = "cddb.example";
    target.port = 8880; // kept in the absolute address and the Host header

    client.setProxy("127.0.0.1", proxy.port(), "Aladdin", "open sesame");
    proxy.queueAnswer(CddbTestServer::httpAnswer("210 Ok\r\n"));
    std::vector<CddbServer> sites;
    ASSERT_TRUE(client.sites(target, sites));

    client.setProxy("127.0.0.1", proxy.port(), "", "");
    proxy.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    std::vector<CddbMatch> matches;
    ASSERT_TRUE(client.query(target, 0x0200c801, oneTrackToc(), matches));

    const auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 2u);
    // "Aladdin:open sesame" in Base64 (RFC 4648 alphabet, padded).
    EXPECT_EQ(requests[0], std::string("GET http://cddb.example:8880/~cddb/cddb.cgi?cmd=sites&") +
                               kHello +
                               " HTTP/1.0\r\nProxy-Authorization: Basic "
                               "QWxhZGRpbjpvcGVuIHNlc2FtZQ==\r\nHost: cddb.example:8880\r\n\r\n");
    EXPECT_EQ(requests[1], std::string("GET http://cddb.example:8880/~cddb/cddb.cgi?cmd=cddb+query+"
                                       "0200c801+1+150+200&") +
                               kHello + " HTTP/1.0\r\nHost: cddb.example:8880\r\n\r\n");

    // A proxy that wants credentials answers 407 and keeps the connection open.
    proxy.queue({{{"HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic "
                   "realm=\"x\"\r\n\r\n<html>login</html>",
                   0}},
                 kLongHoldMs});
    ASSERT_TRUE(cldtest::waitUntil([&] { return proxy.idle(); }));
    const int closedBefore = proxy.closedByClient();
    const int handledBefore = proxy.handled();
    EXPECT_FALSE(client.sites(target, sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbProxyAuthRequired);
    EXPECT_EQ(CddbClient::lastErrorDetail(), "HTTP/1.0 407 Proxy Authentication Required");
    EXPECT_TRUE(cldtest::waitUntil([&] { return proxy.handled() == handledBefore + 1; }));
    EXPECT_EQ(proxy.closedByClient(), closedBefore + 1) << "the status line alone decides";
}

TEST(CddbClientConnect, UnknownHostAndRefusedConnection) {
    TestClient client;
    std::vector<CddbServer> sites;
    EXPECT_FALSE(client.sitesAt("no such host", "/~cddb/cddb.cgi", 80, sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbHostNotFound);

    // Names are looked up (localhost comes from the hosts file).
    CddbTestServer local;
    local.queueAnswer(CddbTestServer::httpAnswer("210 Ok\r\n"));
    EXPECT_TRUE(client.sitesAt("localhost", "/~cddb/cddb.cgi", local.port(), sites))
        << CddbClient::lastError();

    int port = 0;
    {
        CddbTestServer closed; // take a free port, then let it go
        port = closed.port();
    }
    EXPECT_FALSE(client.sitesAt("127.0.0.1", "/~cddb/cddb.cgi", port, sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbConnectionRefused);

    // Text that would break the request line is refused before anything is sent.
    CddbTestServer server;
    XmcdEntry entry;
    EXPECT_FALSE(client.read(loopback(server.port()), 1, "rock\r\nX: y", entry));
    EXPECT_EQ(CddbClient::lastError(), kCddbBadArgument);
    EXPECT_FALSE(client.sitesAt("127.0.0.1\r\nX: y", "/", server.port(), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbHostNotFound);
    CddbServer spaced = loopback(server.port());
    spaced.scriptPath = "/a b";
    EXPECT_FALSE(client.sites(spaced, sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbBadArgument);
    EXPECT_TRUE(server.requests().empty());
}

TEST(CddbClientConnect, ConnectIsBoundedByItsTimeOut) {
    // A listener that never accepts, with its queue filled, drops further handshakes:
    // the next connect hangs until the time-out.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof(address);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);

    std::vector<int> fillers;
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers.push_back(fd);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        pollfd pfd{fd, POLLOUT, 0};
        full = ::poll(&pfd, 1, 200) == 0;
    }
    if (full) {
        CddbSocket socket;
        socket.setConnectTimeout(300);
        ASSERT_TRUE(socket.create());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(socket.connect("127.0.0.1", port));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(CddbSocket::lastError(), kCddbTimedOut);
        EXPECT_GE(took, std::chrono::milliseconds(250));
        EXPECT_LT(took, cldtest::kHangLimit);
    }
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
    if (!full)
        GTEST_SKIP() << "the kernel accepted every handshake; cannot provoke a hanging connect";
}

namespace {

// An entry with the given disc title and first track title, as a level-6 server sends it.
std::string yearGenreEntry(const std::string& discTitle, const std::string& track) {
    return "210 rock 0200c801 CD database entry follows (until terminating `.')\r\n"
           "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\r\n"
           "# Disc length: 202 seconds\r\n#\r\n# Revision: 3\r\n"
           "# Submitted via: tester 0.1\r\n#\r\nDISCID=0200c801\r\nDTITLE=" +
           discTitle + "\r\nDYEAR=1999\r\nDGENRE=Chanson française\r\nTTITLE0=" + track +
           "\r\nEXTD=\r\nEXTT0=\r\nPLAYORDER=\r\n";
}

std::string latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3 && i + 1 < utf8.size()) {
            out += static_cast<char>(0x40 + static_cast<unsigned char>(utf8[++i]));
        } else {
            out += utf8[i];
        }
    }
    return out;
}

} // namespace

TEST(CddbClientIdentity, EmailGivesTheHelloItsUserAndHost) {
    ScopedEnv none(kCddbEmailVariable, "");
    TestClient client;
    client.setEmail("jane.doe@example.org");
    EXPECT_EQ(client.helloString(), "hello=jane.doe+example.org+Calderine+3.00&proto=6");
    // "+" separates the hello's parts, so it cannot pass as it is.
    client.setEmail("a+b@mail.example");
    EXPECT_EQ(client.helloString(), "hello=a%2Bb+mail.example+Calderine+3.00&proto=6");
    {
        ScopedEnv script(kCddbEmailVariable, "robot@radio.example");
        EXPECT_EQ(client.helloString(), "hello=robot+radio.example+Calderine+3.00&proto=6");
    }
    client.setEmail("");
    EXPECT_EQ(client.helloString(), kHello);

    // The identity reaches the server; an address that is none is refused unsent.
    CddbTestServer server;
    client.setEmail("jane.doe@example.org");
    server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
    std::vector<CddbMatch> matches;
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches))
        << CddbClient::lastErrorMessage();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find("&hello=jane.doe+example.org+Calderine+3.00&proto=6 "),
              std::string::npos)
        << server.requests()[0];
    for (const char* bad : {"nobody", "@example.org", "jane@", "a@b@c", "jane doe@example.org"}) {
        client.setEmail(bad);
        EXPECT_FALSE(client.query(loopback(server.port()), 1, oneTrackToc(), matches)) << bad;
        EXPECT_EQ(CddbClient::lastError(), kCddbBadArgument) << bad;
        EXPECT_NE(CddbClient::lastErrorDetail().find(bad), std::string::npos);
    }
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(CddbClientText, Level6Utf8AndLevel5Latin1GiveTheSameText) {
    const std::string title = "Café Müller / Ça déménage";
    const std::string track = "Señor Ñandú";
    XmcdEntry fromUtf8, fromLatin1;
    {
        CddbTestServer server;
        TestClient client;
        server.queueAnswer(CddbTestServer::httpAnswer(yearGenreEntry(title, track)));
        ASSERT_TRUE(client.read(loopback(server.port()), 0x0200c801, "rock", fromUtf8))
            << CddbClient::lastErrorMessage();
        EXPECT_EQ(client.protocolLevel(), 6);
    }
    {
        // A server of level 5: it refuses level 6, names the level it supports, and sends
        // ISO-8859-1 at that level.
        CddbTestServer server;
        TestClient client;
        server.queueAnswer(CddbTestServer::httpAnswer("501 Illegal protocol level.\r\n", false));
        server.queueAnswer(CddbTestServer::httpAnswer(
            "200 CDDB protocol level: current 1, supported 5\r\n", false));
        server.queueAnswer(CddbTestServer::httpAnswer(latin1(yearGenreEntry(title, track))));
        ASSERT_TRUE(client.read(loopback(server.port()), 0x0200c801, "rock", fromLatin1))
            << CddbClient::lastErrorMessage();
        EXPECT_EQ(client.protocolLevel(), 5);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_NE(requests[0].find("cmd=cddb+read+rock+0200c801&hello="), std::string::npos);
        EXPECT_NE(requests[0].find("&proto=6 "), std::string::npos);
        EXPECT_NE(requests[1].find("?cmd=proto&hello="), std::string::npos) << requests[1];
        EXPECT_NE(requests[2].find("cmd=cddb+read+rock+0200c801&hello="), std::string::npos);
        EXPECT_NE(requests[2].find("&proto=5 "), std::string::npos) << requests[2];

        // The level found is kept for the next command.
        server.queueAnswer(CddbTestServer::httpAnswer("202 No match found\r\n", false));
        std::vector<CddbMatch> matches;
        ASSERT_TRUE(client.query(loopback(server.port()), 1, oneTrackToc(), matches));
        EXPECT_NE(server.requests().back().find("&proto=5 "), std::string::npos);
    }
    for (const XmcdEntry* entry : {&fromUtf8, &fromLatin1}) {
        EXPECT_EQ(entry->artist, "Café Müller");
        EXPECT_EQ(entry->title, "Ça déménage");
        ASSERT_EQ(entry->trackTitles.size(), 1u);
        EXPECT_EQ(entry->trackTitles[0], track);
        EXPECT_EQ(entry->year, 1999);
        EXPECT_EQ(entry->genre, "Chanson française");
    }

    // Bytes a level-6 server sends that are not UTF-8 are read as Latin-1, never passed on.
    CddbTestServer server;
    TestClient client;
    server.queueAnswer(
        CddbTestServer::httpAnswer("200 rock 0200c801 Bj\xF6rk / Homogenic\r\n", false));
    std::vector<CddbMatch> matches;
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches));
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].artist, "Björk");

    // A server that refuses every level it is offered is reported with its own words.
    server.queueAnswer(CddbTestServer::httpAnswer("501 Illegal protocol level.\r\n", false));
    server.queueAnswer(CddbTestServer::httpAnswer("500 Unrecognized command.\r\n", false));
    EXPECT_FALSE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches));
    EXPECT_EQ(CddbClient::lastError(), kCddbServerError);
    EXPECT_EQ(CddbClient::lastErrorDetail(), "501 Illegal protocol level.");
}

TEST(CddbClientText, UnknownDeveloperEmailReachesTheUser) {
    CddbTestServer server;
    TestClient client;
    server.queue({{{CddbTestServer::httpAnswer(
                        "500 Unknown developer email (John_Doe@pc01), please register.\r\n", false),
                    0}},
                  3000});
    std::vector<CddbMatch> matches;
    EXPECT_FALSE(client.query(loopback(server.port()), 1, oneTrackToc(), matches));
    EXPECT_EQ(CddbClient::lastError(), kCddbServerError);
    const std::string message = CddbClient::lastErrorMessage();
    EXPECT_TRUE(message.starts_with(cddbErrorText(kCddbServerError))) << message;
    EXPECT_NE(message.find("Unknown developer email (John_Doe@pc01)"), std::string::npos)
        << message;

    // Every code has a text of its own.
    std::set<std::string> texts;
    for (int code : std::initializer_list<int>{
             kCddbCancelled, kCddbHostNotFound, kCddbAnswerTooLarge, kCddbProtocolError,
             kCddbTimedOut, kCddbConnectionRefused, kCddbBadArgument, kCddbDeadlineExceeded,
             kCddbNoSuchEntry, kCddbProxyAuthRequired, kCddbServerError, kCddbHttpError,
             ENETUNREACH})
        EXPECT_TRUE(texts.insert(cddbErrorText(code)).second) << code;
}

TEST(CddbClientHttp, ErrorPagesAndRedirects) {
    CddbTestServer server;
    CddbTestServer moved;
    TestClient client;
    std::vector<CddbServer> sites;

    // An error page, the connection held open: the status line alone decides.
    CddbTestServer holding;
    holding.queue(
        {{{"HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html>gone</html>", 0}},
         kLongHoldMs});
    EXPECT_FALSE(client.sites(loopback(holding.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbHttpError);
    EXPECT_EQ(CddbClient::lastErrorDetail(), "HTTP/1.1 404 Not Found");
    EXPECT_TRUE(cldtest::waitUntil([&] { return holding.handled() == 1; }));
    EXPECT_EQ(holding.closedByClient(), 1) << "the client waited for the close";

    // One redirect is followed, to another port and path; the query part is built anew.
    server.queueAnswer("HTTP/1.1 301 Moved Permanently\r\nlocation: http://127.0.0.1:" +
                       std::to_string(moved.port()) + "/new/cddb.cgi?stale=1\r\n\r\n");
    moved.queueAnswer(
        CddbTestServer::httpAnswer("210 Ok\r\nh.example http 80 /p N001.02 E003.04 Here\r\n"));
    ASSERT_TRUE(client.sites(loopback(server.port()), sites)) << CddbClient::lastErrorMessage();
    ASSERT_EQ(sites.size(), 1u);
    ASSERT_EQ(moved.requests().size(), 1u);
    EXPECT_EQ(moved.requests()[0], std::string("GET /new/cddb.cgi?cmd=sites&") + kHello +
                                       " HTTP/1.0" + hostHeader(moved.port()));

    // A relative location stays on the same server.
    server.queueAnswer("HTTP/1.0 307 Temporary Redirect\r\nLocation: /v2/cddb.cgi\r\n\r\n");
    server.queueAnswer(CddbTestServer::httpAnswer("210 Ok\r\n"));
    ASSERT_TRUE(client.sites(loopback(server.port()), sites))
        << CddbClient::lastErrorMessage() << server.requests().back();
    EXPECT_TRUE(server.requests().back().starts_with("GET /v2/cddb.cgi?cmd=sites&"));

    // A second redirect, and one to another scheme, are not followed.
    server.queueAnswer("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" +
                       std::to_string(moved.port()) + "/again\r\n\r\n");
    moved.queueAnswer("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" +
                      std::to_string(server.port()) + "/loop\r\n\r\n");
    EXPECT_FALSE(client.sites(loopback(server.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbHttpError);
    EXPECT_NE(CddbClient::lastErrorDetail().find("second redirect"), std::string::npos);

    server.queueAnswer(
        "HTTP/1.1 301 Moved Permanently\r\nLocation: https://gnudb.example/\r\n\r\n");
    EXPECT_FALSE(client.sites(loopback(server.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbHttpError);
    EXPECT_EQ(CddbClient::lastErrorDetail(),
              "HTTP/1.1 301 Moved Permanently to https://gnudb.example/");
}

TEST(CddbClientLimits, TricklingServerIsEndedByTheDeadline) {
    CddbTestServer server;
    TestClient client; // 400 ms of silence allowed
    client.setCommandDeadline(900);
    const std::string answer = CddbTestServer::httpAnswer(longEntry());
    server.queue({inPieces(answer, 1, 100), 0});
    XmcdEntry entry;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.read(loopback(server.port()), 0x0200c801, "rock", entry));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(CddbClient::lastError(), kCddbDeadlineExceeded);
    EXPECT_GE(took, std::chrono::milliseconds(850));
    // The server was still trickling (its answer takes minutes at this pace) when the
    // client stopped.
    EXPECT_TRUE(cldtest::waitUntil([&] { return server.handled() == 1; }));
    EXPECT_EQ(server.closedByClient(), 1);
}

TEST(CddbClientLimits, CancelFromAnotherThreadEndsTheCommandAtOnce) {
    CddbTestServer server;
    TestClient client;
    client.setReceiveTimeout(10000);
    server.queue({{{"HTTP/1.0 200 OK\r\n\r\n210 Ok\r\n", 0}}, kLongHoldMs});
    // Cancelled once the server has the request: the client is then waiting for more.
    std::thread canceller([&] {
        cldtest::waitUntil([&] { return server.requests().size() == 1; });
        client.cancel();
    });
    std::vector<CddbServer> sites;
    const bool ok = client.sites(loopback(server.port()), sites);
    canceller.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(CddbClient::lastError(), kCddbCancelled);
    EXPECT_TRUE(cldtest::waitUntil([&] { return server.handled() == 1; }));
    EXPECT_EQ(server.closedByClient(), 1) << "the cancel came long before the server's hold ended";

    // It stays cancelled until reset: a retry does not reach the server.
    const std::size_t asked = server.requests().size();
    EXPECT_FALSE(client.sites(loopback(server.port()), sites));
    EXPECT_EQ(CddbClient::lastError(), kCddbCancelled);
    EXPECT_EQ(server.requests().size(), asked);
    client.resetCancel();
    CddbTestServer next;
    next.queueAnswer(CddbTestServer::httpAnswer("210 Ok\r\n"));
    EXPECT_TRUE(client.sites(loopback(next.port()), sites)) << CddbClient::lastErrorMessage();
}

TEST(CddbClientText, CharacterSplitAcrossContinuationLinesIsJoinedFirst) {
    // Servers cut long fields by bytes: here through the middle of "é" (C3 A9), in the
    // disc title and in a track title. A Latin-1 title from an old client stays readable.
    std::string entry = yearGenreEntry("Les Rythmes / Caf\xC3", "Th\xC3");
    entry.insert(entry.find("DYEAR"), "DTITLE=\xA9 Noir\r\n");
    entry.insert(entry.find("EXTD"), "TTITLE0=\xA9 glac\xC3\xA9\r\nTTITLE1=Zw\xF6lf\r\n");
    CddbTestServer server;
    TestClient client;
    server.queueAnswer(CddbTestServer::httpAnswer(entry));
    XmcdEntry read;
    ASSERT_TRUE(client.read(loopback(server.port()), 0x0200c801, "rock", read))
        << CddbClient::lastErrorMessage();
    EXPECT_EQ(read.artist, "Les Rythmes");
    EXPECT_EQ(read.title, "Café Noir");
    ASSERT_EQ(read.trackTitles.size(), 2u);
    EXPECT_EQ(read.trackTitles[0], "Thé glacé");
    EXPECT_EQ(read.trackTitles[1], "Zwölf");
}

TEST(CddbClientExchange, AnswersWithLfLineEnds) {
    const auto lfOnly = [](const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                out += text[i];
        return out;
    };
    CddbTestServer server;
    TestClient client;
    std::vector<CddbMatch> matches;
    // Header and body both with lone LFs, the end marker too.
    server.queueAnswer(lfOnly(CddbTestServer::httpAnswer("211 Found inexact matches\r\n"
                                                         "rock 0200c801 AC/DC / Back in Black\r\n"
                                                         "misc 0200c802 Other / Disc\r\n")));
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches))
        << CddbClient::lastErrorMessage();
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].artist, "AC/DC");
    EXPECT_EQ(matches[1].title, "Disc");

    server.queueAnswer(lfOnly(CddbTestServer::httpAnswer("200 rock 0200c801 A / B\r\n", false)));
    ASSERT_TRUE(client.query(loopback(server.port()), 0x0200c801, oneTrackToc(), matches))
        << CddbClient::lastErrorMessage();
    ASSERT_EQ(matches.size(), 1u);

    // A CR LF header (the web server's) over an LF body (the script's).
    server.queueAnswer("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + lfOnly(longEntry()) +
                       ".\n");
    XmcdEntry entry;
    ASSERT_TRUE(client.read(loopback(server.port()), 0x0200c801, "rock", entry))
        << CddbClient::lastErrorMessage();
    EXPECT_EQ(entry.artist, "Some Artist");
    EXPECT_EQ(entry.trackTitles.size(), 40u);
    EXPECT_EQ(entry.frameOffsets.size(), 40u);

    server.queueAnswer(
        lfOnly(CddbTestServer::httpAnswer("210 OK\r\na.example http 80 /~cddb/cddb.cgi N000.00 "
                                          "W000.00 Place\r\n")));
    std::vector<CddbServer> servers;
    ASSERT_TRUE(client.sites(loopback(server.port()), servers)) << CddbClient::lastErrorMessage();
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0].description, "Place");
}
