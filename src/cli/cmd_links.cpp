// corvina-cli links --engine google|altavista [--plain-text] [-0] [FILE]:
// the link extractor over a result page.
#include "PageInput.h"

#include "LinkExtractor.h"

namespace {

int runLinks(const CliArgs& args)
{
    const TEngine engine = cliParseEngine(args.value("--engine"));
    TPageBuffer page;
    cliLoadPage(args.operand(), page);
    const char end = args.has("-0") ? '\0' : '\n';
    CliOutput out;
    ExtractLinks(page, engine, args.has("--plain-text"), [&out, end](std::string_view link) {
        out.add(link.data(), link.size());
        out.add(&end, 1);
    });
    out.finish();
    return 0;
}

const CliCommand command({.name = "links",
                          .operands = "[FILE]",
                          .maxOperands = 1,
                          .summary = "print the result links cut from a result page, in the order found",
                          .options = {kCliEngineOption,
                                      {"--plain-text", nullptr, "keep only links to plain text pages"},
                                      {"-0", nullptr, "end each link with a NUL byte instead of a line end"}}},
                         runLinks);

} // namespace
