#include "CddbSettings.h"

#include "CddbClient.h"
#include "SettingsRecord.h"

#include <algorithm>
#include <cctype>

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

} // namespace

namespace {

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool validHost(const std::string& host) {
    if (host.empty() || host.size() > 253)
        return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == '_';
    });
}

} // namespace

bool parseCddbServer(const std::string& text, CddbServer& server) {
    CddbServer parsed;
    std::string rest = trimmed(text);
    if (rest.empty()) {
        parsed.host = kDefaultCddbHost;
        server = parsed;
        return true;
    }
    const std::size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        if (!equalsNoCase(rest.substr(0, scheme), "http"))
            return false;
        rest = rest.substr(scheme + 3);
    }
    const std::size_t slash = rest.find_first_of("/?#");
    if (slash != std::string::npos) {
        if (scheme == std::string::npos || rest[slash] != '/')
            return false;
        const std::string path = rest.substr(slash);
        if (path.find_first_of(" \t?#") != std::string::npos)
            return false;
        if (path != "/")
            parsed.scriptPath = path;
        rest = rest.substr(0, slash);
    }
    const std::size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        const std::string digits = rest.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const int port = std::stoi(digits);
        if (port < 1 || port > 65535)
            return false;
        parsed.port = port;
        rest = rest.substr(0, colon);
    }
    if (!validHost(rest))
        return false;
    parsed.host = rest;
    server = parsed;
    return true;
}

CddbServer cddbServerFor(const std::string& freeDBServer) {
    CddbServer server;
    if (parseCddbServer(freeDBServer, server))
        return server;
    server.host = trimmed(freeDBServer);
    return server;
}

std::string cddbServerName(const CddbServer& server) {
    return server.port == 80 ? server.host : server.host + ":" + std::to_string(server.port);
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
    client.setEmail(settings.freeDBEmail().empty() ? std::string(kAnonymousCddbEmail)
                                                   : settings.freeDBEmail());
    client.setCommandDeadline(settings.freeDBDeadline() * 1000);
}
