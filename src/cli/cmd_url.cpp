// corvina-cli urlencode | urldecode: the URL codec over standard input.
// Encoding writes "+" for a blank and "%xx" for every byte other than a
// letter or digit. A malformed "%" sequence leaves the input unchanged on
// standard output, reports the error on standard error and exits with 1.
#include "Cli.h"
#include "Nmurl.h"

namespace {

int runUrl(const std::vector<std::string>& args, const char* name, bool encode)
{
    if (!args.empty()) {
        cliError(std::string("usage: corvina-cli ") + name);
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
    const std::string out = encode ? url.URLEncode(data) : url.URLDecode(data);
    if (!cliWrite(out)) {
        cliError("standard output: write error");
        return 1;
    }
    return failed ? 1 : 0;
}

const CliCommand encodeCommand("urlencode", "urlencode", "URL-encode standard input",
                               [](const std::vector<std::string>& args) { return runUrl(args, "urlencode", true); });
const CliCommand decodeCommand("urldecode", "urldecode", "URL-decode standard input",
                               [](const std::vector<std::string>& args) { return runUrl(args, "urldecode", false); });

} // namespace
