#pragma once

#include "AccurateRip.h"

#include <cstdint>
#include <string>
#include <vector>

class CddbCancel;

// Fetches a disc's AccurateRip entry over HTTP with the project's socket code: every
// wait ends at the deadline or when the cancel signal is raised.
namespace accurip {

inline constexpr const char* kDefaultServer = "http://www.accuraterip.com/accuraterip/";
inline constexpr int kDefaultDeadlineMs = 15000;

struct LookupAnswer {
    enum Status {
        Found,         // the entry arrived and parsed; responses holds it
        NotInDatabase, // HTTP 404
        Offline,       // the server could not be reached (name, connect)
        TimedOut,      // no complete answer within the deadline
        Malformed,     // an HTTP error, or an entry that is truncated, empty or too large
        Cancelled,
    };
    Status status = Offline;
    std::vector<EntryResponse> responses;
    std::string detail; // one line: why, for the log
};

// Splits "http://host[:port]/prefix/" into its parts. False for anything else.
bool splitServerUrl(const std::string& url, std::string& host, int& port, std::string& prefix);

// GETs <server><entryPath(ids)> and parses it.
LookupAnswer lookUp(const std::string& serverUrl, const DiscIds& ids, int deadlineMs,
                    const CddbCancel* cancel);

} // namespace accurip
