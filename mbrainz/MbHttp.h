#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

class CddbCancel;

namespace cld::mb {

// How one web request ended.
enum class HttpOutcome {
    Ok,          // a 2xx answer with its whole body
    NotFound,    // 404
    Unavailable, // 503 (or 429): the service asks to come back later (see retryAfter)
    HttpError,   // another status of 300 or more, or a redirect that could not be followed
    Offline,     // the host could not be resolved or refused the connection
    TimedOut,    // silence past the receive time-out, or the whole deadline passed
    Cancelled,   // cancelled from another thread
    Malformed,   // not an HTTP answer, a broken chunk, a body shorter than announced
    TooLarge,    // the body exceeded the limit the caller set
    Insecure,    // TLS failed: the certificate was not verified, or no secure channel came up
};

struct HttpAnswer {
    HttpOutcome outcome = HttpOutcome::Malformed;
    int status = 0;
    std::string statusLine;                    // control characters removed
    std::map<std::string, std::string> header; // names in lower case
    std::string body;
    int retryAfterSeconds = -1; // from a Retry-After in seconds, -1 when none
};

// A parsed "http://host[:port]/path" or "https://host[:port]/path" (or "host[:port]"
// alone, which means plain HTTP and path "/").
struct HttpUrl {
    std::string host;
    int port = 80;
    std::string path = "/";
    bool tls = false; // https
    int defaultPort() const { return tls ? 443 : 80; }
};
bool parseHttpUrl(const std::string& text, HttpUrl& url);

// One HTTP/1.1 GET over the CDDB socket code: a Host, User-Agent and Accept header,
// "Connection: close", a body read by Content-Length, chunks or the peer's close. An https
// address is spoken over TLS with the server's certificate verified against the system's
// CA store and the host name; a certificate that does not pass ends the request as
// Insecure, its reason in statusLine. Redirects (301, 302, 303, 307, 308) to another http
// or https address are followed up to three times. Never throws.
struct HttpRequest {
    HttpUrl url;
    std::string userAgent;
    std::string accept = "*/*";
    std::size_t maxBody = 4 * 1024 * 1024;
    int connectTimeoutMs = 10000;
    int receiveTimeoutMs = 10000;
    // The whole request, redirects included, ends by then.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    const CddbCancel* cancel = nullptr;
    // An HTTP proxy: the connection goes there and the request names the whole address;
    // an https address is reached through a CONNECT tunnel.
    std::string proxyHost; // empty: none
    int proxyPort = 8080;
    // A PEM file of the certificates to trust instead of the system's CA store (tests).
    std::string trustFile;
};
HttpAnswer httpGet(const HttpRequest& request);

// Reads a raw answer (header and body) already received; the parser httpGet uses, open
// for the fuzzer. `complete` says the peer closed the connection after these bytes.
HttpAnswer parseHttpAnswer(const std::string& raw, std::size_t maxBody);

// A process-wide gate that keeps requests to one service at least `interval` apart: the
// calling thread sleeps until its turn (or the cancel signal / deadline); false then.
class RateGate {
public:
    explicit RateGate(std::chrono::milliseconds interval) : m_interval(interval) {}
    bool waitTurn(const CddbCancel* cancel, std::chrono::steady_clock::time_point deadline);
    void setInterval(std::chrono::milliseconds interval) { m_interval = interval; }
    std::chrono::milliseconds interval() const { return m_interval; }

private:
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_next{};
};

} // namespace cld::mb
