#include "ArLookup.h"

#include "HttpGet.h"

namespace accurip {

bool splitServerUrl(const std::string& url, std::string& host, int& port, std::string& prefix) {
    if (!splitHttpUrl(url, host, port, prefix))
        return false;
    if (prefix.back() != '/')
        prefix += '/';
    return true;
}

LookupAnswer lookUp(const std::string& serverUrl, const DiscIds& ids, int deadlineMs,
                    const CddbCancel* cancel) {
    LookupAnswer a;
    HttpGetRequest r;
    std::string prefix;
    if (!splitServerUrl(serverUrl, r.host, r.port, prefix)) {
        a.status = LookupAnswer::Malformed;
        a.detail = "the server address is not an http:// address: " + serverUrl;
        return a;
    }
    r.target = prefix + entryPath(ids);
    r.maxBody = kMaxEntryBytes;
    r.deadlineMs = deadlineMs;
    r.cancel = cancel;
    r.what = "entry";
    const HttpGetResult got = httpGet(r);
    if (!takeEnding(got, a))
        return a;
    std::string why;
    if (!parseEntry(reinterpret_cast<const uint8_t*>(got.body.data()), got.body.size(), a.responses,
                    why)) {
        a.status = LookupAnswer::Malformed;
        a.detail = why;
        return a;
    }
    a.status = LookupAnswer::Found;
    return a;
}

} // namespace accurip
