#include "SearchSession.h"

#include "JsonResults.h"
#include "LinkExtractor.h"
#include "ResultCount.h"
#include "SysUtils.h"

#include <QLoggingCategory>

#include <limits>

Q_LOGGING_CATEGORY(lcSearch, "corvina.search", QtWarningMsg)

std::string QueryWords(const std::string& keyWords)
{
    std::string words = keyWords;
    for (char& c : words)
        if (c == ' ')
            c = '+';
    return words;
}

namespace {

// Fills the placeholders of a template in one pass, so a value that holds
// a placeholder's text stays as it is.
std::string fillIn(const std::string& pattern, const std::vector<std::pair<std::string, std::string>>& values)
{
    std::string out;
    size_t k = 0;
    while (k < pattern.size()) {
        bool replaced = false;
        if (pattern[k] == '{') {
            for (const auto& [name, value] : values) {
                if (pattern.compare(k, name.size(), name) == 0) {
                    out += value;
                    k += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += pattern[k++];
    }
    return out;
}

// The URL with the value of every parameter that carries the key written
// as "***", for the log.
std::string withoutKey(const std::string& url, const std::string& key)
{
    if (key.empty())
        return url;
    std::string value(1, '=');
    value += PercentEncodeQueryValue(key);
    std::string out;
    size_t from = 0;
    for (size_t at = url.find(value); at != std::string::npos; at = url.find(value, at + 1)) {
        const size_t end = at + value.size();
        if (end == url.size() || url[end] == '&') {
            out.append(url, from, at + 1 - from);
            out += "***";
            from = end;
        }
    }
    out.append(url, from, std::string::npos);
    return out;
}

} // namespace

std::optional<std::string> EngineQueryUrl(TEngine engine, const TQueryParts& parts)
{
    const TEngineRow* row = EngineRow(engine);
    if (!row)
        return std::nullopt;
    const bool restricted = !parts.domain.empty();
    std::string words = parts.keyWords;
    if (restricted)
        words += fillIn(row->wordsWithDomain, {{"{domain}", parts.domain}});
    const bool percent = row->coding == TWordsCoding::Percent;
    const int64_t offset = parts.offset.value_or(0);
    const std::vector<std::pair<std::string, std::string>> values = {
        {"{words}", percent ? PercentEncodeQueryValue(words) : QueryWords(words)},
        {"{domain}", percent ? PercentEncodeQueryValue(parts.domain) : parts.domain},
        {"{key}", PercentEncodeQueryValue(parts.key)},
        {"{offset}", std::to_string(offset)},
        {"{start}", std::to_string(offset + 1)},
        {"{page}", std::to_string(parts.page)},
    };
    std::string url = parts.base.empty() ? row->base : parts.base;
    if (url.empty() || url.back() != '/')
        url += '/';
    url += fillIn(restricted ? row->domainQuery : row->query, values);
    if (parts.offset)
        url += fillIn(row->laterPages, values);
    return url;
}

std::optional<std::string> QueryUrl(TEngine engine, const std::string& queryWords, const std::string& domain,
                                    std::optional<int64_t> offset)
{
    TQueryParts parts;
    parts.keyWords = queryWords;
    parts.domain = domain;
    parts.offset = offset;
    return EngineQueryUrl(engine, parts);
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
    offerNext();

    searchUrl_.clear();
    queryWords_.clear();
    stop_ = false;
    pageSkip_ = 0;
    nextPage_ = 2;
    endOfResults_ = false;
    harvest_.Reset();
    view_.HarvestOffersSearch();
}

void TSearchSession::fetchPage(const std::string& url)
{
    searchUrl_ = url;
    ++pageFetch_;
    endOfResults_ = false;
    const TEngineRow* row = EngineRow(EngineInUse(view_.EngineText()));
    std::string body;
    try {
        body = fetcher_.Get(url);
    } catch (const std::exception& e) {
        qCInfo(lcSearch, "result page %s failed: %s", withoutKey(url, key_).c_str(), e.what());
        throw;
    }
    if (row && row->shape == TResultShape::Json) {
        const TJsonAnswer answer = ReadJsonAnswer(row->json, body, fetcher_.LastStatus());
        if (!answer.error.empty()) {
            page_.SetText(std::move(body));
            qCInfo(lcSearch, "result page %s: %s", withoutKey(url, key_).c_str(), answer.error.c_str());
            engineError(answer.error);
        }
    }
    page_.SetText(std::move(body));
}

void TSearchSession::engineError(const std::string& text)
{
    view_.ShowError(text);
    throw ESearchEngineError(text);
}

std::optional<std::string> TSearchSession::queryUrl(std::optional<int64_t> pageOffset)
{
    const TEngine engine = EngineInUse(view_.EngineText());
    const TEngineRow* row = EngineRow(engine);
    if (!row)
        return std::nullopt;
    const TSessionSettings settings = view_.Settings();
    TQueryParts parts;
    parts.keyWords = keyWords_;
    parts.domain = settings.Domain;
    parts.offset = pageOffset;
    parts.page = pageOffset ? nextPage_ : 1;
    parts.base = settings.EngineUrl;
    if (parts.base.empty() && engine == TEngine::SearXNG)
        parts.base = settings.SearxngAddress;
    if (row->needsKey) {
        parts.key = engine == TEngine::Mojeek ? settings.MojeekKey : std::string();
        if (parts.key.empty())
            engineError(row->entry + " needs an API key: type it in Options, on the Engines page.");
    }
    key_ = parts.key;
    return EngineQueryUrl(engine, parts);
}

void TSearchSession::extractLinks()
{
    const TEngine engine = EngineInUse(view_.EngineText());
    const TEngineRow* row = EngineRow(engine);
    const bool plainTextOnly = view_.Settings().PlainTextOnly;
    if (row && row->shape == TResultShape::Json) {
        const TJsonAnswer answer = ReadJsonAnswer(row->json, page_.Text(), 0);
        for (const std::string& link : answer.links)
            if (KeepLink(link, engine, plainTextOnly))
                sites_.Add(link);
        // The first page without results is the end: a looping search
        // stops, and so does the skip-ahead of Resume.
        if (answer.error.empty() && answer.links.empty()) {
            endOfResults_ = true;
            resultTotal_ = sites_.Count();
        }
    } else {
        ExtractLinks(page_, engine, plainTextOnly, sites_);
    }
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
    keyWords_ = view_.KeyWords();
    const TEngine engine = EngineInUse(view_.EngineText());
    if (std::optional<std::string> url = queryUrl(std::nullopt))
        searchUrl_ = *url;
    fetchPage(searchUrl_);

    const TEngineRow* row = EngineRow(engine);
    if (row && row->shape == TResultShape::Json) {
        // Without a total from the engine, paging ends at the first page
        // without results (or at max pages).
        const TJsonAnswer answer = ReadJsonAnswer(row->json, page_.Text(), 0);
        if (answer.total)
            view_.ShowTotalLabel(std::to_string(*answer.total));
        resultTotal_ = answer.total.value_or(std::numeric_limits<int32_t>::max());
        return;
    }
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
    if (std::optional<std::string> url = queryUrl(pageOffset))
        searchUrl_ = *url;
    ++nextPage_;
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
    if (nextResumes_)
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
    } while (sites_.Count() == saved && pages < kMaxSkipAheadPages && !endOfResults_);
    pageSkip_ = localSkip;
    view_.EnableSearch(true);
    offerNext();
    Search();
}

void TSearchSession::offerNext()
{
    nextResumes_ = false;
    view_.NextOffersNext();
}

void TSearchSession::offerResume()
{
    nextResumes_ = true;
    view_.NextOffersResume();
}

void TSearchSession::SiteListLoaded()
{
    offerResume();
    view_.EnableSearch(false);
}

void TSearchSession::Stop()
{
    stop_ = true;
    offerResume();
    view_.EnableSearch(false);
}
