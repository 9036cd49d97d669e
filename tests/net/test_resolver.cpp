// Host lookups that never answer: each holds only its own thread, so the
// lookups and connections after it go on as usual.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>

#include <condition_variable>
#include <mutex>

#include "Psock.h"
#include "ScriptServer.h"

using namespace testnet;

namespace {

// A resolver that answers "good.test" with 127.0.0.1 at once and holds every
// "hang*.test" until released (at the end of the test, so no thread is
// left blocked).
class HangingResolver {
public:
    ~HangingResolver() { Release(); }

    THostResolver Resolver()
    {
        return [this](const std::string& name) {
            THostLookup answer;
            if (name.rfind("hang", 0) == 0) {
                std::unique_lock lock(mutex_);
                ++hung_;
                released_.wait(lock, [this] { return free_; });
                answer.Error = 11001;
                return answer;
            }
            if (name == "good.test")
                answer.Addr = htonl(INADDR_LOOPBACK);
            else
                answer.Error = 11001;
            return answer;
        };
    }
    void Release()
    {
        {
            std::lock_guard lock(mutex_);
            free_ = true;
        }
        released_.notify_all();
    }
    int Hung()
    {
        std::lock_guard lock(mutex_);
        return hung_;
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool free_ = false;
    int hung_ = 0;
};

} // namespace

TEST(HostLookup, NamesThatNeverAnswerDoNotHoldUpTheLookupsAfterThem)
{
    HangingResolver names;
    ScriptServer srv({{Send("hello\r\n"), Close()}});

    // More hanging names than a machine has cores: a shared pool of that
    // size would have no thread left for the good name.
    for (int i = 0; i < 6; ++i) {
        TPowersock sock;
        sock.Resolver = names.Resolver();
        sock.Host = "hang" + std::to_string(i) + ".test";
        sock.Port = srv.port();
        // The lookup is bounded by the connect limit, not the idle limit.
        sock.TimeOut = 0;
        sock.ConnectTimeOut = 200;
        try {
            sock.Connect();
            FAIL() << "a lookup that never answers connected";
        } catch (const ETimeOutError& e) {
            EXPECT_EQ(e.Message, "Host Lookup Timed Out");
        }
    }
    EXPECT_EQ(names.Hung(), 6);

    TPowersock sock;
    sock.Resolver = names.Resolver();
    sock.Host = "good.test";
    sock.Port = srv.port();
    sock.TimeOut = 5000;
    QElapsedTimer clock;
    clock.start();
    sock.Connect();
    EXPECT_EQ(sock.ReadLn(), "hello\r\n");
    EXPECT_LT(clock.elapsed(), 4000);
    sock.Disconnect();
}

TEST(HostLookup, TheSystemResolverAnswersForLocalhostAndFailsForAnInvalidName)
{
    const THostLookup local = SystemResolve("localhost");
    EXPECT_EQ(local.Error, 0);
    EXPECT_EQ(local.Addr, htonl(INADDR_LOOPBACK));
    const THostLookup none = SystemResolve("no-such-host.invalid");
    EXPECT_EQ(none.Addr, 0u);
    EXPECT_NE(none.Error, 0);
}
