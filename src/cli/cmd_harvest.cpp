// corvina-cli harvest: every site URL read (one per line) is ticked and
// harvested; prints the Results list after the clean-up.
#include "SessionCli.h"

#include <cstdlib>

namespace {

int runHarvest(const CliArgs& args)
{
    TCliSessions s(args, "harvest");
    if (args.has("--delay")) {
        const std::string delay = args.value("--delay");
        char* end = nullptr;
        const double seconds = std::strtod(delay.c_str(), &end);
        if (delay.empty() || *end != '\0' || !(seconds >= 0) || seconds > 86400)
            throw CliUsageError("--delay needs a number of seconds (0 or more), not '" + delay + "'");
        s.view.settings.DelaySeconds = seconds;
    }
    CliInput input(kCliMaxInput);
    input.openOrThrow(args.operand());
    std::vector<std::string> urls;
    std::string line;
    if (!cliForEachLine(
            input, [&line](const char* data, size_t count) { line.append(data, count); },
            [&] {
                if (!line.empty())
                    urls.push_back(std::move(line));
                line.clear();
            }))
        throw CliFailure(input.error());
    if (urls.empty())
        throw CliFailure("harvest: no site addresses in " + input.name());
    s.sites.Assign(std::move(urls));
    for (int i = 0; i < s.sites.Count(); ++i)
        s.sites.SetChecked(i, true);

    // A harvest that fails midway (out of memory, say) ends the action, as
    // in the window; what was found until then is printed.
    bool failed = false;
    try {
        s.harvest.SearchEmail();
    } catch (const std::exception& e) {
        cliError(std::string("harvest: ") + e.what());
        failed = true;
    }
    // The sites passed over, counted by reason; the harvest failed when
    // every site was.
    const THarvestSkips& skips = s.view.skips;
    const int sites = s.sites.Count();
    s.finish(s.results, false);
    if (failed)
        return 1;
    if (const std::string skipped = skips.Text(); !skipped.empty())
        cliError(skipped);
    if (skips.Total() < sites)
        return 0;
    cliError("harvest: none of the " + std::to_string(sites) + " sites could be fetched");
    return 1;
}

const CliCommand command(
    {.name = "harvest",
     .operands = "[FILE]",
     .maxOperands = 1,
     .summary = "download every site listed and print the e-mail addresses found",
     .options = CliOptions{{"--delay", "SECONDS", "the least time between two requests to one host (default 1, "
                                                  "0 = none)"},
                           {"--parallel", "N", "fetch up to N sites at once, never two of one host (1 to 32, "
                                               "default 8)"},
                           {"--keep-all", nullptr, "also keep addresses whose domain is no public one "
                                                   "(logo@2x.png)"},
                           {"-v", nullptr, "print each site passed over and why on standard error"}} +
                cliHttpOptions(),
     .notes = "Reads site URLs, one per line (standard input without FILE or with -), downloads each and prints the "
              "e-mail addresses found, one per line, after the clean-up. Each site's robots.txt is obeyed. A site "
              "that cannot be fetched is reported and skipped; the sites passed over are counted on standard error "
              "at the end.\n"
              "Exit status 0 when done, 1 when every site was skipped, 2 on misuse.",
     .eventLoop = true},
    runHarvest);

} // namespace
