#pragma once

#include "CddbCancel.h"
#include "MbDiscId.h"
#include "MbHttp.h"
#include "MbParse.h"

#include <chrono>
#include <string>
#include <vector>

namespace cld::mb {

// The public servers the program asks when the user has chosen none.
inline constexpr const char* kDefaultMusicBrainzServer = "musicbrainz.org";
inline constexpr const char* kDefaultCoverArtServer = "coverartarchive.org";
// Who the services may write to about the program's traffic.
inline constexpr const char* kDefaultContact = "https://www.quorvane.com/calderine/";

// How a look-up ended, as the grabber's one-line status tells it.
enum class LookupStatus {
    Found,       // one or more releases
    Unknown,     // the service does not know the disc (404, or no release)
    Unavailable, // 503 or 429: the service is busy (retryAfterSeconds says for how long)
    Offline,     // no connection to the server
    TimedOut,    // the server was too slow for the network deadline
    Malformed,   // the answer could not be read
    Failed,      // another HTTP error
    Cancelled,
};

// The MusicBrainz web service (version 2, JSON) and the Cover Art Archive, over https
// (certificates verified against the system's CA store) or plain HTTP for an http server.
// Requests to each service keep one second apart across the whole program, as both
// services ask; every command ends by its network deadline, and cancel() from another
// thread ends a running one at once. No user interface here; never throws.
class MusicBrainzClient {
public:
    MusicBrainzClient();
    MusicBrainzClient(const MusicBrainzClient&) = delete;
    MusicBrainzClient& operator=(const MusicBrainzClient&) = delete;

    // "host" (https), "host:port" (plain HTTP; https on port 443), or an http or https
    // address (its path is ignored); empty means the default. False (and the old server
    // kept) when the text cannot be such a server.
    bool setServer(const std::string& text);
    bool setCoverServer(const std::string& text);
    const HttpUrl& server() const { return m_server; }
    const HttpUrl& coverServer() const { return m_coverServer; }
    // An e-mail address or web address for the User-Agent; empty means the program's own.
    void setContact(const std::string& contact);
    // "Calderine/4.05 ( contact )".
    const std::string& userAgent() const { return m_userAgent; }
    // The longest one command (rate wait, connect, redirects, answer) may take.
    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }
    std::chrono::milliseconds deadline() const { return m_deadline; }
    void setReceiveTimeout(int ms) { m_receiveTimeoutMs = ms; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    // Both services through this HTTP proxy; an empty host means none.
    void setProxy(const std::string& host, int port) {
        m_proxyHost = host;
        m_proxyPort = port;
    }
    // A PEM file of certificates to trust instead of the system's CA store; empty means
    // the system's. For tests against a loopback server with its own authority.
    void setTrustFile(const std::string& path) { m_trustFile = path; }

    // The releases of the disc: by its disc id, with the table of contents so that the
    // service can also name discs it only knows by their track lengths.
    LookupStatus lookup(const MbToc& toc, std::vector<MbRelease>& releases);
    // The request path lookup() sends.
    static std::string lookupPath(const std::string& discId, const MbToc& toc);

    // The front cover's 500-pixel thumbnail of a release. False when there is none (404),
    // it is no picture, or it could not be fetched; a missing cover is not a fault.
    bool fetchCover(const std::string& releaseId, std::string& image);
    static std::string coverPath(const std::string& releaseId);

    // Safe from any thread; the running command and all later ones end with Cancelled
    // until resetCancel().
    void cancel() { m_cancel.cancel(); }
    void resetCancel() { m_cancel.reset(); }

    // What the last command met: the status line of the answer, seconds the server asked
    // to wait (-1 when it did not), and the parser's or client's explanation.
    const std::string& lastDetail() const { return m_lastDetail; }
    int retryAfterSeconds() const { return m_retryAfter; }
    const std::string& discId() const { return m_discId; }

    // The gates that keep each service's requests a second apart (tests shorten them).
    static RateGate& musicBrainzGate();
    static RateGate& coverGate();

private:
    HttpAnswer get(const HttpUrl& server, const std::string& path, const std::string& accept,
                   std::size_t maxBody, RateGate& gate);

    HttpUrl m_server;
    HttpUrl m_coverServer;
    std::string m_userAgent;
    std::chrono::milliseconds m_deadline{20000};
    int m_receiveTimeoutMs = 10000;
    int m_connectTimeoutMs = 10000;
    std::string m_proxyHost;
    int m_proxyPort = 8080;
    std::string m_trustFile;
    CddbCancel m_cancel;
    std::string m_lastDetail;
    int m_retryAfter = -1;
    std::string m_discId;
};

} // namespace cld::mb
