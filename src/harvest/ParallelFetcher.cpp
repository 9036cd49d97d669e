#include "ParallelFetcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <atomic>

// A page fetch as a job.
class TPageJob : public IFetchJob {
public:
    explicit TPageJob(std::unique_ptr<IPageFetcher> fetcher) : fetcher_(std::move(fetcher)) {}
    TFetchResult Run(int id, const std::string& url) override
    {
        TFetchResult r;
        r.Id = id;
        try {
            r.Body = fetcher_->Get(url);
            r.Ok = true;
        } catch (const std::exception& e) {
            r.Error = e.what();
        } catch (...) {
            r.Error = "Unknown failure";
        }
        return r;
    }
    void Cancel() override { fetcher_->Cancel(); }

private:
    std::unique_ptr<IPageFetcher> fetcher_;
};

// One worker: lives on its own thread, makes its job there on first use and
// runs one URL at a time.
class TFetchWorker : public QObject {
public:
    TFetchWorker(TJobFactory factory, std::atomic<unsigned>& cancels) : factory_(std::move(factory)), cancels_(cancels)
    {
    }

    // On the worker's thread. generation is the owner's cancel count when
    // the URL was handed out: a CancelAll since then gives it up before it
    // starts.
    TFetchResult Fetch(int id, const std::string& url, unsigned generation)
    {
        TFetchResult r;
        r.Id = id;
        if (cancels_.load() != generation) {
            r.Stopped = true;
            r.Error = "Fetch canceled";
            return r;
        }
        try {
            if (!job_)
                job_ = factory_();
        } catch (const std::exception& e) {
            r.Error = e.what();
            return r;
        }
        inRun_ = true;
        r = job_->Run(id, url);
        inRun_ = false;
        return r;
    }

    // On the worker's thread, run while a job waits (or between jobs).
    void Cancel()
    {
        if (inRun_ && job_)
            job_->Cancel();
    }

private:
    TJobFactory factory_;
    std::atomic<unsigned>& cancels_;
    std::unique_ptr<IFetchJob> job_;
    bool inRun_ = false;
};

namespace {
// Incremented by every CancelAll of any pool; each worker compares against
// the count its fetch was started under, so only a change matters.
std::atomic<unsigned> g_cancels{0};
} // namespace

TParallelFetcher::TParallelFetcher(int workers, TFetcherFactory factory, QObject* parent)
    : TParallelFetcher(
          workers, [factory = std::move(factory)]() -> std::unique_ptr<IFetchJob> { return std::make_unique<TPageJob>(factory()); },
          parent)
{
}

TParallelFetcher::TParallelFetcher(int workers, TJobFactory factory, QObject* parent) : QObject(parent)
{
    if (workers < 1)
        workers = 1;
    workers_.resize(static_cast<size_t>(workers));
    for (auto& slot : workers_) {
        slot.thread = new QThread;
        slot.worker = new TFetchWorker(factory, g_cancels);
        slot.worker->moveToThread(slot.thread);
        // The worker, and the sockets its fetcher made, go on their own thread.
        connect(slot.thread, &QThread::finished, slot.worker, &QObject::deleteLater);
        slot.thread->start();
    }
}

TParallelFetcher::~TParallelFetcher()
{
    CancelAll();
    for (auto& slot : workers_) {
        slot.thread->quit();
        slot.thread->wait();
        delete slot.thread;
    }
}

bool TParallelFetcher::Start(int id, const std::string& url)
{
    for (size_t k = 0; k < workers_.size(); ++k) {
        Slot& slot = workers_[k];
        if (slot.busy)
            continue;
        slot.busy = true;
        ++busy_;
        const unsigned generation = g_cancels.load();
        const int index = static_cast<int>(k);
        TFetchWorker* worker = slot.worker;
        // Both pointers stay valid while the call can run: a worker lives
        // until its thread ends, and the owner ends every thread before it
        // goes (and Qt drops what was posted to it then).
        TParallelFetcher* owner = this;
        QMetaObject::invokeMethod(
            worker,
            [worker, owner, index, id, url, generation] {
                TFetchResult r = worker->Fetch(id, url, generation);
                QMetaObject::invokeMethod(
                    owner, [owner, index, r = std::move(r)]() mutable { owner->report(index, std::move(r)); },
                    Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
        return true;
    }
    return false;
}

void TParallelFetcher::report(int worker, TFetchResult result)
{
    workers_[static_cast<size_t>(worker)].busy = false;
    results_.push_back(std::move(result));
    if (loop_)
        loop_->quit();
    emit ResultReady();
}

void TParallelFetcher::Wait()
{
    if (!results_.empty() || busy_ == 0)
        return;
    interrupted_ = false;
    QEventLoop loop;
    QEventLoop* outer = loop_;
    loop_ = &loop;
    while (results_.empty() && !interrupted_)
        loop.exec();
    loop_ = outer;
    // A Wait run from a handler during another ends that one too when
    // there is something for it.
    if (outer && (!results_.empty() || interrupted_))
        outer->quit();
}

void TParallelFetcher::Interrupt()
{
    interrupted_ = true;
    if (loop_)
        loop_->quit();
}

std::vector<TFetchResult> TParallelFetcher::Take()
{
    std::vector<TFetchResult> out;
    out.swap(results_);
    busy_ -= static_cast<int>(out.size());
    return out;
}

void TParallelFetcher::CancelAll()
{
    g_cancels.fetch_add(1);
    for (auto& slot : workers_) {
        if (!slot.busy)
            continue;
        TFetchWorker* worker = slot.worker;
        QMetaObject::invokeMethod(worker, [worker] { worker->Cancel(); }, Qt::QueuedConnection);
    }
}
