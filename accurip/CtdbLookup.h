#pragma once

#include "Ctdb.h"

#include <string>
#include <vector>

class CddbCancel;

// Looks a disc up in the CUETools database over HTTP with the project's socket code:
// every wait ends at the deadline or when the cancel signal is raised, an answer larger
// than the cap is refused, and a proxy may stand between.
namespace accurip {

inline constexpr const char* kCtdbDefaultServer = "http://db.cuetools.net/lookup2.php";

struct CtdbLookupOptions {
    int deadlineMs = 15000;
    const CddbCancel* cancel = nullptr;
    std::string proxyHost; // empty: straight to the server
    int proxyPort = 80;
    size_t maxBytes = kMaxCtdbAnswerBytes;
};

struct CtdbLookupAnswer {
    enum Status {
        Found,         // the answer arrived and names entries
        NotInDatabase, // HTTP 404, or an answer without entries
        Offline,       // the server (or proxy) could not be reached
        TimedOut,      // no complete answer within the deadline
        Malformed,     // an HTTP error, or an answer that is broken, cut off or too large
        Cancelled,
    };
    Status status = Offline;
    std::vector<CtdbEntry> entries;
    std::string detail; // one line: why, for the log
};

// Splits "http://host[:port]/path" into its parts. False for anything else.
bool splitCtdbServer(const std::string& url, std::string& host, int& port, std::string& path);
// The request's path and query: <path>?version=3&ctdb=1&fuzzy=1&toc=<ctdbTocQuery>.
std::string ctdbRequestTarget(const std::string& path, const DiscLayout& disc);

CtdbLookupAnswer ctdbLookUp(const std::string& serverUrl, const DiscLayout& disc,
                            const CtdbLookupOptions& options);

} // namespace accurip
