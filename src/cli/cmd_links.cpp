// corvina-cli links --engine google|altavista [--plain-text] [-0] [FILE]:
// the link extractor over a result page.
#include "Cli.h"

#include "PageBuffer.h"
#include "search/LinkExtractor.h"

namespace {

// Engine names on the command line.
bool parseEngine(const std::string& name, TEngine& engine)
{
    if (name == "google")
        engine = TEngine::Google;
    else if (name == "altavista")
        engine = TEngine::AltaVista;
    else
        return false;
    return true;
}

int runLinks(const std::vector<std::string>& args)
{
    TEngine engine = TEngine::None;
    bool plainText = false;
    char end = '\n';
    std::string file;
    bool haveFile = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--engine" || a.rfind("--engine=", 0) == 0) {
            std::string name;
            if (a == "--engine") {
                if (k + 1 >= args.size()) {
                    cliError("links: --engine needs google or altavista");
                    return 2;
                }
                name = args[++k];
            } else {
                name = a.substr(9);
            }
            if (!parseEngine(name, engine)) {
                cliError("links: unknown engine '" + name + "' (google or altavista)");
                return 2;
            }
        } else if (a == "--plain-text") {
            plainText = true;
        } else if (a == "-0") {
            end = '\0';
        } else if (a.size() > 1 && a[0] == '-') {
            cliError("links: unknown option '" + a + "'");
            return 2;
        } else if (!haveFile) {
            file = a;
            haveFile = true;
        } else {
            cliError("links: more than one file given");
            return 2;
        }
    }
    if (engine == TEngine::None) {
        cliError("links: --engine google|altavista is required");
        return 2;
    }
    std::string data, error;
    if (!cliReadInput(file, data, error)) {
        cliError(error);
        return 2;
    }
    TPageBuffer page;
    page.SetText(std::move(data));
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
