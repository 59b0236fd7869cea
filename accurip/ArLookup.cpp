#include "ArLookup.h"

#include "CddbCancel.h"
#include "CddbError.h"
#include "CddbSocket.h"

#include <algorithm>
#include <chrono>

namespace accurip {

bool splitServerUrl(const std::string& url, std::string& host, int& port, std::string& prefix) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    const size_t slash = url.find('/', scheme.size());
    const std::string hostPort = url.substr(
        scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    prefix = slash == std::string::npos ? "/" : url.substr(slash);
    if (prefix.back() != '/')
        prefix += '/';
    const size_t colon = hostPort.find(':');
    host = hostPort.substr(0, colon);
    port = 80;
    if (colon != std::string::npos) {
        const std::string p = hostPort.substr(colon + 1);
        if (p.empty() || p.size() > 5 || !std::all_of(p.begin(), p.end(), ::isdigit))
            return false;
        port = std::stoi(p);
    }
    if (host.empty() || port <= 0 || port > 65535)
        return false;
    for (char c : host + prefix)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false;
    return true;
}

LookupAnswer lookUp(const std::string& serverUrl, const DiscIds& ids, int deadlineMs,
                    const CddbCancel* cancel) {
    LookupAnswer a;
    std::string host, prefix;
    int port = 0;
    if (!splitServerUrl(serverUrl, host, port, prefix)) {
        a.status = LookupAnswer::Malformed;
        a.detail = "the server address is not an http:// address: " + serverUrl;
        return a;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(deadlineMs, 1));
    CddbSocket socket;
    socket.setCancel(cancel);
    socket.setDeadline(deadline);
    socket.setConnectTimeout(std::max(deadlineMs, 1));
    const auto failure = [&](LookupAnswer::Status fallback) {
        const int code = CddbSocket::lastError();
        a.status = code == kCddbCancelled          ? LookupAnswer::Cancelled
                   : code == kCddbDeadlineExceeded ? LookupAnswer::TimedOut
                   : code == kCddbTimedOut         ? LookupAnswer::TimedOut
                                                   : fallback;
        if (a.detail.empty())
            a.detail = cddbErrorText(code);
        return a;
    };
    if (!socket.create() || !socket.connect(host, port))
        return failure(LookupAnswer::Offline);
    const std::string path = prefix + entryPath(ids);
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + host +
                                "\r\nUser-Agent: Calderine\r\nConnection: close\r\n\r\n";
    if (!socket.send(request.data(), request.size()))
        return failure(LookupAnswer::Offline);

    // Header and body until the server closes; never more than the largest entry.
    constexpr size_t kMaxHeader = 16 * 1024;
    std::string answer;
    char buffer[16384];
    for (;;) {
        bool ready = false;
        if (!socket.readable(ready, 250))
            return failure(LookupAnswer::TimedOut);
        if (Clock::now() >= deadline) {
            a.status = LookupAnswer::TimedOut;
            a.detail = cddbErrorText(kCddbDeadlineExceeded);
            return a;
        }
        if (!ready)
            continue;
        const long got = socket.receive(buffer, sizeof buffer);
        if (got < 0)
            return failure(LookupAnswer::Offline);
        if (got == 0)
            break;
        answer.append(buffer, static_cast<size_t>(got));
        if (answer.size() > kMaxEntryBytes + kMaxHeader) {
            a.status = LookupAnswer::Malformed;
            a.detail = "the entry is larger than " + std::to_string(kMaxEntryBytes) + " bytes";
            return a;
        }
    }
    const size_t headerEnd = answer.find("\r\n\r\n");
    const size_t lineEnd = answer.find("\r\n");
    if (headerEnd == std::string::npos || answer.compare(0, 5, "HTTP/") != 0) {
        a.status = LookupAnswer::Malformed;
        a.detail = answer.empty() ? "the server closed the connection without answering"
                                  : "the server's answer is not HTTP";
        return a;
    }
    const std::string statusLine = answer.substr(0, lineEnd);
    const size_t space = statusLine.find(' ');
    const int status = space == std::string::npos ? 0 : std::atoi(statusLine.c_str() + space + 1);
    std::string shown;
    for (char c : statusLine)
        shown +=
            static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E ? '?' : c;
    if (status == 404) {
        a.status = LookupAnswer::NotInDatabase;
        a.detail = shown;
        return a;
    }
    if (status != 200) {
        a.status = LookupAnswer::Malformed;
        a.detail = "the server answered " + shown.substr(0, 120);
        return a;
    }
    const auto* body = reinterpret_cast<const uint8_t*>(answer.data() + headerEnd + 4);
    const size_t bodySize = answer.size() - headerEnd - 4;
    std::string why;
    if (!parseEntry(body, bodySize, a.responses, why)) {
        a.status = LookupAnswer::Malformed;
        a.detail = why;
        return a;
    }
    a.status = LookupAnswer::Found;
    return a;
}

} // namespace accurip
