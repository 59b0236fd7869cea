#include "MusicBrainzClient.h"

#include "ProductIdentity.h"

#include <algorithm>
#include <cctype>

namespace cld::mb {

namespace {

using Clock = std::chrono::steady_clock;

// A release id is a UUID: only hex digits and dashes go into the address.
bool plainId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) || c == '-';
    });
}

// A bare host name without a port ("musicbrainz.org", as the settings keep the public
// servers) means https; "host:port" alone stays plain HTTP, as a local mirror is typed.
bool serverFrom(const std::string& text, const char* fallback, HttpUrl& url) {
    HttpUrl parsed;
    const std::string address = text.empty() ? std::string(fallback) : text;
    if (!parseHttpUrl(address, parsed))
        return false;
    const bool bare = address.find("://") == std::string::npos;
    if (bare && (address.find(':') == std::string::npos || parsed.port == 443)) {
        parsed.tls = true;
        if (address.find(':') == std::string::npos)
            parsed.port = 443;
    }
    parsed.path = "/";
    url = parsed;
    return true;
}

} // namespace

MusicBrainzClient::MusicBrainzClient() {
    serverFrom({}, kDefaultMusicBrainzServer, m_server);
    serverFrom({}, kDefaultCoverArtServer, m_coverServer);
    setContact({});
}

bool MusicBrainzClient::setServer(const std::string& text) {
    return serverFrom(text, kDefaultMusicBrainzServer, m_server);
}

bool MusicBrainzClient::setCoverServer(const std::string& text) {
    return serverFrom(text, kDefaultCoverArtServer, m_coverServer);
}

void MusicBrainzClient::setContact(const std::string& contact) {
    std::string clean;
    for (char c : contact)
        if (static_cast<unsigned char>(c) > 0x20 && c != 0x7f && c != '(' && c != ')')
            clean += c;
    if (clean.empty())
        clean = kDefaultContact;
    m_userAgent = std::string("Calderine/") + identity::kVersion + " ( " + clean + " )";
}

RateGate& MusicBrainzClient::musicBrainzGate() {
    static RateGate gate(std::chrono::milliseconds(1000));
    return gate;
}

RateGate& MusicBrainzClient::coverGate() {
    static RateGate gate(std::chrono::milliseconds(1000));
    return gate;
}

std::string MusicBrainzClient::lookupPath(const std::string& discId, const MbToc& toc) {
    return "/ws/2/discid/" + discId + "?toc=" + tocParameter(toc) +
           "&inc=artist-credits+recordings+release-groups+genres+tags&fmt=json";
}

std::string MusicBrainzClient::coverPath(const std::string& releaseId) {
    return "/release/" + releaseId + "/front-500";
}

HttpAnswer MusicBrainzClient::get(const HttpUrl& server, const std::string& path,
                                  const std::string& accept, std::size_t maxBody, RateGate& gate) {
    m_lastDetail.clear();
    m_retryAfter = -1;
    const Clock::time_point deadline = Clock::now() + m_deadline;
    if (!gate.waitTurn(&m_cancel, deadline)) {
        HttpAnswer answer;
        answer.outcome = m_cancel.isCancelled() ? HttpOutcome::Cancelled : HttpOutcome::TimedOut;
        return answer;
    }
    HttpRequest request;
    request.url = server;
    request.url.path = path;
    request.userAgent = m_userAgent;
    request.accept = accept;
    request.maxBody = maxBody;
    request.connectTimeoutMs = m_connectTimeoutMs;
    request.receiveTimeoutMs = m_receiveTimeoutMs;
    request.deadline = deadline;
    request.cancel = &m_cancel;
    request.proxyHost = m_proxyHost;
    request.proxyPort = m_proxyPort;
    request.trustFile = m_trustFile;
    HttpAnswer answer = httpGet(request);
    m_lastDetail = answer.statusLine;
    m_retryAfter = answer.retryAfterSeconds;
    return answer;
}

LookupStatus MusicBrainzClient::lookup(const MbToc& toc, std::vector<MbRelease>& releases) {
    releases.clear();
    m_discId = musicBrainzDiscId(toc);
    if (m_discId.empty()) {
        m_lastDetail = "The disc's table of contents is not valid.";
        return LookupStatus::Failed;
    }
    const HttpAnswer answer = get(m_server, lookupPath(m_discId, toc), "application/json",
                                  4 * 1024 * 1024, musicBrainzGate());
    switch (answer.outcome) {
    case HttpOutcome::Ok:
        break;
    case HttpOutcome::NotFound:
        return LookupStatus::Unknown;
    case HttpOutcome::Unavailable:
        return LookupStatus::Unavailable;
    case HttpOutcome::Offline:
        return LookupStatus::Offline;
    case HttpOutcome::TimedOut:
        return LookupStatus::TimedOut;
    case HttpOutcome::Cancelled:
        return LookupStatus::Cancelled;
    case HttpOutcome::Malformed:
    case HttpOutcome::TooLarge:
        return LookupStatus::Malformed;
    case HttpOutcome::HttpError:
    case HttpOutcome::Insecure:
        return LookupStatus::Failed;
    }
    std::string error;
    if (!parseDiscAnswer(answer.body, m_discId, toc.lastTrack - toc.firstTrack + 1, releases,
                         error)) {
        m_lastDetail = error;
        return LookupStatus::Malformed;
    }
    return releases.empty() ? LookupStatus::Unknown : LookupStatus::Found;
}

bool MusicBrainzClient::fetchCover(const std::string& releaseId, std::string& image) {
    image.clear();
    if (!plainId(releaseId))
        return false;
    HttpAnswer answer =
        get(m_coverServer, coverPath(releaseId), "image/*", 8 * 1024 * 1024, coverGate());
    if (answer.outcome != HttpOutcome::Ok || !isCoverImage(answer.body))
        return false;
    image = std::move(answer.body);
    return true;
}

} // namespace cld::mb
