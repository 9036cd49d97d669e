// CPU cost of idle waits of the socket session: a ReadLn that waits for a
// silent server until its time-out (over plain TCP and over TLS), and a
// Read(count) that waits for more bytes while some already sit unread in the
// socket. The waits block on the event queue, so the process CPU time (user +
// system, from getrusage) should stay far below the wall time.
//
//   build/bench/bench_idlewait                 (5 s waits)
//   IDLEWAIT_MS=1000 build/bench/bench_idlewait
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>


#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Psock.h"

namespace {

int waitMs()
{
    const char* v = std::getenv("IDLEWAIT_MS");
    return v ? std::atoi(v) : 5000;
}

double processCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A server context with a certificate for localhost that signs itself,
// written to a file for the client to trust (made once).
struct TlsServer {
    SSL_CTX* ctx = nullptr;
    std::string certFile;

    static const TlsServer& get()
    {
        static const TlsServer server = [] {
            TlsServer t;
            EVP_PKEY* key = EVP_EC_gen("P-256");
            X509* cert = X509_new();
            X509_set_version(cert, 2);
            ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
            X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
            X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
            X509_set_pubkey(cert, key);
            X509_NAME* name = X509_get_subject_name(cert);
            X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"),
                                       -1, -1, 0);
            X509_set_issuer_name(cert, name);
            X509V3_CTX v3;
            X509V3_set_ctx_nodb(&v3);
            X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
            X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "DNS:localhost");
            X509_add_ext(cert, san, -1);
            X509_EXTENSION_free(san);
            X509_sign(cert, key, EVP_sha256());
            t.certFile = "/tmp/corvina-idlewait-" + std::to_string(::getpid()) + ".pem";
            if (FILE* f = std::fopen(t.certFile.c_str(), "w")) {
                PEM_write_X509(f, cert);
                std::fclose(f);
            }
            t.ctx = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate(t.ctx, cert);
            SSL_CTX_use_PrivateKey(t.ctx, key);
            X509_free(cert);
            EVP_PKEY_free(key);
            return t;
        }();
        return server;
    }
};

// Accepts one connection, optionally completes a TLS handshake, optionally
// sends a few bytes, then stays silent until the client closes.
class SilentServer {
public:
    explicit SilentServer(std::string greeting, SSL_CTX* tls = nullptr) : greeting_(std::move(greeting))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        ::listen(fd_, 1);
        socklen_t len = sizeof sa;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this, tls] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            SSL* ssl = tls ? SSL_new(tls) : nullptr;
            if (ssl) {
                SSL_set_fd(ssl, c);
                SSL_accept(ssl);
            }
            if (!greeting_.empty())
                (void)!::send(c, greeting_.data(), greeting_.size(), 0);
            pollfd p{c, POLLRDHUP, 0};
            ::poll(&p, 1, 120000);
            SSL_free(ssl);
            ::close(c);
        });
    }
    ~SilentServer()
    {
        thread_.join();
        ::close(fd_);
    }
    uint16_t port() const { return port_; }

private:
    std::string greeting_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

void runWait(benchmark::State& state, const std::string& greeting, bool readCount, bool tls = false)
{
    for (auto _ : state) {
        SilentServer server(greeting, tls ? TlsServer::get().ctx : nullptr);
        TPowersock sock;
        sock.Host = "127.0.0.1";
        sock.Port = server.port();
        sock.TimeOut = waitMs();
        sock.Connect();
        if (tls) {
            sock.CACertFile = TlsServer::get().certFile;
            sock.StartTLS("localhost");
            // Loaded into the client's context, which is kept: the file can go.
            std::remove(TlsServer::get().certFile.c_str());
        }
        const double before = processCpuSeconds();
        try {
            if (readCount) {
                // Read has no time-out of its own: a timer cancels it.
                TThreadTimer stop;
                stop.SetInterval(static_cast<uint32_t>(waitMs()));
                stop.SetOnTimer([&](QObject*) {
                    stop.SetEnabled(false);
                    sock.Cancel();
                });
                sock.Read(100);
            } else {
                sock.ReadLn();
            }
        } catch (const EAbortError&) {
        }
        state.counters["cpu_s"] = processCpuSeconds() - before;
        sock.Disconnect();
    }
}

void BM_IdleReadLn(benchmark::State& state) { runWait(state, "", false); }
void BM_IdleTlsReadLn(benchmark::State& state) { runWait(state, "", false, true); }
void BM_ReadCountWithUnreadBytes(benchmark::State& state) { runWait(state, "partial", true); }

} // namespace

BENCHMARK(BM_IdleReadLn)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IdleTlsReadLn)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadCountWithUnreadBytes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
