// corvina-cli scan [-0] [FILE]: the address scanner over a page.
#include "Cli.h"

#include "PageBuffer.h"
#include "harvest/AddressScanner.h"

namespace {

int runScan(const std::vector<std::string>& args)
{
    char end = '\n';
    std::string file;
    bool haveFile = false;
    for (const auto& a : args) {
        if (a == "-0") {
            end = '\0';
        } else if (a.size() > 1 && a[0] == '-') {
            cliError("scan: unknown option '" + a + "'");
            return 2;
        } else if (!haveFile) {
            file = a;
            haveFile = true;
        } else {
            cliError("scan: more than one file given");
            return 2;
        }
    }
    std::string data, error;
    if (!cliReadInput(file, data, error)) {
        cliError(error);
        return 2;
    }
    TPageBuffer page;
    page.SetText(std::move(data));
    std::string out;
    ScanAddresses(page, [&out, end](std::string_view address) {
        out.append(address);
        out += end;
    });
    return cliWrite(out) ? 0 : 1;
}

const CliCommand scanCommand("scan", "scan [-0] [FILE]",
                             "print the e-mail addresses found in a page, in the order found (NUL-ended with -0)",
                             runScan);

} // namespace
