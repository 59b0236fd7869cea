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

// The server for query and read: the given host (surrounding blanks removed; the
// default public host when nothing is left), port 80 and "/~cddb/cddb.cgi".
CddbServer cddbServerFor(const std::string& freeDBServer);
// The proxy for the stored values: none unless useProxy is 1 and the host is not blank.
CddbProxy cddbProxyFor(int useProxy, const std::string& proxyServer, int proxyPort);

CddbServer cddbServerFromSettings(const SettingsRecord& settings);
CddbProxy cddbProxyFromSettings(const SettingsRecord& settings);
// Gives the client what the settings say: the proxy (no user name or password), the
// e-mail identity of the hello and the deadline of one command.
void applyCddbSettings(const SettingsRecord& settings, CddbClient& client);
