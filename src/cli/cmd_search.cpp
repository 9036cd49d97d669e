// corvina-cli search: a Search in the given mode, then further presses of
// Next; prints the Found Sites list (the Results list in the automatic mode).
#include "SessionCli.h"

namespace {

const char* const kUsage = "search [--engine google|altavista|searxng|mojeek|TEXT] [--engine-url URL] [--api-key KEY] "
                           "[--mode 0|1|2] [--max-pages N] [--domain D] [--timeout MS] [--proxy HOST:PORT] "
                           "[--pages N] [--keep-all] KEY WORDS...";

int usage()
{
    cliError(std::string("usage: corvina-cli ") + kUsage);
    return 2;
}

int runSearch(const std::vector<std::string>& args)
{
    std::string engine = "google", mode = "2", maxPages = "50", domain, timeout, proxy, pagesText = "1";
    std::string engineUrl, apiKey;
    bool help = false, keepAll = false;
    std::vector<std::string> words;
    if (!CliArgs("search")
             .flag("-h", help)
             .flag("--help", help)
             .flag("--keep-all", keepAll)
             .option("--engine", engine)
             .option("--engine-url", engineUrl)
             .option("--api-key", apiKey)
             .option("--mode", mode)
             .option("--max-pages", maxPages)
             .option("--domain", domain)
             .option("--timeout", timeout)
             .option("--proxy", proxy)
             .option("--cacert", caFile)
             .option("--pages", pagesText)
             .parse(args, words, 1000))
        return usage();
    if (help) {
        std::printf("usage: corvina-cli %s\n"
                    "  --engine E      google (default), altavista, searxng, mojeek, or an engine\n"
                    "                  selector text\n"
                    "  --engine-url U  the engine's base address (searxng: http://127.0.0.1:8888/)\n"
                    "  --api-key K     the engine's API key (mojeek needs one)\n"
                    "  --mode M        0 pages and then the addresses of every site, 1 all pages,\n"
                    "                  2 one page per press (default)\n"
                    "  --max-pages N   the looping modes stop at N sites (0 = no limit; default 50)\n"
                    "  --domain D      search only on this domain (\".com\", say)\n"
                    "  --pages N       N-1 presses of Next after the Search (default 1)\n"
                    "  --timeout MS    limit of each wait in milliseconds (default 10000)\n"
                    "  --proxy H:P     HTTP proxy (default: the http_proxy environment variable)\n"
                    "  --keep-all      mode 0 keeps also addresses whose domain is no public one\n"
                    "Prints the Found Sites list, one per line (mode 0: the Results list).\n"
                    "Exit status 0 when done, 1 when no page could be fetched, 2 on misuse.\n",
                    kUsage);
        return 0;
    }
    TCliSessionView view;
    if (const TEngineRow* row = EngineRow(EngineNamed(engine))) {
        view.engineText = row->entry;
        if (row->needsKey && apiKey.empty()) {
            cliError("search: --engine " + engine + " needs --api-key KEY");
            return 2;
        }
    } else {
        view.engineText = engine;
    }
    view.settings.EngineUrl = engineUrl;
    view.settings.MojeekKey = apiKey;
    if (mode == "0")
        view.settings.Mode = TSearchMode::Automatic;
    else if (mode == "1")
        view.settings.Mode = TSearchMode::AllPages;
    else if (mode == "2")
        view.settings.Mode = TSearchMode::MaxPagesEachTime;
    else {
        cliError("search: --mode is 0, 1 or 2");
        return 2;
    }
    int pages = 1;
    if (!TryStrToInt(pagesText, pages) || pages < 1) {
        cliError("search: --pages needs a number of at least 1");
        return 2;
    }
    if (words.empty())
        return usage();
    for (size_t k = 0; k < words.size(); ++k)
        view.keyWords += (k ? " " : "") + words[k];
    view.settings.MaxPages = maxPages;
    view.settings.Domain = domain;
    view.settings.KeepAllAddresses = keepAll;

    TNMHTTP http;
    if (!cliSetUpHttp("search", http, timeout, proxy, caFile))
        return 2;
    THttpPageFetcher httpFetcher(http);
    TCountingFetcher fetcher(httpFetcher);
    TCheckListModel sites, results;
    TPageBuffer page;
    THarvestSession harvest(view, fetcher, sites, results, page);
    TSearchSession search(view, fetcher, sites, results, page, harvest);
    TCliMeter meter;
    int pagesDone = 0;
    search.OnPageDone = [&](int found) {
        ++pagesDone;
        std::string text = "result pages ";
        text += std::to_string(pagesDone);
        text += ", sites ";
        text += std::to_string(found);
        meter.Show(text);
    };
    harvest.OnSiteDone = [&](int examined, int ticked, int found) {
        meter.Show(cliHarvestProgress(examined, ticked, found));
    };

    // A failed fetch ends the action, as in the window; what was gathered
    // until then is printed.
    try {
        search.Search();
        for (int p = 1; p < pages; ++p)
            search.NextOrResume();
    } catch (const ESearchEngineError&) {
        meter.Done(); // the view has printed the engine's answer
    } catch (const std::exception& e) {
        meter.Done();
        cliError(std::string("search: ") + e.what());
    }
    meter.Done();
    const bool ok = view.settings.Mode == TSearchMode::Automatic ? cliWriteList(results) : cliWriteList(sites);
    if (!ok) {
        cliError("standard output: write error");
        return 1;
    }
    return fetcher.fetched > 0 ? 0 : 1;
}

const CliCommand command("search", kUsage, "search the engine for the key words and print the sites found",
                         runSearch);

} // namespace
