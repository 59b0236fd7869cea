#include "CddbClient.h"

#include "Base64.h"
#include "CddbParse.h"
#include "CddbSocket.h"
#include "ProductIdentity.h"
#include "TextUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

// A level-6 answer as UTF-8: lines that already are pass unchanged, any other line is
// taken as ISO-8859-1.
std::string utf8ByLine(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    while (!body.empty()) {
        const size_t end = body.find('\n');
        const std::string_view line =
            end == std::string_view::npos ? body : body.substr(0, end + 1);
        if (cld::isValidUtf8(line))
            out.append(line);
        else
            out += cld::latin1ToUtf8(line);
        body.remove_prefix(line.size());
    }
    return out;
}

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

// Percent-encoding for one part of the hello: "+" separates the parts, so it and
// everything else outside a small safe set is written %XX.
std::string encodeIdentity(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (keep) {
            out += c;
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 0x0F];
        }
    }
    return out;
}

// The product name's first word ("Calderine") is the client name servers see.
std::string clientNameFromIdentity() {
    const std::string_view product = cld::identity::kProduct;
    return std::string(product.substr(0, product.find(' ')));
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

bool fail(int code, std::string_view detail = {}) {
    CddbSocket::setLastError(code, cld::displayLine(detail));
    return false;
}

std::string_view firstLine(std::string_view text) {
    const std::size_t end = text.find_first_of("\r\n");
    return end == std::string_view::npos ? text : text.substr(0, end);
}

// The first empty line at or after `from`, its lines ended by CR LF or by a lone LF (as
// some servers and proxies send them): `headerEnd` is where the line before it ends,
// `bodyStart` where the text after it begins.
bool findBlankLine(std::string_view text, std::size_t from, std::size_t& headerEnd,
                   std::size_t& bodyStart) {
    for (std::size_t lf = text.find('\n', from); lf != std::string_view::npos;
         lf = text.find('\n', lf + 1)) {
        std::size_t next = lf + 1;
        if (next < text.size() && text[next] == '\r')
            ++next;
        if (next < text.size() && text[next] == '\n') {
            headerEnd = lf > 0 && text[lf - 1] == '\r' ? lf - 1 : lf;
            bodyStart = next + 1;
            return true;
        }
    }
    return false;
}

// Where the end marker (a line holding one ".") begins, searching from `from`; the line
// ends may be CR LF or lone LFs. npos when it has not come yet.
std::size_t findEndMarker(std::string_view text, std::size_t from) {
    for (std::size_t lf = text.find('\n', from); lf != std::string_view::npos;
         lf = text.find('\n', lf + 1)) {
        std::size_t next = lf + 1;
        if (next >= text.size() || text[next] != '.')
            continue;
        ++next;
        if (next < text.size() && text[next] == '\r')
            ++next;
        if (next < text.size() && text[next] == '\n')
            return lf > 0 && text[lf - 1] == '\r' ? lf - 1 : lf;
    }
    return std::string_view::npos;
}

// The answer's body: the text after the HTTP header's blank line.
bool answerBody(std::string_view answer, std::string_view& body) {
    std::size_t headerEnd = 0, bodyStart = 0;
    if (!findBlankLine(answer, 0, headerEnd, bodyStart))
        return false;
    body = answer.substr(bodyStart);
    return true;
}

// The texts of a read entry as UTF-8, each field decoded whole, after its continuation
// lines were joined: servers cut long fields by bytes, through the middle of a
// character as often as not. Below level 6 entries are ISO-8859-1.
void decodeEntry(XmcdEntry& entry, int level) {
    const auto decode = [level](std::string& text) {
        text = level >= 6 ? cld::utf8OrLatin1(text) : cld::latin1ToUtf8(text);
    };
    for (std::string* text : {&entry.submitProgram, &entry.submitVersion, &entry.submitComment,
                              &entry.artist, &entry.title, &entry.genre})
        decode(*text);
    for (auto* list : {&entry.trackTitles, &entry.extendedDiscData, &entry.extendedTrackData})
        for (std::string& text : *list)
            decode(text);
}

bool noHeader() {
    return fail(kCddbProtocolError, "The answer has no HTTP header.");
}

// A CDDB status the command does not expect: 401 no such entry, another 4xx or 5xx a
// refusal the server explains in its line, anything else a malformed answer.
bool refused(std::string_view body) {
    const int status = statusCode(body);
    const std::string_view line = firstLine(body);
    if (status == 401)
        return fail(kCddbNoSuchEntry, line);
    if (status >= 400 && status <= 599)
        return fail(kCddbServerError, line);
    return fail(kCddbProtocolError, line.empty() ? std::string_view("The answer is empty.") : line);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The parts of an HTTP answer header the client looks at.
struct HttpHead {
    bool present = false; // false for an answer without a status line of its own
    int status = 200;
    std::string statusLine;
    std::string location;
};

// False when the status line is there but has no three-digit status.
bool parseHead(std::string_view header, HttpHead& head) {
    cld::LineReader reader(header);
    std::string_view line;
    reader.next(line);
    if (!line.starts_with("HTTP/"))
        return true;
    head.present = true;
    head.statusLine = std::string(line);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return false;
    head.status = statusCode(line.substr(space + 1));
    if (head.status < 100)
        return false;
    while (reader.next(line)) {
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsNoCase(line.substr(0, colon), "location"))
            head.location = std::string(cld::trimmed(line.substr(colon + 1)));
    }
    return true;
}

// Where a redirect points, when it is an http address (absolute or a path on the same
// server). The query part is dropped: the command is built again for the new address.
bool redirectTarget(std::string_view location, CddbServer& target) {
    if (location.starts_with("/")) {
        target.scriptPath = std::string(location.substr(0, location.find('?')));
        return true;
    }
    constexpr std::string_view scheme = "http://";
    if (location.size() <= scheme.size() || !equalsNoCase(location.substr(0, 7), scheme))
        return false;
    std::string_view rest = location.substr(scheme.size());
    const std::size_t slash = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, slash);
    std::string path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    path = path.substr(0, path.find('?'));
    if (path.empty())
        path = "/";
    std::string_view host = authority;
    int port = 80;
    if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        port = static_cast<int>(cld::leadingDecimal(digits));
        if (port < 1 || port > 65535)
            return false;
    }
    if (host.empty() || host.find('@') != std::string_view::npos)
        return false;
    target.host = std::string(host);
    target.port = port;
    target.scriptPath = path;
    return true;
}

} // namespace

CddbClient::CddbClient()
    : m_clientName(clientNameFromIdentity()), m_clientVersion(kCddbClientVersion) {}

std::string CddbClient::effectiveEmail() const {
    if (const char* fromEnvironment = std::getenv(kCddbEmailVariable);
        fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    return m_email;
}

bool CddbClient::validEmail(std::string_view email) {
    const std::size_t at = email.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 >= email.size() ||
        email.find('@', at + 1) != std::string_view::npos || email.size() > 254)
        return false;
    for (char c : email) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

std::string CddbClient::helloString() {
    std::string user, host;
    const std::string email = effectiveEmail();
    if (!email.empty()) {
        const std::size_t at = email.find('@');
        user = encodeIdentity(email.substr(0, at));
        host = encodeIdentity(at == std::string::npos ? std::string() : email.substr(at + 1));
    } else {
        user = cleanIdentity(userName());
        host = cleanIdentity(hostName());
    }
    return "hello=" + user + "+" + host + "+" + m_clientName + "+" + m_clientVersion +
           "&proto=" + std::to_string(m_protocolLevel);
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

void CddbClient::setProtocolLevel(int level) {
    m_protocolLevel = std::clamp(level, 1, kMaxProtocolLevel);
}

std::string CddbClient::proxyHeaderBlock(const std::string& hostHeader) const {
    if (m_proxyUser.empty())
        return "Host: " + hostHeader;
    return "Proxy-Authorization: Basic " + cld::base64Encode(m_proxyUser + ":" + m_proxyPassword) +
           "\r\nHost: " + hostHeader;
}

std::string CddbClient::request(const CddbServer& server, const std::string& command) const {
    // Name-based virtual hosts route by the Host header; the port goes with it (and with
    // the absolute address through a proxy) unless it is the default one.
    const std::string hostHeader =
        server.port == 80 ? server.host : server.host + ":" + std::to_string(server.port);
    if (m_proxyHost.empty())
        return "GET " + server.scriptPath + "?" + command + " HTTP/1.0\r\nHost: " + hostHeader +
               "\r\n\r\n";
    return "GET http://" + hostHeader + server.scriptPath + "?" + command + " HTTP/1.0\r\n" +
           proxyHeaderBlock(hostHeader) + "\r\n\r\n";
}

std::string CddbClient::queryCommand(std::uint32_t discId, const std::vector<MsfTime>& toc) {
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
    return "cmd=cddb+query+" + hex8(discId) + "+" + std::to_string(tracks) + "+" + offsets + "+" +
           std::to_string(total) + "&" + helloString();
}

std::string CddbClient::readCommand(std::uint32_t discId, const std::string& category) {
    return "cmd=cddb+read+" + category + "+" + hex8(discId) + "&" + helloString();
}

std::string CddbClient::sitesCommand() {
    return "cmd=sites&" + helloString();
}

std::string CddbClient::queryRequest(const CddbServer& server, std::uint32_t discId,
                                     const std::vector<MsfTime>& toc) {
    return request(server, queryCommand(discId, toc));
}

std::string CddbClient::readRequest(const CddbServer& server, std::uint32_t discId,
                                    const std::string& category) {
    return request(server, readCommand(discId, category));
}

std::string CddbClient::sitesRequest(const CddbServer& server) {
    return request(server, sitesCommand());
}

bool CddbClient::exchange(const CddbServer& server, const std::string& request, std::string& answer,
                          bool queryMode) {
    CddbSocket socket;
    socket.setConnectTimeout(m_connectTimeoutMs);
    socket.setCancel(&m_cancel);
    socket.setDeadline(m_deadline);
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
    bool httpFailure = false;
    auto lastData = Clock::now();
    const auto timeout = std::chrono::milliseconds(std::max(0, m_receiveTimeoutMs));

    // A single-line answer (200, 202, refusals) ends without the end marker.
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
                return fail(kCddbAnswerTooLarge,
                            "More than " + std::to_string(kMaxAnswerSize) + " bytes.");
            buffer.resize(buffer.size() + growStep);
        }
        const long got = socket.receive(buffer.data() + length, buffer.size() - length - 1);
        if (got < 0)
            return false;
        if (got == 0) {
            // The server has closed the connection: nothing more can arrive.
            if (singleLineDone(false) || httpFailure) {
                answer.assign(buffer.data(), length);
                return true;
            }
            return fail(kCddbProtocolError,
                        length == 0 ? "The server closed the connection without answering."
                                    : "The server closed the connection before the end of its "
                                      "answer.");
        }
        const std::size_t before = length;
        length += static_cast<std::size_t>(got);
        lastData = Clock::now();

        const std::string_view text(buffer.data(), length);
        if (bodyStart == std::string_view::npos) {
            std::size_t blank = 0, start = 0;
            if (findBlankLine(text, before < 3 ? 0 : before - 3, blank, start)) {
                bodyStart = start;
                // An HTTP error or redirect is judged by its header alone.
                HttpHead head;
                httpFailure =
                    text.starts_with("HTTP/") && (!parseHead(text.substr(0, blank), head) ||
                                                  head.status < 200 || head.status > 299);
                if (httpFailure) {
                    answer.assign(text);
                    return true;
                }
            }
        }
        if (singleLineDone(true)) {
            answer.assign(text);
            return true;
        }
        // The usual marker is matched whatever line ends the server uses; another one as
        // it stands.
        const std::size_t marker =
            endMarker == kEndMarker
                ? findEndMarker(text, before < 4 ? 0 : before - 4)
                : text.find(endMarker,
                            before < endMarker.size() ? 0 : before - endMarker.size() + 1);
        if (marker != std::string_view::npos) {
            answer.assign(text.substr(0, marker));
            return true;
        }
    }
}

bool CddbClient::runCommand(const CddbServer& server, const std::function<std::string()>& command,
                            std::string& answer, bool rawBody, int* levelUsed) {
    CddbSocket::setLastError(0);
    answer.clear();
    if (m_cancel.isCancelled())
        return fail(kCddbCancelled);
    const std::string email = effectiveEmail();
    if (!email.empty() && !validEmail(email))
        return fail(kCddbBadArgument, "E-mail address: " + email);
    m_deadline = m_commandDeadlineMs > 0
                     ? Clock::now() + std::chrono::milliseconds(m_commandDeadlineMs)
                     : Clock::time_point::max();
    CddbServer target = server;
    bool redirected = false;
    bool fellBack = false;
    for (;;) {
        // A name that could break the request line can be no host's name.
        if (!safeForRequest(target.host))
            return fail(kCddbHostNotFound, target.host);
        if (!safeForRequest(target.scriptPath) || target.scriptPath.front() != '/')
            return fail(kCddbBadArgument, "Path: " + target.scriptPath);
        const int level = m_protocolLevel;
        std::string raw;
        if (!exchange(target, request(target, command()), raw, true))
            return false;
        std::size_t blank = 0, bodyStart = 0;
        if (!findBlankLine(raw, 0, blank, bodyStart))
            return noHeader();
        HttpHead head;
        if (!parseHead(std::string_view(raw).substr(0, blank), head))
            return fail(kCddbProtocolError, head.statusLine);
        if (head.status == 301 || head.status == 302 || head.status == 307) {
            if (redirected)
                return fail(kCddbHttpError,
                            head.statusLine + " (a second redirect is not followed)");
            if (!redirectTarget(head.location, target))
                return fail(kCddbHttpError, head.statusLine + " to " + head.location);
            redirected = true;
            continue;
        }
        if (head.status == 407)
            return fail(kCddbProxyAuthRequired, head.statusLine);
        if (head.status < 200 || head.status > 299)
            return fail(kCddbHttpError, head.statusLine);

        // Text is UTF-8 from here on: level 6 answers are, older levels are ISO-8859-1.
        // Entries typed on old clients mix the two, so at level 6 each line that is not
        // valid UTF-8 is read as Latin-1 on its own, leaving the good lines untouched. A
        // read answer stays as sent: its fields are decoded once their lines are joined.
        const std::string_view body = std::string_view(raw).substr(bodyStart);
        if (levelUsed)
            *levelUsed = level;
        if (rawBody)
            answer = raw;
        else
            answer = raw.substr(0, bodyStart) +
                     (level >= 6 ? utf8ByLine(body) : cld::latin1ToUtf8(body));

        if (statusCode(body) == 501 && !fellBack && level > 1) {
            fellBack = true;
            if (!negotiateLevel(target, std::string(firstLine(body))))
                return false;
            continue;
        }
        return true;
    }
}

bool CddbClient::negotiateLevel(const CddbServer& server, const std::string& refusal) {
    // The proto command itself is sent at level 1, which every server accepts.
    const int wanted = m_protocolLevel;
    m_protocolLevel = 1;
    std::string raw;
    const bool sent = exchange(server, request(server, "cmd=proto&" + helloString()), raw, true);
    m_protocolLevel = wanted;
    if (!sent)
        return false;
    std::string_view body;
    if (!answerBody(raw, body))
        return noHeader();
    // "200 CDDB protocol level: current 1, supported 5"
    const int status = statusCode(body);
    const std::string_view line = firstLine(body);
    const std::size_t supported = line.find("supported");
    if ((status != 200 && status != 201) || supported == std::string_view::npos)
        return fail(kCddbServerError, refusal);
    std::string_view number = line.substr(supported + 9);
    while (!number.empty() && (number.front() == ' ' || number.front() == ':'))
        number.remove_prefix(1);
    const auto level = static_cast<int>(std::min<std::uint32_t>(cld::leadingDecimal(number), 99));
    if (level < 1 || level >= wanted)
        return fail(kCddbServerError, refusal);
    m_protocolLevel = level;
    return true;
}

bool CddbClient::parseQueryAnswer(std::string_view answer, std::vector<CddbMatch>& matches) {
    matches.clear();
    std::string_view body;
    if (!answerBody(answer, body))
        return noHeader();
    const int status = statusCode(body);
    if (status == 200) {
        std::string_view line;
        splitLine(body, line);
        CddbMatch match;
        if (line.size() <= 5 || !parseMatchLine(line.substr(4), match))
            return fail(kCddbProtocolError, line);
        matches.push_back(std::move(match));
        return true;
    }
    if (status == 202)
        return true;
    if (status < 210 || status > 219)
        return refused(body);
    cld::LineReader reader(body);
    std::string_view line;
    reader.next(line);
    while (reader.next(line)) {
        CddbMatch match;
        if (parseMatchLine(line, match))
            matches.push_back(std::move(match));
    }
    return matches.empty() ? fail(kCddbProtocolError, "No match line could be read.") : true;
}

bool CddbClient::parseReadAnswer(std::string_view answer, std::uint32_t discId, XmcdEntry& entry) {
    entry = XmcdEntry();
    std::string_view body;
    if (!answerBody(answer, body))
        return noHeader();
    const int status = statusCode(body);
    if (status < 210 || status > 219)
        return refused(body);
    if (!parseXmcd(body, entry)) {
        entry = XmcdEntry();
        return fail(kCddbProtocolError, "The entry is not a valid xmcd entry.");
    }
    if (entry.discId != discId)
        entry.discId = discId;
    return true;
}

bool CddbClient::parseSitesAnswer(std::string_view answer, std::vector<CddbServer>& servers) {
    servers.clear();
    std::string_view body;
    if (!answerBody(answer, body))
        return noHeader();
    const int status = statusCode(body);
    if (status < 210 || status > 219)
        return refused(body);
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

std::string CddbClient::lastErrorDetail() {
    return cddbLastErrorDetail();
}

std::string CddbClient::lastErrorMessage() {
    const std::string& detail = cddbLastErrorDetail();
    const std::string text = cddbErrorText(lastError());
    return detail.empty() ? text : text + "\n" + detail;
}

bool CddbClient::query(const CddbServer& server, std::uint32_t discId,
                       const std::vector<MsfTime>& toc, std::vector<CddbMatch>& matches) {
    matches.clear();
    if (toc.size() < 2)
        return fail(kCddbBadArgument, "The disc has no tracks.");
    std::string answer;
    if (!runCommand(
            server, [&] { return queryCommand(discId, toc); }, answer))
        return false;
    return parseQueryAnswer(answer, matches);
}

bool CddbClient::read(const CddbServer& server, std::uint32_t discId, const std::string& category,
                      XmcdEntry& entry) {
    entry = XmcdEntry();
    if (!plainCategory(category))
        return fail(kCddbBadArgument, "Category: " + category);
    std::string answer;
    int level = m_protocolLevel;
    if (!runCommand(
            server, [&] { return readCommand(discId, category); }, answer, true, &level))
        return false;
    if (!parseReadAnswer(answer, discId, entry))
        return false;
    decodeEntry(entry, level);
    return true;
}

bool CddbClient::sites(const CddbServer& server, std::vector<CddbServer>& servers) {
    servers.clear();
    std::string answer;
    if (!runCommand(
            server, [&] { return sitesCommand(); }, answer))
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
