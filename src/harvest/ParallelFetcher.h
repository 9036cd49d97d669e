// Several page fetches at once, for a harvest: a fixed set of workers, each
// a thread with its own event loop and its own page fetcher (and so its own
// HTTP client and sockets), made on that thread by a factory. The owner, on
// the user-interface thread, hands a URL to an idle worker with Start and
// collects what the workers report, by queued calls, with Wait and Take.
//
//   TParallelFetcher pool(8, [] { return std::make_unique<TMyFetcher>(); });
//   pool.Start(id, url);              // false when no worker is idle
//   while (pool.Busy() > 0) {
//       pool.Wait();                  // services the event queue meanwhile
//       for (TFetchResult& r : pool.Take()) ...
//   }
//   pool.CancelAll();                 // every fetch under way gives up
//
// A blocking fetch waits in a nested event loop, and nested loops on one
// thread end last-in-first-out; on threads of their own the fetches neither
// wait for each other nor hold the window's queue.
#pragma once

#include "PageFetcher.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;
class QThread;

// Makes a worker's page fetcher; called on the worker's own thread.
using TFetcherFactory = std::function<std::unique_ptr<IPageFetcher>()>;

struct TFetchResult {
    int Id = 0;
    bool Ok = false;
    bool Stopped = false; // given up before the page was asked for
    std::string Body;  // the page, when Ok
    std::string Error; // what went wrong, when not
};

// The work a worker does for one URL, on the worker's thread: a page fetch,
// or a site visited with its manners (the harvest's).
class IFetchJob {
public:
    virtual ~IFetchJob() = default;
    virtual TFetchResult Run(int id, const std::string& url) = 0;
    // Gives up the Run under way; called on the worker's thread, from a
    // handler run while the job waits.
    virtual void Cancel() = 0;
};
// Makes a worker's job; called on the worker's own thread.
using TJobFactory = std::function<std::unique_ptr<IFetchJob>()>;

class TFetchWorker;

class TParallelFetcher : public QObject {
    Q_OBJECT
public:
    TParallelFetcher(int workers, TJobFactory factory, QObject* parent = nullptr);
    // Workers whose job is a plain page fetch: the body, or the failure.
    TParallelFetcher(int workers, TFetcherFactory factory, QObject* parent = nullptr);
    // Cancels what is under way and ends the threads.
    ~TParallelFetcher() override;
    TParallelFetcher(const TParallelFetcher&) = delete;
    TParallelFetcher& operator=(const TParallelFetcher&) = delete;

    int Workers() const { return static_cast<int>(workers_.size()); }
    // Fetches started and not yet taken back.
    int Busy() const { return busy_; }
    // Hands url to an idle worker; false when every worker is busy.
    bool Start(int id, const std::string& url);
    // Services the event queue, blocking while nothing happens, until a
    // result is ready to take or Interrupt is called; at once when a result
    // is already waiting or nothing is under way.
    void Wait();
    // Ends the Wait under way (for Stop, from a handler run during it).
    void Interrupt();
    // The results reported so far, in the order they arrived.
    std::vector<TFetchResult> Take();
    // Every fetch under way gives up; each still reports (as a failure).
    void CancelAll();

signals:
    // A fetch has reported.
    void ResultReady();

private:
    void report(int worker, TFetchResult result);

    struct Slot {
        QThread* thread = nullptr;
        TFetchWorker* worker = nullptr;
        bool busy = false;
    };
    std::vector<Slot> workers_;
    std::vector<TFetchResult> results_;
    int busy_ = 0;
    bool interrupted_ = false;
    QEventLoop* loop_ = nullptr; // the Wait under way
};
