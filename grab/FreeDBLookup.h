#pragma once

#include "CddbClient.h"
#include "CddbMatch.h"
#include "CddbServer.h"
#include "MsfTime.h"
#include "XmcdEntry.h"

#include <cstdint>
#include <string>
#include <vector>

class SettingsRecord;

namespace cld {

// The FreeDB dialogs' one way to the CDDB client: the server and proxy come from the
// settings, a query or a server list is tried twice before it counts as failed, and a
// read goes to the server the query was answered by. No user interface here.
class FreeDBLookup {
public:
    enum class QueryResult { Failed, NoMatch, Found };

    explicit FreeDBLookup(const SettingsRecord& settings);
    FreeDBLookup(const FreeDBLookup&) = delete;
    FreeDBLookup& operator=(const FreeDBLookup&) = delete;

    // Queries the configured server; on failure once more (not after a cancel).
    QueryResult query(std::uint32_t discId, const std::vector<MsfTime>& toc,
                      std::vector<CddbMatch>& matches);
    // Reads one entry from the server the query went to.
    bool read(std::uint32_t discId, const std::string& category, XmcdEntry& entry);
    // The server list from `host` ("host", "host:port" or an http address; port 80 and the
    // standard script unless it says otherwise); on failure once more.
    bool sites(const std::string& host, std::vector<CddbServer>& servers);

    // The server the last command went to (or the next query goes to), as messages name
    // it: "host" or "host:port".
    const std::string& serverName() const { return m_serverName; }
    // Whether the last command failed because it was cancelled.
    bool cancelled() const { return m_lastError == kCddbCancelled; }

    // How many commands were sent (a retry counts).
    int attempts() const { return m_attempts; }
    // The client's error code of the last failed command (0 after a success).
    int lastError() const { return m_lastError; }
    // What the client said of that failure: its text and the server's own line (empty
    // after a success).
    const std::string& lastErrorMessage() const { return m_lastErrorMessage; }
    const CddbServer& server() const { return m_server; }
    CddbClient& client() { return m_client; }

private:
    CddbClient m_client;
    CddbServer m_server;
    std::string m_serverName;
    int m_attempts = 0;
    int m_lastError = 0;
    std::string m_lastErrorMessage;
};

} // namespace cld
