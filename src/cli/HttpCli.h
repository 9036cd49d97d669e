// The HTTP client set-up shared by the commands that fetch: the time-out,
// the proxy (for http and https URLs alike) and an extra trusted CA from the
// command line; without --proxy, the http_proxy and https_proxy (or
// HTTPS_PROXY) environment variables.
#pragma once

#include "Cli.h"
#include "CorvinaInfo.h"
#include "Nmhttp.h"
#include "SysUtils.h"

#include <cstdlib>
#include <fstream>
#include <string>

// Applies --timeout, --proxy (or the environment) and --cacert; reports
// misuse and returns false (exit status 2).
inline bool cliSetUpHttp(const std::string& command, TNMHTTP& http, const std::string& timeoutText,
                         const std::string& proxy, const std::string& caFile = {})
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
    if (!caFile.empty()) {
        if (!std::ifstream(caFile)) {
            cliError(command + ": --cacert: cannot read '" + caFile + "'");
            return false;
        }
        http.CACertFile = caFile;
    }
    return true;
}
