// corvina-cli urlencode: URL-encodes standard input ("+" for a blank, "%xx"
// for every byte other than a letter or digit).
#include "Cli.h"
#include "Nmurl.h"

namespace {
CliCommand command("urlencode", "urlencode", "URL-encode standard input", [](const std::vector<std::string>& args) {
    if (!args.empty()) {
        cliError("usage: corvina-cli urlencode");
        return 2;
    }
    std::string data;
    std::string error;
    if (!cliReadInput("", data, error)) {
        cliError(error);
        return 1;
    }
    TNMURL url;
    bool failed = false;
    url.OnError = [&](QObject*, const std::string& operation, const std::string& message) {
        failed = true;
        cliError(operation + ": " + message);
    };
    const std::string out = url.URLEncode(data);
    if (!cliWrite(out)) {
        cliError("standard output: write error");
        return 1;
    }
    return failed ? 1 : 0;
});
} // namespace
