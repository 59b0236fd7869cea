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
    // Connections the client closed while this server was still sending, pausing or
    // holding: proof that the client gave up by itself, whatever the clock says.
    int closedByClient() const { return m_closedByClient.load(); }
    // Connections this server is done with, however they ended.
    int handled() const { return m_handled.load(); }
    // Whether every connection accepted so far has been dealt with. A client call that
    // returned may leave the server still holding or closing its connection; counters
    // read before the next exchange are exact only once this is true.
    bool idle() const { return m_accepted.load() == m_handled.load(); }

    // An answer with an HTTP header, the body and the end marker.
    static std::string httpAnswer(const std::string& body, bool endMarker = true);

private:
    void run();
    void handle(int fd);
    // Waits `ms` on the connection; false when the server stops or the client closes.
    bool sleepMs(int fd, int ms);

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_closedByClient{0};
    std::atomic<int> m_handled{0};
    std::atomic<int> m_accepted{0};
    mutable std::mutex m_mutex;
    std::deque<Script> m_scripts;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

} // namespace cldtest
