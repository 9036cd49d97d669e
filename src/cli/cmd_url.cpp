// corvina-cli urlencode | urldecode: the URL codec over standard input.
// Encoding writes "+" for a blank and "%xx" for every byte other than a
// letter or digit. A malformed "%" sequence leaves the input unchanged on
// standard output, reports the error on standard error and exits with 1.
#include "Cli.h"
#include "Nmurl.h"

namespace {

int runUrl(bool encode)
{
    std::string data;
    std::string error;
    if (!cliReadInput("", data, error))
        throw CliFailure(error);
    TNMURL url;
    bool failed = false;
    url.OnError = [&](QObject*, const std::string& operation, const std::string& message) {
        failed = true;
        cliError("standard input: " + operation + ": " + message);
    };
    const std::string out = encode ? url.URLEncode(data) : url.URLDecode(data);
    if (!cliWrite(out))
        throw CliFailure(cliWriteErrorMessage());
    return failed ? 1 : 0;
}

const CliCommand encodeCommand({.name = "urlencode", .summary = "URL-encode standard input"},
                               [](const CliArgs&) { return runUrl(true); });
const CliCommand decodeCommand({.name = "urldecode", .summary = "URL-decode standard input"},
                               [](const CliArgs&) { return runUrl(false); });

} // namespace
