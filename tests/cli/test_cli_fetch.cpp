// corvina-cli fetch against a small one-reply-per-connection server.
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Answers each of the given connections with its reply after reading the
// request header, records the requests and closes.
class ReplyServer {
public:
    explicit ReplyServer(std::vector<std::string> replies) : replies_(std::move(replies))
    {
        fd_ = testutil::bindLoopback(4, port_);
        thread_ = std::thread([this] { run(); });
    }
    ~ReplyServer()
    {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }
    std::string request(size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return i < requests_.size() ? requests_[i] : std::string();
    }

private:
    void run()
    {
        for (const std::string& reply : replies_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                return;
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            std::string req;
            char buf[4096];
            while (req.find("\r\n\r\n") == std::string::npos) {
                pollfd q{c, POLLIN, 0};
                if (::poll(&q, 1, 10000) <= 0)
                    break;
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                req.append(buf, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(req);
            }
            size_t off = 0;
            while (off < reply.size()) {
                const ssize_t n = ::send(c, reply.data() + off, reply.size() - off, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                off += static_cast<size_t>(n);
            }
            ::shutdown(c, SHUT_WR);
            pollfd q{c, POLLIN, 0};
            while (::poll(&q, 1, 2000) > 0 && ::recv(c, buf, sizeof buf, 0) > 0) {
            }
            ::close(c);
        }
    }

    std::vector<std::string> replies_;
    std::vector<std::string> requests_;
    std::mutex mutex_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

testutil::ProcessResult fetch(const std::vector<std::string>& args)
{
    std::vector<std::string> all{"fetch"};
    all.insert(all.end(), args.begin(), args.end());
    return testutil::runProcess(CORVINA_CLI_PATH, all);
}

} // namespace

TEST(CliFetch, WritesHeaderAndBodyExactly)
{
    unsetenv("http_proxy"); // the children inherit this process's environment
    const std::string body("bin\0\xff\r\nend", 10);
    ReplyServer srv({"HTTP/1.0 200 OK\r\nX-A: 1\r\n\r\n" + body, "HTTP/1.0 404 Not Found\r\n\r\nmissing",
                     "HTTP/1.0 200 OK\r\n\r\nthrough proxy", "HTTP/1.0 200 OK\r\n\r\nenv proxy"});
    const std::string base = "http://127.0.0.1:" + std::to_string(srv.port());

    auto r = fetch({"-i", base + "/a"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "HTTP/1.0 200 OK\r\nX-A: 1\r\n\r\n" + body);
    EXPECT_EQ(r.err, "");

    r = fetch({"--timeout", "5000", base + "/missing"}); // any status exits 0
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "missing");

    r = fetch({"--proxy", "127.0.0.1:" + std::to_string(srv.port()), "http://elsewhere/p"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "through proxy");
    EXPECT_EQ(srv.request(2).substr(0, 32), "GET http://elsewhere/p HTTP/1.0\r");

    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(srv.port()) + "/").c_str(), 1);
    r = fetch({"http://viaenv/q"});
    unsetenv("http_proxy");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "env proxy");
    EXPECT_EQ(srv.request(3).substr(0, 30), "GET http://viaenv/q HTTP/1.0\r\n");
}

TEST(CliFetch, FailuresAndUsage)
{
    unsetenv("http_proxy");
    // A server that never answers: the line read times out.
    uint16_t silentPort = 0;
    const int s = testutil::bindLoopback(1, silentPort);
    const std::string silent = "http://127.0.0.1:" + std::to_string(silentPort) + "/";
    auto r = fetch({"--timeout", "300", silent});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: " + silent + ": Socket readln aborted\n");
    // Without an idle limit the longest wait for the page still ends it.
    r = fetch({"--timeout", "0", "--max-time", "1", silent});
    ::close(s);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: " + silent + ": Longest wait for one page passed (1 s)\n");

    EXPECT_EQ(fetch({}).exitCode, 2);
    EXPECT_EQ(fetch({"--timeout", "soon", "http://h/"}).exitCode, 2);
    EXPECT_EQ(fetch({"--proxy", "p:notaport", "http://h/"}).exitCode, 2);
    EXPECT_EQ(fetch({"http://a/", "http://b/"}).exitCode, 2);
}

TEST(CliFetch, StreamsTheFinalBodyOnlyAndFailsOnAnEmptyReply)
{
    unsetenv("http_proxy");
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 251);
    ReplyServer srv({"HTTP/1.0 302 Found\r\nLocation: /final\r\n\r\nmoved away",
                     "HTTP/1.0 200 OK\r\nX-B: 2\r\n\r\n" + big, "HTTP/1.0 301 Moved\r\nLocation: /e\r\n\r\nold", "",
                     "HTTP/1.0 200 OK\r\n\r\n"});
    const std::string base = "http://127.0.0.1:" + std::to_string(srv.port());

    // The redirect's own body and header are not written; the final ones are.
    auto r = fetch({"-i", base + "/start"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out == "HTTP/1.0 200 OK\r\nX-B: 2\r\n\r\n" + big);

    // A server that closes without a byte: a failure, not an empty page.
    r = fetch({base + "/old"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "corvina-cli: " + base + "/old: 10054:Connection reset by peer\n");

    // An empty body with -i: the header alone.
    r = fetch({"-i", base + "/empty"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "HTTP/1.0 200 OK\r\n\r\n");

    // A port beyond 16 bits is refused before any connection.
    r = fetch({"http://127.0.0.1:99999/"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: http://127.0.0.1:99999/: '99999' is not a valid port number\n");
}
