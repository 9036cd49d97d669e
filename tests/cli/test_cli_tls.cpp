// corvina-cli over https: certificates verified against the system's store,
// --cacert and SSL_CERT_FILE adding the test's CA, the failure named on
// standard error, --proxy and https_proxy tunnelling, and a harvest that
// skips a site whose certificate is bad and says why.
#include <gtest/gtest.h>

#include "NginxServer.h"
#include "ScriptServer.h"
#include "TestPki.h"
#include "TestUtil.h"

using namespace testnet;

namespace {

testutil::ProcessResult cli(const std::vector<std::string>& args, const std::string& input = {})
{
    return testutil::runProcess(CORVINA_CLI_PATH, args, input);
}

// A relaying proxy for one CONNECT tunnel to port.
Script tunnelTo(int port)
{
    return {ReadUntil("\r\n\r\n"), Send("HTTP/1.0 200 Connection established\r\n\r\n"),
            Relay(static_cast<uint16_t>(port))};
}

} // namespace

TEST(CliTls, FetchVerifiesTheServerAndTrustsTheGivenCa)
{
    testutil::SavedEnv env({"http_proxy", "https_proxy", "HTTPS_PROXY", "SSL_CERT_FILE", "SSL_CERT_DIR"});
    testpki::Pki pki;
    const testpki::Issued good = pki.issue();
    const testpki::Issued expired = pki.issue({{"localhost"}, true, -10, -1, false});
    NginxServer nginx("", {good.certFile, good.keyFile});
    NginxServer stale("", {expired.certFile, expired.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    ASSERT_TRUE(stale.ok()) << stale.error();
    nginx.put("page.html", "secure page\n");
    stale.put("page.html", "stale page\n");

    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* certFileEnv; // SSL_CERT_FILE, "" unset
        int exitCode;
        std::string out;
        std::string err;
    };
    const std::string ca = pki.caFile();
    const std::vector<Case> cases = {
        {"--cacert", {"--cacert", ca, nginx.url("/page.html")}, "", 0, "secure page\n", ""},
        {"SSL_CERT_FILE", {nginx.url("/page.html")}, ca.c_str(), 0, "secure page\n", ""},
        {"expired", {"--cacert", ca, stale.url("/page.html")}, "", 1, "",
         "corvina-cli: " + stale.url("/page.html") + ": Certificate of localhost rejected: certificate has expired\n"},
        {"no such CA file", {"--cacert", pki.file("none.pem"), nginx.url("/")}, "", 2, "",
         "corvina-cli: fetch: --cacert: cannot read '" + pki.file("none.pem") + "'\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (*c.certFileEnv)
            setenv("SSL_CERT_FILE", c.certFileEnv, 1);
        else
            unsetenv("SSL_CERT_FILE");
        std::vector<std::string> args{"fetch", "--timeout", "10000"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = cli(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(CliTls, ProxyOptionAndHttpsProxyTunnelHttps)
{
    testutil::SavedEnv env({"http_proxy", "https_proxy", "HTTPS_PROXY"});
    testpki::Pki pki;
    const testpki::Issued good = pki.issue();
    NginxServer nginx("", {good.certFile, good.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    nginx.put("p", "tunnelled\n");
    ScriptServer proxy({tunnelTo(nginx.port()), tunnelTo(nginx.port())});
    const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());

    auto r = cli({"fetch", "--cacert", pki.caFile(), "--proxy", proxyAddress, nginx.url("/p")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "tunnelled\n");
    setenv("https_proxy", ("http://" + proxyAddress + "/").c_str(), 1);
    setenv("http_proxy", "http://127.0.0.1:1/", 1); // for http only
    r = cli({"fetch", "--cacert", pki.caFile(), nginx.url("/p")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "tunnelled\n");
    ASSERT_TRUE(proxy.waitDone(5000));
    const std::string connect = "CONNECT localhost:" + std::to_string(nginx.port()) + " HTTP/1.0\r\n";
    EXPECT_EQ(proxy.received(0).substr(0, connect.size()), connect);
    EXPECT_EQ(proxy.received(1).substr(0, connect.size()), connect);

    setenv("https_proxy", "socks5://elsewhere:1", 1);
    r = cli({"fetch", "--timeout", "1", "http://127.0.0.1:1/"});
    EXPECT_NE(r.err.find("ignoring https_proxy 'socks5://elsewhere:1': expected http://HOST:PORT/"),
              std::string::npos)
        << r.err;
}

TEST(CliTls, HarvestSkipsASiteWithABadCertificateAndLogsWhy)
{
    testutil::SavedEnv env({"http_proxy", "https_proxy", "HTTPS_PROXY", "QT_LOGGING_RULES"});
    testpki::Pki pki;
    const testpki::Issued good = pki.issue();
    const testpki::Issued other = pki.issue({{"other.example"}, false, -1, 30, false});
    NginxServer nginx("", {good.certFile, good.keyFile});
    NginxServer wrongName("", {other.certFile, other.keyFile});
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    ASSERT_TRUE(wrongName.ok()) << wrongName.error();
    nginx.put("a.html", "<p>write to first@example.org</p>");
    wrongName.put("b.html", "<p>write to hidden@example.org</p>");

    setenv("QT_LOGGING_RULES", "corvina.harvest.info=true", 1);
    const auto r = cli({"harvest", "--cacert", pki.caFile(), "-"},
                       nginx.url("/a.html") + "\n" + wrongName.url("/b.html") + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "first@example.org\n");
    EXPECT_NE(r.err.find("site " + wrongName.url("/b.html") +
                         " skipped (certificate): robots.txt: Certificate of localhost rejected: host name mismatch"),
              std::string::npos)
        << r.err;
}
