#include "CddbError.h"

#include <cstring>

namespace {

thread_local int t_code = 0;
thread_local std::string t_detail;

} // namespace

std::string cddbErrorText(int code) {
    switch (code) {
    case 0:
        return "No error.";
    case kCddbCancelled:
        return "The request was cancelled.";
    case kCddbHostNotFound:
        return "The server's name could not be found.";
    case kCddbAnswerTooLarge:
        return "The server's answer is too large.";
    case kCddbProtocolError:
        return "The server's answer could not be understood.";
    case kCddbTimedOut:
        return "The server did not answer in time.";
    case kCddbConnectionRefused:
        return "The server refused the connection.";
    case kCddbBadArgument:
        return "The request cannot be sent: a server name, path, category or e-mail address "
               "is not valid.";
    case kCddbDeadlineExceeded:
        return "The server took too long to send its whole answer.";
    case kCddbNoSuchEntry:
        return "The server has no such entry.";
    case kCddbProxyAuthRequired:
        return "The proxy server requires a user name and password.";
    case kCddbServerError:
        return "The server refused the request.";
    case kCddbHttpError:
        return "The web server answered with an error.";
    default:
        break;
    }
    char buffer[256] = {};
    // The GNU strerror_r returns its text, which may or may not be the buffer.
    const char* text = strerror_r(code, buffer, sizeof(buffer));
    return text && *text ? std::string(text) : "Error " + std::to_string(code);
}

int cddbLastError() {
    return t_code;
}

const std::string& cddbLastErrorDetail() {
    return t_detail;
}

void setCddbLastError(int code, std::string detail) {
    t_code = code;
    t_detail = std::move(detail);
}
