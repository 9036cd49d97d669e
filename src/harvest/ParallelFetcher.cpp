#include "ParallelFetcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QThread>

#include <atomic>

Q_DECLARE_LOGGING_CATEGORY(lcHarvest)

// One worker: lives on its own thread, makes its fetcher there on first use
// and runs one fetch at a time.
class TFetchWorker : public QObject {
public:
    TFetchWorker(TFetcherFactory factory, std::atomic<unsigned>& cancels)
        : factory_(std::move(factory)), cancels_(cancels)
    {
    }

    // On the worker's thread. generation is the owner's cancel count when
    // the fetch was handed out: a CancelAll since then gives it up before it
    // starts.
    TFetchResult Fetch(int id, const std::string& url, unsigned generation)
    {
        TFetchResult r;
        r.Id = id;
        if (cancels_.load() != generation) {
            r.Error = "Fetch canceled";
            return r;
        }
        try {
            if (!fetcher_)
                fetcher_ = factory_();
            inFetch_ = true;
            r.Body = fetcher_->Get(url);
            r.Ok = true;
        } catch (const std::exception& e) {
            r.Error = e.what();
        } catch (...) {
            r.Error = "Unknown failure";
        }
        inFetch_ = false;
        return r;
    }

    // On the worker's thread, run while a fetch waits (or between fetches).
    void Cancel()
    {
        if (inFetch_ && fetcher_)
            fetcher_->Cancel();
    }

private:
    TFetcherFactory factory_;
    std::atomic<unsigned>& cancels_;
    std::unique_ptr<IPageFetcher> fetcher_;
    bool inFetch_ = false;
};

namespace {
// Incremented by every CancelAll of any pool; each worker compares against
// the count its fetch was started under, so only a change matters.
std::atomic<unsigned> g_cancels{0};
} // namespace

TParallelFetcher::TParallelFetcher(int workers, TFetcherFactory factory, QObject* parent) : QObject(parent)
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
    if (!result.Ok)
        qCInfo(lcHarvest, "fetch %d failed: %s", result.Id, result.Error.c_str());
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
