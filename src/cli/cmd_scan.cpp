// corvina-cli scan [-0] [FILE]: the address scanner over a page.
#include "PageInput.h"

#include "AddressScanner.h"

namespace {

int runScan(const std::vector<std::string>& args)
{
    bool nul = false;
    std::vector<std::string> positional;
    if (!CliArgs("scan").flag("-0", nul).parse(args, positional, 1))
        return 2;
    TPageBuffer page;
    if (!cliLoadPage(positional, page))
        return 2;
    const char end = nul ? '\0' : '\n';
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
