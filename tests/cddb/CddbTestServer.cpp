#include "CddbTestServer.h"

#include "Processes.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cldtest {

CddbTestServer::CddbTestServer() {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        throw std::runtime_error("test server: socket failed");
    const int on = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listen, 8) != 0)
        throw std::runtime_error("test server: bind/listen failed");
    socklen_t length = sizeof(address);
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

CddbTestServer::~CddbTestServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

void CddbTestServer::queue(Script script) {
    std::lock_guard lock(m_mutex);
    m_scripts.push_back(std::move(script));
}

void CddbTestServer::queueAnswer(const std::string& answer) {
    queue(Script{{Piece{answer, 0}}, 0});
}

std::vector<std::string> CddbTestServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::string CddbTestServer::httpAnswer(const std::string& body, bool endMarker) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body +
           (endMarker ? ".\r\n" : "");
}

bool CddbTestServer::sleepMs(int fd, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (m_stop)
            return false;
        // The client closing (or resetting) the connection ends the wait at once.
        pollfd pfd{fd, POLLIN | POLLRDHUP, 0};
        if (::poll(&pfd, 1, 5) > 0) {
            char byte = 0;
            const ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) ||
                (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
                ++m_closedByClient;
                return false;
            }
            if (got > 0) // more from the client: not asked for, left unread
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return !m_stop;
}

void CddbTestServer::run() {
    while (!m_stop) {
        pollfd pfd{m_listen, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_accepted;
        handle(fd);
        ::close(fd);
        ++m_handled;
    }
}

void CddbTestServer::handle(int fd) {
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
    while (request.find("\r\n\r\n") == std::string::npos && !m_stop &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0)
            continue;
        char buffer[1024];
        const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
        if (got <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    Script script;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (m_scripts.empty())
            return;
        script = std::move(m_scripts.front());
        m_scripts.pop_front();
    }
    for (const Piece& piece : script.pieces) {
        std::size_t sent = 0;
        while (sent < piece.data.size()) {
            const ssize_t n =
                ::send(fd, piece.data.data() + sent, piece.data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                if (!m_stop)
                    ++m_closedByClient;
                return;
            }
            sent += static_cast<std::size_t>(n);
        }
        if (piece.pauseMs > 0 && !sleepMs(fd, piece.pauseMs))
            return;
    }
    if (script.holdMs > 0)
        sleepMs(fd, script.holdMs);
}

} // namespace cldtest
