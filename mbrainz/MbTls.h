#pragma once

#include <cstddef>
#include <memory>
#include <string>

class CddbSocket;

namespace cld::mb {

// How starting TLS on a connection ended.
enum class TlsStart {
    Ok,
    SocketFailed, // the connection failed, ran out of time or was cancelled (CddbSocket's error)
    Rejected,     // the certificate could not be verified, or the handshake failed
};

// TLS (OpenSSL) over an already connected CddbSocket. The encrypted bytes go through
// memory buffers and the socket's own send/readable/receive, so every wait keeps the
// socket's deadline and cancel signal. The server's certificate is verified against the
// system's CA store (or `trustFile` when given) and must name the host (a DNS name or an
// IP address); anything else ends the handshake with a one-line reason.
class TlsLink {
public:
    explicit TlsLink(CddbSocket& socket);
    ~TlsLink();
    TlsLink(const TlsLink&) = delete;
    TlsLink& operator=(const TlsLink&) = delete;

    // `early` are bytes already read from the socket that belong to the TLS stream.
    TlsStart start(const std::string& host, const std::string& trustFile, int waitMs,
                   const std::string& early = {});
    // Why start() or a later call failed at the TLS level (one line).
    const std::string& error() const { return m_error; }

    bool send(const char* bytes, std::size_t length);
    // Byte count, 0 when the peer has closed, -1 on a socket error (CddbSocket's error),
    // -2 when nothing came within `waitMs`, -3 on a TLS error (see error()).
    long receive(char* buffer, std::size_t size, int waitMs);

private:
    struct State;
    bool flush();
    int pump(int waitMs); // 1 bytes read, 0 peer closed, -1 socket error, -2 time up
    CddbSocket& m_socket;
    std::unique_ptr<State> m_state;
    std::string m_error;
};

} // namespace cld::mb
