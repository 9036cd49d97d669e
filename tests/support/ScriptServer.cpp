#include "ScriptServer.h"

#include "TestUtil.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testnet {

ScriptServer::ScriptServer(std::vector<Script> scripts) : scripts_(std::move(scripts)), received_(scripts_.size())
{
    listenFd_ = testutil::bindLoopback(8, port_);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    releaseFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    if (listenFd_ < 0 || stopFd_ < 0 || releaseFd_ < 0)
        throw std::runtime_error("ScriptServer: cannot listen");
    thread_ = std::thread([this] { run(); });
}

ScriptServer::~ScriptServer()
{
    uint64_t one = 1;
    (void)!::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(listenFd_);
    ::close(stopFd_);
    ::close(releaseFd_);
}

int ScriptServer::connected() const
{
    return accepted_.load() + testutil::acceptQueueOf(listenFd_).waiting;
}

void ScriptServer::release()
{
    uint64_t one = 1;
    (void)!::write(releaseFd_, &one, sizeof one);
}

std::string ScriptServer::received(size_t i) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return i < received_.size() ? received_[i] : std::string();
}

size_t ScriptServer::receivedSize(size_t i) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_[i].size();
}

bool ScriptServer::receivedContains(size_t i, size_t from, const std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_[i].find(text, from) != std::string::npos;
}

bool ScriptServer::waitDone(int ms)
{
    // The bound only keeps a broken client from hanging the run: on a busy
    // machine the server's thread may get its turn late, so it is never
    // shorter than 30 s, whatever the caller asked.
    std::unique_lock<std::mutex> lock(mutex_);
    return doneCv_.wait_for(lock, std::chrono::milliseconds(std::max(ms, 30000)), [this] { return done_; });
}

// Waits until fd is readable (true) or ms pass or the server stops (false).
bool ScriptServer::waitReadable(int fd, int ms)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int rc = ::poll(fds, 2, ms);
    if (rc <= 0 || (fds[1].revents & POLLIN))
        return false;
    return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// Reads what is there; false at the end of the stream or on an error.
bool ScriptServer::readSome(int fd, size_t index)
{
    char buf[65536];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    received_[index].append(buf, static_cast<size_t>(n));
    return true;
}

void ScriptServer::play(int fd, size_t index)
{
    bool open = true;
    auto sendAll = [&](const std::string& bytes) {
        size_t off = 0;
        while (off < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
            if (n <= 0) {
                open = false; // the client has gone: the rest of the script is moot
                break;
            }
            off += static_cast<size_t>(n);
        }
    };
    for (const Step& step : scripts_[index]) {
        switch (step.kind) {
        case Step::Send:
            sendAll(step.bytes);
            break;
        case Step::Repeat:
            for (size_t k = 0; k < step.count && open; ++k)
                sendAll(step.bytes);
            break;
        case Step::Pause: {
            pollfd p{stopFd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(step.count)) > 0)
                open = false; // stopping
            break;
        }
        case Step::ReadBytes: {
            const size_t start = receivedSize(index);
            while (receivedSize(index) - start < step.count && waitReadable(fd, 10000) && readSome(fd, index)) {
            }
            break;
        }
        case Step::ReadUntil: {
            const size_t start = receivedSize(index);
            while (!receivedContains(index, start, step.bytes) && waitReadable(fd, 10000) && readSome(fd, index)) {
            }
            break;
        }
        case Step::Close:
            ::shutdown(fd, SHUT_WR);
            while (waitReadable(fd, 2000) && readSome(fd, index)) {
            }
            ::close(fd);
            return;
        case Step::Reset: {
            linger lg{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
            ::close(fd);
            return;
        }
        case Step::Relay:
            relay(fd, index, static_cast<uint16_t>(step.count), step.bytes.empty() ? -1 : std::stoll(step.bytes));
            ::close(fd);
            return;
        case Step::WaitRelease: {
            pollfd fds[2] = {{releaseFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            if (::poll(fds, 2, 60000) > 0 && (fds[0].revents & POLLIN)) {
                uint64_t one = 0;
                (void)!::read(releaseFd_, &one, sizeof one);
            }
            if (fds[1].revents & POLLIN)
                open = false; // stopping
            break;
        }
        case Step::Hold: {
            // Reads nothing (a stalled peer), wakes on the client's close.
            pollfd fds[2] = {{fd, POLLRDHUP, 0}, {stopFd_, POLLIN, 0}};
            ::poll(fds, 2, 60000);
            ::close(fd);
            return;
        }
        }
        if (!open)
            break;
    }
    if (open) {
        ::shutdown(fd, SHUT_WR);
        while (waitReadable(fd, 2000) && readSome(fd, index)) {
        }
    }
    ::close(fd);
}

void ScriptServer::relay(int fd, size_t index, uint16_t port, long long corruptAt)
{
    long long fromFar = 0; // bytes passed from the far side so far
    const int up = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (up < 0 || ::connect(up, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (up >= 0)
            ::close(up);
        return;
    }
    char buf[65536];
    for (bool open = true; open;) {
        pollfd fds[3] = {{fd, POLLIN, 0}, {up, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 3, 30000) <= 0 || (fds[2].revents & POLLIN))
            break;
        for (int side = 0; side < 2 && open; ++side) {
            if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const int from = side == 0 ? fd : up, to = side == 0 ? up : fd;
            const ssize_t n = ::recv(from, buf, sizeof buf, 0);
            if (n <= 0) {
                open = false;
                break;
            }
            if (side == 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                received_[index].append(buf, static_cast<size_t>(n));
            } else {
                if (corruptAt >= fromFar && corruptAt < fromFar + n)
                    buf[corruptAt - fromFar] ^= 0x55;
                fromFar += n;
            }
            for (ssize_t off = 0; off < n && open;) {
                const ssize_t w = ::send(to, buf + off, static_cast<size_t>(n - off), MSG_NOSIGNAL);
                open = w > 0;
                off += w > 0 ? w : 0;
            }
        }
    }
    ::close(up);
}

void ScriptServer::run()
{
    for (size_t i = 0; i < scripts_.size(); ++i) {
        if (!waitReadable(listenFd_, 60000))
            break;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            break;
        ++accepted_;
        play(fd, i);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    doneCv_.notify_all();
}

} // namespace testnet
