// corvina-cli search: a Search in the given mode, then further presses of
// Next; prints the Found Sites list (the Results list in the automatic mode).
#include "SessionCli.h"

namespace {

int runSearch(const CliArgs& args)
{
    TCliSessions s(args, "search");
    TCliSessionView& view = s.view;
    const std::string engine = args.value("--engine", "google");
    const std::string apiKey = args.value("--api-key");
    if (const TEngineRow* row = EngineRow(EngineNamed(engine))) {
        view.engineText = row->entry;
        if (row->needsKey && apiKey.empty())
            throw CliUsageError("--engine " + engine + " needs --api-key KEY");
    } else {
        view.engineText = engine;
    }
    view.settings.EngineUrl = args.value("--engine-url");
    view.settings.MojeekKey = apiKey;
    const std::string mode = args.value("--mode", "2");
    if (mode == "0")
        view.settings.Mode = TSearchMode::Automatic;
    else if (mode == "1")
        view.settings.Mode = TSearchMode::AllPages;
    else if (mode == "2")
        view.settings.Mode = TSearchMode::MaxPagesEachTime;
    else
        throw CliUsageError("--mode is 0, 1 or 2");
    const int pages = args.number("--pages", 1, 1);
    const std::vector<std::string>& words = args.operands();
    for (size_t k = 0; k < words.size(); ++k)
        view.keyWords += (k ? " " : "") + words[k];
    view.settings.MaxPages = args.value("--max-pages", "50");
    view.settings.Domain = args.value("--domain");

    TSearchSession search(view, s.fetcher, s.sites, s.results, s.page, s.harvest);
    int pagesDone = 0;
    search.OnPageDone = [&](int found) {
        ++pagesDone;
        std::string text = "result pages ";
        text += std::to_string(pagesDone);
        text += ", sites ";
        text += std::to_string(found);
        s.meter.show(text);
    };

    // A failed fetch ends the action, as in the window; what was gathered
    // until then is printed. The fetcher has reported a failed fetch.
    bool failed = false;
    try {
        search.Search();
        for (int p = 1; p < pages; ++p)
            search.NextOrResume();
    } catch (const ESearchEngineError&) {
        // The view has printed the engine's answer; the page itself arrived.
    } catch (const std::exception& e) {
        failed = true;
        if (s.fetcher.failed == 0)
            cliError(std::string("search: ") + e.what());
    }
    return s.finish(view.settings.Mode == TSearchMode::Automatic ? s.results : s.sites, failed);
}

const CliCommand command(
    {.name = "search",
     .operands = "KEY WORDS...",
     .minOperands = 1,
     .maxOperands = size_t(-1),
     .summary = "search the engine for the key words and print the sites found",
     .options = CliOptions{{"--engine", "NAME", "google (default), altavista, searxng, mojeek, or an engine "
                                                  "selector text"},
                           {"--engine-url", "URL", "the engine's base address (searxng: http://127.0.0.1:8888/)"},
                           {"--api-key", "KEY", "the engine's API key (mojeek needs one)"},
                           {"--mode", "0|1|2", "0 pages and then the addresses of every site, 1 all pages, "
                                               "2 one page per press (default)"},
                           {"--max-pages", "N", "the looping modes stop at N sites (0 = no limit; default 50)"},
                           {"--domain", "D", "search only on this domain (\".com\", say)"},
                           {"--pages", "N", "N-1 presses of Next after the Search (default 1)"},
                           {"--parallel", "N", "mode 0 fetches up to N sites at once (1 to 32, default 8)"},
                           {"--keep-all", nullptr, "mode 0 also keeps addresses whose domain is no public one"},
                           {"-v", nullptr, "mode 0 tells each site passed over and why on standard error"}} +
                cliHttpOptions(),
     .notes = "Prints the Found Sites list, one per line (mode 0: the Results list).\n"
              "Exit status 0 when done, 1 when a fetch failed or none could be made, 2 on misuse.",
     .eventLoop = true},
    runSearch);

} // namespace
