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

int runFetch(const std::vector<std::string>& args)
{
    bool withHeader = false, help = false;
    std::string timeoutText, proxy;
    std::vector<std::string> positional;
    if (!CliArgs("fetch")
             .flag("-i", withHeader)
             .flag("-h", help)
             .flag("--help", help)
             .option("--timeout", timeoutText)
             .option("--proxy", proxy)
             .parse(args, positional, 1))
        return usage();
    if (help) {
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
    if (positional.empty())
        return usage();
    int timeout = 10000;
    if (!timeoutText.empty() && (!TryStrToInt(timeoutText, timeout) || timeout < 0)) {
        cliError("--timeout needs a number of milliseconds (0 = none)");
        return 2;
    }

    TNMHTTP http;
    http.TimeOut = timeout;
    if (!proxy.empty()) {
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
        http.Get(positional[0]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    if ((withHeader && !cliWrite(http.Header)) || !cliWrite(http.Body)) {
        cliError("standard output: write error");
        return 1;
    }
    return 0;
}

const CliCommand command("fetch", kUsage, "fetch a URL over HTTP/1.0 and write the body (with -i the header first)",
                         runFetch);

} // namespace
