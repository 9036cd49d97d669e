// corvina-cli scan [-0] [--keep-all] [FILE]: the address scanner over a page.
#include "AddressDomain.h"
#include "PageInput.h"
#include "StreamScan.h"

namespace {

int runScan(const std::vector<std::string>& args)
{
    bool nul = false, keepAll = false;
    std::vector<std::string> positional;
    if (!CliArgs("scan").flag("-0", nul).flag("--keep-all", keepAll).parse(args, positional, 1))
        return 2;
    CliInput input(kCliMaxInput);
    if (!input.open(positional.empty() ? std::string() : positional[0])) {
        cliError(input.error());
        return 2;
    }
    const char end = nul ? '\0' : '\n';
    CliOutput out;
    const std::function<void(std::string_view)> accept = [&out, end, keepAll](std::string_view address) {
        if (!keepAll && !HasPublicDomain(address))
            return;
        out.add(address.data(), address.size());
        out.add(&end, 1);
    };
    StretchScanner scanner(accept);
    char buf[65536];
    for (;;) {
        const int64_t n = input.read(buf, sizeof buf);
        if (n < 0) {
            out.flush();
            cliError(input.error());
            return input.status() == CliInput::TooLarge ? 1 : 2;
        }
        if (n == 0 || !scanner.Add(buf, static_cast<size_t>(n)))
            break;
    }
    scanner.End();
    return out.flush() ? 0 : 1;
}

const CliCommand scanCommand("scan", "scan [-0] [--keep-all] [FILE]",
                             "print the e-mail addresses found in a page, in the order found (NUL-ended with -0)",
                             runScan);

} // namespace
