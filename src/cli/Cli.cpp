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
