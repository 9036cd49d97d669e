// corvina-cli: the command-line companion. Each subcommand registers itself
// with a static CliCommand object in its own cmd_*.cpp file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct CliCommand {
    using Run = std::function<int(const std::vector<std::string>& args)>;
    CliCommand(const char* name, const char* usage, const char* summary, Run run);

    const char* name;
    const char* usage;   // e.g. "scan [-0] [FILE]"
    const char* summary; // one line for --help
    Run run;
};

const std::vector<CliCommand*>& cliCommands();

// Reads a whole file as raw bytes, or standard input when path is empty or
// "-". Returns false and fills error with the system's reason on failure.
bool cliReadInput(const std::string& path, std::string& data, std::string& error);
// Writes raw bytes to standard output; returns false on a write error.
bool cliWrite(const std::string& bytes);
// Prints "corvina-cli: <message>" on standard error.
void cliError(const std::string& message);

// The arguments of one subcommand: boolean flags ("-0", "--plain-text"),
// options with a value ("--engine NAME" or "--engine=NAME") and up to a
// given number of positional arguments. Misuse is reported on standard error
// as "<command>: ..." and parse() returns false (the caller exits with 2).
class CliArgs {
public:
    explicit CliArgs(std::string command) : command_(std::move(command)) {}
    CliArgs& flag(const std::string& name, bool& target);
    CliArgs& option(const std::string& name, std::string& target);
    bool parse(const std::vector<std::string>& args, std::vector<std::string>& positional, size_t maxPositional);
    const std::string& command() const { return command_; }

private:
    std::string command_;
    std::vector<std::pair<std::string, bool*>> flags_;
    std::vector<std::pair<std::string, std::string*>> options_;
};
