#include "TestUtil.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <QProcess>
#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testutil {

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "corvina-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

WhenTrue::WhenTrue(std::function<bool()> condition, std::function<void()> action, int timeoutMs)
    : timer_(std::make_unique<QTimer>())
{
    timer_->setInterval(2);
    QObject::connect(timer_.get(), &QTimer::timeout,
                     [this, condition = std::move(condition), action = std::move(action),
                      deadline = QDeadlineTimer(timeoutMs)] {
                         if (condition()) {
                             timer_->stop(); // before the action, which may service the queue itself
                             fired_ = true;
                             action();
                         } else if (deadline.hasExpired()) {
                             timer_->stop();
                         }
                     });
    timer_->start();
}

WhenTrue::~WhenTrue() = default;

int bindLoopback(int backlog, uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || (backlog >= 0 && ::listen(fd, backlog) != 0)
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(sa.sin_port);
    return fd;
}

bool waitPeerGone(int fd, int timeoutMs)
{
    pollfd p{fd, POLLRDHUP, 0};
    int n;
    do {
        n = ::poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

AcceptQueue acceptQueueOf(int listenFd)
{
    // For a listening socket Linux reports the accept queue's length as
    // tcpi_unacked and its backlog as tcpi_sacked.
    tcp_info info{};
    socklen_t len = sizeof info;
    if (::getsockopt(listenFd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0)
        return {};
    return {static_cast<int>(info.tcpi_unacked), static_cast<int>(info.tcpi_sacked)};
}

bool waitAcceptQueueFull(int fd, int timeoutMs)
{
    // The queue is full when it holds more than its backlog.
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const AcceptQueue queue = acceptQueueOf(fd);
        if (queue.waiting > queue.backlog)
            return true;
        if (deadline.hasExpired())
            return false;
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 1); // the queue fills within the kernel: look again shortly
    }
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& input)
{
    QProcess p;
    QStringList qargs;
    for (const auto& a : args)
        qargs << QString::fromLocal8Bit(a.c_str());
    p.start(QString::fromLocal8Bit(program.c_str()), qargs);
    ProcessResult r;
    if (!p.waitForStarted(10000))
        return r;
    p.write(input.data(), static_cast<qint64>(input.size()));
    p.closeWriteChannel();
    p.waitForFinished(60000);
    const QByteArray out = p.readAllStandardOutput();
    const QByteArray err = p.readAllStandardError();
    r.out.assign(out.constData(), static_cast<size_t>(out.size()));
    r.err.assign(err.constData(), static_cast<size_t>(err.size()));
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

} // namespace testutil

testutil::SavedEnv::SavedEnv(std::vector<std::string> names) : names_(std::move(names))
{
    for (const std::string& name : names_) {
        if (const char* value = std::getenv(name.c_str()))
            saved_.emplace_back(name, value);
        unsetenv(name.c_str());
    }
}

testutil::SavedEnv::~SavedEnv()
{
    for (const std::string& name : names_)
        unsetenv(name.c_str());
    for (const auto& [name, value] : saved_)
        setenv(name.c_str(), value.c_str(), 1);
}
