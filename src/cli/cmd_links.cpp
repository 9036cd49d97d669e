// corvina-cli links --engine google|altavista [--plain-text] [-0] [FILE]:
// the link extractor over a result page.
#include "PageInput.h"

#include "LinkExtractor.h"

namespace {

int runLinks(const std::vector<std::string>& args)
{
    std::string engineName;
    bool plainText = false;
    bool nul = false;
    std::vector<std::string> positional;
    TEngine engine = TEngine::None;
    if (!CliArgs("links").option("--engine", engineName).flag("--plain-text", plainText).flag("-0", nul).parse(args, positional, 1)
        || !cliParseEngine("links", engineName, engine))
        return 2;
    TPageBuffer page;
    if (const int failed = cliLoadPage(positional, page))
        return failed;
    const char end = nul ? '\0' : '\n';
    std::string out;
    ExtractLinks(page, engine, plainText, [&out, end](std::string_view link) {
        out.append(link);
        out += end;
    });
    return cliWrite(out) ? 0 : 1;
}

const CliCommand linksCommand("links", "links --engine google|altavista [--plain-text] [-0] [FILE]",
                              "print the result links cut from a result page, in the order found (NUL-ended with -0)",
                              runLinks);

} // namespace
