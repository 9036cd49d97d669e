#include "RunLog.h"

#include <QLoggingCategory>

#include <deque>
#include <mutex>
#include <set>

namespace {

constexpr size_t kMaxEntries = 10000;

struct State {
    std::mutex mutex;
    std::deque<TRunLog::Entry> entries;
    std::function<void(const TRunLog::Entry&)> listener;
    // Categories whose information messages the user's rules had enabled:
    // only those (and warnings and worse) go on to the previous handler.
    std::set<std::string> userInfo;
    QtMessageHandler previousHandler = nullptr;
    QLoggingCategory::CategoryFilter previousFilter = nullptr;
    bool installed = false;
};

State& state()
{
    static State s;
    return s;
}

bool ours(const char* category) { return qstrncmp(category, "corvina.", 8) == 0; }

void filter(QLoggingCategory* category)
{
    State& s = state();
    if (s.previousFilter)
        s.previousFilter(category);
    if (!ours(category->categoryName()))
        return;
    // Called under Qt's own lock, for each category as it is made and
    // again when the rules change.
    {
        std::lock_guard lock(s.mutex);
        if (category->isInfoEnabled())
            s.userInfo.insert(category->categoryName());
        else
            s.userInfo.erase(category->categoryName());
    }
    category->setEnabled(QtInfoMsg, true);
    category->setEnabled(QtWarningMsg, true);
    category->setEnabled(QtCriticalMsg, true);
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    State& s = state();
    const char* category = context.category ? context.category : "default";
    bool forward = true;
    if (ours(category) && type != QtDebugMsg) {
        TRunLog::Entry e{QDateTime::currentDateTime(), type, category, message.toStdString()};
        std::function<void(const TRunLog::Entry&)> listener;
        {
            std::lock_guard lock(s.mutex);
            if (type == QtInfoMsg)
                forward = s.userInfo.count(category) > 0;
            s.entries.push_back(e);
            if (s.entries.size() > kMaxEntries)
                s.entries.pop_front();
            listener = s.listener;
        }
        if (listener)
            listener(e);
    }
    if (forward && s.previousHandler)
        s.previousHandler(type, context, message);
}

} // namespace

void TRunLog::Install()
{
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.installed)
            return;
        s.installed = true;
    }
    s.previousHandler = qInstallMessageHandler(handler);
    s.previousFilter = QLoggingCategory::installFilter(filter);
}

std::vector<TRunLog::Entry> TRunLog::Entries()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return {s.entries.begin(), s.entries.end()};
}

void TRunLog::Clear()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.entries.clear();
}

void TRunLog::SetListener(std::function<void(const Entry&)> listener)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.listener = std::move(listener);
}

std::string TRunLog::Format(const Entry& e)
{
    std::string out = e.Time.toString(QStringLiteral("HH:mm:ss")).toStdString();
    out += ' ';
    out += e.Category;
    out += ": ";
    out += e.Text;
    return out;
}
