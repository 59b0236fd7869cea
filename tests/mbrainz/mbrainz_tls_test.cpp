#include "CddbTestServer.h"
#include "MbAnswers.h"
#include "MbDiscId.h"
#include "MbHttp.h"
#include "MusicBrainzClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace cld::mb;
using cldtest::mbDiscJson;
using cldtest::mbHttp;
using cldtest::mbJpeg;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

// A throwaway authority and server certificates, made with the openssl command once per run.
struct Certificates {
    fs::path dir;
    std::string ca, good, goodKey, wrongName, wrongNameKey, selfSigned, selfSignedKey;

    Certificates() {
        dir = fs::temp_directory_path() / ("cld-tls-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        const std::string d = dir.string();
        const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        run("openssl req -x509" + key + " -keyout " + d + "/ca.key -out " + d +
            "/ca.pem -days 2 -subj /CN=Calderine-Test-CA");
        issue("good", "subjectAltName=DNS:localhost,IP:127.0.0.1", key);
        issue("wrong", "subjectAltName=DNS:wrong.example", key);
        run("openssl req -x509" + key + " -keyout " + d + "/self.key -out " + d +
            "/self.pem -days 2 -subj /CN=localhost -addext "
            "subjectAltName=DNS:localhost,IP:127.0.0.1");
        ca = d + "/ca.pem";
        good = d + "/good.pem";
        goodKey = d + "/good.key";
        wrongName = d + "/wrong.pem";
        wrongNameKey = d + "/wrong.key";
        selfSigned = d + "/self.pem";
        selfSignedKey = d + "/self.key";
    }
    ~Certificates() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static void run(const std::string& command) {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }
    void issue(const std::string& name, const std::string& altNames, const std::string& key) {
        const std::string d = dir.string();
        std::ofstream(d + "/" + name + ".ext") << altNames << "\n";
        run("openssl req" + key + " -keyout " + d + "/" + name + ".key -out " + d + "/" + name +
            ".csr -subj /CN=" + name);
        run("openssl x509 -req -in " + d + "/" + name + ".csr -CA " + d + "/ca.pem -CAkey " + d +
            "/ca.key -CAcreateserial -days 2 -out " + d + "/" + name + ".pem -extfile " + d + "/" +
            name + ".ext");
    }
};

const Certificates& certificates() {
    static const Certificates made;
    return made;
}

int listenLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd, 8), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

int acceptWithin(int listenFd, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{listenFd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0)
            return ::accept(listenFd, nullptr, nullptr);
    }
    return -1;
}

// An https server on 127.0.0.1 with the given certificate: each connection gets its TLS
// handshake, one request read up to its blank line, the next queued answer, and a close.
class TlsTestServer {
public:
    TlsTestServer(const std::string& cert, const std::string& key) {
        m_context = SSL_CTX_new(TLS_server_method());
        EXPECT_EQ(SSL_CTX_use_certificate_chain_file(m_context, cert.c_str()), 1);
        EXPECT_EQ(SSL_CTX_use_PrivateKey_file(m_context, key.c_str(), SSL_FILETYPE_PEM), 1);
        m_listen = listenLoopback(m_port);
        m_thread = std::thread([this] { run(); });
    }
    ~TlsTestServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
        SSL_CTX_free(m_context);
    }
    int port() const { return m_port; }
    void queueAnswer(std::string answer) {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(std::move(answer));
    }
    std::vector<std::string> requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    int handshakes() const { return m_handshakes; }

private:
    void run() {
        while (!m_stop) {
            const int fd = acceptWithin(m_listen, m_stop);
            if (fd < 0)
                continue;
            timeval wait{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            SSL* ssl = SSL_new(m_context);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) {
                ++m_handshakes;
                std::string request;
                char buffer[4096];
                while (request.find("\r\n\r\n") == std::string::npos) {
                    const int got = SSL_read(ssl, buffer, sizeof buffer);
                    if (got <= 0)
                        break;
                    request.append(buffer, static_cast<std::size_t>(got));
                }
                std::string answer;
                {
                    std::lock_guard lock(m_mutex);
                    m_requests.push_back(request);
                    if (!m_answers.empty()) {
                        answer = m_answers.front();
                        m_answers.pop_front();
                    }
                }
                if (!answer.empty())
                    SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
                SSL_shutdown(ssl);
            }
            ERR_clear_error();
            SSL_free(ssl);
            ::close(fd);
        }
    }

    SSL_CTX* m_context = nullptr;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_handshakes{0};
    mutable std::mutex m_mutex;
    std::deque<std::string> m_answers;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// An HTTP proxy that answers CONNECT with `reply` and, on a 200, relays the tunnel to the
// port the request named on 127.0.0.1.
class ConnectProxy {
public:
    explicit ConnectProxy(std::string reply) : m_reply(std::move(reply)) {
        m_listen = listenLoopback(m_port);
        m_thread = std::thread([this] { run(); });
    }
    ~ConnectProxy() {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }
    std::string request() const {
        std::lock_guard lock(m_mutex);
        return m_request;
    }

private:
    void run() {
        const int fd = acceptWithin(m_listen, m_stop);
        if (fd < 0)
            return;
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const long got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            head.append(buffer, static_cast<std::size_t>(got));
        }
        {
            std::lock_guard lock(m_mutex);
            m_request = head;
        }
        ::send(fd, m_reply.data(), m_reply.size(), MSG_NOSIGNAL);
        const std::size_t colon = head.find(':');
        if (m_reply.find(" 200 ") != std::string::npos && colon != std::string::npos) {
            const int target = std::atoi(head.c_str() + colon + 1);
            const int up = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(target));
            if (::connect(up, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                relay(fd, up);
            ::close(up);
        }
        ::close(fd);
    }
    void relay(int a, int b) {
        char buffer[16384];
        while (!m_stop) {
            pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP)))
                    continue;
                const long got = ::recv(p[i].fd, buffer, sizeof buffer, 0);
                if (got <= 0)
                    return;
                ::send(i == 0 ? b : a, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL);
            }
        }
    }

    std::string m_reply;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::string m_request;
    std::thread m_thread;
};

MbToc threeTracks() {
    return tocFromSectors({0, 15000, 30000}, 44999);
}

std::string discAnswer(const MbToc& toc) {
    return mbHttp(200, "OK",
                  mbDiscJson({{"rel-1",
                               "Secure",
                               "The Band",
                               "2001-02-03",
                               "rock",
                               musicBrainzDiscId(toc),
                               {"One", "Two", "Three"}}}));
}

class MbTlsTest : public ::testing::Test {
protected:
    MbTlsTest() {
        MusicBrainzClient::musicBrainzGate().setInterval(std::chrono::milliseconds(0));
        MusicBrainzClient::coverGate().setInterval(std::chrono::milliseconds(0));
        m_client.setTrustFile(certificates().ca);
        m_client.setReceiveTimeout(3000);
        m_client.setDeadline(std::chrono::milliseconds(6000));
    }
    ~MbTlsTest() override {
        MusicBrainzClient::musicBrainzGate().setInterval(std::chrono::milliseconds(1000));
        MusicBrainzClient::coverGate().setInterval(std::chrono::milliseconds(1000));
    }
    static std::string at(const std::string& host, int port) {
        return "https://" + host + ":" + std::to_string(port);
    }
    MusicBrainzClient m_client;
    std::vector<MbRelease> m_releases;
};

} // namespace

TEST_F(MbTlsTest, NamesAndCoverOverVerifiedHttps) {
    const Certificates& c = certificates();
    TlsTestServer server(c.good, c.goodKey);
    const MbToc toc = threeTracks();
    // By IP address (checked against the certificate's IP entry) and by DNS name.
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        ASSERT_TRUE(m_client.setServer(at(host, server.port())));
        EXPECT_TRUE(m_client.server().tls);
        server.queueAnswer(discAnswer(toc));
        ASSERT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Found) << m_client.lastDetail();
        ASSERT_EQ(m_releases.size(), 1u);
        EXPECT_EQ(m_releases[0].album, "Secure");
        EXPECT_EQ(m_releases[0].trackTitles.at(2), "Three");
        const std::string request = server.requests().back();
        EXPECT_EQ(request.rfind("GET /ws/2/discid/" + musicBrainzDiscId(toc), 0), 0u) << request;
        EXPECT_NE(request.find("\r\nHost: " + host + ":" + std::to_string(server.port()) + "\r\n"),
                  std::string::npos);
    }
    // A cover whose address sends the client on to another https address, as the archive does.
    ASSERT_TRUE(m_client.setCoverServer(at("localhost", server.port()) + "/"));
    server.queueAnswer(mbHttp(307, "Temporary Redirect", "", "text/plain",
                              "Location: " + at("127.0.0.1", server.port()) + "/img/f.jpg\r\n"));
    server.queueAnswer(mbHttp(200, "OK", mbJpeg("tls"), "image/jpeg"));
    std::string image;
    ASSERT_TRUE(m_client.fetchCover("0123abcd-0000", image)) << m_client.lastDetail();
    EXPECT_EQ(image, mbJpeg("tls"));
    EXPECT_EQ(server.requests().back().rfind("GET /img/f.jpg HTTP/1.1", 0), 0u);
}

TEST_F(MbTlsTest, UntrustedOrMisnamedCertificatesAreRefused) {
    const Certificates& c = certificates();
    const MbToc toc = threeTracks();
    struct Case {
        std::string cert, key, host, reason;
    };
    for (const Case& bad : {Case{c.selfSigned, c.selfSignedKey, "127.0.0.1", "self-signed"},
                            Case{c.wrongName, c.wrongNameKey, "localhost", "mismatch"},
                            Case{c.wrongName, c.wrongNameKey, "127.0.0.1", "mismatch"}}) {
        TlsTestServer server(bad.cert, bad.key);
        server.queueAnswer(discAnswer(toc));
        ASSERT_TRUE(m_client.setServer(at(bad.host, server.port())));
        EXPECT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Failed) << bad.cert;
        const std::string detail = m_client.lastDetail();
        // The program refused the certificate; the server refused nothing.
        EXPECT_NE(detail.find("was not trusted"), std::string::npos) << detail;
        EXPECT_EQ(detail.find("refused"), std::string::npos) << detail;
        EXPECT_NE(detail.find(bad.reason), std::string::npos) << detail;
        EXPECT_EQ(detail.find('\n'), std::string::npos);
        EXPECT_TRUE(m_releases.empty());
        EXPECT_TRUE(server.requests().empty()); // nothing was asked over the channel
    }
    // The system's store does not know the test authority either.
    TlsTestServer server(c.good, c.goodKey);
    m_client.setTrustFile({});
    ASSERT_TRUE(m_client.setServer(at("127.0.0.1", server.port())));
    EXPECT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Failed);
    EXPECT_NE(m_client.lastDetail().find("was not trusted"), std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(MbTlsTest, RedirectsToHttpsAreFollowedButNeverBackToPlainHttp) {
    const Certificates& c = certificates();
    TlsTestServer secure(c.good, c.goodKey);
    cldtest::CddbTestServer plain;
    const MbToc toc = threeTracks();
    // http to https, as the public service answers plain requests.
    ASSERT_TRUE(m_client.setServer("127.0.0.1:" + std::to_string(plain.port())));
    EXPECT_FALSE(m_client.server().tls);
    plain.queueAnswer(mbHttp(301, "Moved Permanently", "", "text/plain",
                             "Location: " + at("localhost", secure.port()) + "/moved\r\n"));
    secure.queueAnswer(discAnswer(toc));
    ASSERT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Found) << m_client.lastDetail();
    EXPECT_EQ(secure.requests().at(0).rfind("GET /moved HTTP/1.1", 0), 0u);

    // https to http is a downgrade and stops there.
    ASSERT_TRUE(m_client.setServer(at("127.0.0.1", secure.port())));
    secure.queueAnswer(
        mbHttp(302, "Found", "", "text/plain",
               "Location: http://127.0.0.1:" + std::to_string(plain.port()) + "/clear\r\n"));
    EXPECT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Failed);
    EXPECT_NE(m_client.lastDetail().find("not https"), std::string::npos) << m_client.lastDetail();
    EXPECT_EQ(plain.requests().size(), 1u);
}

TEST_F(MbTlsTest, AStalledHandshakeEndsByDeadlineOrCancel) {
    // The kernel completes the TCP connection, but nobody ever answers the TLS hello.
    int port = 0;
    const int silent = listenLoopback(port);
    const MbToc toc = threeTracks();
    ASSERT_TRUE(m_client.setServer(at("127.0.0.1", port)));
    m_client.setReceiveTimeout(20000);
    m_client.setDeadline(std::chrono::milliseconds(800));
    auto start = Clock::now();
    EXPECT_EQ(m_client.lookup(toc, m_releases), LookupStatus::TimedOut);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));

    // The receive time-out alone ends it as well.
    m_client.setDeadline(std::chrono::milliseconds(20000));
    m_client.setReceiveTimeout(300);
    start = Clock::now();
    EXPECT_EQ(m_client.lookup(toc, m_releases), LookupStatus::TimedOut);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));

    m_client.setReceiveTimeout(20000);
    std::thread canceller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_client.cancel();
    });
    start = Clock::now();
    EXPECT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Cancelled);
    canceller.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));
    m_client.resetCancel();
    ::close(silent);
}

TEST_F(MbTlsTest, HttpsGoesThroughAProxyTunnel) {
    const Certificates& c = certificates();
    TlsTestServer server(c.good, c.goodKey);
    const MbToc toc = threeTracks();
    {
        ConnectProxy proxy("HTTP/1.1 200 Connection established\r\n\r\n");
        ASSERT_TRUE(m_client.setServer(at("localhost", server.port())));
        m_client.setProxy("127.0.0.1", proxy.port());
        server.queueAnswer(discAnswer(toc));
        ASSERT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Found) << m_client.lastDetail();
        const std::string port = std::to_string(server.port());
        EXPECT_EQ(proxy.request().rfind("CONNECT localhost:" + port + " HTTP/1.1\r\n", 0), 0u)
            << proxy.request();
        // Inside the tunnel the request names only the path.
        EXPECT_EQ(server.requests().at(0).rfind("GET /ws/2/discid/", 0), 0u);
    }
    ConnectProxy refusing(
        "HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 5\r\n\r\nnope!");
    m_client.setProxy("127.0.0.1", refusing.port());
    EXPECT_EQ(m_client.lookup(toc, m_releases), LookupStatus::Failed);
    EXPECT_NE(m_client.lastDetail().find("Proxy: HTTP/1.1 407"), std::string::npos)
        << m_client.lastDetail();
    EXPECT_EQ(server.handshakes(), 1);
}

TEST(MbTlsServers, PublicServersAreHttpsAndTypedServersKeepTheirScheme) {
    MusicBrainzClient client;
    EXPECT_TRUE(client.server().tls);
    EXPECT_EQ(client.server().port, 443);
    EXPECT_EQ(client.server().host, "musicbrainz.org");
    EXPECT_TRUE(client.coverServer().tls);
    EXPECT_EQ(client.coverServer().port, 443);
    ASSERT_TRUE(client.setServer("mirror.example:5000"));
    EXPECT_FALSE(client.server().tls);
    ASSERT_TRUE(client.setServer("mirror.example:443"));
    EXPECT_TRUE(client.server().tls);
    ASSERT_TRUE(client.setServer("http://mirror.example"));
    EXPECT_FALSE(client.server().tls);
    EXPECT_EQ(client.server().port, 80);
    ASSERT_TRUE(client.setServer("HTTPS://mirror.example:8443/x"));
    EXPECT_TRUE(client.server().tls);
    EXPECT_EQ(client.server().port, 8443);
    EXPECT_FALSE(client.setServer("ftp://mirror.example"));
    EXPECT_TRUE(client.setServer("mirror.example"));
    EXPECT_TRUE(client.server().tls);
}
