// A recording view for the search and harvest sessions, and a scripted
// search engine: result pages in each engine's shape, served one per
// connection by a ScriptServer that the HTTP client uses as its proxy, so
// the request line of every page can be asserted.
#pragma once

#include "Engines.h"
#include "HarvestSession.h"
#include "Nmhttp.h"
#include "PageBuffer.h"
#include "ScriptServer.h"
#include "SearchSession.h"
#include "SearchView.h"

#include <functional>
#include <string>
#include <vector>

class FakeSessionView : public ISessionView {
public:
    // No pause between requests to one host unless a test asks for one.
    FakeSessionView() { settings.DelaySeconds = 0; }

    TSessionSettings settings;
    std::string engineText = kGoogleEntry;
    std::string keyWords;
    std::vector<std::string> remembered;
    int focusMoves = 0;
    int found = 0;
    std::string totalLabel = "0";
    int resultCount = 0;
    std::string examined = "0";
    int scanningMax = 100, scanningPos = 0;
    int harvestMax = 100, harvestPos = 0;
    bool searchEnabled = true, nextEnabled = true;
    std::string nextCaption = "&Next...", nextHint = "Search next pages";
    std::string harvestCaption = "Search &Email", harvestHint = "Search for Email in Founded Sites";
    std::vector<std::string> errors;
    int hangUps = 0;
    THarvestSkips skips;       // as last shown
    int skipsShown = 0;
    // Run when the session hangs up.
    std::function<void()> onHangUp;

    TSessionSettings Settings() override { return settings; }
    std::string EngineText() override { return engineText; }
    std::string KeyWords() override { return keyWords; }
    void RememberKeyWords(const std::string& w) override { remembered.push_back(w); }
    void ClearKeyWords() override { keyWords.clear(); }
    void FocusKeyWords() override { ++focusMoves; }
    void ShowFoundCount(int n) override { found = n; }
    void ShowTotalLabel(const std::string& t) override { totalLabel = t; }
    void ShowResultCount(int n) override { resultCount = n; }
    void ShowExamined(const std::string& t) override { examined = t; }
    void SetScanningBar(int m, int p) override { scanningMax = m, scanningPos = p; }
    void SetScanningPosition(int p) override { scanningPos = p; }
    void SetHarvestBar(int m, int p) override { harvestMax = m, harvestPos = p; }
    void SetHarvestPosition(int p) override { harvestPos = p; }
    void EnableSearch(bool e) override { searchEnabled = e; }
    void EnableNext(bool e) override { nextEnabled = e; }
    void NextOffersNext() override { nextCaption = "&Next...", nextHint = "Search next pages"; }
    void NextOffersResume() override { nextCaption = "Resume...", nextHint = "Resume Searching pages"; }
    void HarvestOffersSearch() override
    {
        harvestCaption = "Search &Email", harvestHint = "Search for Email in Founded Sites";
    }
    void HarvestOffersResume() override
    {
        harvestCaption = "Resume Search", harvestHint = "Resume Email Searching on Founded Sites";
    }
    void ShowSkipped(const THarvestSkips& s) override
    {
        skips = s;
        ++skipsShown;
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void HangUp() override
    {
        ++hangUps;
        if (onHangUp)
            onHangUp();
    }
};

namespace enginetest {

// A result page of the engine with the links http://site<first>.example/index.html
// ... (count of them), each written behind the engine's link marker, and the
// engine's total ("" for none) behind its count marker.
inline std::string ResultPage(TEngine engine, int first, int count, const std::string& total = "1.000")
{
    std::string page = "<html><body>";
    if (!total.empty())
        page += engine == TEngine::AltaVista ? "<p>AltaVista ha trovato " + total + " risultati</p>"
                                             : "<p>Risultati <b>1</b> - <b>10</b> di circa <b>" + total + "</b></p>";
    for (int k = first; k < first + count; ++k) {
        const std::string url = "http://site" + std::to_string(k) + ".example/index.html";
        if (engine == TEngine::AltaVista)
            page += "<a href=\"" + url + "\" onmouseover=\"status='" + url + "';\">" + url + "</a>\n";
        else
            page += "<p><a href=" + url + ">Site " + std::to_string(k) + "</a>\n";
    }
    return page + "</body></html>";
}

inline std::string Reply(const std::string& body) { return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body; }

// One connection: read the request, (wait,) answer with the body, close.
inline testnet::Script Serve(const std::string& body, int pauseMs = 0)
{
    testnet::Script s{testnet::ReadUntil("\r\n\r\n")};
    if (pauseMs > 0)
        s.push_back(testnet::Pause(pauseMs));
    s.push_back(testnet::Send(Reply(body)));
    s.push_back(testnet::Close());
    return s;
}

// The same, but the answer waits for the server's release(): the request
// stays in progress until the test has done what must happen meanwhile.
inline testnet::Script ServeHeld(const std::string& body)
{
    return {testnet::ReadUntil("\r\n\r\n"), testnet::WaitRelease(), testnet::Send(Reply(body)), testnet::Close()};
}

// A robots.txt request answered "not found": everything is allowed.
inline testnet::Script NoRobots()
{
    return {testnet::ReadUntil("\r\n\r\n"), testnet::Send("HTTP/1.0 404 Not Found\r\n\r\n"), testnet::Close()};
}

// A robots.txt request answered with text.
inline testnet::Script Robots(const std::string& text)
{
    return {testnet::ReadUntil("\r\n\r\n"), testnet::Send("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + text),
            testnet::Close()};
}

// The request line of connection i, without its line end.
inline std::string RequestLine(const testnet::ScriptServer& srv, size_t i)
{
    const std::string r = srv.received(i);
    return r.substr(0, r.find("\r\n"));
}

inline std::vector<std::string> RequestLines(const testnet::ScriptServer& srv)
{
    std::vector<std::string> lines;
    for (int i = 0; i < srv.accepted(); ++i)
        lines.push_back(RequestLine(srv, static_cast<size_t>(i)));
    return lines;
}

// The HTTP client with the sessions on plain lists, the engine server as the
// proxy.
struct Sessions {
    FakeSessionView view;
    TCheckListModel sites, results;
    TPageBuffer page;
    TNMHTTP http;
    THttpPageFetcher fetcher{http};
    THarvestSession harvest{view, fetcher, sites, results, page};
    TSearchSession search{view, fetcher, sites, results, page, harvest};

    explicit Sessions(const testnet::ScriptServer& srv, int timeoutMs = 10000)
    {
        http.TimeOut = timeoutMs;
        http.Proxy = "127.0.0.1";
        http.ProxyPort = srv.port();
    }
};

} // namespace enginetest
