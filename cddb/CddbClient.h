#pragma once

#include "CddbMatch.h"
#include "CddbServer.h"
#include "MsfTime.h"
#include "XmcdEntry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CddbSocket;

// The default public CDDB server the program asks when the user has chosen none.
inline constexpr const char* kDefaultCddbHost = "gnudb.gnudb.org";

// CDDB over HTTP/1.0: the query, read and sites commands. Each command opens its own
// connection, sends one GET request, reads the answer and closes the connection. Every
// command returns false on failure and leaves the reason in lastError(): 10022 (host not
// found), 10060 (time-out), 10043 (malformed answer) or the system's errno.
class CddbClient {
public:
    static constexpr int kDefaultReceiveTimeoutMs = 2000;
    // No real answer comes near this; anything longer is treated as malformed.
    static constexpr std::size_t kMaxAnswerSize = 4 * 1024 * 1024;
    static constexpr const char* kEndMarker = "\r\n.\r\n";
    static constexpr std::size_t kGrowStep = 4096;

    CddbClient() = default;
    virtual ~CddbClient() = default;
    CddbClient(const CddbClient&) = delete;
    CddbClient& operator=(const CddbClient&) = delete;

    // Identity sent with every command: "hello=user+host+client+version&proto=level".
    virtual std::string helloString();
    // The user's login name, every character other than a letter or digit made "_";
    // "Unknown" when it cannot be read.
    virtual std::string userName();
    // The machine's host name, cleaned the same way; "Unknown" when it cannot be read.
    virtual std::string hostName();
    // Reads an answer until `endMarker` (which is cut off), a silence longer than the
    // receive time-out, or, in query mode, a complete single-line answer.
    virtual bool receiveAnswer(CddbSocket& socket, std::string& answer, std::string_view endMarker,
                               std::size_t growStep, bool queryMode);

    // An empty host means no proxy. With a user name, requests carry Basic authorisation.
    void setProxy(const std::string& host, int port, const std::string& user,
                  const std::string& password);

    // `toc`: one entry per track, then the lead-out. `matches` is emptied first.
    bool query(const CddbServer& server, std::uint32_t discId, const std::vector<MsfTime>& toc,
               std::vector<CddbMatch>& matches);
    bool read(const CddbServer& server, std::uint32_t discId, const std::string& category,
              XmcdEntry& entry);
    // `servers` is emptied first.
    bool sites(const CddbServer& server, std::vector<CddbServer>& servers);
    bool sitesAt(const std::string& host, const std::string& scriptPath, int port,
                 std::vector<CddbServer>& servers);

    // The request lines each command sends (exposed so they can be checked on their own).
    std::string queryRequest(const CddbServer& server, std::uint32_t discId,
                             const std::vector<MsfTime>& toc);
    std::string readRequest(const CddbServer& server, std::uint32_t discId,
                            const std::string& category);
    std::string sitesRequest(const CddbServer& server);

    // Interpretation of a whole answer (HTTP header included, end marker removed). They
    // set lastError() to 10043 when the answer is malformed.
    static bool parseQueryAnswer(std::string_view answer, std::vector<CddbMatch>& matches);
    static bool parseReadAnswer(std::string_view answer, std::uint32_t discId, XmcdEntry& entry);
    static bool parseSitesAnswer(std::string_view answer, std::vector<CddbServer>& servers);

    // The calling thread's last error code (shared with CddbSocket).
    static int lastError();

    int receiveTimeout() const { return m_receiveTimeoutMs; }
    void setReceiveTimeout(int ms) { m_receiveTimeoutMs = ms; }
    int connectTimeout() const { return m_connectTimeoutMs; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    const std::string& clientName() const { return m_clientName; }
    const std::string& clientVersion() const { return m_clientVersion; }
    int protocolLevel() const { return m_protocolLevel; }
    const std::string& proxyHost() const { return m_proxyHost; }
    int proxyPort() const { return m_proxyPort; }

private:
    std::string proxyHeaderBlock(const CddbServer& server) const;
    bool exchange(const CddbServer& server, const std::string& request, std::string& answer,
                  bool queryMode);

    int m_receiveTimeoutMs = kDefaultReceiveTimeoutMs;
    std::string m_clientName = "Calderine";
    std::string m_clientVersion = "3.00";
    int m_protocolLevel = 4;
    std::string m_proxyHost;
    int m_proxyPort = 80;
    std::string m_proxyUser;
    std::string m_proxyPassword;
    int m_connectTimeoutMs = 10000;
};
