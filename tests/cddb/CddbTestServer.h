#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cldtest {

// A CDDB server on 127.0.0.1 (ephemeral port) that plays canned answers. Each accepted
// connection reads one request up to its blank line, records it byte for byte, then
// plays the next queued script.
class CddbTestServer {
public:
    struct Piece {
        std::string data;
        int pauseMs = 0; // silence after this piece
    };
    struct Script {
        std::vector<Piece> pieces;
        int holdMs = 0; // stay connected and silent this long before closing
    };

    CddbTestServer();
    ~CddbTestServer();
    CddbTestServer(const CddbTestServer&) = delete;
    CddbTestServer& operator=(const CddbTestServer&) = delete;

    int port() const { return m_port; }
    void queue(Script script);
    // Convenience: the whole answer at once, then close.
    void queueAnswer(const std::string& answer);
    std::vector<std::string> requests() const;

    // An answer with an HTTP header, the body and the end marker.
    static std::string httpAnswer(const std::string& body, bool endMarker = true);

private:
    void run();
    void handle(int fd);
    bool sleepMs(int ms) const;

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::deque<Script> m_scripts;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

} // namespace cldtest
