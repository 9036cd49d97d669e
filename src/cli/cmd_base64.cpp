// corvina-cli base64 encode|decode: Base64 in MIME lines, standard input to
// standard output.
#include "Cli.h"
#include "CoderCli.h"

namespace {
CliCommand command("base64", "base64 encode|decode", "Base64-encode or decode standard input (MIME lines)",
                   [](const std::vector<std::string>& args) { return runCoderCommand(args, "base64", uuMime); });
} // namespace
