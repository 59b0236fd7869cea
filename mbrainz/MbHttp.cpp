#include "MbHttp.h"

#include "CddbCancel.h"
#include "CddbError.h"
#include "CddbSocket.h"
#include "MbTls.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <mutex>
#include <thread>

namespace cld::mb {

namespace {

using Clock = std::chrono::steady_clock;

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

std::string printable(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 200))
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            out += c;
    return out;
}

// Whether a host, path or header value can be put into a request line as it is.
bool safeForRequest(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x21 || c == 0x7f; });
}

bool parseNumber(std::string_view text, long long& value, int base = 10) {
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

HttpOutcome outcomeOfSocketError(int code) {
    switch (code) {
    case kCddbCancelled:
        return HttpOutcome::Cancelled;
    case kCddbDeadlineExceeded:
    case kCddbTimedOut:
        return HttpOutcome::TimedOut;
    default:
        return HttpOutcome::Offline;
    }
}

HttpAnswer failed(HttpOutcome outcome, std::string line = {}) {
    HttpAnswer answer;
    answer.outcome = outcome;
    answer.statusLine = std::move(line);
    return answer;
}

// Reads the status line and header fields; false when it is no HTTP answer.
bool parseHead(std::string_view head, HttpAnswer& answer) {
    const std::size_t firstEol = head.find("\r\n");
    const std::string_view statusLine = head.substr(0, firstEol);
    answer.statusLine = printable(statusLine);
    // "HTTP/1.x NNN reason"
    if (statusLine.size() < 12 || statusLine.substr(0, 7) != "HTTP/1." || statusLine[8] != ' ')
        return false;
    long long status = 0;
    if (!parseNumber(statusLine.substr(9, 3), status) || status < 100)
        return false;
    answer.status = static_cast<int>(status);
    std::string_view fields =
        firstEol == std::string_view::npos ? std::string_view() : head.substr(firstEol + 2);
    while (!fields.empty()) {
        const std::size_t eol = fields.find("\r\n");
        const std::string_view line = fields.substr(0, eol);
        fields = eol == std::string_view::npos ? std::string_view() : fields.substr(eol + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            continue;
        answer.header[lower(std::string(line.substr(0, colon)))] = trim(line.substr(colon + 1));
    }
    return true;
}

// Reads an answer as its bytes arrive, each byte looked at once: the header, then the
// body by Content-Length, by chunks or up to the peer's close. A declared size over the
// limit ends the answer as soon as the declaration has arrived, not once the bytes have.
class AnswerReader {
public:
    explicit AnswerReader(std::size_t maxBody) : m_maxBody(maxBody) {}

    // Takes the next received bytes; true once the answer is complete or refused.
    bool feed(std::string_view bytes) {
        if (m_stage == Stage::Done)
            return true;
        m_pending.append(bytes);
        std::size_t pos = 0;
        const bool done = step(pos);
        m_pending.erase(0, pos);
        return done;
    }
    // The answer; when it is not complete yet, the peer has closed the connection and it
    // is read as far as it came.
    HttpAnswer finish() {
        if (m_stage == Stage::ToClose)
            complete();
        else if (m_stage != Stage::Done)
            fail(HttpOutcome::Malformed); // no header end, a short body or a cut chunk
        return std::move(m_answer);
    }

private:
    enum class Stage { Head, Length, ChunkSize, ChunkData, ChunkEnd, ToClose, Done };
    // The longest header, and the longest chunk-size line (with its extensions).
    static constexpr std::size_t kMaxHead = 64 * 1024;
    static constexpr std::size_t kMaxChunkLine = 4096;

    bool fail(HttpOutcome outcome) {
        m_answer = failed(outcome, std::move(m_answer.statusLine));
        m_stage = Stage::Done;
        return true;
    }
    bool complete() {
        if (auto it = m_answer.header.find("retry-after"); it != m_answer.header.end()) {
            long long seconds = 0;
            if (parseNumber(it->second, seconds))
                m_answer.retryAfterSeconds = static_cast<int>(std::min<long long>(seconds, 86400));
        }
        const int status = m_answer.status;
        if (status >= 200 && status < 300)
            m_answer.outcome = HttpOutcome::Ok;
        else if (status == 404)
            m_answer.outcome = HttpOutcome::NotFound;
        else if (status == 503 || status == 429)
            m_answer.outcome = HttpOutcome::Unavailable;
        else
            m_answer.outcome = HttpOutcome::HttpError;
        m_stage = Stage::Done;
        return true;
    }
    // Moves up to `left` bytes of body from the pending bytes at `pos`.
    void takeBody(std::size_t& pos, unsigned long long& left) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<unsigned long long>(left, m_pending.size() - pos));
        m_answer.body.append(m_pending, pos, n);
        pos += n;
        left -= n;
    }
    bool startBody() {
        if (lower(m_answer.header["transfer-encoding"]).find("chunked") != std::string::npos) {
            m_stage = Stage::ChunkSize;
            return false;
        }
        if (auto it = m_answer.header.find("content-length"); it != m_answer.header.end()) {
            long long length = 0;
            if (!parseNumber(it->second, length))
                return fail(HttpOutcome::Malformed);
            if (static_cast<unsigned long long>(length) > m_maxBody)
                return fail(HttpOutcome::TooLarge);
            m_left = static_cast<unsigned long long>(length);
            m_answer.body.reserve(static_cast<std::size_t>(length));
            m_stage = Stage::Length;
            return m_left == 0 && complete();
        }
        m_stage = Stage::ToClose;
        return false;
    }
    bool step(std::size_t& pos) {
        for (;;) {
            switch (m_stage) {
            case Stage::Head: {
                // Only the bytes that came since the last look (and the three before them,
                // where an end marker may have begun) are searched.
                const std::size_t from = m_scanned > 3 ? m_scanned - 3 : 0;
                const std::size_t end = m_pending.find("\r\n\r\n", from);
                if (end == std::string::npos) {
                    m_scanned = m_pending.size();
                    return m_pending.size() > kMaxHead && fail(HttpOutcome::TooLarge);
                }
                if (!parseHead(std::string_view(m_pending).substr(0, end), m_answer))
                    return fail(HttpOutcome::Malformed);
                pos = end + 4;
                if (startBody())
                    return true;
                break;
            }
            case Stage::Length:
                takeBody(pos, m_left);
                if (m_left > 0)
                    return false;
                return complete();
            case Stage::ToClose:
                if (m_answer.body.size() + (m_pending.size() - pos) > m_maxBody)
                    return fail(HttpOutcome::TooLarge);
                m_answer.body.append(m_pending, pos, std::string::npos);
                pos = m_pending.size();
                return false;
            case Stage::ChunkSize: {
                const std::size_t eol = m_pending.find("\r\n", pos);
                if (eol == std::string::npos)
                    return m_pending.size() - pos > kMaxChunkLine && fail(HttpOutcome::Malformed);
                std::string_view sizeText = std::string_view(m_pending).substr(pos, eol - pos);
                sizeText = sizeText.substr(0, sizeText.find(';'));
                long long size = 0;
                if (!parseNumber(trim(sizeText), size, 16) || size > 0x7fffffffLL)
                    return fail(HttpOutcome::Malformed);
                pos = eol + 2;
                if (size == 0)
                    return complete(); // trailers are ignored
                if (m_answer.body.size() + static_cast<std::size_t>(size) > m_maxBody)
                    return fail(HttpOutcome::TooLarge);
                m_left = static_cast<unsigned long long>(size);
                m_stage = Stage::ChunkData;
                break;
            }
            case Stage::ChunkData:
                takeBody(pos, m_left);
                if (m_left > 0)
                    return false;
                m_stage = Stage::ChunkEnd;
                break;
            case Stage::ChunkEnd:
                if (m_pending.size() - pos < 2)
                    return false;
                if (m_pending.compare(pos, 2, "\r\n") != 0)
                    return fail(HttpOutcome::Malformed);
                pos += 2;
                m_stage = Stage::ChunkSize;
                break;
            case Stage::Done:
                return true;
            }
        }
    }

    std::size_t m_maxBody;
    Stage m_stage = Stage::Head;
    std::string m_pending;         // received bytes not taken yet (the header, a chunk line)
    std::size_t m_scanned = 0;     // header bytes already searched for its end
    unsigned long long m_left = 0; // body bytes still due by Content-Length, or in the chunk
    HttpAnswer m_answer;
};

// Asks the proxy for a tunnel to the server; the bytes that came after the proxy's
// answer belong to the tunnel and are handed back in `early`.
HttpAnswer openTunnel(CddbSocket& socket, const HttpRequest& request, const std::string& authority,
                      const std::string& userAgent, std::string& early) {
    const std::string text = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                             "\r\nUser-Agent: " + userAgent + "\r\n\r\n";
    if (!socket.send(text.data(), text.size()))
        return failed(outcomeOfSocketError(CddbSocket::lastError()));
    std::string raw;
    char buffer[4096];
    std::size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos) {
        bool ready = false;
        if (!socket.readable(ready, request.receiveTimeoutMs))
            return failed(outcomeOfSocketError(CddbSocket::lastError()));
        if (!ready)
            return failed(HttpOutcome::TimedOut);
        const long got = socket.receive(buffer, sizeof buffer);
        if (got < 0)
            return failed(outcomeOfSocketError(CddbSocket::lastError()));
        if (got == 0)
            return failed(HttpOutcome::Malformed, "The proxy closed the connection");
        raw.append(buffer, static_cast<std::size_t>(got));
        if (raw.size() > 64 * 1024)
            return failed(HttpOutcome::TooLarge);
        headerEnd = raw.find("\r\n\r\n");
    }
    // Only the proxy's status line matters (a 2xx has no body, a refusal's is not read).
    HttpAnswer answer = parseHttpAnswer(raw.substr(0, raw.find("\r\n")) + "\r\n\r\n", 0);
    if (answer.status == 0)
        return failed(HttpOutcome::Malformed, answer.statusLine);
    if (answer.status < 200 || answer.status >= 300) {
        answer.outcome = HttpOutcome::HttpError;
        answer.statusLine = "Proxy: " + answer.statusLine;
        answer.body.clear();
        return answer;
    }
    early = raw.substr(headerEnd + 4);
    answer.outcome = HttpOutcome::Ok;
    return answer;
}

// One request over one connection, without redirects.
HttpAnswer exchange(const HttpRequest& request) {
    const HttpUrl& url = request.url;
    if (!safeForRequest(url.host) || !safeForRequest(url.path) || url.path.empty() ||
        url.path.front() != '/' || url.port <= 0 || url.port > 65535)
        return failed(HttpOutcome::HttpError, "Bad address");
    const bool viaProxy = !request.proxyHost.empty();
    if (viaProxy &&
        (!safeForRequest(request.proxyHost) || request.proxyPort <= 0 || request.proxyPort > 65535))
        return failed(HttpOutcome::HttpError, "Bad proxy");
    CddbSocket socket;
    socket.setCancel(request.cancel);
    socket.setDeadline(request.deadline);
    socket.setConnectTimeout(request.connectTimeoutMs);
    if (!socket.create() || !(viaProxy ? socket.connect(request.proxyHost, request.proxyPort)
                                       : socket.connect(url.host, url.port)))
        return failed(outcomeOfSocketError(CddbSocket::lastError()));
    std::string hostHeader = url.host;
    if (url.port != url.defaultPort())
        hostHeader += ":" + std::to_string(url.port);
    std::string userAgent;
    for (char c : request.userAgent)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            userAgent += c;

    std::unique_ptr<TlsLink> tls;
    if (url.tls) {
        std::string early;
        if (viaProxy) {
            HttpAnswer tunnel = openTunnel(
                socket, request, url.host + ":" + std::to_string(url.port), userAgent, early);
            if (tunnel.outcome != HttpOutcome::Ok)
                return tunnel;
        }
        tls = std::make_unique<TlsLink>(socket);
        switch (tls->start(url.host, request.trustFile, request.receiveTimeoutMs, early)) {
        case TlsStart::Ok:
            break;
        case TlsStart::SocketFailed:
            return failed(outcomeOfSocketError(CddbSocket::lastError()));
        case TlsStart::Rejected:
            return failed(HttpOutcome::Insecure, tls->error());
        }
    }
    // Through a proxy plain HTTP names the whole address; in a tunnel only the path.
    const std::string target = viaProxy && !url.tls ? "http://" + hostHeader + url.path : url.path;
    const std::string text = "GET " + target + " HTTP/1.1\r\nHost: " + hostHeader +
                             "\r\nUser-Agent: " + userAgent + "\r\nAccept: " + request.accept +
                             "\r\nConnection: close\r\n\r\n";
    if (tls ? !tls->send(text.data(), text.size()) : !socket.send(text.data(), text.size())) {
        if (tls && !tls->error().empty())
            return failed(HttpOutcome::Insecure, tls->error());
        return failed(outcomeOfSocketError(CddbSocket::lastError()));
    }

    AnswerReader reader(request.maxBody);
    char buffer[16384];
    for (;;) {
        long got = 0;
        if (tls) {
            got = tls->receive(buffer, sizeof buffer, request.receiveTimeoutMs);
            if (got == -2)
                return failed(HttpOutcome::TimedOut);
            if (got == -3)
                return failed(HttpOutcome::Insecure, tls->error());
        } else {
            bool ready = false;
            if (!socket.readable(ready, request.receiveTimeoutMs))
                return failed(outcomeOfSocketError(CddbSocket::lastError()));
            if (!ready)
                return failed(HttpOutcome::TimedOut);
            got = socket.receive(buffer, sizeof buffer);
        }
        if (got < 0)
            return failed(outcomeOfSocketError(CddbSocket::lastError()));
        if (got == 0)
            break;
        // A complete answer by Content-Length or chunks needs no close, and a refused one
        // ends here too.
        if (reader.feed(std::string_view(buffer, static_cast<std::size_t>(got))))
            break;
    }
    return reader.finish();
}

} // namespace

bool parseHttpUrl(const std::string& text, HttpUrl& url) {
    std::string_view rest = text;
    const auto hasScheme = [&rest](std::string_view scheme) {
        if (rest.size() < scheme.size() ||
            lower(std::string(rest.substr(0, scheme.size()))) != scheme)
            return false;
        rest.remove_prefix(scheme.size());
        return true;
    };
    if (hasScheme("https://"))
        url.tls = true;
    else if (hasScheme("http://"))
        url.tls = false;
    else if (rest.find("://") != std::string_view::npos)
        return false; // no other scheme is spoken here
    else
        url.tls = false;
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    url.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    url.port = url.defaultPort();
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        long long port = 0;
        if (!parseNumber(authority.substr(colon + 1), port) || port < 1 || port > 65535)
            return false;
        url.port = static_cast<int>(port);
        authority = authority.substr(0, colon);
    }
    url.host = std::string(authority);
    return !url.host.empty() && safeForRequest(url.host) && safeForRequest(url.path);
}

HttpAnswer parseHttpAnswer(const std::string& raw, std::size_t maxBody) {
    AnswerReader reader(maxBody);
    reader.feed(raw);
    return reader.finish();
}

HttpAnswer httpGet(const HttpRequest& request) {
    HttpRequest current = request;
    for (int hop = 0;; ++hop) {
        HttpAnswer answer = exchange(current);
        const bool redirect = answer.status == 301 || answer.status == 302 ||
                              answer.status == 303 || answer.status == 307 || answer.status == 308;
        if (!redirect)
            return answer;
        const auto location = answer.header.find("location");
        HttpUrl next;
        if (hop >= 3 || location == answer.header.end())
            return answer;
        if (!location->second.empty() && location->second.front() == '/') {
            next = current.url;
            next.path = location->second;
        } else if (!parseHttpUrl(location->second, next) ||
                   location->second.find("://") == std::string::npos) {
            answer.statusLine += " to " + printable(location->second) + " (not followed)";
            return answer;
        }
        if (!safeForRequest(next.path))
            return answer;
        if (current.url.tls && !next.tls) {
            // What was asked over a verified channel is not asked again in the clear.
            answer.statusLine +=
                " to " + printable(location->second) + " (not followed: not https)";
            return answer;
        }
        current.url = next;
    }
}

bool RateGate::waitTurn(const CddbCancel* cancel, Clock::time_point deadline) {
    static std::mutex gateMutex;
    Clock::time_point slot;
    {
        std::lock_guard lock(gateMutex);
        const Clock::time_point now = Clock::now();
        slot = std::max(now, m_next);
        if (slot > deadline)
            return false;
        m_next = slot + m_interval;
    }
    while (Clock::now() < slot) {
        if (cancel && cancel->isCancelled())
            return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(slot - Clock::now(), std::chrono::milliseconds(20)));
    }
    return !(cancel && cancel->isCancelled());
}

} // namespace cld::mb
