#include "Cli.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
std::vector<CliCommand*>& registry()
{
    static std::vector<CliCommand*> commands;
    return commands;
}
} // namespace

CliCommand::CliCommand(const char* name_, const char* usage_, const char* summary_, Run run_)
    : name(name_), usage(usage_), summary(summary_), run(std::move(run_))
{
    registry().push_back(this);
}

const std::vector<CliCommand*>& cliCommands() { return registry(); }

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
    char buf[65536];
    for (;;) {
        const int64_t n = input.read(buf, sizeof buf);
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
            if (const void* zero = std::memchr(buf, 0, static_cast<size_t>(n))) {
                data.append(buf, static_cast<size_t>(static_cast<const char*>(zero) - buf));
                break;
            }
        }
        data.append(buf, static_cast<size_t>(n));
    }
    return true;
}

bool cliForEachLine(CliInput& input, const std::function<void(const char*, size_t)>& piece,
                    const std::function<void()>& lineEnd)
{
    char buf[65536];
    bool heldCr = false; // a CR at the end of a block: dropped if a LF follows
    bool open = false;   // a line has begun and not yet ended
    for (;;) {
        const int64_t n = input.read(buf, sizeof buf);
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

bool CliOutput::add(const char* data, size_t count)
{
    if (failed_)
        return false;
    pending_.append(data, count);
    return pending_.size() < 65536 || flush();
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

bool cliWrite(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(1, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void cliError(const std::string& message) { std::fprintf(stderr, "corvina-cli: %s\n", message.c_str()); }

CliArgs& CliArgs::flag(const std::string& name, bool& target)
{
    flags_.emplace_back(name, &target);
    return *this;
}

CliArgs& CliArgs::option(const std::string& name, std::string& target)
{
    options_.emplace_back(name, &target);
    return *this;
}

bool CliArgs::parse(const std::vector<std::string>& args, std::vector<std::string>& positional, size_t maxPositional)
{
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        bool known = false;
        for (auto& [name, target] : flags_)
            if (a == name) {
                *target = true;
                known = true;
            }
        for (auto& [name, target] : options_) {
            if (a == name) {
                if (k + 1 >= args.size()) {
                    cliError(command_ + ": " + name + " needs a value");
                    return false;
                }
                *target = args[++k];
                known = true;
            } else if (a.rfind(name + "=", 0) == 0) {
                *target = a.substr(name.size() + 1);
                known = true;
            }
        }
        if (known)
            continue;
        if (a.size() > 1 && a[0] == '-') {
            cliError(command_ + ": unknown option '" + a + "'");
            return false;
        }
        if (positional.size() >= maxPositional) {
            cliError(command_ + ": unexpected argument '" + a + "'");
            return false;
        }
        positional.push_back(a);
    }
    return true;
}
