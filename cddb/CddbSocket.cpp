#include "CddbSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
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

thread_local int t_lastError = 0;

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

enum class Resolved { Found, NotFound, TimedOut };

// The resolver has no time-out of its own that the caller controls; it runs on a thread
// of its own and is waited for at most `timeoutMs`.
Resolved resolve(const std::string& host, in_addr& address, int timeoutMs) {
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        return Resolved::Found;
    if (!plausibleHostName(host))
        return Resolved::NotFound;
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host] {
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
        }).detach();
    } catch (const std::system_error&) {
        return Resolved::NotFound;
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return lookup->finished; }))
        return Resolved::TimedOut;
    if (!lookup->found)
        return Resolved::NotFound;
    address = lookup->address;
    return Resolved::Found;
}

bool setNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

} // namespace

CddbSocket::~CddbSocket() {
    close();
}

int CddbSocket::lastError() {
    return t_lastError;
}

void CddbSocket::setLastError(int code) {
    t_lastError = code;
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
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_connectTimeoutMs);
    in_addr address{};
    const Resolved resolved =
        port <= 0 || port > 65535 ? Resolved::NotFound : resolve(host, address, m_connectTimeoutMs);
    if (resolved != Resolved::Found) {
        setLastError(resolved == Resolved::TimedOut ? kCddbTimedOut : kCddbHostNotFound);
        return false;
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
            setLastError(errno);
            return false;
        }
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                setLastError(kCddbTimedOut);
                return false;
            }
            pollfd pfd{m_fd, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(left));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0) {
                setLastError(errno);
                return false;
            }
            if (ready > 0)
                break;
        }
        int error = 0;
        socklen_t length = sizeof(error);
        if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error != 0) {
            setLastError(error);
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
        const ssize_t sent = ::send(m_fd, bytes, length, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            setLastError(errno);
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
            setLastError(errno);
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
    pollfd pfd{m_fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, waitMs < 0 ? 0 : waitMs);
    if (ready < 0) {
        if (errno == EINTR)
            return true;
        setLastError(errno);
        return false;
    }
    flag = ready > 0;
    return true;
}

void CddbSocket::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
