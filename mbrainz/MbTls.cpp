#include "MbTls.h"

#include "CddbSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace cld::mb {

namespace {

std::string lastSslReason() {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0)
        return "the connection broke off";
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "error " + std::to_string(code);
}

bool isIpAddress(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

} // namespace

struct TlsLink::State {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO* in = nullptr;  // bytes from the server, owned by ssl
    BIO* out = nullptr; // bytes for the server, owned by ssl
    ~State() {
        if (ssl)
            SSL_free(ssl);
        if (context)
            SSL_CTX_free(context);
    }
};

TlsLink::TlsLink(CddbSocket& socket) : m_socket(socket), m_state(std::make_unique<State>()) {}

TlsLink::~TlsLink() = default;

bool TlsLink::flush() {
    char buffer[16384];
    while (BIO_ctrl_pending(m_state->out) > 0) {
        const int got = BIO_read(m_state->out, buffer, sizeof buffer);
        if (got <= 0)
            break;
        if (!m_socket.send(buffer, static_cast<std::size_t>(got)))
            return false;
    }
    return true;
}

int TlsLink::pump(int waitMs) {
    if (!flush())
        return -1;
    bool ready = false;
    if (!m_socket.readable(ready, waitMs))
        return -1;
    if (!ready)
        return -2;
    char buffer[16384];
    const long got = m_socket.receive(buffer, sizeof buffer);
    if (got < 0)
        return -1;
    if (got == 0)
        return 0;
    BIO_write(m_state->in, buffer, static_cast<int>(got));
    return 1;
}

TlsStart TlsLink::start(const std::string& host, const std::string& trustFile, int waitMs,
                        const std::string& early) {
    ERR_clear_error();
    State& s = *m_state;
    s.context = SSL_CTX_new(TLS_client_method());
    if (!s.context) {
        m_error = "TLS is not available: " + lastSslReason();
        return TlsStart::Rejected;
    }
    SSL_CTX_set_min_proto_version(s.context, TLS1_2_VERSION);
    SSL_CTX_set_verify(s.context, SSL_VERIFY_PEER, nullptr);
    // Many servers close without a TLS close alert; HTTP's own framing tells a cut answer.
    SSL_CTX_set_options(s.context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    const bool loaded =
        trustFile.empty()
            ? SSL_CTX_set_default_verify_paths(s.context) == 1
            : SSL_CTX_load_verify_locations(s.context, trustFile.c_str(), nullptr) == 1;
    if (!loaded) {
        m_error = "The trusted certificates could not be read: " + lastSslReason();
        return TlsStart::Rejected;
    }
    s.ssl = SSL_new(s.context);
    s.in = BIO_new(BIO_s_mem());
    s.out = BIO_new(BIO_s_mem());
    if (!s.ssl || !s.in || !s.out) {
        BIO_free(s.in);
        BIO_free(s.out);
        s.in = s.out = nullptr;
        m_error = "TLS is not available: " + lastSslReason();
        return TlsStart::Rejected;
    }
    SSL_set_bio(s.ssl, s.in, s.out);
    if (!early.empty())
        BIO_write(s.in, early.data(), static_cast<int>(early.size()));
    X509_VERIFY_PARAM* param = SSL_get0_param(s.ssl);
    if (isIpAddress(host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) {
            m_error = "Bad address";
            return TlsStart::Rejected;
        }
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(s.ssl, host.c_str()) != 1 ||
            SSL_ctrl(s.ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(host.c_str())) != 1) {
            m_error = "Bad address";
            return TlsStart::Rejected;
        }
    }
    SSL_set_connect_state(s.ssl);
    for (;;) {
        const int done = SSL_do_handshake(s.ssl);
        if (done == 1)
            return flush() ? TlsStart::Ok : TlsStart::SocketFailed;
        const int why = SSL_get_error(s.ssl, done);
        if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
            const int pumped = pump(waitMs);
            if (pumped == 1)
                continue;
            if (pumped == -1)
                return TlsStart::SocketFailed;
            if (pumped == -2) {
                CddbSocket::setLastError(kCddbTimedOut);
                return TlsStart::SocketFailed;
            }
            m_error = "The server " + host + " closed the connection during the TLS handshake.";
            return TlsStart::Rejected;
        }
        const long verified = SSL_get_verify_result(s.ssl);
        if (verified != X509_V_OK) {
            ERR_clear_error();
            // The program's own refusal, not the server's: the certificate did not lead to
            // an authority this system trusts (or did not name the host).
            m_error = "The certificate of " + host +
                      " was not trusted: " + X509_verify_cert_error_string(verified) + ".";
        } else {
            m_error = "The TLS handshake with " + host + " failed: " + lastSslReason() + ".";
        }
        // Tell the server why, as far as it still listens.
        flush();
        return TlsStart::Rejected;
    }
}

bool TlsLink::send(const char* bytes, std::size_t length) {
    ERR_clear_error();
    while (length > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(length, 1 << 20));
        const int written = SSL_write(m_state->ssl, bytes, chunk);
        if (written <= 0) {
            m_error = "TLS: " + lastSslReason();
            return false;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
        if (!flush())
            return false;
    }
    return true;
}

long TlsLink::receive(char* buffer, std::size_t size, int waitMs) {
    ERR_clear_error();
    const int want = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
    bool closed = false;
    for (;;) {
        const int got = SSL_read(m_state->ssl, buffer, want);
        if (got > 0)
            return got;
        const int why = SSL_get_error(m_state->ssl, got);
        if (why == SSL_ERROR_ZERO_RETURN)
            return 0;
        if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
            const int pumped = pump(waitMs);
            if (pumped == 1)
                continue;
            if (pumped == 0 && !closed) {
                // The peer closed the socket; what SSL still holds is read first.
                BIO_set_mem_eof_return(m_state->in, 0);
                closed = true;
                continue;
            }
            return pumped;
        }
        if (closed && why == SSL_ERROR_SYSCALL)
            return 0;
        m_error = "TLS: " + lastSslReason();
        return -3;
    }
}

} // namespace cld::mb
