// The HTTP client set-up shared by the commands that fetch (the rows of
// cliHttpOptions()): the time-out and the proxy from the command line, or
// the http_proxy environment variable when no proxy is given; and the
// message for a failed fetch.
#pragma once

#include "Cli.h"
#include "CorvinaInfo.h"
#include "Nmhttp.h"
#include "SysUtils.h"

#include <cstdlib>
#include <string>

// Applies --timeout and --proxy (or http_proxy) and sets the User-Agent;
// throws CliUsageError on a bad value.
inline void cliSetUpHttp(const CliArgs& args, TNMHTTP& http)
{
    http.TimeOut = args.number("--timeout", 10000, 0, "a number of milliseconds (0 = none)");
    http.HeaderInfo.LocalProgram = std::string(kUserAgent);
    const std::string proxy = args.value("--proxy");
    if (!proxy.empty()) {
        std::string host;
        int port = 0;
        if (!ParseHttpProxy(proxy, host, port))
            throw CliUsageError("--proxy needs HOST:PORT, not '" + proxy + "'");
        http.Proxy = host;
        http.ProxyPort = port;
    } else if (const char* env = std::getenv("http_proxy"); env && *env) {
        if (!UseHttpProxyFromEnvironment(http))
            cliError(std::string("ignoring http_proxy '") + env + "': expected http://HOST:PORT/");
    }
}

// "<url>: <what went wrong>", naming the proxy when the request went
// through one; a host name that does not resolve is said in words.
inline std::string cliFetchFailure(const TNMHTTP& http, const std::string& url, const std::string& what)
{
    std::string text = url;
    if (!http.Proxy.empty())
        text += " (through proxy " + http.Proxy + ":" + std::to_string(http.ProxyPort) + ")";
    text += ": ";
    text += what == "Null Remote Address" ? std::string("host name not found") : what;
    return text;
}
