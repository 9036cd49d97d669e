#include "Cli.h"

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

bool cliReadInput(const std::string& path, std::string& data, std::string& error)
{
    int fd = 0;
    const bool useStdin = path.empty() || path == "-";
    if (!useStdin) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
    }
    data.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = (useStdin ? std::string("standard input") : path) + ": " + std::strerror(errno);
            if (!useStdin)
                ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    if (!useStdin)
        ::close(fd);
    return true;
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
