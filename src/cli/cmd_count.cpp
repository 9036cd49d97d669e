// corvina-cli count --engine google|altavista [FILE]: the result-count
// reader over a first result page.
#include "PageInput.h"

#include "SysUtils.h"
#include "ResultCount.h"

namespace {

int runCount(const std::vector<std::string>& args)
{
    std::string engineName;
    std::vector<std::string> positional;
    TEngine engine = TEngine::None;
    if (!CliArgs("count").option("--engine", engineName).parse(args, positional, 1)
        || !cliParseEngine("count", engineName, engine))
        return 2;
    TPageBuffer page;
    if (const int failed = cliLoadPage(positional, page))
        return failed;
    const std::optional<std::string> digits = ResultCountDigits(page, engine);
    if (!digits)
        return 0;
    // The digits text shows even when it does not convert.
    if (!cliWrite(*digits + "\n"))
        return 1;
    try {
        const int32_t total = ResultTotal(*digits);
        return cliWrite(IntToStr(total) + "\n") ? 0 : 1;
    } catch (const EConvertError& e) {
        cliError(e.Message);
        return 1;
    }
}

const CliCommand countCommand("count", "count --engine google|altavista [FILE]",
                              "print the result total of a first result page: digits text, then the total",
                              runCount);

} // namespace
