// Shared body of the coder subcommands (base64, uu).
#pragma once

#include "Cli.h"
#include "Nmuue.h"

#include <string>
#include <vector>

// Runs "<name> encode|decode" over standard input with the given method.
// Returns the exit code: 0, 1 (input, output or coder failure), 2 (usage).
inline int runCoderCommand(const std::vector<std::string>& args, const std::string& name, UUMethods method)
{
    if (args.size() != 1 || (args[0] != "encode" && args[0] != "decode")) {
        cliError("usage: corvina-cli " + name + " encode|decode");
        return 2;
    }
    std::string data;
    std::string error;
    if (!cliReadInput("", data, error)) {
        cliError(error);
        return 1;
    }
    const std::string out = args[0] == "encode" ? EncodeBuffer(data, method) : DecodeBuffer(data, method);
    if (!cliWrite(out)) {
        cliError("standard output: write error");
        return 1;
    }
    return 0;
}
