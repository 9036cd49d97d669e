// TLS for the socket session: OpenSSL on the component's own non-blocking
// socket. The socket, its epoll notifications and the waits stay exactly as
// for plain TCP; only the bytes pass through SSL_read and SSL_write. When
// OpenSSL needs more bytes (or room) it reports would-block, and the caller
// waits on the event queue as it would for the plain socket: the kernel's
// queue was read until empty, so the edge-triggered notification wakes the
// wait when the next bytes arrive, and an idle wait costs no CPU.
//
// Reads that only peek (ReadLn looks for the line end before it consumes)
// are served from a small read-ahead of decrypted bytes, FTlsIn, which the
// consuming reads empty first.
#include "Psock.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

constexpr size_t kPullSize = 16384; // one TLS record at most

// The socket under OpenSSL: non-blocking receive and send on the
// component's descriptor, with MSG_NOSIGNAL so that writing to a dropped
// connection is an error and never a SIGPIPE. The BIO's data is the
// component's link, which also keeps the errno of the last failure: each
// component has its own, whatever thread it works on.
TTlsSocketLink& linkOf(BIO* b) { return *static_cast<TTlsSocketLink*>(BIO_get_data(b)); }

int bioRead(BIO* b, char* out, int len)
{
    BIO_clear_retry_flags(b);
    const int fd = linkOf(b).Socket;
    ssize_t n;
    do {
        n = ::recv(fd, out, static_cast<size_t>(len), MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n == 0)
        BIO_set_flags(b, BIO_FLAGS_IN_EOF);
    if (n < 0) {
        linkOf(b).LastErrno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_read(b);
    }
    return static_cast<int>(n);
}

int bioWrite(BIO* b, const char* in, int len)
{
    BIO_clear_retry_flags(b);
    const int fd = linkOf(b).Socket;
    ssize_t n;
    do {
        n = ::send(fd, in, static_cast<size_t>(len), MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        linkOf(b).LastErrno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(b);
    }
    return static_cast<int>(n);
}

long bioCtrl(BIO* b, int cmd, long /*num*/, void* /*ptr*/)
{
    switch (cmd) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        return BIO_test_flags(b, BIO_FLAGS_IN_EOF) != 0;
    default:
        return 0;
    }
}

BIO_METHOD* socketMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "corvina socket");
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_ctrl(m, bioCtrl);
        return m;
    }();
    return method;
}

// The reason of the newest error in OpenSSL's queue (the TLS layer's own,
// above the cipher's), which is then emptied.
std::string takeOpenSslReason()
{
    const unsigned long e = ERR_peek_last_error();
    const char* reason = e ? ERR_reason_error_string(e) : nullptr;
    ERR_clear_error();
    return reason ? reason : "";
}

// The certificate problem in the program's words: the two name mismatches
// are worded here, the others are OpenSSL's own texts ("certificate has
// expired", "self-signed certificate", "unable to get local issuer
// certificate", ...).
std::string verifyProblem(long result)
{
    switch (result) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
        return "host name mismatch";
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "IP address mismatch";
    default:
        return X509_verify_cert_error_string(result);
    }
}

// One client context per extra CA file ("" = the system store only), made
// on first use and kept for the process: loading the store costs more than
// a handshake. The cache is never destroyed, so no context is freed after
// OpenSSL's own clean-up at exit.
SSL_CTX* clientContext(const std::string& caFile)
{
    static auto& contexts = *new std::map<std::string, SSL_CTX*>;
    const auto found = contexts.find(caFile);
    if (found != contexts.end())
        return found->second;
    ERR_clear_error();
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        throw ESockError("TLS set-up failed: " + takeOpenSslReason());
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // An HTTP/1.0 body ends when the server closes; many servers close
    // without the TLS close alert, which is then the end of the data too.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // Sends behave like send(): a part may be taken, and a retry after
    // would-block may come from the caller's buffer wherever it lives.
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Records are read from the socket several at a time. Only a receive
    // that found the socket empty makes OpenSSL ask for more, so a wait
    // after would-block still wakes on the next arrival.
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, 65536);
    // The system's store, or what SSL_CERT_FILE and SSL_CERT_DIR name.
    SSL_CTX_set_default_verify_paths(ctx);
    ERR_clear_error();
    if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        std::string reason = takeOpenSslReason();
        SSL_CTX_free(ctx);
        if (reason.empty())
            reason = std::strerror(ENOENT);
        throw ECertificateError("Cannot read CA certificates from " + caFile + ": " + reason);
    }
    contexts.emplace(caFile, ctx);
    return ctx;
}

// Stops the time-out timer however the guarded block ends.
struct TimerGuard {
    std::function<void()> off;
    ~TimerGuard() { off(); }
};

bool isIpAddress(const std::string& host)
{
    unsigned char addr[16];
    return inet_pton(AF_INET, host.c_str(), addr) == 1 || inet_pton(AF_INET6, host.c_str(), addr) == 1;
}

} // namespace

bool TPowersock::Secure() const { return FTlsState == TlsState::Up; }

void TPowersock::StartTLS(const std::string& hostName)
{
    StatusMessage(8, "Starting TLS");
    if (!FConnected || FSocket < 0)
        throw Exception("Not Connected");
    if (FSsl)
        throw ESockError("TLS already started");
    if (hostName.empty())
        throw ESockError("TLS needs the server's host name");
    SSL_CTX* ctx = clientContext(CACertFile);

    ERR_clear_error();
    FSsl = SSL_new(ctx);
    BIO* bio = FSsl ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        const std::string reason = takeOpenSslReason();
        TlsFree();
        throw ESockError("TLS handshake with " + hostName + " failed: " + reason);
    }
    FTlsLink.Socket = FSocket;
    FTlsLink.LastErrno = 0;
    BIO_set_data(bio, &FTlsLink);
    BIO_set_init(bio, 1);
    SSL_set_bio(FSsl, bio, bio);
    FTlsState = TlsState::Handshake;
    FTlsIn.clear();
    FTlsInPos = 0;
    FTlsError.clear();
    // The name the certificate must carry; a host name also goes as SNI.
    if (isIpAddress(hostName)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSsl), hostName.c_str());
    } else {
        SSL_set_tlsext_host_name(FSsl, hostName.c_str());
        SSL_set1_host(FSsl, hostName.c_str());
    }
    SSL_set_connect_state(FSsl);

    const unsigned generation = FSocketGeneration;
    std::string failure;
    bool certificate = false;
    TimerOn();
    {
        TimerGuard guard{[this] { TimerOff(); }};
        while (!FCanceled) {
            ERR_clear_error();
            FTlsLink.LastErrno = 0;
            const int rc = SSL_do_handshake(FSsl);
            if (rc == 1) {
                FTlsState = TlsState::Up;
                return;
            }
            const int err = SSL_get_error(FSsl, rc);
            if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
                ServiceQueue(true);
                if (generation != FSocketGeneration || !FSsl) {
                    // The close notification closed the socket: the peer
                    // hung up, or reset the connection.
                    failure = FPendingError ? SocketErrorStr(static_cast<uint16_t>(FPendingError))
                                            : "connection closed by peer";
                    break;
                }
                continue;
            }
            const long verified = SSL_get_verify_result(FSsl);
            if (verified != X509_V_OK) {
                certificate = true;
                failure = verifyProblem(verified);
                ERR_clear_error();
            } else if (err == SSL_ERROR_SSL || ERR_peek_error() != 0) {
                failure = takeOpenSslReason();
            } else if (err == SSL_ERROR_SYSCALL && (FTlsLink.LastErrno != 0 || FPendingError)) {
                const int code = FTlsLink.LastErrno ? MapSocketError(FTlsLink.LastErrno) : FPendingError;
                failure = SocketErrorStr(static_cast<uint16_t>(code));
            } else {
                failure = "connection closed by peer";
            }
            if (failure.empty())
                failure = "protocol error";
            break;
        }
    }
    if (FSsl)
        FTlsState = TlsState::Failed;
    if (failure.empty())
        RaiseAborted(FTimedOut ? "TLS Handshake Timed out" : "TLS Handshake Canceled");
    FTlsError = failure;
    const std::string message =
        certificate ? "Certificate of " + hostName + " rejected: " + failure
                    : "TLS handshake with " + hostName + " failed: " + failure;
    FLastErrorNo = WSATLSFAILURE;
    if (OnError)
        OnError(this, WSATLSFAILURE, message);
    if (certificate)
        throw ECertificateError(message);
    throw ESockError(message);
}

void TPowersock::TlsFree()
{
    if (!FSsl)
        return;
    if (FTlsState == TlsState::Up) {
        // The close alert, if the socket takes it at once; never waited for.
        SSL_shutdown(FSsl);
    }
    ERR_clear_error();
    SSL_free(FSsl); // frees the socket BIO too, not the socket
    FSsl = nullptr;
    FTlsState = TlsState::None;
    std::string().swap(FTlsIn);
    FTlsInPos = 0;
}

long TPowersock::TlsNotUp()
{
    SetLastSockError(FTlsState == TlsState::Failed ? WSATLSFAILURE : WSAENOTCONN);
    return -1;
}

long TPowersock::TlsFailed()
{
    FTlsError = takeOpenSslReason();
    if (FTlsError.empty())
        FTlsError = "protocol error";
    FTlsState = TlsState::Failed;
    FPendingError = WSATLSFAILURE;
    SetLastSockError(WSATLSFAILURE);
    return -1;
}

long TPowersock::TlsRead(char* buf, size_t len)
{
    ERR_clear_error();
    FTlsLink.LastErrno = 0;
    size_t got = 0;
    if (SSL_read_ex(FSsl, buf, len, &got) == 1)
        return static_cast<long>(got);
    const int err = SSL_get_error(FSsl, 0);
    int code;
    switch (err) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        SetLastSockError(WSAEWOULDBLOCK);
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0) {
            if (FTlsLink.LastErrno == 0)
                return 0; // the end of the stream
            code = MapSocketError(FTlsLink.LastErrno);
            if (code == WSAEWOULDBLOCK)
                code = WSAECONNRESET;
            FPendingError = code;
            SetLastSockError(code);
            return -1;
        }
        [[fallthrough]];
    default:
        return TlsFailed();
    }
}

long TPowersock::TlsRecv(char* buf, size_t len, bool peek)
{
    if (FTlsState == TlsState::Handshake) {
        // Only the close notification asks while the handshake runs: whether
        // the peer sent anything before it hung up is in the raw bytes.
        if (!peek) {
            SetLastSockError(WSAEWOULDBLOCK);
            return -1;
        }
        const ssize_t n = ::recv(FSocket, buf, len, MSG_DONTWAIT | MSG_PEEK);
        if (n < 0)
            SetLastSockError(MapSocketError(errno));
        return static_cast<long>(n);
    }
    if (FTlsState != TlsState::Up)
        return TlsNotUp();
    long status = 1;
    if (peek) {
        // Decrypt ahead until len bytes wait or TLS has nothing more ready.
        while (FTlsIn.size() - FTlsInPos < len) {
            if (FTlsInPos > 0 && (FTlsInPos == FTlsIn.size() || FTlsInPos >= kPullSize)) {
                FTlsIn.erase(0, FTlsInPos);
                FTlsInPos = 0;
            }
            const size_t old = FTlsIn.size();
            FTlsIn.resize(old + kPullSize);
            status = TlsRead(FTlsIn.data() + old, kPullSize);
            FTlsIn.resize(old + static_cast<size_t>(std::max<long>(status, 0)));
            if (status <= 0)
                break;
        }
    }
    const size_t waiting = FTlsIn.size() - FTlsInPos;
    if (waiting > 0) {
        const size_t n = std::min(waiting, len);
        std::memcpy(buf, FTlsIn.data() + FTlsInPos, n);
        if (!peek) {
            FTlsInPos += n;
            if (FTlsInPos == FTlsIn.size()) {
                FTlsIn.clear();
                FTlsInPos = 0;
            }
        }
        return static_cast<long>(n);
    }
    if (!peek) {
        // Nothing read ahead: decrypt straight into the caller's buffer, as
        // many records as are ready.
        size_t got = 0;
        while (got < len) {
            status = TlsRead(buf + got, len - got);
            if (status <= 0)
                break;
            got += static_cast<size_t>(status);
        }
        if (got > 0)
            return static_cast<long>(got);
    }
    if (status == 0 && FPendingError) {
        // A reset seen by a notification is not the end of the stream.
        SetLastSockError(FPendingError);
        return -1;
    }
    return status;
}

long TPowersock::TlsSend(const char* buf, size_t len)
{
    if (FTlsState != TlsState::Up)
        return TlsNotUp();
    if (len == 0)
        return 0;
    ERR_clear_error();
    FTlsLink.LastErrno = 0;
    size_t written = 0;
    if (SSL_write_ex(FSsl, buf, len, &written) == 1)
        return static_cast<long>(written);
    const int err = SSL_get_error(FSsl, 0);
    switch (err) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        SetLastSockError(WSAEWOULDBLOCK);
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        SetLastSockError(10058); // the peer has closed the TLS session
        return -1;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0) {
            int code = FTlsLink.LastErrno ? MapSocketError(FTlsLink.LastErrno) : WSAECONNRESET;
            if (FTlsLink.LastErrno == EPIPE)
                code = FPendingError ? FPendingError : WSAECONNRESET;
            SetLastSockError(code);
            return -1;
        }
        [[fallthrough]];
    default:
        return TlsFailed();
    }
}
