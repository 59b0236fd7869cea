#include "CddbSettings.h"

#include "CddbClient.h"
#include "SettingsRecord.h"

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

} // namespace

CddbServer cddbServerFor(const std::string& freeDBServer) {
    CddbServer server;
    server.host = trimmed(freeDBServer);
    if (server.host.empty())
        server.host = kDefaultCddbHost;
    return server;
}

CddbProxy cddbProxyFor(int useProxy, const std::string& proxyServer, int proxyPort) {
    CddbProxy proxy;
    const std::string host = trimmed(proxyServer);
    if (useProxy != 1 || host.empty() || proxyPort < 1 || proxyPort > 65535)
        return proxy;
    proxy.host = host;
    proxy.port = proxyPort;
    return proxy;
}

CddbServer cddbServerFromSettings(const SettingsRecord& settings) {
    return cddbServerFor(settings.freeDBServer());
}

CddbProxy cddbProxyFromSettings(const SettingsRecord& settings) {
    return cddbProxyFor(settings.useProxy(), settings.proxyServer(), settings.proxyPort());
}

void applyCddbSettings(const SettingsRecord& settings, CddbClient& client) {
    const CddbProxy proxy = cddbProxyFromSettings(settings);
    client.setProxy(proxy.host, proxy.port, {}, {});
    client.setEmail(settings.freeDBEmail());
    client.setCommandDeadline(settings.freeDBDeadline() * 1000);
}
