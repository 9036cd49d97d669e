// corvina-cli urldecode: decodes URL-encoded standard input. A malformed "%"
// sequence leaves the input unchanged on standard output, reports the error
// on standard error and exits with 1.
#include "Cli.h"
#include "Nmurl.h"

namespace {
CliCommand command("urldecode", "urldecode", "URL-decode standard input", [](const std::vector<std::string>& args) {
    if (!args.empty()) {
        cliError("usage: corvina-cli urldecode");
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
    const std::string out = url.URLDecode(data);
    if (!cliWrite(out)) {
        cliError("standard output: write error");
        return 1;
    }
    return failed ? 1 : 0;
});
} // namespace
