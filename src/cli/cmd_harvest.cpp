// corvina-cli harvest: every site URL read (one per line) is ticked and
// harvested; prints the Results list after the clean-up.
#include "SessionCli.h"

#include <cstdlib>

namespace {

const char* const kUsage = "harvest [--timeout MS] [--proxy HOST:PORT] [--delay SECONDS] [--keep-all] [FILE|-]";

int runHarvest(const std::vector<std::string>& args)
{
    std::string timeout, proxy, delay;
    bool help = false, keepAll = false;
    std::vector<std::string> positional;
    if (!CliArgs("harvest")
             .flag("-h", help)
             .flag("--help", help)
             .flag("--keep-all", keepAll)
             .option("--timeout", timeout)
             .option("--proxy", proxy)
             .option("--delay", delay)
             .parse(args, positional, 1)) {
        cliError(std::string("usage: corvina-cli ") + kUsage);
        return 2;
    }
    if (help) {
        std::printf("usage: corvina-cli %s\n"
                    "Reads site URLs, one per line (standard input without FILE or with -),\n"
                    "downloads each and prints the e-mail addresses found, one per line.\n"
                    "Each site's robots.txt is obeyed; --delay is the least time between two\n"
                    "requests to one host (default 1 s). Sites passed over are counted on\n"
                    "standard error.\n"
                    "  --keep-all      also addresses whose domain is no public one (logo@2x.png)\n"
                    "Exit status 0 when done, 1 when no site could be fetched or the harvest\n"
                    "failed midway (what was found until then is printed), 2 on misuse.\n",
                    kUsage);
        return 0;
    }
    TNMHTTP http;
    if (!cliSetUpHttp("harvest", http, timeout, proxy, caFile))
        return 2;
    std::string data, error;
    if (!cliReadInput(positional.empty() ? std::string() : positional[0], data, error)) {
        cliError(error);
        return 2;
    }
    TCliSessionView view;
    if (!delay.empty()) {
        char* end = nullptr;
        const double seconds = std::strtod(delay.c_str(), &end);
        if (*end != '\0' || !(seconds >= 0) || seconds > 86400) {
            cliError("harvest: --delay needs a number of seconds (0 or more)");
            return 2;
        }
        view.settings.DelaySeconds = seconds;
    }
    view.settings.KeepAllAddresses = keepAll;
    THttpPageFetcher fetcher(http);
    TCheckListModel sites, results;
    TPageBuffer page;
    std::vector<std::string> urls;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos)
            end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            urls.push_back(std::move(line));
        start = end + 1;
    }
    sites.Assign(std::move(urls));
    for (int i = 0; i < sites.Count(); ++i)
        sites.SetChecked(i, true);

    THarvestSession harvest(view, fetcher, sites, results, page);
    TCliMeter meter;
    harvest.OnSiteDone = [&](int examined, int ticked, int found) {
        meter.Show(cliHarvestProgress(examined, ticked, found));
    };
    // A harvest that fails midway (out of memory, say) ends the action, as
    // in the window; what was found until then is printed.
    bool failed = false;
    try {
        harvest.SearchEmail();
    } catch (const std::exception& e) {
        meter.Done();
        cliError(std::string("harvest: ") + e.what());
        failed = true;
    }
    meter.Done();
    if (const std::string skipped = view.skips.Text(); !skipped.empty())
        cliError(skipped);
    if (!cliWriteList(results)) {
        cliError("standard output: write error");
        return 1;
    }
    return view.skips.Total() < sites.Count() && !failed ? 0 : 1;
}

const CliCommand command("harvest", kUsage, "download every site listed and print the e-mail addresses found",
                         runHarvest);

} // namespace
