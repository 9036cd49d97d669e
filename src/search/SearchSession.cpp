#include "SearchSession.h"

#include "LinkExtractor.h"
#include "ResultCount.h"
#include "SysUtils.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSearch, "corvina.search", QtWarningMsg)

std::string QueryWords(const std::string& keyWords)
{
    std::string words = keyWords;
    for (char& c : words)
        if (c == ' ')
            c = '+';
    return words;
}

std::optional<std::string> QueryUrl(TEngine engine, const std::string& queryWords, const std::string& domain,
                                    std::optional<int64_t> offset)
{
    std::string url = "http://";
    const char* offsetParameter = nullptr;
    switch (engine) {
    case TEngine::Google:
        url += kGoogleQueryHost;
        url += domain.empty() ? "/search?q=" + queryWords
                              : "/search?as_q=" + queryWords + "&as_sitesearch=" + domain;
        offsetParameter = "&start=";
        break;
    case TEngine::AltaVista:
        url += kAltaVistaQueryHost;
        url += domain.empty() ? "/web/results?q=" + queryWords
                              : "/web/results?pg=aq&aqmode=s&aqa=" + queryWords + "&rc=dmn&swd=" + domain;
        offsetParameter = "&stq=";
        break;
    default:
        return std::nullopt;
    }
    if (offset) {
        url += offsetParameter;
        url += std::to_string(*offset);
    }
    return url;
}

TSearchSession::TSearchSession(ISessionView& view, IPageFetcher& fetcher, TCheckListModel& sites,
                               TCheckListModel& results, TPageBuffer& page, THarvestSession& harvest)
    : view_(view), fetcher_(fetcher), sites_(sites), results_(results), page_(page), harvest_(harvest)
{
}

int TSearchSession::offset() const { return sites_.Count() + pageSkip_; }

void TSearchSession::NewSearch()
{
    view_.ClearKeyWords();
    page_.Clear();
    sites_.Clear();
    results_.Clear();

    view_.ShowFoundCount(0);
    view_.ShowTotalLabel("0");
    view_.ShowResultCount(0);
    view_.ShowExamined("0");
    resultTotal_ = 0;
    view_.SetScanningPosition(0);
    view_.SetHarvestPosition(0);

    view_.EnableSearch(true);
    view_.EnableNext(true);
    view_.NextOffersNext();

    searchUrl_.clear();
    queryWords_.clear();
    stop_ = false;
    pageSkip_ = 0;
    harvest_.Reset();
    view_.HarvestOffersSearch();
}

void TSearchSession::fetchPage(const std::string& url)
{
    searchUrl_ = url;
    ++pageFetch_;
    try {
        std::string body = fetcher_.Get(url);
        page_.SetText(std::move(body));
    } catch (const std::exception& e) {
        qCInfo(lcSearch, "result page %s failed: %s", url.c_str(), e.what());
        throw;
    }
}

void TSearchSession::extractLinks()
{
    const TEngine engine = EngineInUse(view_.EngineText());
    ExtractLinks(page_, engine, view_.Settings().PlainTextOnly, sites_);
    extractedFetch_ = pageFetch_;
    view_.ShowFoundCount(sites_.Count());
}

void TSearchSession::dedupSites()
{
    RemoveDuplicates(sites_);
    view_.ShowFoundCount(sites_.Count());
}

void TSearchSession::firstPageQuery()
{
    queryWords_ = QueryWords(view_.KeyWords());
    const TEngine engine = EngineInUse(view_.EngineText());
    if (std::optional<std::string> url = QueryUrl(engine, queryWords_, view_.Settings().Domain, std::nullopt))
        searchUrl_ = *url;
    fetchPage(searchUrl_);

    // The label shows the figure before it is converted, so a figure that
    // does not convert still shows when the action ends.
    if (std::optional<std::string> digits = ResultCountDigits(page_, engine)) {
        view_.ShowTotalLabel(*digits);
        resultTotal_ = ::ResultTotal(*digits);
    }
}

void TSearchSession::fetchAndExtract(int64_t pageOffset)
{
    page_.Clear();
    const TEngine engine = EngineInUse(view_.EngineText());
    if (std::optional<std::string> url = QueryUrl(engine, queryWords_, view_.Settings().Domain, pageOffset))
        searchUrl_ = *url;
    fetchPage(searchUrl_);
    extractLinks();
    dedupSites();
    if (OnPageDone)
        OnPageDone(sites_.Count());
}

void TSearchSession::Search()
{
    stop_ = false;
    view_.RememberKeyWords(view_.KeyWords());

    if (view_.Settings().Mode == TSearchMode::MaxPagesEachTime) {
        view_.EnableNext(true);
        firstPageQuery();
        extractLinks();
        dedupSites();
        view_.SetScanningBar(resultTotal_, offset());
        if (OnPageDone)
            OnPageDone(sites_.Count());
        return;
    }

    view_.EnableNext(false);
    firstPageQuery();
    int stall = 0;
    int previous = 0;
    do {
        const std::string maxPages = view_.Settings().MaxPages;
        if (maxPages != "0") {
            const int32_t limit = StrToInt(maxPages); // raises for a text that is not a number
            if (!(limit > resultTotal_))
                resultTotal_ = limit;
        }
        // The page in the buffer is cut only when Next has not cut it
        // already, and the duplicate pass follows at once, so the offset of
        // the next page counts every distinct link once.
        if (extractedFetch_ != pageFetch_) {
            extractLinks();
            if (OnPageDone)
                OnPageDone(sites_.Count());
        }
        dedupSites();
        view_.SetScanningBar(resultTotal_, offset());
        if (sites_.Count() < resultTotal_)
            NextOrResume();
        view_.SetScanningPosition(offset());
        // Never reset: the fourth cycle of the whole search that adds
        // nothing ends it.
        if (sites_.Count() == previous)
            ++stall;
        previous = sites_.Count();
    } while (sites_.Count() < resultTotal_ && !stop_ && stall < 4);

    if (stop_)
        dedupSites();

    switch (view_.Settings().Mode) {
    case TSearchMode::AllPages:
        if (view_.Settings().DisconnectOnEnd)
            view_.HangUp();
        break;
    case TSearchMode::Automatic: {
        const int n = sites_.Count();
        for (int i = 0; i < n; ++i)
            sites_.SetChecked(i, true);
        harvest_.SearchEmail();
        break;
    }
    default:
        break;
    }
}

void TSearchSession::NextOrResume()
{
    if (view_.NextIsResume())
        Resume();
    else
        Next();
}

void TSearchSession::Next() { fetchAndExtract(offset()); }

void TSearchSession::Resume()
{
    const int saved = offset();
    stop_ = false;
    if (view_.KeyWords().empty()) {
        view_.ShowError("Type Key Words!");
        return;
    }
    firstPageQuery();
    int localSkip = 0;
    int pages = 0;
    do {
        fetchAndExtract(sites_.Count() + localSkip);
        localSkip += 10;
        ++pages;
    } while (sites_.Count() == saved && pages < kMaxSkipAheadPages);
    pageSkip_ = localSkip;
    view_.EnableSearch(true);
    view_.NextOffersNext();
    Search();
}

void TSearchSession::Stop()
{
    stop_ = true;
    view_.NextOffersResume();
    view_.EnableSearch(false);
}
