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
    if (!takeEnding(got, a))
        return a;
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
