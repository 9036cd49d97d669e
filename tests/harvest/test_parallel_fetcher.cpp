// Several fetches at once on worker threads: they run side by side, report
// in the order they finish, give up together on CancelAll, and real HTTP
// clients work on their own threads.
#include "Nmhttp.h"
#include "NginxServer.h"
#include "ParallelFetcher.h"
#include "PageFetcher.h"

#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

namespace {

// Two texts joined (gcc 12 warns wrongly of overlap for literal + temporary).
std::string cat(std::string a, const std::string& b)
{
    a.append(b);
    return a;
}

// Fetches that wait, servicing their thread's queue, until the test opens
// their URL or they are canceled; it counts how many wait at once.
class Gates {
public:
    void Open(const std::string& url)
    {
        std::lock_guard lock(m_);
        opened_.insert(url);
        if (auto it = waiting_.find(url); it != waiting_.end())
            QMetaObject::invokeMethod(it->second, &QEventLoop::quit, Qt::QueuedConnection);
    }
    // Blocks until n fetches wait at once (false after 10 s).
    bool WaitForWaiting(int n)
    {
        std::unique_lock lock(m_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return static_cast<int>(waiting_.size()) >= n; });
    }
    std::set<QThread*> Threads()
    {
        std::lock_guard lock(m_);
        return threads_;
    }

    class Fetcher : public IPageFetcher {
    public:
        explicit Fetcher(Gates& g) : g_(g)
        {
            std::lock_guard lock(g_.m_);
            g_.threads_.insert(QThread::currentThread());
        }
        std::string Get(const std::string& url) override
        {
            QEventLoop loop;
            {
                std::lock_guard lock(g_.m_);
                if (!g_.opened_.count(url)) {
                    g_.waiting_[url] = &loop;
                    loop_ = &loop;
                }
            }
            g_.changed_.notify_all();
            if (loop_)
                loop.exec();
            {
                std::lock_guard lock(g_.m_);
                g_.waiting_.erase(url);
            }
            loop_ = nullptr;
            if (canceled_) {
                canceled_ = false;
                throw std::runtime_error(cat("canceled ", url));
            }
            return cat("page ", url);
        }
        void Cancel() override
        {
            canceled_ = true;
            if (loop_)
                loop_->quit();
        }

    private:
        Gates& g_;
        QEventLoop* loop_ = nullptr;
        bool canceled_ = false;
    };

private:
    std::mutex m_;
    std::condition_variable changed_;
    std::set<std::string> opened_;
    std::map<std::string, QEventLoop*> waiting_;
    std::set<QThread*> threads_;
};

std::vector<TFetchResult> takeAll(TParallelFetcher& pool, size_t n)
{
    std::vector<TFetchResult> all;
    while (all.size() < n && pool.Busy() > 0) {
        pool.Wait();
        for (auto& r : pool.Take())
            all.push_back(std::move(r));
    }
    return all;
}

} // namespace

TEST(ParallelFetcher, FetchesRunSideBySideOnThreadsOfTheirOwnAndReportAsTheyFinish)
{
    Gates gates;
    TParallelFetcher pool(4, [&gates] { return std::make_unique<Gates::Fetcher>(gates); });
    for (int id = 0; id < 4; ++id)
        ASSERT_TRUE(pool.Start(id, cat("u", std::to_string(id))));
    EXPECT_FALSE(pool.Start(9, "u9")) << "a fifth fetch found a free worker among four busy ones";
    ASSERT_TRUE(gates.WaitForWaiting(4)) << "the four fetches did not all wait at once";

    // Finished in reverse order, reported in that order.
    std::vector<int> order;
    for (int id = 3; id >= 0; --id) {
        gates.Open(cat("u", std::to_string(id)));
        for (auto& r : takeAll(pool, 1)) {
            EXPECT_TRUE(r.Ok) << r.Error;
            EXPECT_EQ(r.Body, cat("page u", std::to_string(r.Id)));
            order.push_back(r.Id);
        }
    }
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1, 0}));
    EXPECT_EQ(pool.Busy(), 0);

    const auto threads = gates.Threads();
    EXPECT_EQ(threads.size(), 4u);
    EXPECT_FALSE(threads.count(QThread::currentThread()));
}

TEST(ParallelFetcher, CancelAllEndsEveryFetchUnderWayAndTheWorkersServeAgain)
{
    Gates gates;
    TParallelFetcher pool(3, [&gates] { return std::make_unique<Gates::Fetcher>(gates); });
    for (int id = 0; id < 3; ++id)
        ASSERT_TRUE(pool.Start(id, cat("c", std::to_string(id))));
    ASSERT_TRUE(gates.WaitForWaiting(3));
    pool.CancelAll();
    const auto results = takeAll(pool, 3);
    ASSERT_EQ(results.size(), 3u);
    for (const auto& r : results) {
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Error, cat("canceled c", std::to_string(r.Id)));
    }
    // The workers are free and fetch again.
    gates.Open("again");
    ASSERT_TRUE(pool.Start(7, "again"));
    const auto again = takeAll(pool, 1);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_TRUE(again[0].Ok);
}

TEST(ParallelFetcher, InterruptEndsAWaitWithNothingToTake)
{
    Gates gates;
    TParallelFetcher pool(1, [&gates] { return std::make_unique<Gates::Fetcher>(gates); });
    ASSERT_TRUE(pool.Start(1, "slow"));
    ASSERT_TRUE(gates.WaitForWaiting(1));
    QMetaObject::invokeMethod(&pool, [&pool] { pool.Interrupt(); }, Qt::QueuedConnection);
    pool.Wait();
    EXPECT_TRUE(pool.Take().empty());
    EXPECT_EQ(pool.Busy(), 1);
    // Destroying the pool cancels the fetch and ends its thread.
}

// Real HTTP clients, one per worker thread, against nginx.
TEST(ParallelFetcher, HttpClientsOnWorkerThreadsFetchRealPages)
{
    NginxServer nginx;
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    for (int k = 0; k < 24; ++k)
        nginx.put(cat(cat("p", std::to_string(k)), ".html"), cat(cat("pagina ", std::to_string(k)), "\n"));

    struct OwnedFetcher : IPageFetcher {
        TNMHTTP http;
        THttpPageFetcher inner{http};
        OwnedFetcher() { http.TimeOut = 10000; }
        std::string Get(const std::string& url) override { return inner.Get(url); }
        void Cancel() override { inner.Cancel(); }
    };
    TParallelFetcher pool(4, [] { return std::make_unique<OwnedFetcher>(); });
    int next = 0;
    std::map<int, std::string> bodies;
    while (next < 24 || pool.Busy() > 0) {
        while (next < 24 && pool.Start(next, nginx.url(cat(cat("/p", std::to_string(next)), ".html"))))
            ++next;
        pool.Wait();
        for (auto& r : pool.Take()) {
            ASSERT_TRUE(r.Ok) << r.Error;
            bodies[r.Id] = r.Body;
        }
    }
    ASSERT_EQ(bodies.size(), 24u);
    for (const auto& [id, body] : bodies)
        EXPECT_EQ(body, cat(cat("pagina ", std::to_string(id)), "\n"));
}
