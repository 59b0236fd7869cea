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
    a.detail = got.detail;
    switch (got.status) {
    case HttpGetResult::Ok:
        break;
    case HttpGetResult::NotFound:
        a.status = LookupAnswer::NotInDatabase;
        return a;
    case HttpGetResult::Offline:
        a.status = LookupAnswer::Offline;
        return a;
    case HttpGetResult::TimedOut:
        a.status = LookupAnswer::TimedOut;
        return a;
    case HttpGetResult::Malformed:
        a.status = LookupAnswer::Malformed;
        return a;
    case HttpGetResult::Cancelled:
        a.status = LookupAnswer::Cancelled;
        return a;
    }
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
