// The HTTP client against hostile servers: every case ends within a bound
// with its error or result, keeps its memory bounded, and leaves the client
// ready for the next request.
#include <gtest/gtest.h>

#include <functional>

#include <sys/resource.h>

#include <QElapsedTimer>

#include "Nmhttp.h"
#include "Outcome.h"
#include "ScriptServer.h"

using namespace testnet;

namespace {

const std::string kOk = "HTTP/1.0 200 OK\r\n\r\n";

Script answer(const std::string& reply) { return {ReadUntil("\r\n\r\n"), Send(reply), Close()}; }

std::string base(const ScriptServer& srv) { return "http://127.0.0.1:" + std::to_string(srv.port()); }

// A status line that arrives one byte a second.
Script trickleBytes()
{
    Script s{ReadUntil("\r\n\r\n")};
    for (char c : std::string("HTTP/1.0 200 OK\r\n\r\n")) {
        s.push_back(Send(std::string(1, c)));
        s.push_back(Pause(1000));
    }
    return s;
}

std::string manyHeaderLines(int n)
{
    std::string lines = "HTTP/1.0 200 OK\r\n";
    for (int i = 0; i < n; ++i)
        lines += "X-Line-" + std::to_string(100000 + i) + ": v\r\n";
    return lines + "\r\nbody";
}

struct HostileCase {
    const char* name;
    Script script;
    std::string url;        // appended to the server's base address ("https:" + path: the https one)
    std::string outcome;    // the exception, "" for a normal return
    int replyCode;          // after the call
    std::string body;       // the whole body, or its start when bodyIsPrefix
    bool bodyIsPrefix;
    int timeOut;            // the client's TimeOut
    int64_t maxBody;        // the client's MaxBodySize
    int boundMs;            // the call must have ended by then (generous); half of it is the page deadline
    int connections;        // connections the case makes
};

} // namespace

TEST(NmhttpHostile, EveryCaseEndsBoundedAndLeavesTheClientReady)
{
    const std::string binary("\x00\x01\xff\x00\r\n\x00tail", 11);
    const std::string part(5000, 'p');
    const int64_t kDefaultBody = int64_t(256) * 1024 * 1024;
    std::vector<HostileCase> cases = {
        {"never answers", {ReadUntil("\r\n\r\n"), Hold()}, "/", "ETimeOutError Socket readln aborted", 0, "", false,
         500, kDefaultBody, 10000, 1},
        {"a byte a second", trickleBytes(), "/", "ETimeOutError Longest wait for one page passed (5 s)", 0, "",
         false, 1500, kDefaultBody, 10000, 1},
        {"reset mid-body", {ReadUntil("\r\n\r\n"), Send(kOk + part), Pause(200), Reset()}, "/",
         "ESockError 10054:Connection reset by peer", 200, part, true, 5000, kDefaultBody, 10000, 1},
        {"2 MB header line", answer("HTTP/1.0 200 OK\r\nX-Big: " + std::string(2 << 20, 'h') + "\r\n\r\nbody"), "/",
         "ERangeError", 200, "", false, 5000, kDefaultBody, 20000, 1},
        {"100,000 header lines", answer(manyHeaderLines(100000)), "/", "EAbortError Socket readln aborted", 200, "",
         false, 20000, kDefaultBody, 60000, 1},
        {"redirect to a port beyond 16 bits",
         answer("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:99999/\r\n\r\n"), "/",
         "EConvertError '99999' is not a valid port number", 302, "", false, 5000, kDefaultBody, 10000, 1},
        {"redirect to an unclosed IPv6 address", answer("HTTP/1.0 301 Moved\r\nLocation: http://[::1\r\n\r\n"), "/",
         "EConvertError ':1' is not a valid port number", 301, "", false, 5000, kDefaultBody, 10000, 1},
        {"redirect with an empty location", {}, "/", "", 200, "root", false, 5000, kDefaultBody, 10000, 2},
        {"garbage status line", answer("\x01\x7fGARBAGE\x80\r\nX: y\r\n\r\nbody"), "/", "", 0, "body", false, 5000,
         kDefaultBody, 10000, 1},
        {"binary body with zero bytes", answer(kOk + binary), "/", "", 200, binary, false, 5000, kDefaultBody, 10000,
         1},
        {"Content-Length larger than the body",
         answer("HTTP/1.0 200 OK\r\nContent-Length: 2147483647\r\n\r\nshort"), "/", "", 200, "short", false, 5000,
         kDefaultBody, 10000, 1},
        {"Content-Length smaller than the body", answer("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nlonger"), "/",
         "", 200, "longer", false, 5000, kDefaultBody, 10000, 1},
        {"endless fast body", {ReadUntil("\r\n\r\n"), Send(kOk), Repeat(std::string(65536, 'e'), 4096)}, "/",
         "EAbortError Socket capture aborted", 200, "eeee", true, 20000, int64_t(1) << 20, 30000, 1},
        {"close before any byte", {ReadUntil("\r\n\r\n"), Close()}, "/", "ESockError 10054:Connection reset by peer",
         0, "", false, 5000, kDefaultBody, 10000, 1},
        {"reset before any byte", {ReadUntil("\r\n\r\n"), Reset()}, "/", "ESockError 10054:Connection reset by peer", 0,
         "", false, 5000, kDefaultBody, 10000, 1},
        // https to a peer that is no TLS server. Each reads the client's
        // first bytes (its hello) before it misbehaves.
        {"stalls in the TLS handshake", {ReadBytes(1), Hold()}, "https:/", "ETimeOutError TLS Handshake Timed out", 0, "",
         false, 500, kDefaultBody, 10000, 1},
        {"plain HTTP instead of a TLS handshake", {ReadBytes(1), Send(kOk + "not tls"), Close()}, "https:/",
         "ESockError TLS handshake with 127.0.0.1 failed: wrong version number", 0, "", false, 5000, kDefaultBody,
         10000, 1},
        {"endless garbage instead of a TLS handshake", {ReadBytes(1), Repeat(std::string(65536, '\x16'), 64)}, "https:/",
         "ESockError TLS handshake with 127.0.0.1 failed: wrong version number", 0, "", false, 5000, kDefaultBody,
         10000, 1},
        {"closes in the TLS handshake", {ReadBytes(1), Close()}, "https:/",
         "ESockError TLS handshake with 127.0.0.1 failed: connection closed by peer", 0, "", false, 5000,
         kDefaultBody, 10000, 1},
        {"resets in the TLS handshake", {ReadBytes(1), Reset()}, "https:/",
         "ESockError TLS handshake with 127.0.0.1 failed: 10054:Connection reset by peer", 0, "", false, 5000,
         kDefaultBody, 10000, 1},
    };
    for (HostileCase& hc : cases) {
        SCOPED_TRACE(hc.name);
        std::vector<Script> scripts{hc.script};
        if (std::string(hc.name) == "redirect with an empty location")
            scripts = {answer("HTTP/1.0 302 Found\r\nLocation: \r\n\r\n"), answer(kOk + "root")};
        scripts.push_back(answer(kOk + "ready")); // the next request
        ScriptServer srv(scripts);
        TNMHTTP http;
        http.TimeOut = hc.timeOut;
        http.PageDeadline = hc.boundMs / 2;
        http.MaxBodySize = hc.maxBody;
        http.Body = "";

        QElapsedTimer t;
        t.start();
        const std::string url = hc.url.rfind("https:", 0) == 0
                                    ? "https://127.0.0.1:" + std::to_string(srv.port()) + hc.url.substr(6)
                                    : base(srv) + hc.url;
        EXPECT_EQ(outcomeOf([&] { http.Get(url); }), hc.outcome);
        EXPECT_LT(t.elapsed(), hc.boundMs);
        EXPECT_EQ(http.ReplyCode, hc.replyCode);
        if (hc.bodyIsPrefix)
            EXPECT_EQ(http.Body.substr(0, hc.body.size()), hc.body);
        else
            EXPECT_EQ(http.Body, hc.body);
        EXPECT_LE(http.Body.capacity(), static_cast<size_t>(hc.maxBody) + 65536 + 4096);
        EXPECT_LE(http.Header.size(), static_cast<size_t>(http.MaxHeaderSize) + 65536);
        EXPECT_FALSE(http.Connected());
        EXPECT_EQ(srv.accepted(), hc.connections);

        // Ready for the next request, on the same server.
        http.TimeOut = 5000;
        http.Get(base(srv) + "/next");
        EXPECT_EQ(http.ReplyCode, 200);
        EXPECT_EQ(http.Body, "ready");
    }
}

TEST(NmhttpHostile, ZeroByteInARedirectHostCannotCutTheRequestShort)
{
    // Found by fuzzing: the Host line was sent up to the zero byte, so the
    // request never ended and the exchange waited for the time-out.
    const std::string zero(1, '\0');
    ScriptServer proxy({answer("HTTP/1.0 302 Found\r\nLocation: http://a" + zero + "b/x\r\n\r\n"),
                        answer(kOk + "arrived")});
    TNMHTTP http;
    http.TimeOut = 3000;
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.port();
    http.Get("http://origin/start");
    EXPECT_EQ(http.Body, "arrived");
    ASSERT_TRUE(proxy.waitDone(3000));
    const std::string start = "GET http://a%00b/x HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nHost: ab\r\nAccept";
    EXPECT_EQ(proxy.received(1).substr(0, start.size()), start);
}

TEST(NmhttpHostile, BodyGrowthStopsAtTheBoundAndOneRead)
{
    // Doubling would reach twice the bound; the growth is capped instead, and
    // a second large body starts from the same room.
    const int64_t bound = int64_t(3) << 20;
    ScriptServer srv({{ReadUntil("\r\n\r\n"), Send(kOk), Repeat(std::string(65536, 'g'), 200)},
                      answer(kOk + std::string(int64_t(5) << 19, 's'))});
    TNMHTTP http;
    http.TimeOut = 20000;
    http.MaxBodySize = bound;
    EXPECT_EQ(outcomeOf([&] { http.Get(base(srv) + "/endless"); }), "EAbortError Socket capture aborted");
    EXPECT_GT(static_cast<int64_t>(http.Body.size()), bound);
    EXPECT_LE(static_cast<int64_t>(http.Body.capacity()), bound + 65536 + 4096);
    http.Get(base(srv) + "/fits");
    EXPECT_EQ(http.Body.size(), size_t(5) << 19);
}

TEST(NmhttpHostile, PortsOutsideTheRangeFailBeforeAnyConnection)
{
    ScriptServer srv({answer(kOk + "fine")});
    TNMHTTP http;
    http.TimeOut = 5000;
    int connects = 0;
    http.OnConnect = [&](QObject*) { ++connects; };
    for (const char* port : {"99999", "65536", "0", "-1", "$50", "0x50", "", "8O", "123456", " 80"}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(outcomeOf([&] { http.Get(std::string("http://127.0.0.1:") + port + "/"); }),
                  std::string("EConvertError '") + port + "' is not a valid port number");
    }
    EXPECT_EQ(connects, 0);
    // The edges of the range are ports; the last one is the server's.
    http.RequestURL = "http://h:1/";
    http.ParseURL();
    EXPECT_EQ(http.Port, 1);
    http.RequestURL = "h:65535/x";
    http.ParseURL();
    EXPECT_EQ(http.Port, 65535);
    http.Get(base(srv) + "/");
    EXPECT_EQ(http.Body, "fine");
}

TEST(NmhttpRequest, BytesBeyondAsciiInTheTargetAreEscaped)
{
    // Key words typed beyond ASCII (UTF-8 or Latin-1) make a valid query.
    ScriptServer srv({answer(kOk), answer(kOk)});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get(base(srv) + "/search?q=caf\xc3\xa9+na\xefve&x=\x7f~");
    http.Proxy = "127.0.0.1";
    http.ProxyPort = srv.port();
    http.Get("http://h/\xe9");
    ASSERT_TRUE(srv.waitDone(3000));
    EXPECT_EQ(srv.received(0).substr(0, 53), "GET /search?q=caf%C3%A9+na%EFve&x=%7F~ HTTP/1.0\r\nHost");
    EXPECT_EQ(srv.received(1).substr(0, 28), "GET http://h/%E9 HTTP/1.0\r\nP");
}

// The one case that really fills the 256 MiB bound; run by hand, it prints
// the peak resident size:
//   ./tests/test_net --gtest_also_run_disabled_tests --gtest_filter='*RealBound*'
TEST(NmhttpHostile, DISABLED_EndlessBodyAtTheRealBound)
{
    ScriptServer srv({{ReadUntil("\r\n\r\n"), Send(kOk), Repeat(std::string(1 << 20, 'e'), 1024)}});
    TNMHTTP http;
    http.TimeOut = 120000;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(outcomeOf([&] { http.Get(base(srv) + "/"); }), "EAbortError Socket capture aborted");
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("body %zu bytes, capacity %zu, %lld ms, peak resident %ld MiB\n", http.Body.size(),
                http.Body.capacity(), static_cast<long long>(t.elapsed()), ru.ru_maxrss / 1024);
    EXPECT_LE(http.Body.capacity(), size_t(256 << 20) + 65536 + 4096);
}
