// CPU cost of idle waits of the socket session: a ReadLn that waits for a
// silent server until its time-out, and a Read(count) that waits for more
// bytes while some already sit unread in the socket. The waits block on the
// event queue, so the process CPU time (user + system, from getrusage) should
// stay far below the wall time.
//
//   build/bench/bench_idlewait                 (5 s waits)
//   IDLEWAIT_MS=1000 build/bench/bench_idlewait
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <thread>


#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Psock.h"

namespace {

int waitMs()
{
    const char* v = std::getenv("IDLEWAIT_MS");
    return v ? std::atoi(v) : 5000;
}

double processCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Accepts one connection, optionally sends a few bytes, then stays silent
// until the client closes.
class SilentServer {
public:
    explicit SilentServer(std::string greeting) : greeting_(std::move(greeting))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        ::listen(fd_, 1);
        socklen_t len = sizeof sa;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            if (!greeting_.empty())
                (void)!::send(c, greeting_.data(), greeting_.size(), 0);
            pollfd p{c, POLLRDHUP, 0};
            ::poll(&p, 1, 120000);
            ::close(c);
        });
    }
    ~SilentServer()
    {
        thread_.join();
        ::close(fd_);
    }
    uint16_t port() const { return port_; }

private:
    std::string greeting_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

void runWait(benchmark::State& state, const std::string& greeting, bool readCount)
{
    for (auto _ : state) {
        SilentServer server(greeting);
        TPowersock sock;
        sock.Host = "127.0.0.1";
        sock.Port = server.port();
        sock.TimeOut = waitMs();
        sock.Connect();
        const double before = processCpuSeconds();
        try {
            if (readCount) {
                // Read has no time-out of its own: a timer cancels it.
                TThreadTimer stop;
                stop.SetInterval(static_cast<uint32_t>(waitMs()));
                stop.SetOnTimer([&](QObject*) {
                    stop.SetEnabled(false);
                    sock.Cancel();
                });
                sock.Read(100);
            } else {
                sock.ReadLn();
            }
        } catch (const EAbortError&) {
        }
        state.counters["cpu_s"] = processCpuSeconds() - before;
        sock.Disconnect();
    }
}

void BM_IdleReadLn(benchmark::State& state) { runWait(state, "", false); }
void BM_ReadCountWithUnreadBytes(benchmark::State& state) { runWait(state, "partial", true); }

} // namespace

BENCHMARK(BM_IdleReadLn)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadCountWithUnreadBytes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
