// corvina-cli base64 encode|decode: Base64 in MIME lines, standard input to
// standard output.
#include "CoderCli.h"

namespace {
const CliCommand command(cliCoderInfo("base64", "Base64-encode or decode standard input (MIME lines)"),
                         [](const CliArgs& args) { return runCoderCommand(args, uuMime); });
} // namespace
