// The page fetch the sessions use: one HTTP Get whose body is the page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TNMHTTP;

// A whole reply: status (0 when none could be read), header as received and
// body. cut tells that the body was longer than asked for and holds only its
// start.
struct TPageReply {
    int status = 0;
    std::string header;
    std::string body;
    bool cut = false;
};

class IPageFetcher {
public:
    virtual ~IPageFetcher() = default;
    // The body of the reply to a Get of url, whatever its status. Raises on a
    // failure to resolve, connect or receive in time, and when cancelled.
    virtual std::string Get(const std::string& url) = 0;
    // Gives up the Get under way, which then raises. Called on the Get's own
    // thread, from a handler run while it waits.
    virtual void Cancel() {}
    // The HTTP status of the last reply, 0 when not known.
    virtual int LastStatus() { return 0; }
    // The reply to a Get of url. With followRedirects false a redirect
    // status comes back as it is, its Location in the header; with maxBody
    // above 0 a longer body is cut near that size instead of read to its
    // end. Raises as Get does. By default a Get whose status reads as 200.
    virtual TPageReply Request(const std::string& url, bool followRedirects = true, int64_t maxBody = 0);
};

// A client for another thread set up as from is: the same time-out,
// User-Agent, proxies and extra CA.
void CopyHttpSetUp(const TNMHTTP& from, TNMHTTP& to);

// Over the program's HTTP client.
class THttpPageFetcher : public IPageFetcher {
public:
    explicit THttpPageFetcher(TNMHTTP& http) : http_(http) {}
    std::string Get(const std::string& url) override;
    void Cancel() override;
    int LastStatus() override;
    TPageReply Request(const std::string& url, bool followRedirects = true, int64_t maxBody = 0) override;

private:
    TNMHTTP& http_;
};

// Over an HTTP client of its own (a harvest worker's).
class TOwnHttpFetcher : public IPageFetcher {
public:
    TOwnHttpFetcher();
    ~TOwnHttpFetcher() override;
    std::string Get(const std::string& url) override { return page_.Get(url); }
    void Cancel() override { page_.Cancel(); }
    int LastStatus() override { return page_.LastStatus(); }
    TPageReply Request(const std::string& url, bool followRedirects = true, int64_t maxBody = 0) override
    {
        return page_.Request(url, followRedirects, maxBody);
    }

    TNMHTTP& Http;

private:
    std::unique_ptr<TNMHTTP> own_;
    THttpPageFetcher page_;
};
