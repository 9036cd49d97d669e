#include "PageFetcher.h"

#include "Nmhttp.h"

TPageReply IPageFetcher::Request(const std::string& url, bool, int64_t)
{
    TPageReply reply;
    reply.body = Get(url);
    reply.status = 200;
    return reply;
}

std::string THttpPageFetcher::Get(const std::string& url)
{
    http_.Get(url);
    return http_.Body;
}

void THttpPageFetcher::Cancel() { http_.Abort(); }
int THttpPageFetcher::LastStatus() { return http_.ReplyCode; }
TPageReply THttpPageFetcher::Request(const std::string& url, bool followRedirects, int64_t maxBody)
{
    // The client's redirect handler and body bound are borrowed for this one
    // request.
    struct Restore {
        TNMHTTP& http;
        THandlerEvent onRedirect = http.OnRedirect;
        int64_t maxBodySize = http.MaxBodySize;
        ~Restore()
        {
            http.OnRedirect = onRedirect;
            http.MaxBodySize = maxBodySize;
        }
    } restore{http_};
    if (!followRedirects)
        http_.OnRedirect = [](bool& handled) { handled = true; };
    if (maxBody > 0)
        http_.MaxBodySize = maxBody;
    TPageReply reply;
    try {
        http_.Get(url);
    } catch (const EAbortError&) {
        // The bound ends the capture like a time-out; what arrived is kept.
        if (maxBody <= 0 || static_cast<int64_t>(http_.Body.size()) <= maxBody)
            throw;
        reply.cut = true;
    }
    reply.status = http_.ReplyCode;
    reply.header = http_.Header;
    reply.body = http_.Body;
    return reply;
}

void CopyHttpSetUp(const TNMHTTP& from, TNMHTTP& to)
{
    to.TimeOut = from.TimeOut;
    to.ConnectTimeOut = from.ConnectTimeOut;
    to.PageDeadline = from.PageDeadline;
    to.HeaderInfo.LocalProgram = from.HeaderInfo.LocalProgram;
    to.Proxy = from.Proxy;
    to.ProxyPort = from.ProxyPort;
    to.SecureProxy = from.SecureProxy;
    to.SecureProxyPort = from.SecureProxyPort;
    to.CACertFile = from.CACertFile;
}

TOwnHttpFetcher::TOwnHttpFetcher() : Http(*new TNMHTTP), own_(&Http), page_(Http) {}

TOwnHttpFetcher::~TOwnHttpFetcher() = default;
