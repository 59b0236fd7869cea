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

    // Queries the configured server; on failure once more.
    QueryResult query(std::uint32_t discId, const std::vector<MsfTime>& toc,
                      std::vector<CddbMatch>& matches);
    // Reads one entry from the server the query went to.
    bool read(std::uint32_t discId, const std::string& category, XmcdEntry& entry);
    // The server list from `host` (port 80, the standard script); on failure once more.
    bool sites(const std::string& host, std::vector<CddbServer>& servers);

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
    int m_attempts = 0;
    int m_lastError = 0;
    std::string m_lastErrorMessage;
};

} // namespace cld
