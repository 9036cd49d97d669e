// https: the HTTP client over TLS against nginx with certificates made by
// the test's own CA; verification failures, redirects between the schemes,
// and the CONNECT tunnel of a proxy.
#include <gtest/gtest.h>

#include <functional>

#include <QElapsedTimer>
#include <QTimer>

#include "Nmhttp.h"
#include "Outcome.h"
#include "NginxServer.h"
#include "ScriptServer.h"
#include "TestPki.h"

using namespace testnet;

namespace {

const std::string kOk = "HTTP/1.0 200 OK\r\n\r\n";

Script answer(const std::string& reply) { return {ReadUntil("\r\n\r\n"), Send(reply), Close()}; }

// Every byte value, several times over: more than a TLS record, and more
// than the 64 KiB the session reads at once.
std::string allBytes()
{
    std::string b;
    for (int round = 0; round < 700; ++round)
        for (int v = 0; v < 256; ++v)
            b += static_cast<char>((v + round) & 0xFF);
    return b;
}

const char* const kSniPage = "location = /sni { return 200 \"sni=$ssl_server_name\"; }";

} // namespace

TEST(NmhttpTls, CertificateChainAndHostNameAreVerified)
{
    testpki::Pki pki;
    struct Case {
        const char* name;
        testpki::IssueOptions cert;
        const char* host;    // how the URL names the server
        bool trustCa;        // CACertFile is the test CA
        std::string outcome; // "" for a page
    };
    const std::vector<Case> cases = {
        {"good, by name", {}, "localhost", true, ""},
        {"good, by address", {}, "127.0.0.1", true, ""},
        {"expired", {{"localhost"}, true, -10, -1, false}, "localhost", true,
         "ECertificateError Certificate of localhost rejected: certificate has expired"},
        {"for another name", {{"other.example"}, false, -1, 30, false}, "localhost", true,
         "ECertificateError Certificate of localhost rejected: host name mismatch"},
        {"for another address", {{"localhost"}, false, -1, 30, false}, "127.0.0.1", true,
         "ECertificateError Certificate of 127.0.0.1 rejected: IP address mismatch"},
        {"self-signed", {{"localhost"}, true, -1, 30, true}, "localhost", true,
         "ECertificateError Certificate of localhost rejected: self-signed certificate"},
        {"CA not trusted", {}, "localhost", false,
         "ECertificateError Certificate of localhost rejected: unable to get local issuer certificate"},
    };
    const std::string binary = allBytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const testpki::Issued cert = pki.issue(c.cert);
        NginxServer nginx(kSniPage, {cert.certFile, cert.keyFile});
        ASSERT_TRUE(nginx.ok()) << nginx.error();
        nginx.put("all.bin", binary);
        const std::string base = std::string("https://") + c.host + ":" + std::to_string(nginx.port());

        TNMHTTP http;
        http.TimeOut = 10000;
        if (c.trustCa)
            http.CACertFile = pki.caFile();
        int errors = 0;
        http.OnError = [&](QObject*, uint16_t, const std::string&) { ++errors; };
        EXPECT_EQ(outcomeOf([&] { http.Get(base + "/sni"); }), c.outcome);
        EXPECT_FALSE(http.Connected());
        if (!c.outcome.empty()) {
            EXPECT_EQ(http.ReplyCode, 0);
            EXPECT_EQ(errors, 1);
            continue;
        }
        // The host name goes as SNI; an address does not.
        EXPECT_EQ(http.Body, std::string("sni=") + (c.host == std::string("localhost") ? "localhost" : ""));
        http.Get(base + "/all.bin");
        EXPECT_EQ(http.ReplyCode, 200);
        EXPECT_EQ(http.Header.substr(0, 15), "HTTP/1.1 200 OK");
        EXPECT_TRUE(http.Body == binary) << http.Body.size(); // every byte, exactly
        http.Get(base + "/missing");
        EXPECT_EQ(http.ReplyCode, 404);
    }
}

TEST(NmhttpTls, AnUnreadableCaFileIsAnError)
{
    testpki::Pki pki;
    const testpki::Issued cert = pki.issue();
    NginxServer nginx("", {cert.certFile, cert.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    TNMHTTP http;
    http.TimeOut = 5000;
    http.CACertFile = pki.file("no-such-ca.pem");
    const std::string outcome = outcomeOf([&] { http.Get(nginx.url("/")); });
    EXPECT_EQ(outcome.rfind("ECertificateError Cannot read CA certificates from " + http.CACertFile + ": ", 0), 0u)
        << outcome;
    EXPECT_FALSE(http.Connected());
}

TEST(NmhttpTls, RedirectsBetweenHttpAndHttps)
{
    testpki::Pki pki;
    const testpki::Issued cert = pki.issue();
    NginxServer nginx("location = /to-plain { return 301 http://127.0.0.1:$arg_port/back; }\n"
                      "location = /rel { absolute_redirect off; return 302 \"/target?q=a:b\"; }",
                      {cert.certFile, cert.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    nginx.put("target", "the target\n");
    const std::string tls = nginx.url("");
    ScriptServer plain({answer("HTTP/1.0 302 Found\r\nLocation: " + tls + "/target\r\n\r\n"),
                        answer(kOk + "plain again")});
    const std::string plainBase = "http://127.0.0.1:" + std::to_string(plain.port());

    TNMHTTP http;
    http.TimeOut = 10000;
    http.CACertFile = pki.caFile();
    http.Get(plainBase + "/start"); // http -> https
    EXPECT_EQ(http.Body, "the target\n");
    EXPECT_TRUE(http.RequestSecure);
    EXPECT_EQ(http.Port, nginx.port());

    http.Get(tls + "/to-plain?port=" + std::to_string(plain.port())); // https -> http
    EXPECT_EQ(http.Body, "plain again");
    EXPECT_FALSE(http.RequestSecure);
    ASSERT_TRUE(plain.waitDone(5000));
    EXPECT_EQ(plain.received(0).substr(0, 40), "GET /start HTTP/1.0\r\nHost: 127.0.0.1\r\nAc");
    EXPECT_EQ(plain.received(1).substr(0, 39), "GET /back HTTP/1.0\r\nHost: 127.0.0.1\r\nAc");

    // A relative location stays on https and on the server's port, colon in
    // the query or not.
    http.Get(tls + "/rel");
    EXPECT_EQ(http.LastLocation, "/target?q=a:b");
    EXPECT_EQ(http.Body, "the target\n");
    EXPECT_EQ(http.ReplyCode, 200);
}

TEST(NmhttpTls, HttpsGoesThroughTheProxysConnectTunnel)
{
    testpki::Pki pki;
    const testpki::Issued cert = pki.issue();
    NginxServer nginx(kSniPage, {cert.certFile, cert.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    const std::string authority = "localhost:" + std::to_string(nginx.port());
    ScriptServer proxy({{ReadUntil("\r\n\r\n"), Send("HTTP/1.0 200 Connection established\r\nX: y\r\n\r\n"),
                         Relay(static_cast<uint16_t>(nginx.port()))},
                        {ReadUntil("\r\n\r\n"), Send("HTTP/1.0 403 Forbidden\r\n\r\nno"), Close()},
                        answer(kOk + "plain via proxy")});

    TNMHTTP http;
    http.TimeOut = 10000;
    http.CACertFile = pki.caFile();
    http.SecureProxy = "127.0.0.1";
    http.SecureProxyPort = proxy.port();
    http.Get("https://" + authority + "/sni");
    EXPECT_EQ(http.Body, "sni=localhost");
    EXPECT_EQ(http.ReplyCode, 200);

    // Refused: the proxy's status names the failure.
    EXPECT_EQ(outcomeOf([&] { http.Get("https://" + authority + "/sni"); }),
              "ESockError Proxy refused the tunnel to " + authority + ": HTTP/1.0 403 Forbidden");
    EXPECT_FALSE(http.Connected());

    // http goes to Proxy the usual way, never to SecureProxy.
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.port();
    http.SecureProxy = "127.0.0.1";
    http.SecureProxyPort = 1;
    http.Get("http://origin.example/p");
    EXPECT_EQ(http.Body, "plain via proxy");

    ASSERT_TRUE(proxy.waitDone(5000));
    // The wire: the CONNECT request, then a TLS handshake record; the
    // request inside is the server's own and never seen in the clear.
    const std::string connect = "CONNECT " + authority + " HTTP/1.0\r\nHost: " + authority + "\r\n\r\n";
    const std::string tunnel = proxy.received(0);
    ASSERT_GT(tunnel.size(), connect.size() + 5);
    EXPECT_EQ(tunnel.substr(0, connect.size()), connect);
    EXPECT_EQ(tunnel[connect.size()], '\x16'); // handshake
    EXPECT_EQ(tunnel.find("GET "), std::string::npos);
    EXPECT_EQ(proxy.received(1), connect);
    EXPECT_EQ(proxy.received(2).substr(0, 32), "GET http://origin.example/p HTTP");
}

TEST(NmhttpTls, StopDuringAStalledHandshakeEndsItAndTheClientGoesOn)
{
    // No time-out: only the Stop button (a timer calling Abort while the
    // handshake waits on the event queue) can end the wait.
    testpki::Pki pki;
    const testpki::Issued cert = pki.issue();
    NginxServer nginx("", {cert.certFile, cert.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    nginx.put("after", "after the stop\n");
    ScriptServer stalled({{ReadBytes(1), Hold()}});

    TNMHTTP http;
    http.TimeOut = 0;
    http.CACertFile = pki.caFile();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 5)
            http.Abort();
    });
    ticker.start(40);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(outcomeOf([&] { http.Get("https://127.0.0.1:" + std::to_string(stalled.port()) + "/"); }),
              "ECancelError TLS Handshake Canceled");
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(ticks, 5);
    ticker.stop();
    EXPECT_FALSE(http.Connected());

    http.TimeOut = 10000;
    http.Get(nginx.url("/after"));
    EXPECT_EQ(http.Body, "after the stop\n");
}

TEST(NmhttpTls, DataDamagedInTransitIsAnErrorNotABody)
{
    // The tunnel flips one byte of the encrypted body: the record fails its
    // check, and the request fails with the TLS layer's reason.
    testpki::Pki pki;
    const testpki::Issued cert = pki.issue();
    NginxServer nginx("", {cert.certFile, cert.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    nginx.put("big", std::string(1 << 20, 'b'));
    ScriptServer relay({{ReadUntil("\r\n\r\n"), Send("HTTP/1.0 200 Connection established\r\n\r\n"),
                         RelayCorrupting(static_cast<uint16_t>(nginx.port()), 300000)}});

    TNMHTTP http;
    http.TimeOut = 10000;
    http.CACertFile = pki.caFile();
    http.SecureProxy = "127.0.0.1"; // a proxy whose tunnel damages the stream
    http.SecureProxyPort = relay.port();
    int errors = 0;
    http.OnError = [&](QObject*, uint16_t errNo, const std::string&) { errors += errNo == WSATLSFAILURE; };
    EXPECT_EQ(outcomeOf([&] { http.Get(nginx.url("/big")); }),
              "ESockError TLS error: decryption failed or bad record mac");
    EXPECT_EQ(http.ReplyCode, 200);
    EXPECT_GT(http.Body.size(), 100000u);
    EXPECT_LT(http.Body.size(), size_t(1) << 20);
    EXPECT_EQ(http.Body.find_first_not_of('b'), std::string::npos); // only bytes that passed the check
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(http.Connected());
}
