#include "PageFetcher.h"

#include "Nmhttp.h"

std::string THttpPageFetcher::Get(const std::string& url)
{
    http_.Get(url);
    return http_.Body;
}

void THttpPageFetcher::Cancel() { http_.Abort(); }
int THttpPageFetcher::LastStatus() { return http_.ReplyCode; }
