// Small helpers shared by the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTimer;

namespace testutil {

// A fresh, empty directory under the system's temporary folder, removed by
// the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// Services the event queue until done() holds or timeoutMs pass; true when
// done() holds. For a test waiting on an event: the bound only keeps a broken
// program from hanging the run, so make it generous.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// Runs action once, as soon as condition() holds: the condition is checked
// every two milliseconds whenever the event queue is serviced (a wait of the
// test's, or the program's own loop during a request or a pause). For an
// action that must coincide with an event, e.g. a Stop while a page is being
// served: trigger on the event itself, never on a guess of when it happens.
//
//   testutil::WhenTrue stop([&] { return srv.accepted() >= 2; }, [&] { session.Stop(); srv.release(); });
//
// Gives up after timeoutMs (the test's own checks then fail). Destroying it
// cancels an action not yet run, so keep it alive while the action may run.
class WhenTrue {
public:
    WhenTrue(std::function<bool()> condition, std::function<void()> action, int timeoutMs = 60000);
    ~WhenTrue();
    WhenTrue(const WhenTrue&) = delete;
    WhenTrue& operator=(const WhenTrue&) = delete;
    bool fired() const { return fired_; }

private:
    std::unique_ptr<QTimer> timer_;
    bool fired_ = false;
};

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// A TCP socket on 127.0.0.1 with a free port chosen by the system, listening
// with the given backlog (only bound when backlog is negative). Returns the
// descriptor, or -1 when no socket could be had; port receives the port.
int bindLoopback(int backlog, uint16_t& port);
// Waits, without servicing the event queue, until the peer of the connected
// socket fd has closed its side or reset the connection: the bytes are in
// the socket, whether or not the program has noticed. False on time-out.
bool waitPeerGone(int fd, int timeoutMs = 20000);
// The accept queue of a listening socket: the connections waiting in it to
// be accepted, and the backlog it was given (both 0 where the system does
// not say).
struct AcceptQueue {
    int waiting = 0;
    int backlog = 0;
};
AcceptQueue acceptQueueOf(int listenFd);
// Waits until the accept queue of the listening socket fd holds more
// connections than its backlog allows, so the next connect to it stays
// pending. False on time-out.
bool waitAcceptQueueFull(int fd, int timeoutMs = 20000);

// Saves the named environment variables and unsets them; the destructor
// puts back what was there.
class SavedEnv {
public:
    explicit SavedEnv(std::vector<std::string> names);
    ~SavedEnv();
    SavedEnv(const SavedEnv&) = delete;
    SavedEnv& operator=(const SavedEnv&) = delete;

private:
    std::vector<std::pair<std::string, std::string>> saved_; // name, value
    std::vector<std::string> names_;
};

// Runs a program with arguments, feeding input to its standard input.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& input = {});

} // namespace testutil
