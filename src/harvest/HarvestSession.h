// The harvest session: downloads each ticked Found Sites entry in list order,
// scans the page for addresses into the Results list and keeps that list
// free of repeated neighbours; Stop between sites, Resume from where it
// stopped.
//
//   THarvestSession harvest(view, fetcher, sites, results, page);
//   harvest.SearchEmail();   // the Search Email button
//   harvest.Stop();          // Stop SearchEmail, usually during a fetch
#pragma once

#include "CheckList.h"
#include "PageBuffer.h"
#include "PageFetcher.h"
#include "HarvestView.h"
#include "SiteGate.h"

#include <functional>
#include <memory>
#include <set>

class THarvestSession {
public:
    THarvestSession(IHarvestView& view, IPageFetcher& fetcher, TCheckListModel& sites, TCheckListModel& results,
                    TPageBuffer& page);

    // Search Email (also "Resume Search"): harvests the ticked sites from the
    // resume index on, minding each site's robots.txt and pausing between
    // requests to one host (TSiteGate). A site that cannot be fetched or is
    // refused by robots.txt is skipped, counted by its reason in the view and
    // still counted as examined; its scan then starts from the page buffer's
    // old selection. With no ticked site it shows
    // "Must select on 'Siti Trovati' sites to examine" and ends. Called while
    // a harvest runs, it does nothing.
    void SearchEmail();
    // Stop SearchEmail: the harvest ends after the site in progress; a pause
    // before a site ends at once, and that site is where a resume starts.
    void Stop();
    // New Search: clears the stop flag and the resume index.
    void Reset();

    bool StopRequested() const { return stop_; }
    int ResumeIndex() const { return resumeIndex_; }
    // The robots.txt reader and pacer of the sites (its clock can be
    // replaced).
    TSiteGate& Gate() { return gate_; }

    // Called after each site with the examined count, the ticked count and
    // the Results count (corvina-cli's progress meter).
    std::function<void(int examined, int ticked, int found)> OnSiteDone;

    // Makes a page fetcher (an HTTP client set up like the session's own)
    // for a worker thread; called on that thread. With one, and more than
    // one site at once in the settings, sites are fetched several at once,
    // each on a thread of its own; without, one after another.
    std::function<std::unique_ptr<IPageFetcher>()> MakeFetcher;

private:
    // The sites from the resume index on, several at once: the same sites,
    // robots.txt, pauses and counts as one at a time, finished in the order
    // the sites answer.
    void harvestParallel(int sitesAtOnce, int ticked, int& examined, const std::function<std::string(int)>& progress);
    // Whether the ticked sites from position from on are on more than one
    // host.
    bool severalHosts(int from);
    // A fetched page's addresses into Results.
    void scanPage(std::string body);
    // A site finished, its page fetched (and scanned) or skipped: the
    // counters, the bar and the meter move on.
    void siteDone(bool fetched, std::string body, int ticked, int& examined,
                  const std::function<std::string(int)>& progress);

    IHarvestView& view_;
    TCheckListModel& sites_;
    TCheckListModel& results_;
    TPageBuffer& page_;
    TSiteGate gate_;
    bool stop_ = false;
    bool running_ = false;
    int resumeIndex_ = 0;
    // Sites past the resume index that a stopped parallel run finished:
    // a resume passes over them.
    std::set<int> finishedAhead_;
    // The workers of the parallel run under way, for Stop.
    class TParallelFetcher* pool_ = nullptr;
};
