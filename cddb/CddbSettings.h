#pragma once

#include "CddbServer.h"

#include <string>

class CddbClient;
class SettingsRecord;

// How the stored options reach the CDDB client: the server to ask and the proxy to go
// through.
struct CddbProxy {
    std::string host; // empty: no proxy
    int port = 80;
};

// The identity the hello gives when the user has no e-mail address: no login or machine
// name leaves the computer.
inline constexpr const char* kAnonymousCddbEmail = "anonymous@localhost";

// Reads the FreeDB server a user typed: "host", "host:port" or "http://host[:port][/path]"
// (surrounding blanks removed). What is not given keeps its default: port 80 and
// "/~cddb/cddb.cgi"; nothing at all is the default public host. False for a text that
// names no server this client can ask (another scheme, a bad port, spaces in the name).
bool parseCddbServer(const std::string& text, CddbServer& server);
// The server for query and read, as parseCddbServer reads it; a text it refuses is used
// as a host name as it stands, so the failure names it.
CddbServer cddbServerFor(const std::string& freeDBServer);
// "host", or "host:port" when the port is not 80: how messages name a server.
std::string cddbServerName(const CddbServer& server);
// The proxy for the stored values: none unless useProxy is 1 and the host is not blank.
CddbProxy cddbProxyFor(int useProxy, const std::string& proxyServer, int proxyPort);

CddbServer cddbServerFromSettings(const SettingsRecord& settings);
CddbProxy cddbProxyFromSettings(const SettingsRecord& settings);
// Gives the client what the settings say: the proxy (no user name or password), the
// e-mail identity of the hello (the anonymous one when the settings have none) and the
// deadline of one command.
void applyCddbSettings(const SettingsRecord& settings, CddbClient& client);
