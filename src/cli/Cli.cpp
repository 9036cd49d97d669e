#include "Cli.h"

#include "SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<CliCommand*>& registry()
{
    static std::vector<CliCommand*> commands;
    return commands;
}

constexpr size_t kWidth = 80;

// Every command takes -h and --help (main.cpp answers them).
constexpr const char* kHelpText = "show this help and exit";

// Appends words to out, a blank between two words, breaking lines before
// kWidth; a new line starts with indent blanks. column is where out's last
// line stands.
void wrapWords(std::string& out, size_t& column, const std::vector<std::string>& words, size_t indent)
{
    for (const std::string& w : words) {
        const bool blank = !out.empty() && out.back() != ' ' && out.back() != '\n';
        if (column > indent && column + blank + w.size() > kWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else if (blank) {
            out += ' ';
            ++column;
        }
        out += w;
        column += w.size();
    }
}

std::vector<std::string> splitWords(const char* text)
{
    std::vector<std::string> words;
    std::string w;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ') {
            if (!w.empty())
                words.push_back(std::move(w));
            w.clear();
        } else
            w += *p;
    }
    if (!w.empty())
        words.push_back(std::move(w));
    return words;
}

// The usage's words after the command name: one per option, then the operands.
std::vector<std::string> usageWords(const CliCommandInfo& info)
{
    std::vector<std::string> words;
    for (const CliOption& o : info.options) {
        std::string w = o.name;
        if (o.value)
            w += std::string(" ") + o.value;
        if (!(o.flags & CliOption::Required))
            w = "[" + w + "]";
        if (o.flags & CliOption::Repeat)
            w += "...";
        words.push_back(std::move(w));
    }
    if (*info.operands)
        words.emplace_back(info.operands);
    return words;
}

// "  NAME VALUE   help text", the help wrapped at kWidth.
void optionLine(std::string& out, const std::string& names, const char* help)
{
    constexpr size_t kHelpColumn = 24;
    out += "  " + names;
    size_t column = 2 + names.size();
    if (column + 1 > kHelpColumn) {
        out += '\n';
        column = 0;
    }
    out.append(kHelpColumn - column, ' ');
    column = kHelpColumn;
    wrapWords(out, column, splitWords(help), kHelpColumn);
    out += '\n';
}

} // namespace

CliOptions operator+(CliOptions a, const CliOptions& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const CliOptions& cliHttpOptions()
{
    static const CliOptions options{
        {"--timeout", "MS", "end a wait after this many milliseconds without a byte, and a connect "
                           "(default 10000, 0 = none)"},
        {"--max-time", "SECONDS", "longest wait for one page, redirects included (default 60, 0 = none)"},
        {"--proxy", "HOST:PORT", "send the requests through this HTTP proxy, https ones in a tunnel (default: "
                                 "the http_proxy and https_proxy environment variables)"},
        {"--cacert", "FILE", "trust the CA certificates in FILE (PEM) too"},
    };
    return options;
}

CliCommand::CliCommand(CliCommandInfo info_, Run run_) : info(std::move(info_)), run(std::move(run_))
{
    registry().push_back(this);
}

const std::vector<CliCommand*>& cliCommands() { return registry(); }

const CliCommand* cliFindCommand(std::string_view name)
{
    for (const CliCommand* c : registry())
        if (name == c->info.name)
            return c;
    return nullptr;
}

std::string cliUsage(const CliCommandInfo& info)
{
    std::string out = std::string("usage: corvina-cli ") + info.name;
    size_t column = out.size();
    wrapWords(out, column, usageWords(info), out.size() + 1);
    out += '\n';
    return out;
}

std::string cliHelp(const CliCommandInfo& info)
{
    std::string out = cliUsage(info);
    size_t column = 0;
    wrapWords(out, column, splitWords(info.summary), 0);
    out += "\n\nOptions:\n";
    for (const CliOption& o : info.options)
        optionLine(out, o.value ? std::string(o.name) + " " + o.value : std::string(o.name), o.help);
    optionLine(out, "-h, --help", kHelpText);
    if (*info.notes) {
        out += '\n';
        column = 0;
        // The notes keep their own line ends; each line is wrapped.
        std::string line;
        for (const char* p = info.notes;; ++p) {
            if (*p == '\n' || !*p) {
                column = 0;
                wrapWords(out, column, splitWords(line.c_str()), 0);
                out += '\n';
                line.clear();
                if (!*p || !p[1])
                    break;
            } else
                line += *p;
        }
    }
    return out;
}

std::string cliMainHelp()
{
    std::string out = "usage: corvina-cli COMMAND [OPTION]... [ARG]...\n"
                      "       corvina-cli COMMAND --help\n"
                      "       corvina-cli --help | --version\n\nCommands:\n";
    std::vector<const CliCommand*> cmds(registry().begin(), registry().end());
    std::sort(cmds.begin(), cmds.end(),
              [](const CliCommand* a, const CliCommand* b) { return std::strcmp(a->info.name, b->info.name) < 0; });
    for (const CliCommand* c : cmds) {
        std::string line = std::string("  ") + c->info.name;
        size_t column = line.size();
        wrapWords(line, column, usageWords(c->info), 3 + std::strlen(c->info.name));
        out += line + "\n      ";
        column = 6;
        wrapWords(out, column, splitWords(c->info.summary), 6);
        out += '\n';
    }
    const std::string input = "Input: a page or a text to URL-code is read up to " + std::to_string(kCliMaxInput >> 20) +
                              " MiB (a page ends at its first zero byte); base64 and uu stream up to " +
                              std::to_string(kCliMaxStream >> 30) + " GiB. Larger input is refused (exit 1).";
    out += '\n';
    size_t column = 0;
    wrapWords(out, column, splitWords(input.c_str()), 0);
    out += '\n';
    return out;
}

CliArgs::CliArgs(const CliCommandInfo& info) : info_(info), values_(info.options.size()) {}

size_t CliArgs::row(std::string_view name) const
{
    for (size_t i = 0; i < info_.options.size(); ++i)
        if (name == info_.options[i].name)
            return i;
    throw std::logic_error(std::string(info_.name) + ": no option " + std::string(name) + " in the table");
}

const std::vector<std::string>& CliArgs::values(std::string_view name) const { return values_[row(name)]; }

std::string CliArgs::value(std::string_view name, const std::string& fallback) const
{
    const std::vector<std::string>& v = values(name);
    return v.empty() ? fallback : v.back();
}

int CliArgs::number(std::string_view name, int fallback, int min, const char* what) const
{
    const std::vector<std::string>& v = values(name);
    if (v.empty())
        return fallback;
    int n = 0;
    if (!TryStrToInt(v.back(), n) || n < min)
        throw CliUsageError(std::string(name) + " needs " +
                            (what ? std::string(what) : "a whole number of at least " + std::to_string(min)) +
                            ", not '" + v.back() + "'");
    return n;
}

void CliArgs::parse(const std::vector<std::string>& args)
{
    bool optionsEnd = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            if (operands_.size() >= info_.maxOperands)
                throw CliUsageError("unexpected argument '" + a + "'");
            operands_.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        if (a == "-h" || a == "--help") {
            help_ = true; // nothing else matters then
            return;
        }
        const size_t eq = a.rfind("--", 0) == 0 ? a.find('=') : std::string::npos;
        const std::string name = a.substr(0, eq);
        size_t i = 0;
        while (i < info_.options.size() && name != info_.options[i].name)
            ++i;
        if (i == info_.options.size())
            throw CliUsageError("unknown option '" + a + "'");
        const CliOption& o = info_.options[i];
        if (!o.value) {
            if (eq != std::string::npos)
                throw CliUsageError(name + " takes no value");
            values_[i].emplace_back();
        } else if (eq != std::string::npos) {
            values_[i].push_back(a.substr(eq + 1));
        } else if (k + 1 < args.size()) {
            values_[i].push_back(args[++k]);
        } else {
            throw CliUsageError(name + " needs a value (" + o.value + ")");
        }
        if (values_[i].size() > 1 && !(o.flags & CliOption::Repeat))
            values_[i].erase(values_[i].begin()); // the last one counts
    }
    if (operands_.size() < info_.minOperands)
        throw CliUsageError(std::string("missing ") + info_.operands);
}

std::string cliTooLargeMessage(const std::string& name, int64_t limit)
{
    const bool gib = limit % (int64_t(1) << 30) == 0;
    const int64_t amount = gib ? limit >> 30 : limit >> 20;
    return name + ": input larger than " + std::to_string(amount) + (gib ? " GiB" : " MiB");
}

CliInput::~CliInput()
{
    if (ownFd_)
        ::close(fd_);
}

bool CliInput::open(const std::string& path)
{
    if (path.empty() || path == "-") {
        fd_ = 0;
        name_ = "standard input";
        return true;
    }
    name_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        status_ = Failed;
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    ownFd_ = true;
    return true;
}

void CliInput::openOrThrow(const std::string& path)
{
    if (!open(path))
        throw CliFailure(error_, 2);
}

int64_t CliInput::sizeHint() const
{
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t CliInput::read(char* buffer, size_t size)
{
    if (status_ != Ok)
        return -1;
    // One byte more than the limit allows is asked for, so an input of
    // exactly the limit is read whole and a longer one is seen.
    const int64_t room = limit_ - total_ + 1;
    if (room <= 0 || size == 0)
        return 0;
    const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(size), room));
    ssize_t n;
    do {
        n = ::read(fd_, buffer, want);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        status_ = Failed;
        error_ = name_ + ": " + std::strerror(errno);
        return -1;
    }
    total_ += n;
    if (total_ > limit_) {
        status_ = TooLarge;
        error_ = cliTooLargeMessage(name_, limit_);
        return -1;
    }
    return n;
}

int64_t CliInput::readFull(char* buffer, size_t size)
{
    size_t got = 0;
    while (got < size) {
        const int64_t n = read(buffer + got, size - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(got);
}

namespace {

// A large buffer is asked to sit in large pages: filling it then takes a
// handful of page faults instead of one per 4 KiB, a good part of reading a
// page of some megabytes. Only a hint; the system may decline.
void adviseLargePages(std::string& buffer)
{
    constexpr size_t kLarge = size_t(2) << 20;
    if (buffer.capacity() < 2 * kLarge)
        return;
    const auto begin = reinterpret_cast<uintptr_t>(buffer.data());
    const uintptr_t first = (begin + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t last = (begin + buffer.capacity()) & ~(kLarge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace

bool cliReadInput(const std::string& path, std::string& data, std::string& error, int64_t limit, bool stopAtZero,
                  bool* tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    data.clear();
    CliInput input(limit);
    if (!input.open(path)) {
        error = input.error();
        return false;
    }
    // Read in blocks small enough to stay in the cache, each looked through
    // for the zero while it is there and then appended: one pass over the
    // large buffer instead of clearing it and then reading into it. A file
    // of known size gets one allocation, with large pages to its end.
    const int64_t hint = input.sizeHint();
    if (hint >= 0) {
        const size_t whole = static_cast<size_t>(std::min(hint, limit)) + 1;
        data.reserve(whole + (whole >= (size_t(4) << 20) ? size_t(2) << 20 : 0));
        adviseLargePages(data);
    }
    constexpr size_t kBlock = size_t(128) << 10;
    const std::unique_ptr<char[]> block(new char[kBlock]);
    for (;;) {
        const int64_t n = input.read(block.get(), kBlock);
        if (n < 0) {
            error = input.error();
            if (tooLarge)
                *tooLarge = input.status() == CliInput::TooLarge;
            data.clear();
            return false;
        }
        if (n == 0)
            break;
        if (stopAtZero) {
            if (const void* zero = std::memchr(block.get(), 0, static_cast<size_t>(n))) {
                data.append(block.get(), static_cast<size_t>(static_cast<const char*>(zero) - block.get()));
                break;
            }
        }
        data.append(block.get(), static_cast<size_t>(n));
    }
    return true;
}

namespace {

// The mapped file and what the bus-error handler prints when a page of it
// has gone: set up before the bytes are read, since the handler may only
// write and end.
char gShrankMessage[1024];
size_t gShrankLength = 0;
const char* gMappedBegin = nullptr;
const char* gMappedEnd = nullptr;

void onBusError(int, siginfo_t* info, void*)
{
    const char* at = static_cast<const char*>(info->si_addr);
    if (at >= gMappedBegin && at < gMappedEnd) {
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, gShrankMessage, gShrankLength);
        ::_exit(1);
    }
    // Not the mapped file: the fault ends the program as it would have.
    ::signal(SIGBUS, SIG_DFL);
}

void catchShrinking(const std::string& name, const char* begin, size_t length)
{
    const std::string message = "corvina-cli: " + name + ": the file shrank while it was read\n";
    gShrankLength = std::min(message.size(), sizeof gShrankMessage);
    std::memcpy(gShrankMessage, message.data(), gShrankLength);
    gMappedBegin = begin;
    gMappedEnd = begin + length;
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, nullptr);
}

} // namespace

std::optional<CliMappedFile> cliMapFile(const std::string& path, int64_t limit)
{
    const bool standardInput = path.empty() || path == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // Standard input is mapped only while it stands at its start, as it does
    // unless something read from it before.
    struct stat st;
    const bool mappable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= limit &&
                          (!standardInput || ::lseek(fd, 0, SEEK_CUR) == 0);
    const size_t length = mappable ? static_cast<size_t>(st.st_size) : 0;
    void* const base = mappable ? ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    if (!standardInput)
        ::close(fd);
    if (base == MAP_FAILED)
        return std::nullopt;
    catchShrinking(standardInput ? "standard input" : path, static_cast<const char*>(base), length);
    ::madvise(base, length, MADV_SEQUENTIAL);
    std::shared_ptr<const void> keeper(base, [length](const void* p) { ::munmap(const_cast<void*>(p), length); });
    return CliMappedFile{std::move(keeper), std::string_view(static_cast<const char*>(base), length)};
}

bool cliForEachLine(CliInput& input, const std::function<void(const char*, size_t)>& piece,
                    const std::function<void()>& lineEnd)
{
    std::string block(kCliReadBlock, '\0');
    char* const buf = block.data();
    bool heldCr = false; // a CR at the end of a block: dropped if a LF follows
    bool open = false;   // a line has begun and not yet ended
    for (;;) {
        const int64_t n = input.read(buf, block.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        const char* p = buf;
        const char* end = buf + n;
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            const char* stop = lf ? lf : end;
            if (heldCr && (stop > p || !lf)) {
                piece("\r", 1);
                open = true;
            }
            heldCr = false;
            const char* text = stop;
            if (text > p && text[-1] == '\r') {
                --text;
                heldCr = !lf;
            }
            if (text > p) {
                piece(p, static_cast<size_t>(text - p));
                open = true;
            }
            if (!lf)
                break;
            lineEnd();
            open = false;
            p = lf + 1;
        }
    }
    if (heldCr || open)
        lineEnd();
    return true;
}

namespace {
int lastWriteErrno = 0;
} // namespace

bool CliOutput::addSlow(const char* data, size_t count)
{
    if (failed_)
        return false;
    if (!flush())
        return false;
    if (count >= kFlushAt) {
        // A large piece goes out as it is, without a copy.
        failed_ = !cliWrite(data, count);
        return !failed_;
    }
    pending_.append(data, count);
    return true;
}

bool CliOutput::flush()
{
    if (failed_)
        return false;
    if (!pending_.empty() && !cliWrite(pending_))
        failed_ = true;
    pending_.clear();
    return !failed_;
}

void CliOutput::finish()
{
    if (!flush())
        throw CliFailure(cliWriteErrorMessage());
}

bool cliWrite(const char* data, size_t count)
{
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(STDOUT_FILENO, data + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lastWriteErrno = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string cliWriteErrorMessage()
{
    return std::string("standard output: ") + (lastWriteErrno ? std::strerror(lastWriteErrno) : "write error");
}

namespace {
// The meter on show, if any: a message first clears its line, then the
// meter is drawn again below the message.
std::string meterText;
bool meterDrawn = false;
// Read by the signal handler: the meter's line is open on the terminal.
volatile std::sig_atomic_t meterLineOpen = 0;

// Interrupted while the meter shows (Ctrl-C): its line is ended before the
// program dies of the signal, so the shell's prompt starts on a line of its
// own.
extern "C" void endMeterLineAndDie(int sig)
{
    if (meterLineOpen) {
        const ssize_t written = ::write(STDERR_FILENO, "\n", 1);
        (void)written;
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void drawMeter()
{
    static const bool handlers = [] {
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            if (std::signal(sig, endMeterLineAndDie) == SIG_IGN)
                std::signal(sig, SIG_IGN); // left ignored, as it was
        return true;
    }();
    (void)handlers;
    // Open before the text shows: a signal may come as soon as it does.
    meterLineOpen = 1;
    std::fprintf(stderr, "\r\033[K%s", meterText.c_str());
    std::fflush(stderr);
    meterDrawn = true;
}
} // namespace

void cliError(const std::string& message)
{
    if (meterDrawn) {
        std::fputs("\r\033[K", stderr);
        meterLineOpen = 0;
    }
    std::fprintf(stderr, "corvina-cli: %s\n", message.c_str());
    if (meterDrawn)
        drawMeter();
    std::fflush(stderr);
}

CliMeter::CliMeter() : on_(isatty(STDERR_FILENO) == 1) {}

CliMeter::~CliMeter() { done(); }

void CliMeter::show(const std::string& text)
{
    if (!on_)
        return;
    meterText = text;
    drawMeter();
}

void CliMeter::done()
{
    if (meterDrawn) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    meterDrawn = false;
    meterLineOpen = 0;
    meterText.clear();
}
