#pragma once

#include <string>

// What a CDDB command can fail with. The three codes the program has always reported keep
// their values (name look-up failed, malformed answer, silence longer than the time-out);
// the others are distinct so a dialog can say what happened. Failed system calls that have
// no code of their own report their errno.
enum CddbErrorCode : int {
    kCddbCancelled = 10004,         // the command was cancelled from another thread
    kCddbHostNotFound = 10022,      // the host name could not be resolved
    kCddbAnswerTooLarge = 10040,    // the answer exceeded the size the client accepts
    kCddbProtocolError = 10043,     // the answer was malformed
    kCddbTimedOut = 10060,          // no connection or no data within the time-out
    kCddbConnectionRefused = 10061, // nothing listens on the server's port
    kCddbBadArgument = 11001,       // a host, path, category or identity that cannot be sent
    kCddbDeadlineExceeded = 11002,  // the whole command took longer than its deadline
    kCddbNoSuchEntry = 11401,       // the server has no such entry (CDDB status 401)
    kCddbProxyAuthRequired = 11407, // the proxy wants a user name and password (HTTP 407)
    kCddbServerError = 11500,       // the server refused the command (CDDB status 4xx/5xx)
    kCddbHttpError = 11600,         // an HTTP status of 400 or more, or a redirect not followed
};

// A fixed English sentence for the code (strerror's text for system error numbers).
std::string cddbErrorText(int code);

// The calling thread's last CDDB error: the code and, when the server or the proxy
// explained itself, its line (the CDDB status line or the HTTP status line), already
// converted to UTF-8 and stripped of control characters.
int cddbLastError();
const std::string& cddbLastErrorDetail();
void setCddbLastError(int code, std::string detail = {});
