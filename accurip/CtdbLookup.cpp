#include "CtdbLookup.h"

#include "CddbCancel.h"
#include "CddbError.h"
#include "CddbSocket.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace accurip {

bool splitCtdbServer(const std::string& url, std::string& host, int& port, std::string& path) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    const size_t slash = url.find('/', scheme.size());
    const std::string hostPort = url.substr(
        scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    path = slash == std::string::npos ? "/" : url.substr(slash);
    if (path.find('?') != std::string::npos || path.find('#') != std::string::npos)
        return false;
    const size_t colon = hostPort.find(':');
    host = hostPort.substr(0, colon);
    port = 80;
    if (colon != std::string::npos) {
        const std::string p = hostPort.substr(colon + 1);
        if (p.empty() || p.size() > 5 || !std::all_of(p.begin(), p.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c)) != 0;
            }))
            return false;
        port = std::stoi(p);
    }
    if (host.empty() || port <= 0 || port > 65535)
        return false;
    for (char c : host + path)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false;
    return true;
}

std::string ctdbRequestTarget(const std::string& path, const DiscLayout& disc) {
    return path + "?version=3&ctdb=1&fuzzy=1&toc=" + ctdbTocQuery(disc);
}

CtdbLookupAnswer ctdbLookUp(const std::string& serverUrl, const DiscLayout& disc,
                            const CtdbLookupOptions& options) {
    CtdbLookupAnswer a;
    std::string host, path;
    int port = 0;
    if (!splitCtdbServer(serverUrl, host, port, path)) {
        a.status = CtdbLookupAnswer::Malformed;
        a.detail = "the server address is not an http:// address: " + serverUrl;
        return a;
    }
    using Clock = std::chrono::steady_clock;
    const int deadlineMs = std::max(options.deadlineMs, 1);
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    CddbSocket socket;
    socket.setCancel(options.cancel);
    socket.setDeadline(deadline);
    socket.setConnectTimeout(deadlineMs);
    const auto failure = [&](CtdbLookupAnswer::Status fallback) {
        const int code = CddbSocket::lastError();
        a.status = code == kCddbCancelled          ? CtdbLookupAnswer::Cancelled
                   : code == kCddbDeadlineExceeded ? CtdbLookupAnswer::TimedOut
                   : code == kCddbTimedOut         ? CtdbLookupAnswer::TimedOut
                                                   : fallback;
        if (a.detail.empty())
            a.detail = cddbErrorText(code);
        return a;
    };
    const bool viaProxy = !options.proxyHost.empty();
    if (!socket.create() ||
        !socket.connect(viaProxy ? options.proxyHost : host, viaProxy ? options.proxyPort : port))
        return failure(CtdbLookupAnswer::Offline);
    const std::string hostHeader = port == 80 ? host : host + ":" + std::to_string(port);
    const std::string target = ctdbRequestTarget(path, disc);
    const std::string request = "GET " + (viaProxy ? "http://" + hostHeader : std::string()) +
                                target + " HTTP/1.0\r\nHost: " + hostHeader +
                                "\r\nUser-Agent: Calderine\r\nConnection: close\r\n\r\n";
    if (!socket.send(request.data(), request.size()))
        return failure(CtdbLookupAnswer::Offline);

    constexpr size_t kMaxHeader = 16 * 1024;
    const size_t cap = std::min(options.maxBytes, kMaxCtdbAnswerBytes);
    std::string answer;
    char buffer[16384];
    for (;;) {
        bool ready = false;
        if (!socket.readable(ready, 250))
            return failure(CtdbLookupAnswer::TimedOut);
        if (Clock::now() >= deadline) {
            a.status = CtdbLookupAnswer::TimedOut;
            a.detail = cddbErrorText(kCddbDeadlineExceeded);
            return a;
        }
        if (!ready)
            continue;
        const long got = socket.receive(buffer, sizeof buffer);
        if (got < 0)
            return failure(CtdbLookupAnswer::Offline);
        if (got == 0)
            break;
        answer.append(buffer, static_cast<size_t>(got));
        if (answer.size() > cap + kMaxHeader) {
            a.status = CtdbLookupAnswer::Malformed;
            a.detail = "the answer is larger than " + std::to_string(cap) + " bytes";
            return a;
        }
    }
    const size_t headerEnd = answer.find("\r\n\r\n");
    const size_t lineEnd = answer.find("\r\n");
    if (headerEnd == std::string::npos || answer.compare(0, 5, "HTTP/") != 0) {
        a.status = CtdbLookupAnswer::Malformed;
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
        a.status = CtdbLookupAnswer::NotInDatabase;
        a.detail = shown;
        return a;
    }
    if (status != 200) {
        a.status = CtdbLookupAnswer::Malformed;
        a.detail = "the server answered " + shown.substr(0, 120);
        return a;
    }
    const size_t bodySize = answer.size() - headerEnd - 4;
    if (bodySize > cap) {
        a.status = CtdbLookupAnswer::Malformed;
        a.detail = "the answer is larger than " + std::to_string(cap) + " bytes";
        return a;
    }
    std::string why;
    if (!parseCtdbAnswer(answer.data() + headerEnd + 4, bodySize, a.entries, why)) {
        a.status = CtdbLookupAnswer::Malformed;
        a.detail = why;
        return a;
    }
    a.status = a.entries.empty() ? CtdbLookupAnswer::NotInDatabase : CtdbLookupAnswer::Found;
    if (a.entries.empty())
        a.detail = "the answer names no entry";
    return a;
}

} // namespace accurip
