#include "HttpGet.h"

#include "CddbCancel.h"
#include "CddbError.h"
#include "CddbSocket.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

namespace accurip {

bool splitHttpUrl(const std::string& url, std::string& host, int& port, std::string& path) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    const size_t slash = url.find('/', scheme.size());
    const std::string hostPort = url.substr(
        scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    path = slash == std::string::npos ? "/" : url.substr(slash);
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

HttpGetResult httpGet(const HttpGetRequest& r) {
    HttpGetResult a;
    using Clock = std::chrono::steady_clock;
    const int deadlineMs = std::max(r.deadlineMs, 1);
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    CddbSocket socket;
    socket.setCancel(r.cancel);
    socket.setDeadline(deadline);
    socket.setConnectTimeout(deadlineMs);
    const auto failure = [&](HttpGetResult::Status fallback) {
        const int code = CddbSocket::lastError();
        a.status = code == kCddbCancelled          ? HttpGetResult::Cancelled
                   : code == kCddbDeadlineExceeded ? HttpGetResult::TimedOut
                   : code == kCddbTimedOut         ? HttpGetResult::TimedOut
                                                   : fallback;
        if (a.detail.empty())
            a.detail = cddbErrorText(code);
        return a;
    };
    const auto refuse = [&](std::string why) {
        a.status = HttpGetResult::Malformed;
        a.detail = std::move(why);
        a.body.clear();
        return a;
    };
    const bool viaProxy = !r.proxyHost.empty();
    if (!socket.create() ||
        !socket.connect(viaProxy ? r.proxyHost : r.host, viaProxy ? r.proxyPort : r.port))
        return failure(HttpGetResult::Offline);
    const std::string hostHeader = r.port == 80 ? r.host : r.host + ":" + std::to_string(r.port);
    const std::string request = "GET " + (viaProxy ? "http://" + hostHeader : std::string()) +
                                r.target + " HTTP/1.0\r\nHost: " + hostHeader +
                                "\r\nUser-Agent: Calderine\r\nConnection: close\r\n\r\n";
    if (!socket.send(request.data(), request.size()))
        return failure(HttpGetResult::Offline);

    // Header and body until the server closes; never more than the cap allows.
    constexpr size_t kMaxHeader = 16 * 1024;
    const std::string tooLarge =
        std::string("the ") + r.what + " is larger than " + std::to_string(r.maxBody) + " bytes";
    std::string answer;
    char buffer[16384];
    for (;;) {
        bool ready = false;
        if (!socket.readable(ready, 250))
            return failure(HttpGetResult::TimedOut);
        if (Clock::now() >= deadline) {
            a.status = HttpGetResult::TimedOut;
            a.detail = cddbErrorText(kCddbDeadlineExceeded);
            return a;
        }
        if (!ready)
            continue;
        const long got = socket.receive(buffer, sizeof buffer);
        if (got < 0)
            return failure(HttpGetResult::Offline);
        if (got == 0)
            break;
        answer.append(buffer, static_cast<size_t>(got));
        if (answer.size() > r.maxBody + kMaxHeader)
            return refuse(tooLarge);
    }
    const size_t headerEnd = answer.find("\r\n\r\n");
    const size_t lineEnd = answer.find("\r\n");
    if (headerEnd == std::string::npos || answer.compare(0, 5, "HTTP/") != 0)
        return refuse(answer.empty() ? "the server closed the connection without answering"
                                     : "the server's answer is not HTTP");
    const std::string statusLine = answer.substr(0, lineEnd);
    const size_t space = statusLine.find(' ');
    const int status = space == std::string::npos ? 0 : std::atoi(statusLine.c_str() + space + 1);
    std::string shown;
    for (char c : statusLine)
        shown +=
            static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E ? '?' : c;
    if (status == 404) {
        a.status = HttpGetResult::NotFound;
        a.detail = shown;
        return a;
    }
    if (status != 200)
        return refuse("the server answered " + shown.substr(0, 120));
    if (answer.size() - headerEnd - 4 > r.maxBody)
        return refuse(tooLarge);
    a.status = HttpGetResult::Ok;
    a.body = answer.substr(headerEnd + 4);
    return a;
}

} // namespace accurip
