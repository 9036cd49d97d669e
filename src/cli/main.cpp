// corvina-cli: command-line companion of Corvina, using the same core as the
// windowed program (no display needed).
#include "Cli.h"

#include <QCoreApplication>

#include <cstring>
#include <memory>

#ifndef CORVINA_VERSION
#define CORVINA_VERSION "unknown"
#endif

namespace {

int usageError(const std::string& message, const std::string& usage)
{
    cliError(message);
    std::fputs(usage.c_str(), stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usageError("no command given", cliMainHelp());
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        const std::string help = cliMainHelp();
        return cliWrite(help) ? 0 : 1;
    }
    if (name == "--version")
        return cliWrite(std::string("corvina-cli ") + CORVINA_VERSION + "\n") ? 0 : 1;
    const CliCommand* command = cliFindCommand(name);
    if (!command)
        return usageError("unknown command '" + name + "' (see corvina-cli --help)", "");
    const CliCommandInfo& info = command->info;

    CliArgs args(info);
    try {
        args.parse(std::vector<std::string>(argv + 2, argv + argc));
    } catch (const CliUsageError& e) {
        return usageError(std::string(info.name) + ": " + e.what(), cliUsage(info));
    }
    if (args.help())
        return cliWrite(cliHelp(info)) ? 0 : 1;

    // Only the network commands wait by servicing an event queue; the others
    // start without one.
    std::unique_ptr<QCoreApplication> app;
    if (info.eventLoop)
        app = std::make_unique<QCoreApplication>(argc, argv);
    try {
        return command->run(args);
    } catch (const CliUsageError& e) {
        return usageError(std::string(info.name) + ": " + e.what(), cliUsage(info));
    } catch (const CliFailure& e) {
        cliError(e.what());
        return e.status();
    } catch (const std::exception& e) {
        cliError(std::string(info.name) + ": " + e.what());
        return 1;
    }
}
