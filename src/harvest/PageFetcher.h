// The page fetch the sessions use: one HTTP Get whose body is the page.
#pragma once

#include <string>

class TNMHTTP;

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
};

// Over the program's HTTP client.
class THttpPageFetcher : public IPageFetcher {
public:
    explicit THttpPageFetcher(TNMHTTP& http) : http_(http) {}
    std::string Get(const std::string& url) override;
    void Cancel() override;
    int LastStatus() override;

private:
    TNMHTTP& http_;
};
