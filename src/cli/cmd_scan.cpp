// corvina-cli scan [-0] [--keep-all] [FILE]: the address scanner over a page.
#include "AddressDomain.h"
#include "PageInput.h"
#include "StreamScan.h"

namespace {

int runScan(const CliArgs& args)
{
    CliInput input(kCliMaxInput);
    input.openOrThrow(args.operand());
    const char end = args.has("-0") ? '\0' : '\n';
    const bool keepAll = args.has("--keep-all");
    CliOutput out;
    const std::function<void(std::string_view)> accept = [&out, end, keepAll](std::string_view address) {
        if (!keepAll && !HasPublicDomain(address))
            return;
        out.add(address.data(), address.size());
        out.add(&end, 1);
    };
    StretchScanner scanner(accept);
    std::string block(kCliReadBlock, '\0');
    for (;;) {
        const int64_t n = input.read(block.data(), block.size());
        if (n < 0) {
            out.flush();
            throw CliFailure(input.error(), input.status() == CliInput::TooLarge ? 1 : 2);
        }
        if (n == 0 || !scanner.Add(block.data(), static_cast<size_t>(n)))
            break;
    }
    scanner.End();
    out.finish();
    return 0;
}

const CliCommand command({.name = "scan",
                          .operands = "[FILE]",
                          .maxOperands = 1,
                          .summary = "print the e-mail addresses found in a page, in the order found",
                          .options = {{"-0", nullptr, "end each address with a NUL byte instead of a line end"},
                                      {"--keep-all", nullptr, "also addresses whose domain is no public one "
                                                              "(logo@2x.png)"}},
                          .notes = "A zero byte ends the page."},
                         runScan);

} // namespace
