#pragma once

#include "CddbError.h"

#include <chrono>
#include <cstddef>
#include <string>

class CddbCancel;

// One TCP connection to a CDDB server or proxy. Closing is done by the destructor too.
// Every wait (name look-up, connect, readable) ends early when the cancel signal is
// raised (kCddbCancelled) or the deadline passes (kCddbDeadlineExceeded).
class CddbSocket {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kDefaultConnectTimeoutMs = 10000;

    CddbSocket() = default;
    ~CddbSocket();
    CddbSocket(const CddbSocket&) = delete;
    CddbSocket& operator=(const CddbSocket&) = delete;

    // An IPv4 stream socket.
    bool create();
    // The host is tried as a dotted address first, then resolved by name (first IPv4
    // address). A name that cannot be resolved, also when the resolver stays silent for
    // the connect time-out, fails with kCddbHostNotFound; a connection that is not made
    // within the connect time-out with kCddbTimedOut; a refused one with
    // kCddbConnectionRefused.
    bool connect(const std::string& host, int port);
    // Sends all `length` bytes.
    bool send(const char* bytes, std::size_t length);
    // Byte count, 0 when the peer has closed, -1 on error.
    long receive(char* buffer, std::size_t size);
    // Whether data (or the peer's close) is waiting, waiting up to `waitMs`. False on a
    // failed poll, a raised cancel signal or a passed deadline.
    bool readable(bool& flag, int waitMs = 0);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    int connectTimeout() const { return m_connectTimeoutMs; }
    void setCancel(const CddbCancel* cancel) { m_cancel = cancel; }
    void setDeadline(Clock::time_point deadline) { m_deadline = deadline; }

    // The calling thread's last CDDB error (shared with CddbClient).
    static int lastError();
    static void setLastError(int code, std::string detail = {});

private:
    // Waits for `events` on the socket until `until`; 1 ready, 0 time up, -1 failed (the
    // error is set: cancelled, deadline or the system's).
    int waitFor(short events, Clock::time_point until);
    bool stopped();

    int m_fd = -1;
    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    const CddbCancel* m_cancel = nullptr;
    Clock::time_point m_deadline = Clock::time_point::max();
};
