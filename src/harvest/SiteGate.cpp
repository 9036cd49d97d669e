#include "SiteGate.h"

#include "Psock.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

Q_DECLARE_LOGGING_CATEGORY(lcHarvest)

namespace {

std::string lowered(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trimmed(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

int defaultPort(const std::string& scheme)
{
    if (scheme == "https")
        return 443;
    if (scheme == "gopher")
        return 70;
    if (scheme == "ftp")
        return 21;
    return 80;
}

// location read against the URL that answered with it.
std::string resolved(const std::string& base, const std::string& location)
{
    if (location.find("://") != std::string::npos)
        return location;
    const TSiteOrigin o = TSiteOrigin::Of(base);
    std::string authority = o.scheme + "://" + o.host;
    if (o.port != defaultPort(o.scheme))
    {
        authority += ':';
        authority += std::to_string(o.port);
    }
    if (location.rfind("//", 0) == 0)
        return o.scheme + ":" + location;
    if (!location.empty() && location[0] == '/')
        return authority + location;
    const std::string dir = o.path.substr(0, o.path.find_first_of('?'));
    return authority + dir.substr(0, dir.rfind('/') + 1) + location;
}

int64_t millis(double seconds) { return static_cast<int64_t>(std::llround(seconds * 1000)); }

} // namespace

const char* SkipReasonText(TSkipReason reason)
{
    switch (reason) {
    case TSkipReason::TimeOut: return "time-out";
    case TSkipReason::Refused: return "connection error";
    case TSkipReason::Robots: return "robots.txt";
    case TSkipReason::Certificate: return "certificate";
    case TSkipReason::Busy: return "busy";
    case TSkipReason::Other: break;
    }
    return "other";
}

TSkipReason SkipReasonOf(const std::exception& e)
{
    if (dynamic_cast<const ECertificateError*>(&e))
        return TSkipReason::Certificate;
    // A cancel (the harvest stopped) and a bound of the client are counted
    // with the time-outs, as any wait that was cut short.
    if (dynamic_cast<const EAbortError*>(&e))
        return TSkipReason::TimeOut;
    if (dynamic_cast<const ESockError*>(&e))
        return TSkipReason::Refused;
    return TSkipReason::Other;
}

TSiteOrigin TSiteOrigin::Of(const std::string& url)
{
    TSiteOrigin o;
    o.scheme = "http";
    std::string rest = url;
    const size_t sep = url.find("://");
    if (sep != std::string::npos) {
        o.scheme = lowered(url.substr(0, sep));
        rest = url.substr(sep + 3);
    }
    o.port = defaultPort(o.scheme);
    std::string authority = rest.substr(0, rest.find_first_of("/?#"));
    o.path = rest.substr(authority.size());
    o.path = o.path.substr(0, o.path.find('#'));
    if (o.path.empty() || o.path[0] != '/') {
        std::string path(1, '/');
        path.append(o.path);
        o.path.swap(path);
    }
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
        const std::string digits = authority.substr(colon + 1);
        if (!digits.empty() && digits.size() <= 5 && digits.find_first_not_of("0123456789") == std::string::npos)
            o.port = std::stoi(digits);
        authority.resize(colon);
    }
    o.host = lowered(authority);
    return o;
}

std::string TSiteOrigin::Key() const
{
    std::string key = scheme + "://" + host;
    key += ':';
    key += std::to_string(port);
    return key;
}

std::string TSiteOrigin::RobotsUrl() const
{
    std::string url = scheme + "://" + host;
    if (port != defaultPort(scheme))
    {
        url += ':';
        url += std::to_string(port);
    }
    return url + "/robots.txt";
}

std::string HeaderField(const std::string& header, const std::string& name)
{
    const std::string wanted = lowered(name);
    size_t start = header.find('\n'); // after the status line
    while (start != std::string::npos && start < header.size()) {
        ++start;
        const size_t end = std::min(header.find('\n', start), header.size());
        const std::string line = header.substr(start, end - start);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && lowered(trimmed(line.substr(0, colon))) == wanted)
            return trimmed(line.substr(colon + 1));
        start = end;
    }
    return {};
}

double RetryAfterSeconds(const std::string& header)
{
    const std::string value = HeaderField(header, "Retry-After");
    if (value.empty())
        return -1;
    if (value.find_first_not_of("0123456789") == std::string::npos)
        return value.size() > 9 ? 1e9 : std::stod(value);
    // An HTTP date ends in "GMT", which the RFC 2822 reader wants as an
    // offset.
    QString date = QString::fromLatin1(value.c_str());
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.left(date.size() - 3) + QLatin1String("+0000");
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return -1;
    return std::max<qint64>(0, QDateTime::currentDateTimeUtc().secsTo(when));
}

TSiteGate::TSiteGate(IPageFetcher& fetcher) : fetcher_(fetcher), state_(std::make_shared<TSiteGateState>())
{
    Now = [] {
        using namespace std::chrono;
        return static_cast<int64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
}

TSiteGate::TSiteGate(IPageFetcher& fetcher, std::shared_ptr<TSiteGateState> state) : TSiteGate(fetcher)
{
    state_ = std::move(state);
}

TSiteGate::~TSiteGate() = default;

void TSiteGate::StartRun()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->robots.clear();
        state_->crawlDelay.clear();
        state_->skips = {};
        state_->robotsRequests = 0;
    }
    stop_ = false;
}

THarvestSkips TSiteGate::Skips() const
{
    std::lock_guard lock(state_->mutex);
    return state_->skips;
}

int TSiteGate::RobotsRequests() const
{
    std::lock_guard lock(state_->mutex);
    return state_->robotsRequests;
}

void TSiteGate::requested(const std::string& host)
{
    const int64_t now = Now();
    std::lock_guard lock(state_->mutex);
    state_->lastRequest[host] = now;
}

void TSiteGate::Stop()
{
    stop_ = true;
    if (loop_)
        loop_->quit();
}

bool TSiteGate::pause(int64_t ms)
{
    if (stop_)
        return false;
    if (ms <= 0)
        return true;
    if (Nap) {
        Nap(ms);
        return !stop_;
    }
    // Blocks in the event dispatcher: windows repaint and Stop can run.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<int64_t>(ms, INT_MAX)));
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
    return !stop_;
}

double TSiteGate::hostDelay(const std::string& host, double delaySeconds) const
{
    std::lock_guard lock(state_->mutex);
    const auto crawl = state_->crawlDelay.find(host);
    return crawl == state_->crawlDelay.end() ? delaySeconds : std::max(delaySeconds, crawl->second);
}

bool TSiteGate::waitForHost(const std::string& host, double delaySeconds)
{
    if (stop_)
        return false;
    int64_t last = 0;
    {
        std::lock_guard lock(state_->mutex);
        const auto known = state_->lastRequest.find(host);
        if (known == state_->lastRequest.end())
            return true;
        last = known->second;
    }
    const int64_t due = last + millis(hostDelay(host, delaySeconds));
    for (int64_t now = Now(); now < due; now = Now())
        if (!pause(due - now))
            return false;
    return !stop_;
}

TSiteGate::TResult TSiteGate::skip(const std::string& url, TSkipReason reason, const std::string& why)
{
    {
        std::lock_guard lock(state_->mutex);
        THarvestSkips& skips = state_->skips;
        switch (reason) {
        case TSkipReason::TimeOut: ++skips.timeOut; break;
        case TSkipReason::Refused: ++skips.refused; break;
        case TSkipReason::Robots: ++skips.robots; break;
        case TSkipReason::Certificate: ++skips.certificate; break;
        case TSkipReason::Busy: ++skips.busy; break;
        case TSkipReason::Other: ++skips.other; break;
        }
    }
    qCInfo(lcHarvest, "site %s skipped (%s): %s", url.c_str(), SkipReasonText(reason), why.c_str());
    TResult r;
    r.outcome = Skipped;
    r.reason = reason;
    return r;
}

bool TSiteGate::rulesFor(const TSiteOrigin& origin, double delaySeconds, TSiteOriginRules& out)
{
    const std::string key = origin.Key();
    {
        std::lock_guard lock(state_->mutex);
        if (const auto known = state_->robots.find(key); known != state_->robots.end()) {
            out = known->second;
            return true;
        }
    }
    TSiteOriginRules entry; // a robots.txt that cannot be had allows everything
    std::string url = origin.RobotsUrl();
    for (int hop = 0;; ++hop) {
        const std::string host = TSiteOrigin::Of(url).host;
        if (!waitForHost(host, delaySeconds))
            return false;
        {
            std::lock_guard lock(state_->mutex);
            ++state_->robotsRequests;
        }
        TPageReply reply;
        try {
            reply = fetcher_.Request(url, false, static_cast<int64_t>(kRobotsParseLimit));
        } catch (const std::exception& e) {
            requested(host);
            if (stop_)
                return false; // given up by Stop, not a failure of the site
            entry.reachable = false;
            entry.reason = SkipReasonOf(e);
            entry.why = "robots.txt: ";
            entry.why += e.what();
            break;
        } catch (...) {
            requested(host);
            entry.reachable = false;
            entry.reason = TSkipReason::Other;
            entry.why = "robots.txt: unknown failure";
            break;
        }
        requested(host);
        if (reply.status >= 300 && reply.status <= 399) {
            const std::string location = HeaderField(reply.header, "Location");
            if (location.empty() || hop == kRobotsRedirects)
                break;
            url = resolved(url, location);
            continue;
        }
        if (reply.status >= 500) {
            entry.reachable = false;
            entry.reason = TSkipReason::Robots;
            entry.why = "robots.txt answered ";
            entry.why += std::to_string(reply.status);
            entry.why += ", the host is left alone";
        } else if (reply.status < 400) {
            entry.rules = TRobotsRules::Parse(reply.body, ProductToken);
        }
        break;
    }
    {
        std::lock_guard lock(state_->mutex);
        if (entry.reachable && entry.rules.CrawlDelay() >= 0)
            state_->crawlDelay[origin.host] = std::min(entry.rules.CrawlDelay(), kMaxCrawlDelaySeconds);
        state_->robots[key] = entry;
    }
    out = entry;
    return true;
}

TSiteGate::TResult TSiteGate::Fetch(const std::string& url, double delaySeconds)
{
    TResult stopped;
    stopped.outcome = Stopped;
    if (stop_)
        return stopped;

    // Redirects are followed here rather than by the client, so that the
    // page redirected to is asked for as its own site's robots.txt allows.
    std::string target = url;
    bool retried = false;
    TPageReply reply;
    for (int hop = 0;; ++hop) {
        const TSiteOrigin origin = TSiteOrigin::Of(target);
        if (!origin.host.empty()) {
            TSiteOriginRules rules;
            if (!rulesFor(origin, delaySeconds, rules))
                return stopped;
            if (!rules.reachable)
                return skip(url, rules.reason, rules.why);
            if (!rules.rules.Allowed(origin.path))
                return skip(url, TSkipReason::Robots,
                            hop == 0 ? std::string("refused by robots.txt")
                                     : "redirected to " + target + ", refused by robots.txt");
        }
        if (!waitForHost(origin.host, delaySeconds))
            return stopped;
        try {
            reply = fetcher_.Request(target, false);
        } catch (const std::exception& e) {
            requested(origin.host);
            if (stop_)
                return stopped; // given up by Stop, not a failure of the site
            return skip(url, SkipReasonOf(e), e.what());
        } catch (...) {
            requested(origin.host);
            return skip(url, TSkipReason::Other, "unknown failure");
        }
        requested(origin.host);

        if (reply.status >= 300 && reply.status <= 399) {
            const std::string location = HeaderField(reply.header, "Location");
            if (location.empty())
                return skip(url, TSkipReason::Other, "redirect without a Location");
            if (hop == kPageRedirects)
                return skip(url, TSkipReason::Other, "too many redirects");
            target = resolved(target, location);
            continue;
        }
        if (retried || (reply.status != 429 && reply.status != 503))
            break;
        const double after = RetryAfterSeconds(reply.header);
        if (after < 0)
            break; // an error page like any other
        if (after > kMaxRetryAfterSeconds) {
            std::string why = "asks to come back after ";
            why += std::to_string(std::llround(after));
            why += " s";
            return skip(url, TSkipReason::Busy, why);
        }
        const int64_t due = Now() + millis(after);
        for (int64_t now = Now(); now < due; now = Now())
            if (!pause(due - now))
                return stopped;
        retried = true;
        --hop; // the same page again
    }
    TResult r;
    r.body = std::move(reply.body);
    return r;
}
