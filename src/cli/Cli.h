// corvina-cli: the command-line companion. Each subcommand registers itself
// with a static CliCommand object in its own cmd_*.cpp file.
#pragma once

#include <cstdint>
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

// The most input a command holds whole in memory (a page, a text for the URL
// codec): 256 MiB, the largest body the HTTP client keeps. The streaming
// commands (base64, uu) read up to 16 GiB in blocks.
constexpr int64_t kCliMaxInput = int64_t(256) << 20;
constexpr int64_t kCliMaxStream = int64_t(16) << 30;

// "<name>: input larger than 256 MiB" for a limit and the input's name.
std::string cliTooLargeMessage(const std::string& name, int64_t limit);

// Input read block by block from a file, or from standard input when the
// path is empty or "-", refusing to read past a limit.
class CliInput {
public:
    enum Status { Ok, Failed, TooLarge };

    explicit CliInput(int64_t limit) : limit_(limit) {}
    ~CliInput();
    CliInput(const CliInput&) = delete;
    CliInput& operator=(const CliInput&) = delete;

    // False, with error() set, when the file cannot be opened.
    bool open(const std::string& path);
    // Reads up to size bytes: the count, 0 at the end, -1 on a read error or
    // once the input goes past the limit (status() tells which, error() says
    // it; nothing beyond the limit is handed out).
    int64_t read(char* buffer, size_t size);
    // Fills buffer with exactly size bytes unless the input ends first.
    int64_t readFull(char* buffer, size_t size);

    Status status() const { return status_; }
    const std::string& error() const { return error_; }
    const std::string& name() const { return name_; }

private:
    int fd_ = -1;
    bool ownFd_ = false;
    int64_t limit_;
    int64_t total_ = 0;
    Status status_ = Ok;
    std::string error_;
    std::string name_;
};

// Reads a whole file as raw bytes, or standard input when path is empty or
// "-", up to limit bytes, and with stopAtZero only up to its first zero byte
// (a page ends there, so nothing after it is read). Returns false and fills
// error on failure; tooLarge, when given, tells an input past the limit from
// a failed read.
bool cliReadInput(const std::string& path, std::string& data, std::string& error, int64_t limit = kCliMaxInput,
                  bool stopAtZero = false, bool* tooLarge = nullptr);

// Splits input into lines (a LF ends a line; a CR right before it, or at the
// very end, is dropped) of any length, handing each line on in pieces as it
// is read: piece(data, count) zero or more times, then lineEnd(). Returns
// false when the input failed (input.status() tells why).
bool cliForEachLine(CliInput& input, const std::function<void(const char*, size_t)>& piece,
                    const std::function<void()>& lineEnd);

// Collects standard-output bytes and writes them in large blocks; false on a
// write error (and every later call fails too).
class CliOutput {
public:
    ~CliOutput() { flush(); }
    bool add(const char* data, size_t count);
    bool add(const std::string& bytes) { return add(bytes.data(), bytes.size()); }
    bool flush();
    bool failed() const { return failed_; }

private:
    std::string pending_;
    bool failed_ = false;
};
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
