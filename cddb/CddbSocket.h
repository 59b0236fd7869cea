#pragma once

#include <cstddef>
#include <string>

// Last-error codes of the CDDB client, kept with the values the program has always
// reported. Failed system calls report their errno instead.
enum CddbErrorCode : int {
    kCddbHostNotFound = 10022,  // the host name could not be resolved
    kCddbProtocolError = 10043, // the answer was malformed or refused
    kCddbTimedOut = 10060,      // no connection or no data within the time-out
};

// One TCP connection to a CDDB server or proxy. Closing is done by the destructor too.
class CddbSocket {
public:
    static constexpr int kDefaultConnectTimeoutMs = 10000;

    CddbSocket() = default;
    ~CddbSocket();
    CddbSocket(const CddbSocket&) = delete;
    CddbSocket& operator=(const CddbSocket&) = delete;

    // An IPv4 stream socket.
    bool create();
    // The host is tried as a dotted address first, then resolved by name (first IPv4
    // address). Name look-up and connection together give up after the connect time-out
    // with kCddbTimedOut.
    bool connect(const std::string& host, int port);
    // Sends all `length` bytes.
    bool send(const char* bytes, std::size_t length);
    // Byte count, 0 when the peer has closed, -1 on error.
    long receive(char* buffer, std::size_t size);
    // Whether data (or the peer's close) is waiting, waiting up to `waitMs`.
    bool readable(bool& flag, int waitMs = 0);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    int connectTimeout() const { return m_connectTimeoutMs; }

    // The calling thread's last CDDB socket error.
    static int lastError();
    static void setLastError(int code);

private:
    int m_fd = -1;
    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
};
