// corvina-cli count --engine google|altavista [FILE]: the result-count
// reader over a first result page.
#include "Cli.h"

#include "PageBuffer.h"
#include "SysUtils.h"
#include "search/ResultCount.h"

namespace {

int runCount(const std::vector<std::string>& args)
{
    TEngine engine = TEngine::None;
    std::string file;
    bool haveFile = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--engine" || a.rfind("--engine=", 0) == 0) {
            std::string name;
            if (a == "--engine") {
                if (k + 1 >= args.size()) {
                    cliError("count: --engine needs google or altavista");
                    return 2;
                }
                name = args[++k];
            } else {
                name = a.substr(9);
            }
            if (name == "google")
                engine = TEngine::Google;
            else if (name == "altavista")
                engine = TEngine::AltaVista;
            else {
                cliError("count: unknown engine '" + name + "' (google or altavista)");
                return 2;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            cliError("count: unknown option '" + a + "'");
            return 2;
        } else if (!haveFile) {
            file = a;
            haveFile = true;
        } else {
            cliError("count: more than one file given");
            return 2;
        }
    }
    if (engine == TEngine::None) {
        cliError("count: --engine google|altavista is required");
        return 2;
    }
    std::string data, error;
    if (!cliReadInput(file, data, error)) {
        cliError(error);
        return 2;
    }
    TPageBuffer page;
    page.SetText(std::move(data));
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
