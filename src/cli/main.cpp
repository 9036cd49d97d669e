// corvina-cli: command-line companion of Corvina, using the same core as the
// windowed program (no display needed).
#include "Cli.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

namespace {

void printHelp(FILE* out)
{
    std::fprintf(out, "Usage: corvina-cli COMMAND [ARGS...]\n\nCommands:\n");
    std::vector<CliCommand*> cmds = cliCommands();
    std::sort(cmds.begin(), cmds.end(), [](const CliCommand* a, const CliCommand* b) { return std::strcmp(a->name, b->name) < 0; });
    for (const CliCommand* c : cmds)
        std::fprintf(out, "  %-58s %s\n", c->usage, c->summary);
    std::fprintf(out, "\n  %-58s %s\n", "--help", "show this help");
    std::fprintf(out, "\nInput: a page or a text to URL-code is read up to %d MiB (a page ends at its first\n"
                      "zero byte); base64 and uu stream up to %d GiB. Larger input is refused (exit 1).\n",
                 static_cast<int>(kCliMaxInput >> 20), static_cast<int>(kCliMaxStream >> 30));
}

} // namespace

int main(int argc, char** argv)
{
    // The network commands wait by servicing an event queue.
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        printHelp(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(stdout);
        return 0;
    }
    for (CliCommand* c : cliCommands()) {
        if (name == c->name) {
            std::vector<std::string> args(argv + 2, argv + argc);
            try {
                return c->run(args);
            } catch (const std::exception& e) {
                cliError(e.what());
                return 1;
            }
        }
    }
    cliError("unknown command '" + name + "' (see corvina-cli --help)");
    return 2;
}
