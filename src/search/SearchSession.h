// The search session: key words into engine queries, result pages fetched
// into the page buffer one after another, their result links gathered into
// the Found Sites list; New Search, Search (in the three search modes),
// Next, Resume and Stop Search.
//
//   TSearchSession search(view, fetcher, sites, results, page, harvest);
//   search.Search();        // the Search button
//   search.NextOrResume();  // the Next button, "Resume..." in its resumable state
//   search.Stop();          // Stop Search, usually during a fetch
#pragma once

#include "CheckList.h"
#include "Engines.h"
#include "HarvestSession.h"
#include "PageBuffer.h"
#include "PageFetcher.h"
#include "SearchView.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// A Resume skips ahead ten results at a time until a page adds a link to the
// Found Sites list; past the last result page no page ever does, so it gives
// up after this many pages and carries on as if the last one had added one.
constexpr int kMaxSkipAheadPages = 20;

// The key words as they enter a query: every blank becomes "+", every other
// byte stays as it is.
std::string QueryWords(const std::string& keyWords);

// The query URL of a result page at the engine's own base address, from the
// query words (blanks already "+"): its path and query, with the domain
// restriction when there is one, and the offset parameter for every page but
// the first (offset empty). Nothing for no engine.
std::optional<std::string> QueryUrl(TEngine engine, const std::string& queryWords, const std::string& domain,
                                    std::optional<int64_t> offset);

// What a query URL is made of, for any engine of the table.
struct TQueryParts {
    std::string keyWords;          // as typed
    std::string domain;            // the domain restriction, "" for none
    std::string base;              // "" for the engine's own base address
    std::string key;               // the API key, for an engine that needs one
    std::optional<int64_t> offset; // nothing for the first page
    int64_t page = 1;              // the page number, counted from 1
};

// The query URL of a result page of the engine, written by its row of the
// engine table; a base without a final "/" gets one. Nothing for no engine.
std::optional<std::string> EngineQueryUrl(TEngine engine, const TQueryParts& parts);

// An engine's answer that is not a page of results (refused, rate-limited,
// an error status, not JSON, a key missing): the user has been shown the
// text, and the action ends.
class ESearchEngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSearchSession {
public:
    TSearchSession(ISessionView& view, IPageFetcher& fetcher, TCheckListModel& sites, TCheckListModel& results,
                   TPageBuffer& page, THarvestSession& harvest);

    // New Search: empties the key words, the page, both lists and every
    // counter, and puts both sessions and their buttons back to the start.
    void NewSearch();
    // Search: in mode 2 one result page; in modes 0 and 1 pages on until the
    // result total (lowered to max pages), Stop Search or four barren
    // cycles; mode 0 then ticks every site and harvests them, mode 1 hangs
    // up when asked to. A failed fetch or a max pages text that is not a
    // number raises and so ends the action where it failed. A JSON engine's
    // page without results ends the paging; its refusal is shown and raises
    // ESearchEngineError.
    void Search();
    // The Next button: Next while it offers the next page, Resume while it
    // offers a resume (after Stop Search or a loaded site list).
    void NextOrResume();
    // A site list was loaded into Found Sites: it is a search that can be
    // resumed, and Search waits for New Search or Resume.
    void SiteListLoaded();
    // What Next does now: true while it offers "Resume...".
    bool NextResumes() const { return nextResumes_; }
    // Next: the page at the offset Found Sites count + page skip; for an
    // engine that counts pages, the page after the last one fetched.
    void Next();
    // Resume: the first page again, then skip ahead ten results at a time
    // until a page adds a link (at most kMaxSkipAheadPages pages, and never
    // past a JSON engine's page without results), and a whole Search.
    void Resume();
    // Stop Search: the looping Search ends after the page in progress, and
    // Next offers Resume.
    void Stop();
    // Only sets the stop flag (the window closing).
    void RequestStop() { stop_ = true; }
    // The engine selector changed: the focus moves to the key words.
    void EngineChanged() { view_.FocusKeyWords(); }

    // ---- session values ----
    const std::string& QueryWordsValue() const { return queryWords_; }
    const std::string& SearchUrl() const { return searchUrl_; }
    int32_t ResultTotal() const { return resultTotal_; }
    bool StopRequested() const { return stop_; }
    int PageSkip() const { return pageSkip_; }
    // The page number the next Next asks for, for engines that count pages.
    int64_t NextPageNumber() const { return nextPage_; }

    // Called after every result page is fetched and extracted, with the
    // Found Sites count (corvina-cli's progress meter).
    std::function<void(int found)> OnPageDone;

private:
    void firstPageQuery();
    // Clears the page buffer, asks for the page at offset (the search URL
    // again with no engine in use) and cuts its links into the list.
    void fetchAndExtract(int64_t offset);
    void fetchPage(const std::string& url);
    // The query URL for the engine in use (nothing for none); raises
    // ESearchEngineError when the engine needs a key and has none.
    std::optional<std::string> queryUrl(std::optional<int64_t> pageOffset);
    // Shows an engine's refusal and ends the action.
    [[noreturn]] void engineError(const std::string& text);
    void extractLinks();
    void dedupSites();
    int offset() const;
    // Next's state: the session keeps it and the view shows it.
    void offerNext();
    void offerResume();

    ISessionView& view_;
    IPageFetcher& fetcher_;
    TCheckListModel& sites_;
    TCheckListModel& results_;
    TPageBuffer& page_;
    THarvestSession& harvest_;

    std::string queryWords_;
    std::string keyWords_; // as typed, for the engines that encode them
    std::string searchUrl_;
    int32_t resultTotal_ = 0;
    bool stop_ = false;
    bool nextResumes_ = false;
    int pageSkip_ = 0;
    // Which page fetch last filled the buffer, and which one the link
    // extractor last ran over: a looping Search must not cut the links of a
    // page that Next has already cut.
    uint64_t pageFetch_ = 0;
    uint64_t extractedFetch_ = 0;
    // Engines that count pages: the number the next Next asks for. Each
    // result page fetched after a first page moves it on, so Next goes on
    // where the last page ended whatever the links it added.
    int64_t nextPage_ = 2;
    // A JSON engine answered a page without results: paging ends there.
    bool endOfResults_ = false;
    // The key of the last query, kept out of the log.
    std::string key_;
};
