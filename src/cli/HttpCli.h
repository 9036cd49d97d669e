// The HTTP client set-up shared by the commands that fetch (the rows of
// cliHttpOptions()): the time-out, the longest wait for one page, the proxy (for http and https URLs alike)
// and an extra trusted CA from the command line; without --proxy, the
// http_proxy and https_proxy (or HTTPS_PROXY) environment variables; and the
// message for a failed fetch.
#pragma once

#include "Cli.h"
#include "CorvinaInfo.h"
#include "Nmhttp.h"
#include "SysUtils.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

// Applies --timeout, --max-time, --proxy (or the environment) and --cacert, and sets the
// User-Agent; throws CliUsageError on a bad value, and CliFailure (exit 2)
// for a CA file that cannot be read.
inline void cliSetUpHttp(const CliArgs& args, TNMHTTP& http, const char* command)
{
    http.TimeOut = args.number("--timeout", 10000, 0, "a number of milliseconds (0 = none)");
    const int maxTime = args.number("--max-time", 60, 0, "a number of seconds (0 = none)");
    if (maxTime > INT_MAX / 1000)
        throw CliUsageError("--max-time needs a number of seconds (0 = none), not '" + args.value("--max-time") + "'");
    http.PageDeadline = maxTime * 1000;
    http.HeaderInfo.LocalProgram = std::string(kUserAgent);
    const std::string proxy = args.value("--proxy");
    if (!proxy.empty()) {
        std::string host;
        int port = 0;
        if (!ParseHttpProxy(proxy, host, port))
            throw CliUsageError("--proxy needs HOST:PORT, not '" + proxy + "'");
        http.Proxy = http.SecureProxy = host;
        http.ProxyPort = http.SecureProxyPort = port;
    } else {
        UseHttpProxyFromEnvironment(http);
        // https_proxy wins over HTTPS_PROXY, so only the one in use is told.
        const char* secure = std::getenv("https_proxy") && *std::getenv("https_proxy") ? "https_proxy" : "HTTPS_PROXY";
        for (const char* name : {"http_proxy", secure}) {
            std::string host;
            int port = 0;
            const char* env = std::getenv(name);
            if (env && *env && !ParseHttpProxy(env, host, port))
                cliError(std::string("ignoring ") + name + " '" + env + "': expected http://HOST:PORT/");
        }
    }
    if (const std::string caFile = args.value("--cacert"); !caFile.empty()) {
        if (!std::ifstream(caFile))
            throw CliFailure(std::string(command) + ": --cacert: cannot read '" + caFile + "'", 2);
        http.CACertFile = caFile;
    }
}



// Whether a request's failure came from making the connection itself (the
// name lookup or the connect), not from what happened on it afterwards.
inline bool cliConnectFailure(const std::exception& e)
{
    return dynamic_cast<const EHostNotFoundError*>(&e) || dynamic_cast<const EConnectError*>(&e) ||
           dynamic_cast<const EConnectTimeOutError*>(&e);
}

// "<url>: <what went wrong>", naming the proxy when the request went
// through one; a host name that does not resolve is said in words. Through
// a proxy the connection is made to the proxy, so a failure to make it says
// that the proxy could not be reached.
inline std::string cliFetchFailure(const TNMHTTP& http, const std::string& url, const std::exception& failure)
{
    const bool notFound = dynamic_cast<const EHostNotFoundError*>(&failure) != nullptr;
    const std::string reason = notFound ? std::string("host name not found") : failure.what();
    const std::string& proxy = http.RequestSecure ? http.SecureProxy : http.Proxy;
    const int port = http.RequestSecure ? http.SecureProxyPort : http.ProxyPort;
    if (proxy.empty())
        return url + ": " + reason;
    const std::string named = proxy + ":" + std::to_string(port);
    if (cliConnectFailure(failure))
        return url + ": proxy " + named + " could not be reached: " + reason;
    return url + " (through proxy " + named + "): " + reason;
}
