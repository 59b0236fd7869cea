#include "FreeDBLookup.h"

#include "CddbSettings.h"
#include "Log.h"

namespace cld {

FreeDBLookup::FreeDBLookup(const SettingsRecord& settings)
    : m_server(cddbServerFromSettings(settings)), m_serverName(cddbServerName(m_server)) {
    applyCddbSettings(settings, m_client);
}

FreeDBLookup::QueryResult FreeDBLookup::query(std::uint32_t discId, const std::vector<MsfTime>& toc,
                                              std::vector<CddbMatch>& matches) {
    m_serverName = cddbServerName(m_server);
    m_lastError = 0;
    for (int attempt = 0; attempt < 2 && !cancelled(); ++attempt) {
        ++m_attempts;
        if (m_client.query(m_server, discId, toc, matches)) {
            m_lastError = 0;
            m_lastErrorMessage.clear();
            return matches.empty() ? QueryResult::NoMatch : QueryResult::Found;
        }
        m_lastError = CddbClient::lastError();
        m_lastErrorMessage = CddbClient::lastErrorMessage();
        logf(LogLevel::Warning, "FreeDB query to %s failed (error %d)", m_server.host.c_str(),
             m_lastError);
    }
    matches.clear();
    return QueryResult::Failed;
}

bool FreeDBLookup::read(std::uint32_t discId, const std::string& category, XmcdEntry& entry) {
    m_serverName = cddbServerName(m_server);
    ++m_attempts;
    if (m_client.read(m_server, discId, category, entry)) {
        m_lastError = 0;
        m_lastErrorMessage.clear();
        return true;
    }
    m_lastError = CddbClient::lastError();
    m_lastErrorMessage = CddbClient::lastErrorMessage();
    logf(LogLevel::Warning, "FreeDB read from %s failed (error %d)", m_server.host.c_str(),
         m_lastError);
    return false;
}

bool FreeDBLookup::sites(const std::string& host, std::vector<CddbServer>& servers) {
    const CddbServer listServer = cddbServerFor(host);
    m_serverName = cddbServerName(listServer);
    m_lastError = 0;
    for (int attempt = 0; attempt < 2 && !cancelled(); ++attempt) {
        ++m_attempts;
        if (m_client.sitesAt(listServer.host, listServer.scriptPath, listServer.port, servers)) {
            m_lastError = 0;
            m_lastErrorMessage.clear();
            return true;
        }
        m_lastError = CddbClient::lastError();
        m_lastErrorMessage = CddbClient::lastErrorMessage();
        logf(LogLevel::Warning, "FreeDB server list from %s failed (error %d)",
             listServer.host.c_str(), m_lastError);
    }
    servers.clear();
    return false;
}

} // namespace cld
