// Shared by the fuzz targets that play a server to one of the program's
// clients: a listening socket on 127.0.0.1, served on the client's own
// thread through the event queue while the client waits. Every connection
// is answered once with the current reply bytes (when ready says the
// request so far calls for it), then the server closes its sending side and
// reads on until the client closes.
#pragma once

#include "FuzzCheck.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class TFuzzLoopbackServer {
public:
    // ready(request so far): whether to answer now.
    explicit TFuzzLoopbackServer(std::function<bool(const std::string&)> ready) : ready_(std::move(ready))
    {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        FUZZ_CHECK(bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0);
        FUZZ_CHECK(listen(listen_, 16) == 0);
        FUZZ_CHECK(getsockname(listen_, reinterpret_cast<sockaddr*>(&sa), &len) == 0);
        port_ = ntohs(sa.sin_port);
        notifier_ = std::make_unique<QSocketNotifier>(listen_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { acceptConnection(); });
    }

    uint16_t port() const { return port_; }
    // The bytes every connection is answered with (keep them small enough
    // to sit in the loopback buffers at once).
    std::string reply;

    // Closes the server's ends of the connections of the last input.
    void closeConnections()
    {
        for (auto& c : connections_) {
            c->notifier.reset();
            close(c->fd);
        }
        connections_.clear();
    }

private:
    struct Connection {
        int fd = -1;
        std::string request;
        bool answered = false;
        std::unique_ptr<QSocketNotifier> notifier;
    };

    void answer(Connection& c)
    {
        char buf[65536];
        ssize_t n;
        while ((n = recv(c.fd, buf, sizeof buf, 0)) > 0)
            c.request.append(buf, static_cast<size_t>(n));
        if (c.answered || !ready_(c.request))
            return;
        c.answered = true;
        size_t sent = 0;
        while (sent < reply.size()) {
            const ssize_t k = send(c.fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (k <= 0)
                break;
            sent += static_cast<size_t>(k);
        }
        shutdown(c.fd, SHUT_WR);
    }

    void acceptConnection()
    {
        const int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        Connection* raw = c.get();
        QObject::connect(c->notifier.get(), &QSocketNotifier::activated, [this, raw] { answer(*raw); });
        connections_.push_back(std::move(c));
        answer(*raw);
    }

    std::function<bool(const std::string&)> ready_;
    int listen_ = -1;
    uint16_t port_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<std::unique_ptr<Connection>> connections_;
};
