#include "CtdbLookup.h"

#include "HttpGet.h"

#include <algorithm>

namespace accurip {

bool splitCtdbServer(const std::string& url, std::string& host, int& port, std::string& path) {
    return splitHttpUrl(url, host, port, path) && path.find('?') == std::string::npos &&
           path.find('#') == std::string::npos;
}

std::string ctdbRequestTarget(const std::string& path, const DiscLayout& disc) {
    return path + "?version=3&ctdb=1&fuzzy=1&toc=" + ctdbTocQuery(disc);
}

CtdbLookupAnswer ctdbLookUp(const std::string& serverUrl, const DiscLayout& disc,
                            const CtdbLookupOptions& options) {
    CtdbLookupAnswer a;
    HttpGetRequest r;
    std::string path;
    if (!splitCtdbServer(serverUrl, r.host, r.port, path)) {
        a.status = CtdbLookupAnswer::Malformed;
        a.detail = "the server address is not an http:// address: " + serverUrl;
        return a;
    }
    r.target = ctdbRequestTarget(path, disc);
    r.proxyHost = options.proxyHost;
    r.proxyPort = options.proxyPort;
    r.maxBody = std::min(options.maxBytes, kMaxCtdbAnswerBytes);
    r.deadlineMs = options.deadlineMs;
    r.cancel = options.cancel;
    const HttpGetResult got = httpGet(r);
    a.detail = got.detail;
    switch (got.status) {
    case HttpGetResult::Ok:
        break;
    case HttpGetResult::NotFound:
        a.status = CtdbLookupAnswer::NotInDatabase;
        return a;
    case HttpGetResult::Offline:
        a.status = CtdbLookupAnswer::Offline;
        return a;
    case HttpGetResult::TimedOut:
        a.status = CtdbLookupAnswer::TimedOut;
        return a;
    case HttpGetResult::Malformed:
        a.status = CtdbLookupAnswer::Malformed;
        return a;
    case HttpGetResult::Cancelled:
        a.status = CtdbLookupAnswer::Cancelled;
        return a;
    }
    std::string why;
    if (!parseCtdbAnswer(got.body.data(), got.body.size(), a.entries, why)) {
        a.status = CtdbLookupAnswer::Malformed;
        a.detail = why;
        return a;
    }
    a.status = a.entries.empty() ? CtdbLookupAnswer::NotInDatabase : CtdbLookupAnswer::Found;
    if (a.entries.empty())
        a.detail = "the answer names no entry";
    return a;
}

} // namespace accurip
