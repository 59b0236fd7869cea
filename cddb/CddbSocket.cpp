#include "CddbSocket.h"

#include "CddbCancel.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

using Clock = CddbSocket::Clock;

// Only names a resolver could answer are looked up; anything else is an unknown host
// without asking anyone.
bool plausibleHostName(const std::string& host) {
    if (host.empty() || host.size() > 253)
        return false;
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

// The outcome of one name look-up, shared with the thread that performs it so that a
// look-up that outlives its caller's patience can still finish safely on its own.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool found = false;
    in_addr address{};
};

void lookUp(const std::shared_ptr<Lookup>& lookup, const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    in_addr found{};
    bool ok = false;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0) {
        for (addrinfo* ai = result; ai && !ok; ai = ai->ai_next) {
            if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
                sockaddr_in in{};
                std::memcpy(&in, ai->ai_addr, sizeof(in));
                found = in.sin_addr;
                ok = true;
            }
        }
        freeaddrinfo(result);
    }
    std::lock_guard lock(lookup->mutex);
    lookup->found = ok;
    lookup->address = found;
    lookup->finished = true;
    lookup->done.notify_all();
}

bool setNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

int mapErrno(int error) {
    return error == ECONNREFUSED ? kCddbConnectionRefused : error;
}

int millisecondsUntil(Clock::time_point until) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

} // namespace

CddbSocket::~CddbSocket() {
    close();
}

int CddbSocket::lastError() {
    return cddbLastError();
}

void CddbSocket::setLastError(int code, std::string detail) {
    setCddbLastError(code, std::move(detail));
}

bool CddbSocket::stopped() {
    if (m_cancel && m_cancel->isCancelled()) {
        setLastError(kCddbCancelled);
        return true;
    }
    if (Clock::now() >= m_deadline) {
        setLastError(kCddbDeadlineExceeded);
        return true;
    }
    return false;
}

int CddbSocket::waitFor(short events, Clock::time_point until) {
    for (;;) {
        if (stopped())
            return -1;
        const Clock::time_point end = std::min(until, m_deadline);
        const int left = millisecondsUntil(end);
        pollfd fds[2] = {{m_fd, events, 0}, {m_cancel ? m_cancel->fd() : -1, POLLIN, 0}};
        const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
        // Without an event descriptor the cancel flag is looked at every 20 ms.
        const int step = m_cancel && fds[1].fd < 0 ? std::min(left, 20) : left;
        const int ready = ::poll(fds, count, step);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            setLastError(errno);
            return -1;
        }
        if (fds[0].revents != 0)
            return 1;
        if (stopped())
            return -1;
        if (Clock::now() >= until)
            return 0;
    }
}

bool CddbSocket::create() {
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        setLastError(errno);
        return false;
    }
    return true;
}

bool CddbSocket::connect(const std::string& host, int port) {
    if (m_fd < 0 && !create())
        return false;
    if (stopped())
        return false;
    const auto limit = Clock::now() + std::chrono::milliseconds(std::max(0, m_connectTimeoutMs));
    if (port <= 0 || port > 65535) {
        setLastError(kCddbBadArgument, "Port " + std::to_string(port));
        return false;
    }
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) != 1) {
        if (!plausibleHostName(host)) {
            setLastError(kCddbHostNotFound, host);
            return false;
        }
        // The resolver has no time-out the caller controls: it runs on a thread of its own
        // and is waited for in short steps, so a cancel or the deadline ends the wait.
        auto lookup = std::make_shared<Lookup>();
        try {
            std::thread(lookUp, lookup, host).detach();
        } catch (const std::system_error&) {
            setLastError(kCddbHostNotFound, host);
            return false;
        }
        std::unique_lock lock(lookup->mutex);
        while (!lookup->finished) {
            if (stopped())
                return false;
            if (Clock::now() >= limit) {
                setLastError(kCddbHostNotFound, host + ": the name server did not answer");
                return false;
            }
            lookup->done.wait_for(lock, std::chrono::milliseconds(10));
        }
        if (!lookup->found) {
            setLastError(kCddbHostNotFound, host);
            return false;
        }
        address = lookup->address;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<std::uint16_t>(port));
    target.sin_addr = address;

    // A blocking connect to an unreachable host can take minutes; wait at most the
    // connect time-out instead.
    if (!setNonBlocking(m_fd, true)) {
        setLastError(errno);
        return false;
    }
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) != 0) {
        if (errno != EINPROGRESS) {
            setLastError(mapErrno(errno));
            return false;
        }
        const int ready = waitFor(POLLOUT, limit);
        if (ready < 0)
            return false;
        if (ready == 0) {
            setLastError(kCddbTimedOut);
            return false;
        }
        int error = 0;
        socklen_t length = sizeof(error);
        if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error != 0) {
            setLastError(mapErrno(error));
            return false;
        }
    }
    if (!setNonBlocking(m_fd, false)) {
        setLastError(errno);
        return false;
    }
    return true;
}

bool CddbSocket::send(const char* bytes, std::size_t length) {
    if (m_fd < 0) {
        setLastError(EBADF);
        return false;
    }
    while (length > 0) {
        const ssize_t sent = ::send(m_fd, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // A peer that does not read: wait for room, as long as the command may.
                if (waitFor(POLLOUT, Clock::time_point::max()) < 0)
                    return false;
                continue;
            }
            setLastError(mapErrno(errno));
            return false;
        }
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

long CddbSocket::receive(char* buffer, std::size_t size) {
    if (m_fd < 0) {
        setLastError(EBADF);
        return -1;
    }
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            setLastError(mapErrno(errno));
            return -1;
        }
        return static_cast<long>(got);
    }
}

bool CddbSocket::readable(bool& flag, int waitMs) {
    flag = false;
    if (m_fd < 0) {
        setLastError(EBADF);
        return false;
    }
    const int ready =
        waitFor(POLLIN, Clock::now() + std::chrono::milliseconds(std::max(0, waitMs)));
    if (ready < 0)
        return false;
    flag = ready > 0;
    return true;
}

void CddbSocket::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
