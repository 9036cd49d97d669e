// corvina-cli uu encode|decode: uuencode lines (no begin or end line),
// standard input to standard output.
#include "Cli.h"
#include "CoderCli.h"

namespace {
CliCommand command("uu", "uu encode|decode", "uuencode or decode standard input (lines only, no begin/end)",
                   [](const std::vector<std::string>& args) { return runCoderCommand(args, "uu", uuCode); });
} // namespace
