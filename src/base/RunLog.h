// This run's failures, as the program's logging categories (corvina.*)
// report them: every message of information level or above is kept with its
// time, for Help > Show Log... and the status bar, and can be echoed (for
// corvina-cli -v). Messages go on to the previous handler only as the user's
// logging rules would have let them (QT_LOGGING_RULES), so keeping them
// prints nothing new.
//
//   TRunLog::Install();                  // once, at start-up
//   for (const TRunLog::Entry& e : TRunLog::Entries()) ...
//
// Messages may come from any thread; the log keeps the newest 10,000.
#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <functional>
#include <string>
#include <vector>

class TRunLog {
public:
    struct Entry {
        QDateTime Time;
        QtMsgType Type = QtInfoMsg;
        std::string Category; // "corvina.harvest"
        std::string Text;
    };

    // Enables information level for the corvina.* categories and installs
    // the message handler; a second call does nothing.
    static void Install();
    // Every kept entry, oldest first.
    static std::vector<Entry> Entries();
    // Forgets every entry (for tests).
    static void Clear();
    // Called for every new entry on the thread that logged it, outside the
    // log's lock; empty for none.
    static void SetListener(std::function<void(const Entry&)> listener);
    // "14:03:59 corvina.harvest: site http://a/ skipped: Host not found"
    static std::string Format(const Entry& e);
};
