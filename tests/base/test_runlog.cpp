// The run's log: what the program's categories report is kept with its time
// whether or not the user's rules print it, and only what those rules allow
// reaches the previous handler (standard error).
#include "RunLog.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <thread>

Q_LOGGING_CATEGORY(lcRunLogTest, "corvina.runlogtest", QtWarningMsg)
Q_LOGGING_CATEGORY(lcOtherTest, "other.runlogtest", QtWarningMsg)

namespace {

std::vector<std::string> g_printed;

void capture(QtMsgType, const QMessageLogContext&, const QString& message) { g_printed.push_back(message.toStdString()); }

std::vector<std::string> texts()
{
    std::vector<std::string> out;
    for (const auto& e : TRunLog::Entries())
        out.push_back(e.Category + " " + e.Text);
    return out;
}

} // namespace

TEST(RunLog, KeepsWhatTheCategoriesReportPrintsOnlyWhatTheRulesAllowAndListensAcrossThreads)
{
    const QtMessageHandler outer = qInstallMessageHandler(capture);
    TRunLog::Install();
    TRunLog::Install(); // a second call changes nothing
    TRunLog::Clear();
    g_printed.clear();

    qCInfo(lcRunLogTest, "site http://a.example.org/ skipped: Host not found");
    qCWarning(lcRunLogTest, "result page failed");
    qCDebug(lcRunLogTest, "a debugging detail");
    qCInfo(lcOtherTest, "not ours");
    EXPECT_EQ(texts(), (std::vector<std::string>{"corvina.runlogtest site http://a.example.org/ skipped: Host not found",
                                                 "corvina.runlogtest result page failed"}));
    // Information is kept silently; the warning is printed as before.
    EXPECT_EQ(g_printed, (std::vector<std::string>{"result page failed"}));

    // Rules that ask for information print it too.
    QLoggingCategory::setFilterRules(QStringLiteral("corvina.runlogtest.info=true"));
    g_printed.clear();
    qCInfo(lcRunLogTest, "now printed");
    EXPECT_EQ(g_printed, (std::vector<std::string>{"now printed"}));
    QLoggingCategory::setFilterRules(QString());
    g_printed.clear();
    qCInfo(lcRunLogTest, "kept, not printed");
    EXPECT_TRUE(g_printed.empty());
    EXPECT_EQ(texts().back(), "corvina.runlogtest kept, not printed");

    const std::string line = TRunLog::Format(TRunLog::Entries().front());
    ASSERT_EQ(line.size(), std::string("hh:mm:ss corvina.runlogtest: site http://a.example.org/ skipped: Host not found").size()) << line;
    EXPECT_EQ(line.substr(8), " corvina.runlogtest: site http://a.example.org/ skipped: Host not found");

    // Messages from other threads reach the listener; the newest 10,000 stay.
    TRunLog::Clear();
    std::atomic<int> heard{0};
    TRunLog::SetListener([&heard](const TRunLog::Entry&) { ++heard; });
    std::thread a([] {
        for (int i = 0; i < 6000; ++i)
            qCInfo(lcRunLogTest, "a %d", i);
    });
    std::thread b([] {
        for (int i = 0; i < 6000; ++i)
            qCInfo(lcRunLogTest, "b %d", i);
    });
    a.join();
    b.join();
    TRunLog::SetListener(nullptr);
    EXPECT_EQ(heard.load(), 12000);
    const auto entries = TRunLog::Entries();
    ASSERT_EQ(entries.size(), 10000u);
    // The last of each thread's messages is among the newest.
    int lastA = 0, lastB = 0;
    for (const auto& e : entries) {
        lastA += e.Text == "a 5999";
        lastB += e.Text == "b 5999";
    }
    EXPECT_EQ(lastA, 1);
    EXPECT_EQ(lastB, 1);
    // The handler stays installed for the rest of the program, passing on
    // to the capture.
    (void)outer;
}
