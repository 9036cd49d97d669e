// The socket session against scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Nmhttp.h"
#include "Outcome.h"
#include "Psock.h"
#include "ScriptServer.h"
#include "TestUtil.h"

using namespace testnet;

namespace {

// Services the event queue for ms milliseconds.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A component pointed at the server, with counters on its events.
struct Session {
    TPowersock sock;
    int connects = 0;
    int disconnects = 0;
    std::vector<std::pair<int, std::string>> errors;
    std::vector<std::string> status;

    explicit Session(uint16_t port)
    {
        sock.Host = "127.0.0.1";
        sock.Port = port;
        sock.OnConnect = [this](QObject*) { ++connects; };
        sock.OnDisconnect = [this](QObject*) { ++disconnects; };
        sock.OnError = [this](QObject*, uint16_t no, const std::string& msg) { errors.emplace_back(no, msg); };
        sock.OnStatus = [this](QObject*, const std::string& s) { status.push_back(s); };
    }
};

// A port on 127.0.0.1 where nothing listens.
uint16_t closedPort()
{
    uint16_t port = 0;
    ::close(testutil::bindLoopback(-1, port));
    return port;
}

} // namespace

TEST(PsockText, NthWordAndNthPos)
{
    EXPECT_EQ(NthWord("http://host:80/a", '/', 3), "host:80");
    EXPECT_EQ(NthWord("http://host:80/a", '/', 2), "");
    EXPECT_EQ(NthWord("http://host:80/a", '/', 1), "http:");
    EXPECT_EQ(NthWord("http://host:80/a", '/', 4), "a");
    EXPECT_EQ(NthWord("http://host:80/a", '/', 5), "");
    EXPECT_EQ(NthWord("", '/', 1), "");
    EXPECT_EQ(NthWord("HTTP/1.0 200 OK\r\n", ' ', 2), "200");
    EXPECT_EQ(NthWord("HTTP/1.0 404\r\n", ' ', 2), "404\r\n");

    EXPECT_EQ(NthPos("http://host/", '/', 3), 13);
    EXPECT_EQ(NthPos("http://host", '/', 3), 12);
    EXPECT_EQ(NthPos("http://host/x", '/', 3), 12);
    EXPECT_EQ(NthPos("http://host/x", '/', 1), 6);
    EXPECT_EQ(NthPos("", '/', 1), 1);

    TMemoryStream m;
    StreamLn(m, "abc");
    StreamLn(m, "");
    EXPECT_EQ(m.DataString(), "abc\r\n\r\n");
}

TEST(PsockErrors, TableTextsAndMapping)
{
    TPowersock sock;
    EXPECT_EQ(sock.SocketErrorStr(10061), "10061:Connection refused");
    EXPECT_EQ(sock.SocketErrorStr(10054), "10054:Connection reset by peer");
    EXPECT_EQ(sock.SocketErrorStr(11001), "11001:Host not found");
    EXPECT_EQ(sock.SocketErrorStr(12345), "Unknown Error No. 12345");
    EXPECT_EQ(sock.SocketErrorStr(0), "");
    EXPECT_EQ(WinsockMessage[50].Number, 0);
    EXPECT_STREQ(WinsockMessage[50].Text, "Unrecognized error code");

    EXPECT_EQ(MapSocketError(ECONNREFUSED), 10061);
    EXPECT_EQ(MapSocketError(ECONNRESET), 10054);
    EXPECT_EQ(MapSocketError(EAGAIN), 10035);
    EXPECT_EQ(MapSocketError(EINPROGRESS), 10036);
    EXPECT_EQ(MapSocketError(ENOTCONN), 10057);
    EXPECT_EQ(MapSocketError(ETIMEDOUT), 10060);
    EXPECT_EQ(MapSocketError(EHOSTUNREACH), 10065);
    EXPECT_GT(MapSocketError(ENOENT), 10000); // no row, but never mistaken for success
    EXPECT_EQ(MapResolverError(EAI_NONAME, 0), 11001);
    EXPECT_EQ(MapResolverError(EAI_AGAIN, 0), 11002);
    // Every errno a socket call can report has a row of its own.
    for (int e : {EINTR, EBADF, EACCES, EFAULT, EINVAL, EMFILE, EALREADY, ENOTSOCK, EMSGSIZE, EADDRINUSE,
                  EADDRNOTAVAIL, ENETDOWN, ENETUNREACH, ECONNABORTED, ENOBUFS, EISCONN, EPIPE}) {
        const std::string text = sock.SocketErrorStr(static_cast<uint16_t>(MapSocketError(e)));
        EXPECT_EQ(text.find("Unknown"), std::string::npos) << e;
    }
}

TEST(PsockErrors, ErrorManagerAndInjectedErrors)
{
    TPowersock sock;
    std::vector<std::pair<int, std::string>> errors;
    sock.OnError = [&](QObject*, uint16_t no, const std::string& m) { errors.emplace_back(no, m); };

    sock.SetWSAError(10060, "");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, 10060);
    EXPECT_EQ(errors[0].second, "10060:Connection timed out");
    sock.SetWSAError(10060, "own text");
    EXPECT_EQ(errors[1].second, "own text");

    // Would-block is silent and leaves an empty message.
    std::string msg = "x";
    sock.SetWSAError(10035, "");
    errors.clear();
    sock.ErrorManager(10035, msg);
    EXPECT_EQ(msg, "");
    EXPECT_EQ(sock.GetLastErrorNo(), 10035);

    // Any other number fires OnError and raises.
    sock.OnError = nullptr;
    sock.SetWSAError(10054, "");
    sock.OnError = [&](QObject*, uint16_t no, const std::string& m) { errors.emplace_back(no, m); };
    EXPECT_EQ(messageOf<ESockError>([&] { sock.ErrorManager(10035, msg); }), "10054:Connection reset by peer");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, 10054);
    // Numbers of 10000 and below are not reported.
    sock.SetWSAError(42, "");
    EXPECT_NO_THROW(sock.ErrorManager(10035, msg));
}

TEST(PsockStatus, SocketInfoOfFirstAndSecondComponent)
{
    auto first = std::make_unique<TPowersock>();
    TPowersock second;
    const TStringList& info = first->SocketInfo();
    ASSERT_EQ(info.Count(), 6);
    EXPECT_EQ(info[0], "Version= 1.1");
    EXPECT_EQ(info[1].rfind("High Version= ", 0), 0u);
    EXPECT_EQ(info[2].rfind("Description= ", 0), 0u);
    EXPECT_EQ(info[3].rfind("System= ", 0), 0u);
    EXPECT_EQ(info[4].rfind("Max Sockets= ", 0), 0u);
    EXPECT_EQ(info[5].rfind("Max Udp pack size= ", 0), 0u);
    EXPECT_EQ(second.SocketInfo().Count(), 0);
    EXPECT_GE(first->SocketHandle(), 0);
}

TEST(PsockStatus, ReportLevelsFilterTheChannel)
{
    ScriptServer srv({{ReadUntil("A\r\n"), Send("250 OK\r\n"), ReadUntil("B\r\n"), Send("354 go\r\n"), Close()}});
    Session s(srv.port());
    s.sock.ReportLevel = 0;
    s.sock.Connect();
    EXPECT_TRUE(s.status.empty());
    EXPECT_EQ(s.sock.StatusText(), "");

    s.sock.ReportLevel = 4;
    s.sock.Write("A");
    EXPECT_NE(std::find(s.status.begin(), s.status.end(), "Sending Buffer"), s.status.end());
    EXPECT_EQ(std::find(s.status.begin(), s.status.end(), "Write"), s.status.end());
    s.status.clear();

    s.sock.ReportLevel = 1;
    EXPECT_EQ(s.sock.Transaction(""), "250 OK\r\n");
    EXPECT_EQ(s.status, std::vector<std::string>{"250 OK\r\n"});
    EXPECT_EQ(s.sock.StatusText(), "250 OK\r\n");
    s.status.clear();

    s.sock.ReportLevel = 8;
    s.sock.Write("B\r\n");
    EXPECT_NE(std::find(s.status.begin(), s.status.end(), "Write"), s.status.end());
    EXPECT_NE(std::find(s.status.begin(), s.status.end(), "Timer On"), s.status.end());
    // A throwing status handler is swallowed.
    s.sock.OnStatus = [](QObject*, const std::string&) { throw Exception("boom"); };
    EXPECT_EQ(s.sock.ReadLn(), "354 go\r\n");
    s.sock.Disconnect();
}

TEST(PsockTimer, UnchangedValuesDoNotRestartThePeriod)
{
    TThreadTimer t;
    EXPECT_TRUE(t.Enabled());
    EXPECT_EQ(t.Interval(), 1000u);
    EXPECT_FALSE(t.Running()); // no handler yet

    QElapsedTimer clock;
    qint64 firedAt = -1;
    int ticks = 0;
    t.SetEnabled(false);
    t.SetInterval(1200);
    t.SetOnTimer([&](QObject*) {
        if (ticks++ == 0)
            firedAt = clock.elapsed();
        t.SetEnabled(false);
    });
    EXPECT_FALSE(t.Running());
    clock.start();
    t.SetEnabled(true);
    EXPECT_TRUE(t.Running());
    pump(600);
    const qint64 setAgainAt = clock.elapsed();
    t.SetInterval(1200); // unchanged: the period runs on from the first start
    t.SetEnabled(true);
    ASSERT_TRUE(testutil::waitUntil([&] { return ticks > 0; }));
    EXPECT_EQ(ticks, 1);
    EXPECT_GE(firedAt, 1100);                // timers may fire a little early
    EXPECT_LT(firedAt, setAgainAt + 1200);   // a restart fires no sooner than this

    // Interval 0 never starts the timer.
    t.SetInterval(0);
    t.SetEnabled(true);
    EXPECT_FALSE(t.Running());

    // A tick is delivered only while the queue is serviced; an exception from
    // the handler goes to the application's handler.
    std::string caught;
    SetApplicationExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const Exception& ex) {
            caught = ex.Message;
        }
    });
    t.SetOnTimer([&](QObject*) {
        t.SetEnabled(false);
        throw Exception("from tick");
    });
    t.SetInterval(20);
    usleep(100 * 1000); // the interval passes without the queue being serviced
    EXPECT_EQ(caught, "");
    EXPECT_TRUE(testutil::waitUntil([&] { return !caught.empty(); }));
    EXPECT_EQ(caught, "from tick");
    SetApplicationExceptionHandler(nullptr);
}

TEST(PsockRead, LinesSplitBareLfAndTheRestForACapture)
{
    ScriptServer srv({{Send("250 O"), Pause(80), Send("K\r"), Pause(80), Send("\nbare\n\r\n\nnext line\r\nrest"),
                       Pause(50), Send(std::string(" of\0 it", 7)), Pause(150), Close()}});
    Session s(srv.port());
    s.sock.TimeOut = 5000;
    s.sock.Connect();
    EXPECT_TRUE(s.sock.Connected());
    EXPECT_EQ(s.connects, 1);
    EXPECT_EQ(s.sock.ReadLn(), "250 OK\r\n");
    EXPECT_EQ(s.sock.ReadLn(), "bare\n");
    EXPECT_EQ(s.sock.ReadLn(), "\r\n");
    EXPECT_EQ(s.sock.ReadLn(), "\n");
    EXPECT_EQ(s.sock.ReadLn(), "next line\r\n");
    std::string rest;
    s.sock.CaptureString(rest, -1);
    EXPECT_EQ(rest, std::string("rest of\0 it", 11));
    EXPECT_EQ(s.sock.ReceivedCount, 11);
    // After the close every read ends at once with an empty result.
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(s.sock.ReadLn(), "");
    EXPECT_EQ(s.sock.Read(5), "");
    EXPECT_LT(t.elapsed(), 1000);
    s.sock.Disconnect();
}

TEST(PsockRead, CloseAfterTheLastBytesReplacesTheSocket)
{
    ScriptServer srv({{Send("hello\r\nbody bytes"), Pause(300), Close()}, {Send("again\r\n"), Close()}});
    Session s(srv.port());
    s.sock.Connect();
    const int firstSocket = s.sock.SocketHandle();
    EXPECT_EQ(s.sock.ReadLn(), "hello\r\n");
    std::string body;
    s.sock.CaptureString(body, -1);
    EXPECT_EQ(body, "body bytes");
    EXPECT_TRUE(testutil::waitUntil([&] { return s.disconnects > 0; }));
    EXPECT_FALSE(s.sock.Connected());
    EXPECT_EQ(s.disconnects, 1);
    EXPECT_GE(s.sock.SocketHandle(), 0);
    // A capture on the replaced socket sees not-connected and ends quietly.
    std::string more = "x";
    EXPECT_NO_THROW(s.sock.CaptureString(more, -1));
    EXPECT_EQ(more, "");
    EXPECT_EQ(s.sock.ReadLn(), "");
    s.sock.Disconnect();
    EXPECT_EQ(s.disconnects, 2);
    (void)firstSocket;
    // The component connects again.
    s.sock.Connect();
    EXPECT_EQ(s.sock.ReadLn(), "again\r\n");
    s.sock.Disconnect();
    EXPECT_EQ(s.connects, 2);
}

TEST(PsockRead, CloseWhileDataWaitsKeepsTheSocket)
{
    ScriptServer srv({{Send("line one\r\nline two\r\n"), Close()}});
    Session s(srv.port());
    s.sock.Connect();
    // The close notification arrives while both lines wait.
    ASSERT_TRUE(testutil::waitPeerGone(s.sock.SocketHandle()));
    QCoreApplication::processEvents();
    EXPECT_TRUE(s.sock.Connected());
    EXPECT_EQ(s.disconnects, 0);
    EXPECT_TRUE(s.sock.DataAvailable());
    EXPECT_EQ(s.sock.ReadLn(), "line one\r\n");
    EXPECT_EQ(s.sock.ReadLn(), "line two\r\n");
    EXPECT_EQ(s.sock.ReadLn(), "");
    EXPECT_FALSE(s.sock.DataAvailable());
    s.sock.Disconnect();
    EXPECT_EQ(s.disconnects, 1);
}

TEST(PsockRead, ReadCountWaitsForAllBytes)
{
    ScriptServer srv({{Send("ab"), Pause(100), Send("cdef"), Pause(100), Send("gh"), Close()}});
    Session s(srv.port());
    s.sock.Connect();
    EXPECT_EQ(s.sock.Read(5), "abcde");
    EXPECT_TRUE(testutil::waitUntil([&] { return s.sock.DataAvailable(); }));
    EXPECT_EQ(s.sock.Read(0), "f");
    // The peer closes with fewer bytes than asked for: they are returned.
    EXPECT_EQ(s.sock.Read(10), "gh");
    EXPECT_EQ(s.sock.Read(0), "");
    s.sock.Disconnect();
}

TEST(PsockRead, PartialLastLineIsNotLost)
{
    ScriptServer srv({{Send("no line end"), Close()}});
    Session s(srv.port());
    s.sock.Connect();
    EXPECT_EQ(s.sock.ReadLn(), "no line end");
    EXPECT_EQ(s.sock.ReadLn(), "");
    s.sock.Disconnect();
}

TEST(PsockTimeouts, ReadLnAndCaptureTimeOutThenConnectAgain)
{
    Script trickle;
    trickle.push_back(Send("HTTP/1.0 200 OK\r\n"));
    for (int i = 0; i < 60; ++i) {
        trickle.push_back(Send("x"));
        trickle.push_back(Pause(40));
    }
    trickle.push_back(Close());
    ScriptServer srv({{Send("partial"), Hold()}});
    Session s(srv.port());
    s.sock.TimeOut = 300;
    s.sock.Connect();
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(messageOf<ETimeOutError>([&] { s.sock.ReadLn(); }), "Socket readln aborted");
    EXPECT_GE(t.elapsed(), 250);
    EXPECT_LT(t.elapsed(), 2000);
    s.sock.Disconnect();

    ScriptServer srv2({trickle, {Send("fine\r\n"), Close()}});
    s.sock.Port = srv2.port();
    s.sock.TimeOut = 400;
    s.sock.Connect();
    EXPECT_EQ(s.sock.ReadLn(), "HTTP/1.0 200 OK\r\n");
    std::string body;
    t.restart();
    // Data keeps arriving, each byte well within the idle limit: the
    // capture runs six times the limit and takes everything.
    s.sock.CaptureString(body, -1);
    EXPECT_GE(t.elapsed(), 2000);
    EXPECT_EQ(body, std::string(60, 'x'));
    s.sock.Disconnect();
    s.sock.Connect();
    EXPECT_EQ(s.sock.ReadLn(), "fine\r\n");
    s.sock.Disconnect();
}

TEST(PsockTimeouts, CancelFromATimerHandlerEndsTheWait)
{
    ScriptServer srv({{Send("no end"), Hold()}});
    Session s(srv.port());
    s.sock.TimeOut = 0;
    s.sock.Connect();
    TThreadTimer stop;
    stop.SetInterval(200);
    stop.SetOnTimer([&](QObject*) {
        stop.SetEnabled(false);
        s.sock.Cancel();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(messageOf<ECancelError>([&] { s.sock.ReadLn(); }), "Socket readln aborted");
    EXPECT_LT(t.elapsed(), 2000);

    stop.SetEnabled(true);
    std::string text;
    EXPECT_EQ(messageOf<ECancelError>([&] { s.sock.CaptureString(text, -1); }), "Socket capture aborted");
    stop.SetEnabled(true);
    TMemoryStream m;
    EXPECT_EQ(messageOf<ECancelError>([&] { s.sock.CaptureStream(m, 100); }), "Socket capture aborted");
    stop.SetEnabled(true);
    testutil::TempDir dir;
    EXPECT_EQ(messageOf<ECancelError>([&] { s.sock.CaptureFile(dir.file("c.bin")); }), "Socket send aborted");
    stop.SetEnabled(true);
    EXPECT_EQ(messageOf<ECancelError>([&] { s.sock.Read(100); }), "Socket send aborted");
    // The mark was cleared by each abort: a read of the waiting bytes works.
    EXPECT_EQ(s.sock.Read(0), "");
    s.sock.Disconnect();
}

TEST(PsockErrors, ResetGivesConnectionResetAndTheComponentRecovers)
{
    ScriptServer srv({{Send("partial"), Pause(200), Reset()},
                      {Send("some\r\n"), Reset()},
                      {Send("ok\r\n"), Close()}});
    Session s(srv.port());
    s.sock.TimeOut = 3000;
    // The reset arrives while ReadLn waits.
    s.sock.Connect();
    EXPECT_EQ(messageOf<ESockError>([&] { s.sock.ReadLn(); }), "10054:Connection reset by peer");
    ASSERT_FALSE(s.errors.empty());
    EXPECT_EQ(s.errors.back().first, 10054);
    EXPECT_EQ(s.errors.back().second, "10054:Connection reset by peer");
    EXPECT_EQ(s.sock.GetLastErrorNo(), 10054);
    s.sock.Disconnect();

    // The reset is already there when the capture starts.
    s.errors.clear();
    s.sock.Connect();
    ASSERT_TRUE(testutil::waitPeerGone(s.sock.SocketHandle()));
    std::string text;
    EXPECT_EQ(messageOf<ESockError>([&] { s.sock.CaptureString(text, -1); }), "10054:Connection reset by peer");
    EXPECT_EQ(s.errors.size(), 1u);
    s.sock.Disconnect();

    s.sock.Connect();
    EXPECT_EQ(s.sock.ReadLn(), "ok\r\n");
    s.sock.Disconnect();
}

TEST(PsockConnect, HostsLookupsAndTheInvalidHostRetry)
{
    ScriptServer srv({{Send("one\r\n"), Close()}, {Send("two\r\n"), Close()}, {Send("three\r\n"), Close()}});
    Session s(srv.port());
    s.sock.TimeOut = 10000;
    int resolved = 0;
    s.sock.OnHostResolved = [&](QObject*) { ++resolved; };

    // A numeric address connects without a lookup.
    s.sock.Connect();
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(s.sock.GetRemoteIP(), "127.0.0.1");
    EXPECT_EQ(messageOf<ESockError>([&] { s.sock.Connect(); }), "Already connected");
    s.sock.Disconnect();

    // An unknown name, no handler.
    s.sock.Host = "no-such-host.invalid";
    EXPECT_EQ(messageOf<EHostNotFoundError>([&] { s.sock.Connect(); }), "Null Remote Address");
    // A handler that does not fix it.
    int calls = 0;
    s.sock.OnInvalidHost = [&](bool&) { ++calls; };
    EXPECT_EQ(messageOf<EHostNotFoundError>([&] { s.sock.Connect(); }), "Null Remote Address");
    EXPECT_EQ(calls, 1);
    // A handler that corrects the host: one more resolution is tried.
    calls = 0;
    s.sock.OnInvalidHost = [&](bool& handled) {
        ++calls;
        s.sock.Host = "localhost";
        handled = true;
    };
    s.sock.Connect();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(s.sock.GetRemoteIP(), "127.0.0.1");
    EXPECT_EQ(s.sock.ReadLn(), "two\r\n");
    s.sock.Disconnect();
    // A handler that keeps the name wrong is asked only once.
    calls = 0;
    s.sock.Host = "still-not.invalid";
    s.sock.OnInvalidHost = [&](bool& handled) {
        ++calls;
        handled = true;
    };
    EXPECT_EQ(messageOf<ESockError>([&] { s.sock.Connect(); }), "Null Remote Address");
    EXPECT_EQ(calls, 1);
    // 255.255.255.255 is not taken as a numeric address.
    s.sock.OnInvalidHost = nullptr;
    s.sock.Host = "255.255.255.255";
    EXPECT_THROW(s.sock.Connect(), ESockError);

    s.sock.Host = "127.0.0.1";
    s.sock.Connect();
    EXPECT_EQ(s.sock.ReadLn(), "three\r\n");
    s.sock.Disconnect();
}

TEST(PsockConnect, RefusedPortAndCertifyConnect)
{
    ScriptServer srv({{Send("up\r\n"), Close()}});
    Session s(closedPort());
    int failed = 0;
    s.sock.OnConnectionFailed = [&](QObject*) { ++failed; };
    s.sock.TimeOut = 5000;
    EXPECT_EQ(messageOf<ESockError>([&] { s.sock.Connect(); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(s.sock.Connected());
    EXPECT_EQ(s.connects, 0);

    EXPECT_EQ(messageOf<Exception>([&] { s.sock.CertifyConnect(); }), "Not Connected");
    // Disconnect without a connection still replaces the socket and reports it.
    s.sock.Disconnect();
    EXPECT_EQ(s.disconnects, 1);
    s.sock.Port = srv.port();
    s.sock.Connect();
    EXPECT_NO_THROW(s.sock.CertifyConnect());
    EXPECT_EQ(s.sock.ReadLn(), "up\r\n");
    s.sock.Disconnect();
}

namespace {
// Exposes the protected hooks the clients build on.
class ClientSock : public TPowersock {
public:
    using TPowersock::OnConnectionRequired;
    using TPowersock::OnPacketRecvd;
    using TPowersock::OnPacketSent;
    using TPowersock::Proxy;
    using TPowersock::ProxyPort;
    using TPowersock::TimeoutTimer;
    using TPowersock::TimerOn;
};

// A listener whose accept queue is full, so a connect to it stays pending.
struct FullListener {
    int fd = -1;
    std::vector<int> fillers;
    uint16_t port = 0;
    FullListener()
    {
        fd = testutil::bindLoopback(0, port);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(port);
        for (int i = 0; i < 3; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
            fillers.push_back(c);
        }
        EXPECT_TRUE(testutil::waitAcceptQueueFull(fd));
    }
    ~FullListener()
    {
        for (int c : fillers)
            ::close(c);
        ::close(fd);
    }
};
} // namespace

TEST(PsockConnect, ConnectionRequiredProxyAndNestedWaits)
{
    ScriptServer srv({{Send("220 greeting\r\n"), ReadUntil("QUIT\r\n"), Close()}});
    ClientSock sock;
    sock.Host = "no-such-host.invalid"; // the proxy is used instead
    sock.Port = 1;
    sock.Proxy = "127.0.0.1";
    sock.ProxyPort = srv.port();
    std::string greeting;
    // A handler that reads inside the connect wait.
    sock.OnConnect = [&](QObject*) { greeting = sock.ReadLn(); };
    int required = 0;
    sock.OnConnectionRequired = [&](bool& handled) {
        ++required;
        sock.Connect();
        handled = true;
    };
    sock.CertifyConnect();
    EXPECT_EQ(required, 1);
    EXPECT_TRUE(sock.Connected());
    EXPECT_EQ(greeting, "220 greeting\r\n");
    sock.Writeln("QUIT");
    sock.Disconnect();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.received(0), "QUIT\r\n");
}

TEST(PsockTransaction, ReplyCodes)
{
    ScriptServer srv({{ReadUntil("DATA\r\n"), Send("354 Start mail input\r\n"), ReadUntil("USER\r\n"),
                       Send("+OK\r\n"), ReadUntil("BIG\r\n"), Send("99999 too big\r\n"), ReadUntil("X\r\n"),
                       Send("-32 neg\r\n"), Close()}});
    Session s(srv.port());
    s.sock.TimeOut = 5000;
    s.sock.Connect();
    EXPECT_EQ(s.sock.Transaction("DATA"), "354 Start mail input\r\n");
    EXPECT_EQ(s.sock.ReplyCode, 354);
    EXPECT_EQ(s.sock.ReplyText, "354 Start mail input\r\n");
    EXPECT_EQ(s.sock.Transaction("USER"), "+OK\r\n");
    EXPECT_EQ(s.sock.ReplyCode, 0);
    EXPECT_THROW(s.sock.Transaction("BIG"), ERangeError);
    s.sock.Transaction("X");
    EXPECT_EQ(s.sock.ReplyCode, 0);
    EXPECT_EQ(s.sock.Transaction("Y"), ""); // closed: empty reply, code 0
    EXPECT_EQ(s.sock.ReplyCode, 0);
    s.sock.Disconnect();
}

TEST(PsockLimits, LongLinesAndLongWritesAreRangeErrors)
{
    std::string huge(70000, 'a');
    std::string exact(65535, 'b');
    exact += '\n';
    ScriptServer srv({{Send(huge + "\r\n"), Hold()}, {Send(exact + "ok\r\n"), ReadUntil("end\r\n"), Close()}});
    Session s(srv.port());
    s.sock.TimeOut = 5000;
    s.sock.Connect();
    EXPECT_THROW(s.sock.ReadLn(), ERangeError);
    EXPECT_THROW(s.sock.Write(std::string(65536, 'w')), ERangeError);
    s.sock.Disconnect();

    s.sock.Connect();
    EXPECT_EQ(s.sock.ReadLn(), exact); // a line of exactly 65536 bytes still fits
    EXPECT_EQ(s.sock.ReadLn(), "ok\r\n");
    s.sock.Write(std::string("cut\0here", 8)); // sent up to the zero byte
    s.sock.Writeln("");
    s.sock.Writeln("end");
    s.sock.Write(std::string(65535, 'z'));
    s.sock.SendBuffer("a\0b", 3); // an explicit count sends zero bytes too
    s.sock.Disconnect();
    ASSERT_TRUE(srv.waitDone(5000));
    const std::string got = srv.received(1);
    EXPECT_EQ(got.substr(0, 10), "cut\r\nend\r\n");
    EXPECT_EQ(got.size(), 10u + 65535u + 3u);
    EXPECT_EQ(got.substr(got.size() - 3), std::string("a\0b", 3));
}

TEST(PsockSend, StalledPeerTimesOutTheSend)
{
    ScriptServer srv({{Hold()}});
    Session s(srv.port());
    s.sock.TimeOut = 300;
    s.sock.Connect();
    const std::string chunk(60000, 'q');
    QElapsedTimer t;
    t.start();
    std::string msg;
    for (int i = 0; i < 2000 && (msg.empty() || msg == "<no exception>") && t.elapsed() < 20000; ++i)
        msg = messageOf<EAbortError>([&] { s.sock.Write(chunk); });
    EXPECT_EQ(msg, "Socket send aborted");
    s.sock.Disconnect();
}

TEST(PsockFiles, SendAndCaptureFilesAndStreams)
{
    testutil::TempDir dir;
    std::string payload;
    for (int i = 0; i < 200000; ++i)
        payload += static_cast<char>(i * 7);
    testutil::writeFile(dir.file("out.bin"), payload);
    testutil::writeFile(dir.file("append.txt"), "head:");

    ScriptServer srv({
        {ReadBytes(payload.size()), Send("H1: a\r\nH2: b\n\r\nbody"), Close()},
        {ReadUntil("stream-data"), Send(payload), Close()},
        {Send("one"), Pause(50), Send("two"), Close()},
        {Send("0123456789abcdef"), Pause(100), Send("more"), Close()},
    });
    ClientSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = srv.port();
    sock.TimeOut = 10000;
    int sent = 0, recvd = 0;
    sock.OnPacketSent = [&](QObject*) { ++sent; };
    sock.OnPacketRecvd = [&](QObject*) { ++recvd; };

    sock.Connect();
    sock.SentCount = 0;
    sock.SendFile(dir.file("out.bin"));
    EXPECT_EQ(sock.SentCount, static_cast<int32_t>(payload.size()));
    EXPECT_GE(sent, 1);
    TFileStream header(dir.file("head.txt"), fmCreate);
    sock.FilterHeader(header);
    EXPECT_EQ(header.GetSize(), 15);
    sock.CaptureFile(dir.file("body.txt"));
    EXPECT_EQ(testutil::readFile(dir.file("body.txt")), "body");
    sock.Disconnect();
    EXPECT_EQ(srv.received(0), payload);

    sock.Connect();
    TMemoryStream out("stream-data");
    out.SetPosition(5);
    sock.SendStream(out);
    EXPECT_EQ(sock.TransferSize, 11);
    EXPECT_EQ(sock.SentCount, 11);
    TMemoryStream in("pre:");
    recvd = 0;
    sock.CaptureStream(in, static_cast<int64_t>(payload.size()) + 4);
    EXPECT_EQ(in.DataString(), "pre:" + payload);
    EXPECT_GE(recvd, 1);
    sock.Disconnect();

    sock.Connect();
    sock.AppendFile(dir.file("append.txt"));
    EXPECT_EQ(testutil::readFile(dir.file("append.txt")), "head:onetwo");
    EXPECT_FALSE(sock.Connected());
    EXPECT_THROW(sock.AppendFile(dir.file("missing/none.txt")), EFOpenError);
    EXPECT_THROW(sock.SendFile(dir.file("none.bin")), EFOpenError);

    sock.Connect();
    EXPECT_TRUE(testutil::waitUntil([&] { return sock.DataAvailable(); }));
    std::string part;
    sock.CaptureString(part, 4); // whole chunks: may exceed the size
    EXPECT_GE(part.size(), 4u);
    EXPECT_EQ(part, std::string("0123456789abcdef").substr(0, part.size()));
    const int left = 16 - static_cast<int>(part.size());
    EXPECT_EQ(sock.ClearInput(), left > 0 ? left : -1);
    TMemoryStream once;
    sock.CaptureStream(once, -1); // one pass only
    EXPECT_TRUE(testutil::waitUntil([&] { return sock.DataAvailable(); }));
    sock.CaptureStream(once, -1);
    EXPECT_EQ(once.DataString(), "more");
    sock.Disconnect();
}

TEST(PsockListen, SecondModeAccept)
{
    TPowersock server;
    server.Port = 0;
    int disconnects = 0;
    server.OnDisconnect = [&](QObject*) { ++disconnects; };
    server.Listen(true);
    const std::string ps = server.GetPortString();
    int hi = 0, lo = 0;
    ASSERT_EQ(sscanf(ps.c_str(), ",%d,%d", &hi, &lo), 2);
    const uint16_t port = static_cast<uint16_t>(hi * 256 + lo);
    EXPECT_EQ(server.GetLocalAddress(), "0,0,0,0");

    Session client(port);
    client.sock.Connect();
    const int h = server.Accept();
    ASSERT_GE(h, 0);
    EXPECT_TRUE(server.Connected());
    EXPECT_EQ(disconnects, 1); // the second mode's accept fires OnDisconnect
    EXPECT_EQ(server.GetRemoteIP(), "127.0.0.1");
    ASSERT_EQ(::send(h, "hi\n", 3, 0), 3);
    EXPECT_EQ(client.sock.ReadLn(), "hi\n");
    server.Close(h);
    client.sock.Disconnect();
}

TEST(PsockConnect, ConnectTimeOutAndCancelThenConnectAgain)
{
    FullListener full;
    ScriptServer srv({{Send("ready\r\n"), Close()}});
    ClientSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = full.port;
    sock.TimeOut = 300;
    int failed = 0;
    sock.OnConnectionFailed = [&](QObject*) { ++failed; };
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(messageOf<ETimeOutError>([&] { sock.Connect(); }), "Connection Timed out");
    EXPECT_GE(t.elapsed(), 250);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(sock.TimeoutTimer()->Enabled());
    sock.Disconnect();

    // Cancel from a timer handler while the connect waits, no time-out.
    sock.TimeOut = 0;
    TThreadTimer stop;
    stop.SetInterval(200);
    stop.SetOnTimer([&](QObject*) {
        stop.SetEnabled(false);
        sock.Cancel();
    });
    EXPECT_EQ(messageOf<ECancelError>([&] { sock.Connect(); }), "Connection Canceled");
    EXPECT_EQ(failed, 2);
    sock.Disconnect();

    sock.Port = srv.port();
    sock.Connect(); // clears the cancel mark left by the failures
    EXPECT_EQ(sock.ReadLn(), "ready\r\n");
    sock.Disconnect();
}

// The lookup and the connect have a limit of their own: a connect to a
// listener that never accepts ends at it, whatever the idle limit, and a
// page deadline bounds it too.
TEST(PsockConnect, TheConnectLimitIsNotTheIdleLimit)
{
    FullListener full;
    struct Row {
        const char* name;
        int timeOut, connectTimeOut, pageDeadline;
        const char* message;
        int atLeastMs, belowMs;
    };
    const Row rows[] = {
        {"connect limit, no idle limit", 0, 300, 0, "Connection Timed out", 250, 3000},
        {"connect limit shorter than the idle limit", 20000, 300, 0, "Connection Timed out", 250, 3000},
        {"no connect limit of its own: the idle limit's value", 400, -1, 0, "Connection Timed out", 350, 3000},
        {"the page deadline before the connect limit", 20000, 20000, 500,
         "Longest wait for one page passed (500 ms)", 450, 3000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TNMHTTP http;
        http.TimeOut = r.timeOut;
        http.ConnectTimeOut = r.connectTimeOut;
        http.PageDeadline = r.pageDeadline;
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(messageOf<ETimeOutError>([&] { http.Get("http://127.0.0.1:" + std::to_string(full.port) + "/"); }),
                  r.message);
        EXPECT_GE(t.elapsed(), r.atLeastMs);
        EXPECT_LT(t.elapsed(), r.belowMs);
        EXPECT_FALSE(http.Connected());
    }

    // A connect limit of 0 is none: only a cancel ends the wait, even with
    // a short idle limit.
    ClientSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = full.port;
    sock.TimeOut = 100;
    sock.ConnectTimeOut = 0;
    TThreadTimer stop;
    stop.SetInterval(600);
    stop.SetOnTimer([&](QObject*) {
        stop.SetEnabled(false);
        sock.Cancel();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(messageOf<ECancelError>([&] { sock.Connect(); }), "Connection Canceled");
    EXPECT_GE(t.elapsed(), 550);
    sock.Disconnect();
}

TEST(PsockTimer, TimeOutRulesOfTheComponent)
{
    ClientSock sock;
    // TimeOut 0: the timer stays stopped.
    sock.TimeOut = 0;
    sock.TimerOn();
    EXPECT_TRUE(sock.TimeoutTimer()->Enabled());
    EXPECT_FALSE(sock.TimeoutTimer()->Running());
    sock.TimeOut = -1;
    EXPECT_THROW(sock.TimerOn(), ERangeError);
    // Not connected: reads end at once, whatever the time-out.
    sock.TimeOut = 5000;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(sock.ReadLn(), "");
    std::string text = "old";
    sock.CaptureString(text, -1);
    EXPECT_EQ(text, "");
    EXPECT_EQ(sock.Read(0), "");
    EXPECT_FALSE(sock.DataAvailable());
    EXPECT_EQ(sock.ClearInput(), -1);
    EXPECT_LT(t.elapsed(), 1000);
    int errNo = 0;
    sock.OnError = [&](QObject*, uint16_t no, const std::string&) { errNo = no; };
    EXPECT_EQ(messageOf<ESockError>([&] { sock.Writeln("HELO"); }), "10057:Socket is not connected");
    EXPECT_EQ(errNo, 10057);
    EXPECT_FALSE(sock.TimeoutTimer()->Enabled());
}

TEST(PsockLifetime, LookupOutlivedByTheComponentAndReadReady)
{
    // The component goes away while its lookup may still run.
    {
        auto sock = std::make_unique<TPowersock>();
        sock->Host = "gone-away.invalid";
        sock->TimeOut = 1;
        const std::string m = messageOf<ESockError>([&] { sock->Connect(); });
        EXPECT_TRUE(m == "Host Lookup Timed Out" || m == "Null Remote Address") << m;
    }
    pump(300); // a late answer of the lookup arrives now, and must go nowhere

    ScriptServer srv({{Pause(100), Send("data\r\n"), Close()}});
    Session s(srv.port());
    int ready = 0;
    s.sock.OnReadReady = [&](QObject*) {
        ++ready;
        throw Exception("ignored");
    };
    s.sock.Connect();
    EXPECT_TRUE(testutil::waitUntil([&] { return ready > 0; }));
    EXPECT_EQ(s.sock.ReadLn(), "data\r\n");
    s.sock.Disconnect();
}

TEST(PsockListen, AcceptCanceled)
{
    TPowersock server;
    server.Port = 0;
    server.Listen(false);
    TThreadTimer stop;
    stop.SetInterval(100);
    stop.SetOnTimer([&](QObject*) {
        stop.SetEnabled(false);
        server.Cancel();
    });
    EXPECT_EQ(messageOf<ESockError>([&] { server.Accept(); }), "Accepting Canceled");
}

TEST(PsockSend, SendWaitsForRoomAndResumes)
{
    const size_t total = 24u << 20;
    ScriptServer srv({{Pause(400), ReadBytes(total), Send("got it\r\n"), Close()}});
    ClientSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = srv.port();
    sock.TimeOut = 20000;
    sock.Connect();
    std::string big(total, '\0');
    for (size_t i = 0; i < total; ++i)
        big[i] = static_cast<char>(i % 251);
    TMemoryStream m(big);
    int packets = 0;
    sock.OnPacketSent = [&](QObject*) { ++packets; };
    sock.SendStream(m);
    EXPECT_EQ(sock.SentCount, static_cast<int32_t>(total));
    EXPECT_GE(packets, 2);
    EXPECT_EQ(sock.ReadLn(), "got it\r\n");
    sock.Disconnect();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_TRUE(srv.received(0) == big);

    // The local address query gives a dotted IPv4 address, or a socket error
    // where the host name does not resolve.
    try {
        const std::string ip = sock.GetLocalIP();
        EXPECT_EQ(std::count(ip.begin(), ip.end(), '.'), 3) << ip;
    } catch (const ESockError&) {
    }
}

TEST(PsockLifetime, NoHandlerRunsOnceTheComponentIsBeingDestroyed)
{
    // An owner's members are gone before its children are destroyed, so the
    // component must not call back into the owner from its destructor.
    bool ownerAlive = true;
    int lateCalls = 0;
    {
        struct Owner : QObject {
            bool* alive = nullptr;
            ~Owner() override { *alive = false; }
        } owner;
        owner.alive = &ownerAlive;
        auto* sock = new TPowersock(&owner);
        sock->ReportLevel = 8;
        sock->OnStatus = [&](QObject*, const std::string&) { lateCalls += ownerAlive ? 0 : 1; };
        sock->OnDisconnect = [&](QObject*) { lateCalls += ownerAlive ? 0 : 1; };
        sock->OnError = [&](QObject*, uint16_t, const std::string&) { lateCalls += ownerAlive ? 0 : 1; };
    }
    EXPECT_FALSE(ownerAlive);
    EXPECT_EQ(lateCalls, 0);
}

TEST(PsockFiles, AppendFileNeedsAConnectionAndCountersWrap)
{
    testutil::TempDir dir;
    testutil::writeFile(dir.file("append.txt"), "kept");
    testutil::writeFile(dir.file("ten.bin"), "0123456789");
    ScriptServer srv({{ReadBytes(10), Close()}});
    ClientSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = srv.port();
    sock.TimeOut = 5000;
    int errNo = 0;
    sock.OnError = [&](QObject*, uint16_t no, const std::string&) { errNo = no; };

    // Without a connection there is nothing to wait for: a socket error, not
    // a quiet end.
    EXPECT_EQ(messageOf<ESockError>([&] { sock.AppendFile(dir.file("append.txt")); }),
              "10057:Socket is not connected");
    EXPECT_EQ(errNo, 10057);
    EXPECT_EQ(testutil::readFile(dir.file("append.txt")), "kept");

    // The 32-bit byte counters wrap past 2 GiB instead of overflowing.
    sock.Connect();
    sock.SentCount = INT32_MAX - 4;
    sock.SendFile(dir.file("ten.bin"));
    EXPECT_EQ(sock.SentCount, INT32_MIN + 5);
    sock.Disconnect();
    ASSERT_TRUE(srv.waitDone(3000));
    EXPECT_EQ(srv.received(0), "0123456789");
}

TEST(PsockRead, CancelMadeBeforeReadLnEndsThatCallAndKeepsTheLine)
{
    // A cancel made while nothing waits (a Stop pressed between two reads)
    // ends the next ReadLn even when its line is already there; the line
    // stays in the socket, and the following wait is not touched by it.
    ScriptServer srv({{Send("first\r\nsecond\r\n"), Pause(300), Send("third\r\n"), Close()}});
    Session s(srv.port());
    s.sock.TimeOut = 5000;
    s.sock.Connect();
    ASSERT_TRUE(testutil::waitUntil([&] { return s.sock.DataAvailable(); }));
    s.sock.Cancel();
    EXPECT_EQ(messageOf<EAbortError>([&] { s.sock.ReadLn(); }), "Socket readln aborted");
    EXPECT_EQ(s.sock.ReadLn(), "first\r\n");
    EXPECT_EQ(s.sock.ReadLn(), "second\r\n");
    EXPECT_EQ(s.sock.ReadLn(), "third\r\n"); // waits for it: the mark is gone
    s.sock.Disconnect();
}
