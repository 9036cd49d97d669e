// The harvest's manners towards the sites it visits: robots.txt read once per
// origin (scheme, host, port) in a run and obeyed, also by the pages a site
// redirects to, a pause between two
// requests to one host (the setting, or the site's Crawl-delay up to 30 s), a
// 429 or 503 with Retry-After of up to 60 s waited out and retried once, and
// every site passed over counted by its reason.
//
//   TSiteGate gate(fetcher);
//   gate.StartRun();
//   TSiteGate::TResult r = gate.Fetch(url, settings.DelaySeconds);
//   if (r.outcome == TSiteGate::Fetched) use(r.body);
//   show(gate.Skips());
//
// The pauses wait in a local event loop, so the window stays responsive and
// Stop ends them at once; tests replace the clock and the wait.
//
// Several gates, one per worker thread of a parallel harvest, can share one
// state (robots.txt rules, the last request to each host, the counts): each
// gate then fetches on its own thread, and the harvest never hands two sites
// of one host to two gates at once.
#pragma once

#include "HarvestView.h"
#include "PageFetcher.h"
#include "Robots.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class QEventLoop;

// The product token looked for in robots.txt.
inline constexpr const char* kRobotsProductToken = "Corvina";
// The longest Crawl-delay honoured, and the longest Retry-After waited for.
inline constexpr double kMaxCrawlDelaySeconds = 30;
inline constexpr double kMaxRetryAfterSeconds = 60;
// Redirects followed to reach a robots.txt, and a page.
inline constexpr int kRobotsRedirects = 5;
inline constexpr int kPageRedirects = 10;

enum class TSkipReason { TimeOut, Refused, Robots, Certificate, Busy, Other };
const char* SkipReasonText(TSkipReason reason);
// The reason a fetch that raised e counts under.
TSkipReason SkipReasonOf(const std::exception& e);

// Scheme, host and port of a URL as the HTTP client reads it ("host/x" is
// http on port 80), and its path and query for robots.txt ("/" when empty;
// no fragment). The scheme and host are in lower case.
struct TSiteOrigin {
    std::string scheme;
    std::string host;
    int port = 80;
    std::string path;

    static TSiteOrigin Of(const std::string& url);
    std::string Key() const;       // "http://host:80"
    std::string RobotsUrl() const; // "http://host/robots.txt" (the port only when not the scheme's own)
};

// The value of the first header line named name (without regard to case),
// trimmed; empty when there is none.
std::string HeaderField(const std::string& header, const std::string& name);
// Retry-After as seconds from now: a number of seconds or an HTTP date; -1
// when absent or unreadable.
double RetryAfterSeconds(const std::string& header);

// What the gates of one harvest share, behind one lock.
struct TSiteGateState;
struct TSiteOriginRules;

class TSiteGate {
public:
    explicit TSiteGate(IPageFetcher& fetcher);
    // A gate over the state of another (the harvest's own gate), for a
    // worker thread; StartRun belongs to the owner of the state.
    TSiteGate(IPageFetcher& fetcher, std::shared_ptr<TSiteGateState> state);
    ~TSiteGate();

    enum TOutcome { Fetched, Skipped, Stopped };
    struct TResult {
        TOutcome outcome = Fetched;
        std::string body;                     // Fetched
        TSkipReason reason = TSkipReason::Other; // Skipped
    };

    // A new run: robots.txt is read afresh, the counts start at 0 and Stop
    // is forgotten. The times of the last requests to each host are kept.
    void StartRun();
    // Ends a pause in progress at once; until the next run no further
    // request is made. Called on the gate's own thread.
    void Stop();
    bool StopRequested() const { return stop_; }
    std::shared_ptr<TSiteGateState> State() const { return state_; }

    // Fetches url as the site allows, waiting at least delaySeconds after
    // the last request to its host. A site passed over is counted and
    // logged.
    TResult Fetch(const std::string& url, double delaySeconds);

    THarvestSkips Skips() const;
    // How many robots.txt requests were made in this run (one per origin,
    // plus redirects).
    int RobotsRequests() const;

    // Milliseconds on a steady clock; the real one unless replaced.
    std::function<int64_t()> Now;
    // Replaces the real pause (tests): called with the milliseconds to wait,
    // it must move the clock on.
    std::function<void(int64_t ms)> Nap;
    std::string ProductToken = kRobotsProductToken;

private:
    // False when stopped before or during the pause.
    bool waitForHost(const std::string& host, double delaySeconds);
    bool pause(int64_t ms);
    void requested(const std::string& host);
    // robots.txt of the origin, fetched when not yet known; false when
    // stopped on the way.
    bool rulesFor(const TSiteOrigin& origin, double delaySeconds, TSiteOriginRules& out);
    TResult skip(const std::string& url, TSkipReason reason, const std::string& why);
    double hostDelay(const std::string& host, double delaySeconds) const;

    IPageFetcher& fetcher_;
    std::shared_ptr<TSiteGateState> state_;
    std::atomic<bool> stop_{false};
    QEventLoop* loop_ = nullptr; // the pause in progress
};

struct TSiteOriginRules {
    TRobotsRules rules;
    bool reachable = true;                    // false: every site of the origin is skipped
    TSkipReason reason = TSkipReason::Robots; // why, when unreachable
    std::string why;
};

struct TSiteGateState {
    std::mutex mutex;
    std::map<std::string, TSiteOriginRules> robots; // by origin, this run
    std::map<std::string, int64_t> lastRequest;     // by host, when the last request ended
    std::map<std::string, double> crawlDelay;       // by host, seconds, capped
    THarvestSkips skips;
    int robotsRequests = 0;
};
