#pragma once

#include "CddbCancel.h"
#include "CddbError.h"
#include "CddbMatch.h"
#include "CddbServer.h"
#include "MsfTime.h"
#include "XmcdEntry.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CddbSocket;

// The default public CDDB server the program asks when the user has chosen none.
inline constexpr const char* kDefaultCddbHost = "gnudb.gnudb.org";
// The client version the hello names.
inline constexpr const char* kCddbClientVersion = "3.00";
// The environment variable that gives the e-mail identity to scripts; it wins over the one
// set with setEmail.
inline constexpr const char* kCddbEmailVariable = "CLD_CDDB_EMAIL";

// CDDB over HTTP/1.0: the query, read and sites commands. Each command opens its own
// connection, sends one GET request (with a Host header), reads the answer and closes the
// connection; a redirect (301, 302, 307) to another http address is followed once. Every
// command returns false on failure and leaves the reason in lastError() (a CddbErrorCode
// or the system's errno) and, when the server or proxy explained itself, its line in
// lastErrorDetail().
//
// Commands ask for protocol level 6 (UTF-8, year and genre). A server that refuses the
// level (status 501) is asked which level it supports and the command is sent again at
// that level, which the client keeps. Answers below level 6 are ISO-8859-1 and are
// converted; whatever the level, every text the client hands on is UTF-8.
class CddbClient {
public:
    static constexpr int kDefaultReceiveTimeoutMs = 2000;
    static constexpr int kDefaultCommandDeadlineMs = 30000;
    static constexpr int kMaxProtocolLevel = 6;
    // No real answer comes near this; anything longer is refused (kCddbAnswerTooLarge).
    static constexpr std::size_t kMaxAnswerSize = 4 * 1024 * 1024;
    static constexpr const char* kEndMarker = "\r\n.\r\n";
    static constexpr std::size_t kGrowStep = 4096;

    CddbClient();
    virtual ~CddbClient() = default;
    CddbClient(const CddbClient&) = delete;
    CddbClient& operator=(const CddbClient&) = delete;

    // Identity sent with every command: "hello=user+host+client+version&proto=level". With
    // an e-mail address the user and host are its two halves ("name+example.org"), which
    // today's public servers require; without one, the login and machine names.
    virtual std::string helloString();
    // The user's login name, every character other than a letter or digit made "_";
    // "Unknown" when it cannot be read.
    virtual std::string userName();
    // The machine's host name, cleaned the same way; "Unknown" when it cannot be read.
    virtual std::string hostName();
    // Reads an answer until `endMarker` (which is cut off), a silence longer than the
    // receive time-out, the command's deadline, a cancel, or, in query mode, a complete
    // single-line answer. An HTTP status other than 2xx ends it as soon as the header is in.
    virtual bool receiveAnswer(CddbSocket& socket, std::string& answer, std::string_view endMarker,
                               std::size_t growStep, bool queryMode);

    // An empty host means no proxy. With a user name, requests carry Basic authorisation.
    void setProxy(const std::string& host, int port, const std::string& user,
                  const std::string& password);
    // "name@example.org", or empty for the login and machine names. An address that cannot
    // be an e-mail address makes every command fail with kCddbBadArgument.
    void setEmail(const std::string& email) { m_email = email; }
    const std::string& email() const { return m_email; }
    // The address the hello uses: the environment's when set, else setEmail's.
    std::string effectiveEmail() const;
    static bool validEmail(std::string_view email);

    // `toc`: one entry per track, then the lead-out. `matches` is emptied first.
    bool query(const CddbServer& server, std::uint32_t discId, const std::vector<MsfTime>& toc,
               std::vector<CddbMatch>& matches);
    bool read(const CddbServer& server, std::uint32_t discId, const std::string& category,
              XmcdEntry& entry);
    // `servers` is emptied first.
    bool sites(const CddbServer& server, std::vector<CddbServer>& servers);
    bool sitesAt(const std::string& host, const std::string& scriptPath, int port,
                 std::vector<CddbServer>& servers);

    // Ends the running command (from any thread) with kCddbCancelled within a few
    // milliseconds; commands started later fail the same way until resetCancel().
    void cancel() { m_cancel.cancel(); }
    void resetCancel() { m_cancel.reset(); }
    bool isCancelled() const { return m_cancel.isCancelled(); }

    // The request lines each command sends (exposed so they can be checked on their own).
    std::string queryRequest(const CddbServer& server, std::uint32_t discId,
                             const std::vector<MsfTime>& toc);
    std::string readRequest(const CddbServer& server, std::uint32_t discId,
                            const std::string& category);
    std::string sitesRequest(const CddbServer& server);

    // Interpretation of a whole answer (HTTP header included, end marker removed). A CDDB
    // status 401 sets kCddbNoSuchEntry, another 4xx or 5xx kCddbServerError (with the
    // server's line as the detail), anything else malformed kCddbProtocolError.
    static bool parseQueryAnswer(std::string_view answer, std::vector<CddbMatch>& matches);
    static bool parseReadAnswer(std::string_view answer, std::uint32_t discId, XmcdEntry& entry);
    static bool parseSitesAnswer(std::string_view answer, std::vector<CddbServer>& servers);

    // The calling thread's last error code (shared with CddbSocket), the server's own line
    // about it (empty when there was none), and both as one text to show the user.
    static int lastError();
    static std::string lastErrorDetail();
    static std::string lastErrorMessage();

    int receiveTimeout() const { return m_receiveTimeoutMs; }
    void setReceiveTimeout(int ms) { m_receiveTimeoutMs = ms; }
    int connectTimeout() const { return m_connectTimeoutMs; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    // The longest a whole command (look-up, connect, redirect, level fall-back, answer)
    // may take; 0 or less for none.
    int commandDeadline() const { return m_commandDeadlineMs; }
    void setCommandDeadline(int ms) { m_commandDeadlineMs = ms; }
    const std::string& clientName() const { return m_clientName; }
    const std::string& clientVersion() const { return m_clientVersion; }
    // The level the next command asks for; lowered when a server supports less.
    int protocolLevel() const { return m_protocolLevel; }
    void setProtocolLevel(int level);
    const std::string& proxyHost() const { return m_proxyHost; }
    int proxyPort() const { return m_proxyPort; }

private:
    using Clock = std::chrono::steady_clock;

    // The command and hello parameters, and the whole request carrying them.
    std::string queryCommand(std::uint32_t discId, const std::vector<MsfTime>& toc);
    std::string readCommand(std::uint32_t discId, const std::string& category);
    std::string sitesCommand();
    std::string request(const CddbServer& server, const std::string& command) const;
    std::string proxyHeaderBlock(const std::string& hostHeader) const;
    // One request and its raw answer over a new connection.
    bool exchange(const CddbServer& server, const std::string& request, std::string& answer,
                  bool queryMode);
    // Sends the command built by `command` (rebuilt after a level change), follows one
    // redirect, falls back in protocol level, checks the HTTP status and hands back the
    // answer with its body in UTF-8.
    // With `rawBody` the body is handed back as received (the caller decodes it);
    // `levelUsed` receives the protocol level the answer was given at.
    bool runCommand(const CddbServer& server, const std::function<std::string()>& command,
                    std::string& answer, bool rawBody = false, int* levelUsed = nullptr);
    bool negotiateLevel(const CddbServer& server, const std::string& refusal);

    int m_receiveTimeoutMs = kDefaultReceiveTimeoutMs;
    std::string m_clientName;
    std::string m_clientVersion;
    int m_protocolLevel = kMaxProtocolLevel;
    std::string m_proxyHost;
    int m_proxyPort = 80;
    std::string m_proxyUser;
    std::string m_proxyPassword;
    int m_connectTimeoutMs = 10000;
    int m_commandDeadlineMs = kDefaultCommandDeadlineMs;
    std::string m_email;
    CddbCancel m_cancel;
    Clock::time_point m_deadline = Clock::time_point::max();
};
