#include "CddbClient.h"

#include "Base64.h"
#include "CddbParse.h"
#include "CddbSocket.h"
#include "TextUtil.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <pwd.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Letters and digits pass; everything else (spaces, punctuation, bytes above 127) is
// sent as "_" so the identity never breaks the request line.
std::string cleanIdentity(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const bool keep =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!keep)
            c = '_';
    }
    return out;
}

// Text placed in a request line must not be able to end it or add to it.
bool safeForRequest(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

bool plainCategory(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

std::string hex8(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08x", id);
    return text;
}

bool protocolError() {
    CddbSocket::setLastError(kCddbProtocolError);
    return false;
}

bool invalidArgument() {
    CddbSocket::setLastError(kCddbHostNotFound);
    return false;
}

// The answer's body: the text after the HTTP header's blank line.
bool answerBody(std::string_view answer, std::string_view& body) {
    const std::size_t blank = answer.find("\r\n\r\n");
    if (blank == std::string_view::npos)
        return false;
    body = answer.substr(blank + 4);
    return true;
}

} // namespace

std::string CddbClient::helloString() {
    return "hello=" + cleanIdentity(userName()) + "+" + cleanIdentity(hostName()) + "+" +
           m_clientName + "+" + m_clientVersion + "&proto=" + std::to_string(m_protocolLevel);
}

std::string CddbClient::userName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name || !*found->pw_name)
        return "Unknown";
    return cleanIdentity(std::string_view(found->pw_name).substr(0, 259));
}

std::string CddbClient::hostName() {
    char buffer[260] = {};
    if (gethostname(buffer, sizeof(buffer) - 1) != 0 || !buffer[0])
        return "Unknown";
    return cleanIdentity(buffer);
}

void CddbClient::setProxy(const std::string& host, int port, const std::string& user,
                          const std::string& password) {
    m_proxyHost = host;
    m_proxyPort = port;
    m_proxyUser = user;
    m_proxyPassword = password;
}

std::string CddbClient::proxyHeaderBlock(const CddbServer& server) const {
    if (m_proxyUser.empty())
        return "Host: " + server.host;
    return "Proxy-Authorization: Basic " + cld::base64Encode(m_proxyUser + ":" + m_proxyPassword) +
           "\r\nHost: " + server.host;
}

std::string CddbClient::queryRequest(const CddbServer& server, std::uint32_t discId,
                                     const std::vector<MsfTime>& toc) {
    const auto seconds = [](const MsfTime& t) {
        return static_cast<long long>(t.minute) * 60 + t.second;
    };
    std::string offsets;
    const std::size_t tracks = toc.empty() ? 0 : toc.size() - 1;
    for (std::size_t i = 0; i < tracks; ++i) {
        if (i > 0)
            offsets += '+';
        offsets += std::to_string(seconds(toc[i]) * 75 + toc[i].frame);
    }
    const long long total = toc.size() < 2 ? 0 : seconds(toc.back()) - seconds(toc.front());
    const std::string command = "?cmd=cddb+query+" + hex8(discId) + "+" + std::to_string(tracks) +
                                "+" + offsets + "+" + std::to_string(total) + "&" + helloString() +
                                " HTTP/1.0\r\n";
    if (m_proxyHost.empty())
        return "GET " + server.scriptPath + command + "\r\n";
    return "GET http://" + server.host + server.scriptPath + command + proxyHeaderBlock(server) +
           "\r\n\r\n";
}

std::string CddbClient::readRequest(const CddbServer& server, std::uint32_t discId,
                                    const std::string& category) {
    const std::string command =
        "?cmd=cddb+read+" + category + "+" + hex8(discId) + "&" + helloString() + " HTTP/1.0\r\n";
    if (m_proxyHost.empty())
        return "GET " + server.scriptPath + command + "\r\n";
    return "GET http://" + server.host + server.scriptPath + command + proxyHeaderBlock(server) +
           "\r\n\r\n";
}

std::string CddbClient::sitesRequest(const CddbServer& server) {
    const std::string command = "?cmd=sites&" + helloString() + " HTTP/1.0\r\n";
    if (m_proxyHost.empty())
        return "GET " + server.scriptPath + command + "\r\n";
    return "GET http://" + server.host + server.scriptPath + command + proxyHeaderBlock(server) +
           "\r\n\r\n";
}

bool CddbClient::exchange(const CddbServer& server, const std::string& request, std::string& answer,
                          bool queryMode) {
    if (!safeForRequest(server.host) || !safeForRequest(server.scriptPath))
        return invalidArgument();
    CddbSocket socket;
    socket.setConnectTimeout(m_connectTimeoutMs);
    const bool viaProxy = !m_proxyHost.empty();
    if (!socket.create() ||
        !socket.connect(viaProxy ? m_proxyHost : server.host, viaProxy ? m_proxyPort : server.port))
        return false;
    if (!socket.send(request.data(), request.size()))
        return false;
    return receiveAnswer(socket, answer, kEndMarker, kGrowStep, queryMode);
}

bool CddbClient::receiveAnswer(CddbSocket& socket, std::string& answer, std::string_view endMarker,
                               std::size_t growStep, bool queryMode) {
    answer.clear();
    if (growStep == 0)
        growStep = kGrowStep;
    std::vector<char> buffer;
    std::size_t length = 0;
    std::size_t bodyStart = std::string_view::npos;
    auto lastData = Clock::now();
    const auto timeout = std::chrono::milliseconds(std::max(0, m_receiveTimeoutMs));

    // A single-line query answer (200, 202, errors) ends without the end marker.
    const auto singleLineDone = [&](bool needLineEnd) {
        if (!queryMode || bodyStart == std::string_view::npos)
            return false;
        const std::string_view body(buffer.data() + bodyStart, length - bodyStart);
        const int status = statusCode(body);
        if (status < 0 || (status >= 210 && status <= 219))
            return false;
        return !needLineEnd || body.find('\n') != std::string_view::npos;
    };

    for (;;) {
        const auto silent = Clock::now() - lastData;
        if (silent > timeout) {
            CddbSocket::setLastError(kCddbTimedOut);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timeout - silent);
        bool ready = false;
        if (!socket.readable(ready,
                             static_cast<int>(std::clamp<long long>(left.count() + 1, 1, 250))))
            return false;
        if (!ready)
            continue;

        if (length + 1 >= buffer.size()) {
            if (buffer.size() >= kMaxAnswerSize)
                return protocolError();
            buffer.resize(buffer.size() + growStep);
        }
        const long got = socket.receive(buffer.data() + length, buffer.size() - length - 1);
        if (got < 0)
            return false;
        if (got == 0) {
            // The server has closed the connection: nothing more can arrive.
            if (singleLineDone(false)) {
                answer.assign(buffer.data(), length);
                return true;
            }
            CddbSocket::setLastError(kCddbTimedOut);
            return false;
        }
        const std::size_t before = length;
        length += static_cast<std::size_t>(got);
        lastData = Clock::now();

        const std::string_view text(buffer.data(), length);
        if (bodyStart == std::string_view::npos) {
            const std::size_t blank = text.find("\r\n\r\n", before < 3 ? 0 : before - 3);
            if (blank != std::string_view::npos)
                bodyStart = blank + 4;
        }
        if (singleLineDone(true)) {
            answer.assign(text);
            return true;
        }
        const std::size_t from = before < endMarker.size() ? 0 : before - endMarker.size() + 1;
        const std::size_t marker = text.find(endMarker, from);
        if (marker != std::string_view::npos) {
            answer.assign(text.substr(0, marker));
            return true;
        }
    }
}

bool CddbClient::parseQueryAnswer(std::string_view answer, std::vector<CddbMatch>& matches) {
    matches.clear();
    std::string_view body;
    if (!answerBody(answer, body))
        return protocolError();
    const int status = statusCode(body);
    if (status == 200) {
        std::string_view line;
        splitLine(body, line);
        CddbMatch match;
        if (line.size() <= 5 || !parseMatchLine(line.substr(4), match))
            return protocolError();
        matches.push_back(std::move(match));
        return true;
    }
    if (status == 202)
        return true;
    if (status < 210 || status > 219)
        return protocolError();
    cld::LineReader reader(body);
    std::string_view line;
    reader.next(line);
    while (reader.next(line)) {
        CddbMatch match;
        if (parseMatchLine(line, match))
            matches.push_back(std::move(match));
    }
    return matches.empty() ? protocolError() : true;
}

bool CddbClient::parseReadAnswer(std::string_view answer, std::uint32_t discId, XmcdEntry& entry) {
    entry = XmcdEntry();
    std::string_view body;
    if (!answerBody(answer, body))
        return protocolError();
    const int status = statusCode(body);
    if (status < 210 || status > 219 || !parseXmcd(body, entry)) {
        entry = XmcdEntry();
        return protocolError();
    }
    if (entry.discId != discId)
        entry.discId = discId;
    return true;
}

bool CddbClient::parseSitesAnswer(std::string_view answer, std::vector<CddbServer>& servers) {
    servers.clear();
    std::string_view body;
    if (!answerBody(answer, body))
        return protocolError();
    const int status = statusCode(body);
    if (status < 210 || status > 219)
        return protocolError();
    cld::LineReader reader(body);
    std::string_view line;
    reader.next(line);
    while (reader.next(line)) {
        CddbServer server;
        if (parseServerLine(line, server))
            servers.push_back(std::move(server));
    }
    return true;
}

int CddbClient::lastError() {
    return CddbSocket::lastError();
}

bool CddbClient::query(const CddbServer& server, std::uint32_t discId,
                       const std::vector<MsfTime>& toc, std::vector<CddbMatch>& matches) {
    matches.clear();
    if (toc.size() < 2)
        return invalidArgument();
    std::string answer;
    if (!exchange(server, queryRequest(server, discId, toc), answer, true))
        return false;
    return parseQueryAnswer(answer, matches);
}

bool CddbClient::read(const CddbServer& server, std::uint32_t discId, const std::string& category,
                      XmcdEntry& entry) {
    if (!plainCategory(category))
        return invalidArgument();
    std::string answer;
    if (!exchange(server, readRequest(server, discId, category), answer, false))
        return false;
    return parseReadAnswer(answer, discId, entry);
}

bool CddbClient::sites(const CddbServer& server, std::vector<CddbServer>& servers) {
    servers.clear();
    std::string answer;
    if (!exchange(server, sitesRequest(server), answer, false))
        return false;
    return parseSitesAnswer(answer, servers);
}

bool CddbClient::sitesAt(const std::string& host, const std::string& scriptPath, int port,
                         std::vector<CddbServer>& servers) {
    CddbServer server;
    server.host = host;
    server.scriptPath = scriptPath;
    server.port = port;
    return sites(server, servers);
}
