// Shared by the search and harvest subcommands: the sessions' view over
// plain values, a page fetcher that counts what it fetched, the HTTP client's
// time-out and proxy options, and the progress meter on standard error.
#pragma once

#include "Cli.h"
#include "HttpCli.h"
#include "DialUp.h"
#include "HarvestSession.h"
#include "Nmhttp.h"
#include "SearchSession.h"
#include "SearchView.h"

#include <string>

#include <unistd.h>

// Messages and the hang-up's texts go to standard error.
class TCliSessionView : public TPlainSessionView {
public:
    TCliSessionView() { engineText = kGoogleEntry; }
    void ShowError(const std::string& text) override { cliError(text); }
    void HangUp() override { HangUpDialUp(DialUp(), [](const std::string& text) { cliError(text); }); }
};

// The meter's text during a harvest.
inline std::string cliHarvestProgress(int examined, int ticked, int found)
{
    std::string text = "sites ";
    text += std::to_string(examined);
    text += '/';
    text += std::to_string(ticked);
    text += ", addresses ";
    text += std::to_string(found);
    return text;
}

// Counts the pages that arrived and the fetches that failed.
class TCountingFetcher : public IPageFetcher {
public:
    explicit TCountingFetcher(IPageFetcher& inner) : inner_(inner) {}
    std::string Get(const std::string& url) override
    {
        try {
            std::string body = inner_.Get(url);
            ++fetched;
            return body;
        } catch (...) {
            ++failed;
            throw;
        }
    }
    int LastStatus() override { return inner_.LastStatus(); }
    // Passed on uncounted: the harvest asks for robots.txt this way too, and
    // counts the sites it could not fetch itself.
    TPageReply Request(const std::string& url, bool followRedirects, int64_t maxBody) override
    {
        return inner_.Request(url, followRedirects, maxBody);
    }
    int fetched = 0;
    int failed = 0;

private:
    IPageFetcher& inner_;
};

// A one-line meter on standard error, redrawn in place; silent unless
// standard error is a terminal.
class TCliMeter {
public:
    TCliMeter() : on_(isatty(STDERR_FILENO) == 1) {}
    ~TCliMeter() { Done(); }
    void Show(const std::string& text)
    {
        if (!on_)
            return;
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void Done()
    {
        if (shown_)
            std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    bool on_;
    bool shown_ = false;
};

// The list's entries, one per line, in list order.
inline bool cliWriteList(TCheckListModel& list)
{
    std::string out;
    for (const std::string& t : list.Texts()) {
        out += t;
        out += '\n';
    }
    return cliWrite(out);
}
