// A scripted TCP server for the network tests: a thread with a listening
// socket on 127.0.0.1 and a free port that accepts connections one after
// another and plays one script per connection (send bytes, pause, read,
// close, reset), recording every byte it receives.
//
//   ScriptServer srv({{Send("220 hi\r\n"), ReadUntil("\r\n"), Send("250 OK\r\n"), Close()}});
//   sock.Host = "127.0.0.1"; sock.Port = srv.port();
//   ... srv.waitDone(2000); srv.received(0) ...
//
// A script that ends without Close or Reset closes the connection normally.
// Close sends the end of the stream first and then reads on until the client
// closes too (at most two seconds), so bytes the client still sends are
// recorded and never turn the close into a reset.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testnet {

struct Step {
    enum Kind { Send, Pause, ReadBytes, ReadUntil, Close, Reset, Hold, Repeat, Relay, WaitRelease } kind;
    std::string bytes; // Send, Repeat: the bytes; ReadUntil: the text to wait for
    size_t count = 0;  // ReadBytes: how many; Pause: milliseconds; Repeat: times; Relay: port
};

inline Step Send(std::string bytes) { return {Step::Send, std::move(bytes), 0}; }
inline Step Pause(int ms) { return {Step::Pause, {}, static_cast<size_t>(ms)}; }
inline Step ReadBytes(size_t n) { return {Step::ReadBytes, {}, n}; }
// Reads until the text has arrived (counted from the start of this step).
inline Step ReadUntil(std::string text) { return {Step::ReadUntil, std::move(text), 0}; }
// The end of the stream (FIN), then wait for the client's close.
inline Step Close() { return {Step::Close, {}, 0}; }
// Abortive close: SO_LINGER 0, so the client sees a connection reset.
inline Step Reset() { return {Step::Reset, {}, 0}; }
// Keep the connection open, silent and unread (a stalled peer) until the
// client closes or the server is destroyed; then close it.
inline Step Hold() { return {Step::Hold, {}, 0}; }
// Sends the bytes the given number of times, as fast as the client takes
// them; stops early when the client has gone (an endless body, bounded).
inline Step Repeat(std::string bytes, size_t times) { return {Step::Repeat, std::move(bytes), times}; }

// Connects to 127.0.0.1:port and passes bytes both ways until either side
// closes (a proxy's tunnel); what the client sends is recorded as usual.
inline Step Relay(uint16_t port) { return {Step::Relay, {}, port}; }
// The same, but the byte at the given offset of what the far side sends is
// flipped on its way to the client (a stream damaged in transit).
inline Step RelayCorrupting(uint16_t port, size_t offset) { return {Step::Relay, std::to_string(offset), port}; }

// Waits until the test calls release() (one call lets one such step go on)
// or the server stops; gives up after a minute. Holds a reply back until the
// test has done what must happen while the request is in progress (a Stop,
// a click), so the test needs no guess of how long that takes.
inline Step WaitRelease() { return {Step::WaitRelease, {}, 0}; }

using Script = std::vector<Step>;

class ScriptServer {
public:
    // One script per expected connection, played in order of acceptance.
    explicit ScriptServer(std::vector<Script> scripts);
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    uint16_t port() const { return port_; }
    // The bytes received on connection i (0-based) so far.
    std::string received(size_t i) const;
    // Connections accepted so far.
    int accepted() const { return accepted_.load(); }
    // Connections made so far: the accepted ones and those complete but
    // still queued while an earlier script plays (the listening socket's
    // queue length as Linux reports it).
    int connected() const;
    // Lets one WaitRelease step go on (now, or when it is reached).
    void release();
    // Waits until every script has been played; false on time-out (never
    // sooner than 30 s, so a busy machine does not fail a sound test).
    bool waitDone(int ms);

private:
    void run();
    void play(int fd, size_t index);
    void relay(int fd, size_t index, uint16_t port, long long corruptAt);
    bool waitReadable(int fd, int ms);
    bool readSome(int fd, size_t index);
    size_t receivedSize(size_t i) const;
    bool receivedContains(size_t i, size_t from, const std::string& text) const;

    std::vector<Script> scripts_;
    int listenFd_ = -1;
    int stopFd_ = -1; // eventfd that wakes every wait when the server stops
    int releaseFd_ = -1; // eventfd counting the release() calls not yet used
    uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::condition_variable doneCv_;
    bool done_ = false;
    std::vector<std::string> received_;
    std::thread thread_;
};

} // namespace testnet
