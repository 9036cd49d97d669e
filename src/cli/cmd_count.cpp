// corvina-cli count --engine google|altavista [FILE]: the result-count
// reader over a first result page.
#include "PageInput.h"

#include "SysUtils.h"
#include "ResultCount.h"

namespace {

int runCount(const CliArgs& args)
{
    const TEngine engine = cliParseEngine(args.value("--engine"));
    TPageBuffer page;
    cliLoadPage(args.operand(), page);
    const std::optional<std::string> digits = ResultCountDigits(page, engine);
    if (!digits)
        return 0;
    CliOutput out;
    // The digits text shows even when it does not convert.
    out.add(*digits + "\n");
    out.finish();
    try {
        out.add(IntToStr(ResultTotal(*digits)) + "\n");
    } catch (const EConvertError& e) {
        throw CliFailure((args.operand().empty() || args.operand() == "-" ? "standard input" : args.operand()) +
                         ": " + e.Message);
    }
    out.finish();
    return 0;
}

const CliCommand command({.name = "count",
                          .operands = "[FILE]",
                          .maxOperands = 1,
                          .summary = "print the result total of a first result page: digits text, then the total",
                          .options = {kCliEngineOption},
                          .notes = "Nothing is printed when the page shows no total."},
                         runCount);

} // namespace
