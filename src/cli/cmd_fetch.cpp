// corvina-cli fetch: one Get with a new HTTP client; the reply header (with
// -i) and the body go to standard output exactly as received.
#include "Cli.h"
#include "Nmhttp.h"

#include <cstdlib>

namespace {

const char* const kUsage = "fetch [-i] [--timeout MS] [--proxy HOST:PORT] URL";

int usage()
{
    cliError(std::string("usage: corvina-cli ") + kUsage);
    return 2;
}

CliCommand command("fetch", kUsage, "fetch a URL over HTTP/1.0 and write the body (with -i the header first)",
                   [](const std::vector<std::string>& args) {
                       bool withHeader = false;
                       int timeout = 10000;
                       std::string proxy;
                       bool proxyGiven = false;
                       std::string url;
                       bool haveUrl = false;
                       for (size_t i = 0; i < args.size(); ++i) {
                           const std::string& a = args[i];
                           if (a == "-h" || a == "--help") {
                               std::printf("usage: corvina-cli %s\n"
                                           "  -i              write the reply header before the body\n"
                                           "  --timeout MS    limit of each wait in milliseconds (default 10000, 0 = none)\n"
                                           "  --proxy H:P     send the request through this HTTP proxy\n"
                                           "                  (default: the http_proxy environment variable)\n"
                                           "Writes the body exactly as received and exits 0 whatever the HTTP status;\n"
                                           "a network failure is written to standard error with exit status 1.\n",
                                           kUsage);
                               return 0;
                           }
                           if (a == "-i") {
                               withHeader = true;
                           } else if (a == "--timeout" && i + 1 < args.size()) {
                               if (!TryStrToInt(args[++i], timeout) || timeout < 0) {
                                   cliError("--timeout needs a number of milliseconds (0 = none)");
                                   return 2;
                               }
                           } else if (a == "--proxy" && i + 1 < args.size()) {
                               proxy = args[++i];
                               proxyGiven = true;
                           } else if (!haveUrl && (a.empty() || a[0] != '-')) {
                               url = a;
                               haveUrl = true;
                           } else {
                               return usage();
                           }
                       }
                       if (!haveUrl)
                           return usage();

                       TNMHTTP http;
                       http.TimeOut = timeout;
                       if (proxyGiven) {
                           std::string host;
                           int port = 0;
                           if (!ParseHttpProxy(proxy, host, port)) {
                               cliError("--proxy needs HOST:PORT, not '" + proxy + "'");
                               return 2;
                           }
                           http.Proxy = host;
                           http.ProxyPort = port;
                       } else if (const char* env = std::getenv("http_proxy"); env && *env) {
                           if (!UseHttpProxyFromEnvironment(http))
                               cliError(std::string("ignoring http_proxy '") + env + "': expected http://HOST:PORT/");
                       }
                       try {
                           http.Get(url);
                       } catch (const std::exception& e) {
                           std::fprintf(stderr, "%s\n", e.what());
                           return 1;
                       }
                       if ((withHeader && !cliWrite(http.Header)) || !cliWrite(http.Body)) {
                           cliError("standard output: write error");
                           return 1;
                       }
                       return 0;
                   });

} // namespace
