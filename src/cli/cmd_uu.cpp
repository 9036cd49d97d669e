// corvina-cli uu encode|decode: uuencode lines (no begin or end line),
// standard input to standard output.
#include "CoderCli.h"

namespace {
const CliCommand command(cliCoderInfo("uu", "uuencode or decode standard input (lines only, no begin/end)"),
                         [](const CliArgs& args) { return runCoderCommand(args, uuCode); });
} // namespace
