#pragma once

#include <cstddef>
#include <string>

class CddbCancel;

namespace accurip {

// One GET of a database's answer over HTTP/1.0, with a deadline, a cancel, an optional
// proxy and a cap on the answer's size.
struct HttpGetRequest {
    std::string host;
    int port = 80;
    std::string target;    // the path and query, starting with '/'
    std::string proxyHost; // empty: straight to the server
    int proxyPort = 80;
    size_t maxBody = 0; // a larger body is refused
    int deadlineMs = 15000;
    const CddbCancel* cancel = nullptr;
    // How a body over the cap is called in the detail ("entry", "answer").
    const char* what = "answer";
};

struct HttpGetResult {
    enum Status {
        Ok,        // HTTP 200; body holds the answer
        NotFound,  // HTTP 404; detail is the status line
        Offline,   // the server (or proxy) could not be reached
        TimedOut,  // no complete answer within the deadline
        Malformed, // another HTTP status, no HTTP at all, or a body over the cap
        Cancelled,
    };
    Status status = Offline;
    std::string body;
    std::string detail; // one line: why, for the log
};

HttpGetResult httpGet(const HttpGetRequest& request);

// Takes a GET's ending into a look-up's answer, whose statuses bear the same names (with
// NotInDatabase for NotFound): the detail always, the status when no body arrived. True
// when the body arrived (HTTP 200) and is the caller's to parse.
template <class Answer> bool takeEnding(const HttpGetResult& got, Answer& answer) {
    answer.detail = got.detail;
    switch (got.status) {
    case HttpGetResult::Ok:
        return true;
    case HttpGetResult::NotFound:
        answer.status = Answer::NotInDatabase;
        return false;
    case HttpGetResult::Offline:
        answer.status = Answer::Offline;
        return false;
    case HttpGetResult::TimedOut:
        answer.status = Answer::TimedOut;
        return false;
    case HttpGetResult::Malformed:
        answer.status = Answer::Malformed;
        return false;
    case HttpGetResult::Cancelled:
        answer.status = Answer::Cancelled;
        return false;
    }
    return false;
}

// Splits "http://host[:port]/path" into its parts (path "/" when none is given). False
// for anything else, and for control characters or spaces anywhere.
bool splitHttpUrl(const std::string& url, std::string& host, int& port, std::string& path);

} // namespace accurip
