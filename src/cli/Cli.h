// corvina-cli: the command-line companion. Each subcommand registers itself
// with a static CliCommand object in its own cmd_*.cpp file, together with
// its option table: one table both parses the command line and writes the
// usage line and --help, so the three cannot disagree.
//
// Adding an option to a command is one row in its table plus its use:
//
//   {"--delay", "SECONDS", "wait this long between two sites (default 0)"},
//
// and in the command's run function `args.number("--delay", 0, 0)` (or
// args.value() for a text). A flag (no value) has nullptr for its value
// name and is read with args.has(); CliOption::Repeat lets an option be
// given many times (args.values(), or args.count() for a flag such as -v).
// Options that several commands share live in one shared table that those
// commands append with +: cliHttpOptions() (--timeout, --proxy) is used by
// fetch, search and harvest and read in cliSetUpHttp() (HttpCli.h), so an
// option for every HTTP client (--cacert FILE, say) is one row there and its
// use there. The usage line, --help and the checks come from the table; the
// manual page (packaging/corvina-cli.1.in) must name the new option in the
// command's entry, which a test compares with every command's --help. Help
// lines are wrapped to 80 columns; keep a value name short.
//
// Errors: run functions throw CliUsageError for misuse (exit 2, the message
// and the usage on standard error) and CliFailure for a failure at run time
// (exit 1, or the status it carries); main prints both through cliError().
// Every message names the host, file or server involved.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// One row of a command's option table.
struct CliOption {
    enum Flags : unsigned { Required = 1, Repeat = 2 };
    const char* name;  // "-i" or "--timeout"
    const char* value; // the value's name in the usage ("MS"); nullptr for a flag
    const char* help;  // one line for --help (wrapped to 80 columns)
    unsigned flags = 0; // Required: shown without brackets; Repeat: may be given many times
};

using CliOptions = std::vector<CliOption>;
CliOptions operator+(CliOptions a, const CliOptions& b);

// Shared by the commands that fetch over HTTP (fetch, search, harvest).
const CliOptions& cliHttpOptions();

// What a command takes: its options and its operands.
struct CliCommandInfo {
    const char* name = "";
    const char* operands = "";  // as shown in the usage: "URL", "[FILE]", "KEY WORDS..."
    size_t minOperands = 0;
    size_t maxOperands = 0;
    const char* summary = "";   // one line for corvina-cli --help
    CliOptions options = {};    // -h/--help is added to every command
    const char* notes = "";     // paragraph closing the command's --help
    bool eventLoop = false;     // the command waits on the network
};

// The parsed command line of one command.
class CliArgs {
public:
    explicit CliArgs(const CliCommandInfo& info);
    // Reads args; throws CliUsageError on an unknown option, a missing value
    // or the wrong number of operands. "--" ends the options; "-" alone is
    // an operand; "--name=value" and "--name value" both work.
    void parse(const std::vector<std::string>& args);

    // The names must be rows of the table (a programming error otherwise).
    bool has(std::string_view name) const { return !values(name).empty(); }
    size_t count(std::string_view name) const { return values(name).size(); }
    // The last value given, or fallback.
    std::string value(std::string_view name, const std::string& fallback = {}) const;
    // The last value as a whole number of at least min, or fallback when
    // the option is not given; anything else is misuse, reported as
    // "<name> needs <what>" (what defaults to "a whole number of at least
    // <min>").
    int number(std::string_view name, int fallback, int min, const char* what = nullptr) const;
    const std::vector<std::string>& values(std::string_view name) const;
    const std::vector<std::string>& operands() const { return operands_; }
    // The first operand, or "" (standard input for a FILE operand).
    std::string operand() const { return operands_.empty() ? std::string() : operands_[0]; }
    const CliCommandInfo& info() const { return info_; }
    // -h or --help was given: the command prints its help instead.
    bool help() const { return help_; }

private:
    size_t row(std::string_view name) const;
    const CliCommandInfo& info_;
    std::vector<std::vector<std::string>> values_; // per table row
    std::vector<std::string> operands_;
    bool help_ = false;
};

struct CliCommand {
    using Run = std::function<int(const CliArgs& args)>;
    CliCommand(CliCommandInfo info, Run run);

    CliCommandInfo info;
    Run run;
};

const std::vector<CliCommand*>& cliCommands();
const CliCommand* cliFindCommand(std::string_view name);

// "usage: corvina-cli NAME [OPTION]... OPERANDS", wrapped to 80 columns.
std::string cliUsage(const CliCommandInfo& info);
// The usage, the summary, one line per option and the notes.
std::string cliHelp(const CliCommandInfo& info);
// The command list (corvina-cli --help).
std::string cliMainHelp();

// Misuse of a command: exit 2 with the usage.
class CliUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure at run time: exit 1 (or 2 for an input that cannot be opened).
class CliFailure : public std::runtime_error {
public:
    explicit CliFailure(const std::string& message, int status = 1) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

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
    // Opens, or throws CliFailure (status 2) naming the file.
    void openOrThrow(const std::string& path);
    // Reads up to size bytes: the count, 0 at the end, -1 on a read error or
    // once the input goes past the limit (status() tells which, error() says
    // it; nothing beyond the limit is handed out).
    int64_t read(char* buffer, size_t size);
    // Fills buffer with exactly size bytes unless the input ends first.
    int64_t readFull(char* buffer, size_t size);
    // The size of a regular file (a hint for the buffer), or -1.
    int64_t sizeHint() const;

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

// The size of the blocks the streaming commands read.
constexpr size_t kCliReadBlock = size_t(1) << 20;

// Reads a whole file as raw bytes, or standard input when path is empty or
// "-", up to limit bytes. With stopAtZero the input is read only up to its
// first zero byte, where a page ends, so data holds no zero byte (and an
// endless stream stops there). Returns false and fills
// error on failure; tooLarge, when given, tells an input past the limit from
// a failed read.
bool cliReadInput(const std::string& path, std::string& data, std::string& error, int64_t limit = kCliMaxInput,
                  bool stopAtZero = false, bool* tooLarge = nullptr);

// A regular file's bytes mapped into memory read-only, for the commands that
// take a whole page: no copy of a page of megabytes, and no buffer to fill.
struct CliMappedFile {
    std::shared_ptr<const void> keeper; // unmaps when the last holder goes
    std::string_view bytes;
};

// Maps the file at path (standard input when path is empty or "-") when it
// is a regular file of 1 to limit bytes. Anything else (a pipe, a terminal,
// an empty or special file, one past the limit, one that cannot be opened
// or mapped) gives nullopt and reports nothing: the caller reads it instead,
// which reports what is wrong. The size is taken when the file is mapped;
// should the file then shrink, touching the part that went ends the program
// with status 1 and "corvina-cli: FILE: the file shrank while it was read"
// rather than with a bus error.
std::optional<CliMappedFile> cliMapFile(const std::string& path, int64_t limit);

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
    bool add(const char* data, size_t count)
    {
        if (pending_.size() + count <= kFlushAt) {
            pending_.append(data, count);
            return !failed_;
        }
        return addSlow(data, count);
    }
    bool add(const std::string& bytes) { return add(bytes.data(), bytes.size()); }
    bool flush();
    // Flushes, or throws CliFailure ("standard output: ...").
    void finish();
    bool failed() const { return failed_; }

private:
    static constexpr size_t kFlushAt = size_t(1) << 20;
    bool addSlow(const char* data, size_t count);
    std::string pending_;
    bool failed_ = false;
};
// Writes raw bytes to standard output; returns false on a write error.
bool cliWrite(const char* data, size_t count);
inline bool cliWrite(const std::string& bytes) { return cliWrite(bytes.data(), bytes.size()); }
// "standard output: <the write error>", for CliFailure.
std::string cliWriteErrorMessage();

// Prints "corvina-cli: <message>" on standard error (clearing the meter's
// line first when one is showing). The one place that writes messages.
void cliError(const std::string& message);

// A one-line meter on standard error, redrawn in place; silent unless
// standard error is a terminal. A message printed while it shows takes the
// line; done() (or the destructor) ends the meter's line with a line end.
class CliMeter {
public:
    CliMeter();
    ~CliMeter();
    CliMeter(const CliMeter&) = delete;
    CliMeter& operator=(const CliMeter&) = delete;
    void show(const std::string& text);
    void done();

private:
    bool on_;
};
