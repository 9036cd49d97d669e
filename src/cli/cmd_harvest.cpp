// corvina-cli harvest: every site URL read (one per line) is ticked and
// harvested; prints the Results list after the clean-up.
#include "SessionCli.h"

namespace {

const char* const kUsage = "harvest [--timeout MS] [--proxy HOST:PORT] [--cacert FILE] [FILE|-]";

int runHarvest(const std::vector<std::string>& args)
{
    std::string timeout, proxy, caFile;
    bool help = false;
    std::vector<std::string> positional;
    if (!CliArgs("harvest")
             .flag("-h", help)
             .flag("--help", help)
             .option("--timeout", timeout)
             .option("--proxy", proxy)
             .option("--cacert", caFile)
             .parse(args, positional, 1)) {
        cliError(std::string("usage: corvina-cli ") + kUsage);
        return 2;
    }
    if (help) {
        std::printf("usage: corvina-cli %s\n"
                    "Reads site URLs, one per line (standard input without FILE or with -),\n"
                    "downloads each and prints the e-mail addresses found, one per line.\n"
                    "Exit status 0 when done, 1 when no site could be fetched, 2 on misuse.\n",
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
    THttpPageFetcher httpFetcher(http);
    TCountingFetcher fetcher(httpFetcher);
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
    harvest.SearchEmail();
    meter.Done();
    if (!cliWriteList(results)) {
        cliError("standard output: write error");
        return 1;
    }
    return fetcher.fetched > 0 ? 0 : 1;
}

const CliCommand command("harvest", kUsage, "download every site listed and print the e-mail addresses found",
                         runHarvest);

} // namespace
