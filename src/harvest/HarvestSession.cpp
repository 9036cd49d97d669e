#include "HarvestSession.h"

#include "AddressDomain.h"
#include "AddressScanner.h"
#include "LinkExtractor.h"

#include "ParallelFetcher.h"

#include <QLoggingCategory>

#include <algorithm>
#include <map>
#include <unordered_set>

Q_LOGGING_CATEGORY(lcHarvest, "corvina.harvest", QtWarningMsg)

THarvestSession::THarvestSession(IHarvestView& view, IPageFetcher& fetcher, TCheckListModel& sites,
                                 TCheckListModel& results, TPageBuffer& page)
    : view_(view), sites_(sites), results_(results), page_(page), gate_(fetcher)
{
}

void THarvestSession::Stop()
{
    stop_ = true;
    gate_.Stop();
    // Workers give up their fetches and pauses at once; the run ends when
    // they have all reported.
    if (pool_) {
        pool_->CancelAll();
        pool_->Interrupt();
    }
}

void THarvestSession::Reset()
{
    stop_ = false;
    resumeIndex_ = 0;
    finishedAhead_.clear();
}

void THarvestSession::scanPage(std::string body)
{
    page_.SetText(std::move(body));
    // Only a page that came is scanned. A page may repeat one address a
    // million times ("a.@a.@a.@..."): each is taken once, and, unless every
    // find is to be kept, only under a public domain. The page's addresses
    // then merge in without repeats, at a cost that grows with them rather
    // than with the list. The views point into the page, which outlives
    // the scan.
    const bool keepAll = view_.HarvestSettings().KeepAllAddresses;
    std::vector<std::string> found;
    {
        std::unordered_set<std::string_view> taken;
        ScanAddresses(page_, [&](std::string_view address) {
            if (taken.count(address) || (!keepAll && !HasPublicDomain(address)))
                return;
            taken.insert(address);
            found.emplace_back(address);
        });
    }
    results_.MergeUnique(std::move(found));
}

bool THarvestSession::severalHosts(int from)
{
    std::string first;
    bool seen = false;
    for (int i = from; i < sites_.Count(); ++i) {
        if (!sites_.Checked(i))
            continue;
        std::string host = TSiteOrigin::Of(sites_.Text(i)).host;
        if (!seen) {
            first = std::move(host);
            seen = true;
        } else if (host != first) {
            return true;
        }
    }
    return false;
}

void THarvestSession::siteDone(bool fetched, std::string body, int ticked, int& examined,
                               const std::function<std::string(int)>& progress)
{
    if (fetched)
        scanPage(std::move(body));
    else
        view_.ShowSkipped(gate_.Skips());
    ++examined;
    view_.SetHarvestPosition(examined);
    view_.ShowExamined(progress(examined));
    view_.ShowResultCount(results_.Count());
    if (OnSiteDone)
        OnSiteDone(examined, ticked, results_.Count());
}

namespace {

// A site visited with its manners, on a worker thread: a gate of its own
// over the harvest's shared state, with a client of its own.
class TSiteJob : public IFetchJob {
public:
    TSiteJob(std::unique_ptr<IPageFetcher> fetcher, std::shared_ptr<TSiteGateState> state, double delaySeconds,
             const std::string& token)
        : fetcher_(std::move(fetcher)), gate_(*fetcher_, std::move(state)), delay_(delaySeconds)
    {
        gate_.ProductToken = token;
    }
    TFetchResult Run(int id, const std::string& url) override
    {
        TFetchResult r;
        r.Id = id;
        TSiteGate::TResult site = gate_.Fetch(url, delay_);
        r.Ok = site.outcome == TSiteGate::Fetched;
        r.Stopped = site.outcome == TSiteGate::Stopped;
        r.Body = std::move(site.body);
        if (!r.Ok)
            r.Error = SkipReasonText(site.reason);
        return r;
    }
    void Cancel() override
    {
        gate_.Stop();
        fetcher_->Cancel();
    }

private:
    std::unique_ptr<IPageFetcher> fetcher_;
    TSiteGate gate_;
    double delay_;
};

} // namespace

void THarvestSession::harvestParallel(int sitesAtOnce, int ticked, int& examined,
                                      const std::function<std::string(int)>& progress)
{
    const double delay = view_.HarvestSettings().DelaySeconds;
    TParallelFetcher pool(sitesAtOnce, [state = gate_.State(), delay, token = gate_.ProductToken,
                                        make = MakeFetcher]() -> std::unique_ptr<IFetchJob> {
        return std::make_unique<TSiteJob>(make(), state, delay, token);
    });
    pool_ = &pool;
    struct Release {
        TParallelFetcher*& pool;
        ~Release() { pool = nullptr; }
    } release{pool_};

    // The list is read afresh before each start: list operations may run
    // while the sites are fetched. A site is known by its place and text.
    std::map<int, std::string> inFlight; // place -> host
    std::set<std::string> busyHosts;
    std::set<int> finished = finishedAhead_;
    finishedAhead_.clear();
    int firstOpen = resumeIndex_; // no site before it is left to do
    bool stopping = false;
    // A look through the list that finds nothing to start is remembered:
    // until the list changes, only a site of a host freed since can start,
    // and with none freed the next look is skipped. Without this, sites
    // sharing a host cost a look through the whole list after every start,
    // and the run grows with the square of the list.
    bool blocked = false;
    std::set<std::string> freedSinceBlocked;
    bool listChanged = false;
    int countWhenBlocked = 0;
    QObject watch;
    const auto changed = [&listChanged] { listChanged = true; };
    QObject::connect(&sites_, &QAbstractItemModel::dataChanged, &watch, changed);
    QObject::connect(&sites_, &QAbstractItemModel::rowsInserted, &watch, changed);
    QObject::connect(&sites_, &QAbstractItemModel::rowsRemoved, &watch, changed);
    QObject::connect(&sites_, &QAbstractItemModel::rowsMoved, &watch, changed);
    QObject::connect(&sites_, &QAbstractItemModel::modelReset, &watch, changed);
    QObject::connect(&sites_, &QAbstractItemModel::layoutChanged, &watch, changed);
    const auto nextToStart = [&](int from) {
        if (listChanged || sites_.Count() != countWhenBlocked)
            blocked = false;
        if (blocked && freedSinceBlocked.empty())
            return -1;
        listChanged = false;
        for (int i = from; i < sites_.Count(); ++i) {
            if (!sites_.Checked(i) || finished.count(i) || inFlight.count(i))
                continue;
            const std::string host = TSiteOrigin::Of(sites_.Text(i)).host;
            if (busyHosts.count(host))
                continue;
            freedSinceBlocked.erase(host);
            return i;
        }
        blocked = !listChanged;
        countWhenBlocked = sites_.Count();
        freedSinceBlocked.clear();
        return -1;
    };
    for (;;) {
        if (stop_ && !stopping) {
            stopping = true;
            pool.CancelAll();
        }
        while (!stopping && pool.Busy() < pool.Workers()) {
            const int i = nextToStart(firstOpen);
            if (i < 0)
                break;
            const std::string url = sites_.Text(i);
            const std::string host = TSiteOrigin::Of(url).host;
            inFlight[i] = host;
            busyHosts.insert(host);
            pool.Start(i, url);
        }
        if (pool.Busy() == 0)
            break;
        pool.Wait();
        for (TFetchResult& r : pool.Take()) {
            busyHosts.erase(inFlight[r.Id]);
            freedSinceBlocked.insert(inFlight[r.Id]);
            inFlight.erase(r.Id);
            if (r.Stopped)
                continue; // not asked for: still to do
            finished.insert(r.Id);
            siteDone(r.Ok, std::move(r.Body), ticked, examined, progress);
        }
        while (firstOpen < sites_.Count() && (!sites_.Checked(firstOpen) || finished.count(firstOpen)))
            ++firstOpen;
        // A stop asked for while a handler ran during the wait.
        if (stop_ && !stopping)
            continue;
    }
    if (stop_) {
        // A resume starts at the first site not finished and passes over
        // those after it that were.
        resumeIndex_ = std::min(firstOpen, sites_.Count());
        for (int i : finished)
            if (i > resumeIndex_)
                finishedAhead_.insert(i);
    }
}

void THarvestSession::SearchEmail()
{
    // A press while a harvest runs (its pauses and fetches service the event
    // queue) is not a second harvest inside the first.
    if (running_)
        return;
    running_ = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{running_};
    stop_ = false;
    gate_.StartRun();
    view_.ShowSkipped(gate_.Skips());
    const int ticked = sites_.CheckedCount();
    auto progress = [ticked](int examined) {
        std::string text = std::to_string(examined);
        text += '/';
        text += std::to_string(ticked);
        return text;
    };
    view_.SetHarvestBar(ticked, 0);
    view_.ShowExamined(progress(0));
    if (ticked == 0) {
        view_.ShowError("Must select on 'Siti Trovati' sites to examine");
        return;
    }

    // A resumed harvest counts every entry before the resume index as
    // examined, ticked or not.
    int index = resumeIndex_;
    int examined = resumeIndex_;
    if (resumeIndex_ != 0)
        view_.SetHarvestPosition(examined);

    const int sitesAtOnce = std::clamp(view_.HarvestSettings().SitesAtOnce, 1, 32);
    // Workers help only where the sites are on more than one host: two
    // sites of one host are never fetched at once, so sites of a single
    // host go one after another on this thread, without the hand-offs.
    const bool parallel = MakeFetcher && sitesAtOnce > 1 && (!finishedAhead_.empty() || severalHosts(resumeIndex_));
    if (parallel) {
        examined += static_cast<int>(finishedAhead_.size());
        if (!finishedAhead_.empty())
            view_.SetHarvestPosition(examined);
        harvestParallel(sitesAtOnce, ticked, examined, progress);
        index = resumeIndex_;
    }
    // The list is read afresh at every step: list operations may run during
    // a fetch and change its entries and its count.
    while (!parallel && index < sites_.Count() && !stop_) {
        if (sites_.Checked(index)) {
            const std::string url = sites_.Text(index);
            TSiteGate::TResult site = gate_.Fetch(url, view_.HarvestSettings().DelaySeconds);
            if (site.outcome == TSiteGate::Stopped)
                break; // stopped before the site was asked for: a resume starts here
            // Only a page that came is scanned: a skipped site leaves the
            // buffer as the last site left it, and its addresses are in
            // Results already.
            siteDone(site.outcome == TSiteGate::Fetched, std::move(site.body), ticked, examined, progress);
        }
        ++index;
    }

    if (stop_) {
        resumeIndex_ = index;
        RemoveDuplicates(results_);
        view_.HarvestOffersResume();
    }
    if (view_.HarvestSettings().DisconnectOnEnd)
        view_.HangUp();
    CleanAllAddresses(results_, view_.HarvestSettings().KeepAllAddresses);
}
