// corvina-cli harvest: every site URL read (one per line) is ticked and
// harvested; prints the Results list after the clean-up.
#include "SessionCli.h"

namespace {

int runHarvest(const CliArgs& args)
{
    TCliSessions s(args);
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

    s.harvest.SearchEmail();
    const int status = s.finish(s.results, false);
    if (s.fetcher.fetched == 0)
        cliError("harvest: none of the " + std::to_string(s.sites.Count()) + " sites could be fetched");
    return status;
}

const CliCommand command(
    {.name = "harvest",
     .operands = "[FILE]",
     .maxOperands = 1,
     .summary = "download every site listed and print the e-mail addresses found",
     .options = cliHttpOptions(),
     .notes = "Reads site URLs, one per line (standard input without FILE or with -), downloads each and prints the "
              "e-mail addresses found, one per line, after the clean-up. A site that cannot be fetched is reported "
              "and skipped.\n"
              "Exit status 0 when done, 1 when no site could be fetched, 2 on misuse.",
     .eventLoop = true},
    runHarvest);

} // namespace
