// Shared by the search and harvest subcommands: the sessions' view over
// plain values, a page fetcher that counts what it fetched and reports what
// failed, and one set-up of the HTTP client, the sessions, the meter on
// standard error and the list printed at the end.
#pragma once

#include "Cli.h"
#include "HttpCli.h"
#include "DialUp.h"
#include "HarvestSession.h"
#include "Nmhttp.h"
#include "PageFetcher.h"
#include "RunLog.h"
#include "SearchSession.h"
#include "SearchView.h"

#include <mutex>
#include <string>

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

// Counts the pages that arrived and the fetches that failed; each failure
// is reported on standard error with its URL (a site the harvest skips, a
// result page that ends the search).
class TCountingFetcher : public IPageFetcher {
public:
    TCountingFetcher(IPageFetcher& inner, const TNMHTTP& http) : inner_(inner), http_(http) {}
    std::string Get(const std::string& url) override
    {
        try {
            std::string body = inner_.Get(url);
            ++fetched;
            return body;
        } catch (const std::exception& e) {
            ++failed;
            cliError(cliFetchFailure(http_, url, e));
            throw;
        } catch (...) {
            ++failed;
            cliError(url + ": failed");
            throw;
        }
    }
    int LastStatus() override { return inner_.LastStatus(); }
    // The harvest's requests (robots.txt and the sites' pages): passed on
    // uncounted, as the harvest counts the sites it skips itself; a failure
    // is reported with its URL all the same.
    TPageReply Request(const std::string& url, bool followRedirects, int64_t maxBody) override
    {
        try {
            return inner_.Request(url, followRedirects, maxBody);
        } catch (const std::exception& e) {
            cliError(cliFetchFailure(http_, url, e));
            throw;
        } catch (...) {
            cliError(url + ": failed");
            throw;
        }
    }
    void Cancel() override { inner_.Cancel(); }
    int fetched = 0;
    int failed = 0;

private:
    IPageFetcher& inner_;
    const TNMHTTP& http_;
};

// A client for one of the harvest's worker threads, set up as the command's
// own, its failures reported with their URLs as the command's are.
class TCliWorkerFetcher : public IPageFetcher {
public:
    explicit TCliWorkerFetcher(const TNMHTTP& setUp) { CopyHttpSetUp(setUp, http_); }
    std::string Get(const std::string& url) override { return reporting_.Get(url); }
    TPageReply Request(const std::string& url, bool followRedirects, int64_t maxBody) override
    {
        return reporting_.Request(url, followRedirects, maxBody);
    }
    void Cancel() override { reporting_.Cancel(); }

private:
    TNMHTTP http_;
    THttpPageFetcher page_{http_};
    TCountingFetcher reporting_{page_, http_};
};

// Everything a search or a harvest runs with, set up from the command line
// (the rows of cliHttpOptions()); the meter shows the harvest's progress.
struct TCliSessions {
    TCliSessions(const CliArgs& args, const char* command)
    {
        cliSetUpHttp(args, http, command);
        view.settings.KeepAllAddresses = args.has("--keep-all");
        // Several sites at once, each worker with a client of its own.
        view.settings.SitesAtOnce = args.number("--parallel", 8, 1, "a number of sites from 1 to 32");
        if (view.settings.SitesAtOnce > 32)
            throw CliUsageError("--parallel is at most 32");
        harvest.MakeFetcher = [this]() -> std::unique_ptr<IPageFetcher> {
            return std::make_unique<TCliWorkerFetcher>(http);
        };
        harvest.OnSiteDone = [this](int examined, int ticked, int found) {
            meter.show(cliHarvestProgress(examined, ticked, found));
        };
        if (args.has("-v"))
            cliTellSkippedSites();
    }

    // -v: the harvest's notes on each site it passes over ("site URL skipped
    // (robots.txt): ...") go to standard error as they are logged, from
    // whichever worker logs them.
    static void cliTellSkippedSites()
    {
        TRunLog::Install();
        TRunLog::SetListener([](const TRunLog::Entry& e) {
            if (e.Type != QtInfoMsg || e.Category != "corvina.harvest")
                return;
            static std::mutex one;
            std::lock_guard lock(one);
            cliError(e.Text);
        });
    }

    // Ends the meter's line and prints the list, one entry per line; the
    // exit status: 1 when nothing could be fetched (or a failure ended the
    // action), else 0.
    int finish(TCheckListModel& list, bool failedToo)
    {
        meter.done();
        CliOutput out;
        for (const std::string& t : list.Texts()) {
            out.add(t);
            out.add("\n", 1);
        }
        out.finish();
        return fetcher.fetched > 0 && !failedToo ? 0 : 1;
    }

    TCliSessionView view;
    TNMHTTP http;
    THttpPageFetcher httpFetcher{http};
    TCountingFetcher fetcher{httpFetcher, http};
    TCheckListModel sites, results;
    TPageBuffer page;
    THarvestSession harvest{view, fetcher, sites, results, page};
    CliMeter meter;
};
