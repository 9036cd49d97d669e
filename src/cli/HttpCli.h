// The HTTP client set-up shared by the commands that fetch: the time-out
// and the proxy from the command line, or the http_proxy environment
// variable when no proxy is given.
#pragma once

#include "Cli.h"
#include "CorvinaInfo.h"
#include "Nmhttp.h"
#include "SysUtils.h"

#include <cstdlib>
#include <string>

// Applies --timeout and --proxy (or http_proxy); reports misuse and returns
// false (exit status 2).
inline bool cliSetUpHttp(const std::string& command, TNMHTTP& http, const std::string& timeoutText,
                         const std::string& proxy)
{
    int timeout = 10000;
    if (!timeoutText.empty() && (!TryStrToInt(timeoutText, timeout) || timeout < 0)) {
        cliError(command + ": --timeout needs a number of milliseconds (0 = none)");
        return false;
    }
    http.TimeOut = timeout;
    http.HeaderInfo.LocalProgram = std::string(kUserAgent);
    if (!proxy.empty()) {
        std::string host;
        int port = 0;
        if (!ParseHttpProxy(proxy, host, port)) {
            cliError(command + ": --proxy needs HOST:PORT, not '" + proxy + "'");
            return false;
        }
        http.Proxy = host;
        http.ProxyPort = port;
    } else if (const char* env = std::getenv("http_proxy"); env && *env) {
        if (!UseHttpProxyFromEnvironment(http))
            cliError(std::string("ignoring http_proxy '") + env + "': expected http://HOST:PORT/");
    }
    return true;
}
