// The HTTP reply reader: status line, header lines, Set-Cookie, Location and
// Content-Length, redirects and the body, fed from the input. A listening
// socket on 127.0.0.1, served on the client's own thread while the request
// waits, answers every connection with the input and closes; the client is
// pointed at it as its proxy, so a redirect anywhere comes back here too.
// A request either raises one of the program's errors or returns with the
// header and the body of the last reply making up the input exactly; kept
// values stay within their bounds; the client is left unconnected.
#include "Nmhttp.h"
#include "FuzzCheck.h"

#include <memory>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_listen = -1;
uint16_t g_port = 0;
std::string g_reply;

// One accepted connection: it answers once the request header is in.
struct Connection {
    int fd = -1;
    std::string request;
    bool answered = false;
    std::unique_ptr<QSocketNotifier> notifier;
};
std::vector<std::unique_ptr<Connection>> g_connections;

void answer(Connection& c)
{
    char buf[65536];
    ssize_t n;
    while ((n = recv(c.fd, buf, sizeof buf, 0)) > 0)
        c.request.append(buf, static_cast<size_t>(n));
    if (c.answered || c.request.find("\r\n\r\n") == std::string::npos)
        return;
    c.answered = true;
    size_t sent = 0;
    while (sent < g_reply.size()) {
        const ssize_t k = send(c.fd, g_reply.data() + sent, g_reply.size() - sent, MSG_NOSIGNAL);
        if (k <= 0)
            break;
        sent += static_cast<size_t>(k);
    }
    shutdown(c.fd, SHUT_WR);
}

void acceptConnection()
{
    const int fd = accept4(g_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    Connection* raw = c.get();
    QObject::connect(c->notifier.get(), &QSocketNotifier::activated, [raw] { answer(*raw); });
    g_connections.push_back(std::move(c));
    answer(*raw);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    g_listen = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    FUZZ_CHECK(bind(g_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0);
    FUZZ_CHECK(listen(g_listen, 16) == 0);
    FUZZ_CHECK(getsockname(g_listen, reinterpret_cast<sockaddr*>(&sa), &len) == 0);
    g_port = ntohs(sa.sin_port);
    static QSocketNotifier notifier(g_listen, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [] { acceptConnection(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Small enough to sit in the loopback buffers at once.
    g_reply = FuzzBytes(data, std::min<size_t>(size, 16384));

    TNMHTTP http;
    http.TimeOut = 3000;
    http.Proxy = "127.0.0.1";
    http.ProxyPort = g_port;
    http.MaxRedirects = 2;
    bool returned = false;
    try {
        http.Get("http://fuzz.invalid/start");
        returned = true;
    } catch (const Exception&) {
    }
    FUZZ_CHECK(!http.Connected());
    FUZZ_CHECK(http.LastCookie.size() <= 256);
    FUZZ_CHECK(http.LastLocation.size() <= 256);
    if (returned) {
        FUZZ_CHECK(http.Header.size() <= g_reply.size());
        FUZZ_CHECK(!g_reply.empty());
        FUZZ_CHECK(http.Header + http.Body == g_reply);
        // The body starts only after the header's empty line.
        if (!http.Body.empty())
            FUZZ_CHECK(!http.Header.empty() && http.Header.back() == '\n');
    }
    // The client has closed its end; the server's ends go too.
    for (auto& c : g_connections) {
        c->notifier.reset();
        close(c->fd);
    }
    g_connections.clear();
    return 0;
}
