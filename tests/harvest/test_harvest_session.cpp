// The harvest session against scripted sites reached through the HTTP
// client's proxy: which sites are fetched, the examined/ticked label and
// bar, Stop and Resume, failures that are skipped, the duplicate pass and the
// clean-up.
#include "FakeSessionView.h"
#include "TestUtil.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testnet;
using namespace enginetest;

namespace {

std::string site(int k) { return "http://s" + std::to_string(k) + ".example/a.html"; }
std::string get(int k) { return "GET " + site(k) + " HTTP/1.0"; }
std::string robots(int k) { return "GET http://s" + std::to_string(k) + ".example/robots.txt HTTP/1.0"; }
std::string addressPage(int k) { return "<p>mail: info" + std::to_string(k) + "@s.example.org</p>"; }

// Ten sites s0..s9, the ones listed ticked.
void fill(TCheckListModel& sites, std::initializer_list<int> ticked)
{
    for (int k = 0; k < 10; ++k)
        sites.Add(site(k));
    for (int k : ticked)
        sites.SetChecked(k, true);
}

} // namespace

TEST(HarvestSession, FetchesOnlyTheTickedSitesAndCountsThem)
{
    ScriptServer srv({NoRobots(), Serve(addressPage(1)), NoRobots(), Serve(addressPage(4)), NoRobots(),
                      Serve(addressPage(7))});
    Sessions s(srv);
    fill(s.sites, {1, 4, 7});
    std::vector<std::string> labels;
    s.harvest.OnSiteDone = [&](int, int, int) { labels.push_back(s.view.examined); };
    s.harvest.SearchEmail();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{robots(1), get(1), robots(4), get(4), robots(7), get(7)}));
    EXPECT_EQ(labels, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
    EXPECT_EQ(s.view.harvestMax, 3);
    EXPECT_EQ(s.view.harvestPos, 3);
    EXPECT_EQ(s.results.Texts(), (std::vector<std::string>{"info1@s.example.org", "info4@s.example.org", "info7@s.example.org"}));
    EXPECT_EQ(s.view.resultCount, 3);
    EXPECT_EQ(s.view.harvestCaption, "Search &Email");
    EXPECT_EQ(s.view.hangUps, 0);
}

TEST(HarvestSession, NothingTickedIsAnErrorAndChangesNothingElse)
{
    ScriptServer srv({});
    Sessions s(srv);
    fill(s.sites, {});
    s.harvest.SearchEmail();
    EXPECT_EQ(s.view.errors, std::vector<std::string>{"Must select on 'Siti Trovati' sites to examine"});
    EXPECT_EQ(s.view.examined, "0/0");
    EXPECT_EQ(s.view.harvestMax, 0);
    EXPECT_EQ(srv.accepted(), 0);
}

// Stop SearchEmail from a timer during the second of three sites: that site
// is finished, and the next press starts after it, counting on from its index
// (resume index 5 with 3 of 10 ticked reads 6/3 after the next site).
TEST(HarvestSession, StopDuringASiteFinishesItAndResumeCountsOnFromTheIndex)
{
    ScriptServer srv({NoRobots(), Serve(addressPage(1)), NoRobots(), ServeHeld(addressPage(4)), NoRobots(),
                      Serve(addressPage(7)), NoRobots(), Serve(addressPage(7))});
    Sessions s(srv);
    fill(s.sites, {1, 4, 7});
    // The second site's page is held back until the Stop has been pressed.
    testutil::WhenTrue stop([&] { return srv.accepted() == 4; },
                            [&] {
                                s.harvest.Stop();
                                srv.release();
                            });
    s.harvest.SearchEmail();
    EXPECT_TRUE(stop.fired());
    EXPECT_EQ(srv.accepted(), 4);
    EXPECT_EQ(s.results.Count(), 2) << "the site in progress is scanned";
    EXPECT_EQ(s.view.examined, "2/3");
    EXPECT_EQ(s.harvest.ResumeIndex(), 5);
    EXPECT_EQ(s.view.harvestCaption, "Resume Search");
    EXPECT_EQ(s.view.harvestHint, "Resume Email Searching on Founded Sites");

    std::vector<std::string> labels;
    std::vector<int> positions;
    s.harvest.OnSiteDone = [&](int, int, int) {
        labels.push_back(s.view.examined);
        positions.push_back(s.view.harvestPos);
    };
    s.harvest.SearchEmail();
    EXPECT_EQ(labels, std::vector<std::string>{"6/3"});
    EXPECT_EQ(positions, std::vector<int>{6});
    // A resumed harvest that runs to its end keeps the index and the caption.
    EXPECT_EQ(s.harvest.ResumeIndex(), 5);
    EXPECT_EQ(s.view.harvestCaption, "Resume Search");
    s.harvest.SearchEmail();
    ASSERT_TRUE(srv.waitDone(5000));
    // Each run reads robots.txt afresh.
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{robots(1), get(1), robots(4), get(4), robots(7), get(7),
                                                          robots(7), get(7)}));
}

// Sites that fail are skipped and counted by reason, and the harvest goes on.
TEST(HarvestSession, SitesThatFailAreSkippedAndCounted)
{
    uint16_t refusedPort = 0;
    const int refusedFd = testutil::bindLoopback(-1, refusedPort);
    ASSERT_GE(refusedFd, 0);
    ScriptServer srv({NoRobots(), Serve("same@s.example.org, same@s.example.org and same@s.example.org"),
                      {ReadUntil("\r\n\r\n"), Reset()},
                      {ReadUntil("\r\n\r\n"), Hold()},
                      Serve("<p>%20last@s.example.org</p>")});
    Sessions s(srv, 1000);
    for (int k = 0; k < 5; ++k)
        s.sites.Add(site(k));
    // s2 is a direct URL to a port that refuses the connection.
    s.sites.SetText(2, "http://127.0.0.1:" + std::to_string(refusedPort) + "/");
    for (int k = 0; k < 5; ++k)
        s.sites.SetChecked(k, true);
    s.http.Proxy.clear();
    // Sites other than the refused one go through the scripted server.
    const std::string base = "http://127.0.0.1:" + std::to_string(srv.port());
    s.sites.SetText(0, base + "/same.html");
    s.sites.SetText(1, base + "/reset.html");
    s.sites.SetText(3, base + "/silent.html");
    s.sites.SetText(4, base + "/last.html");
    s.harvest.SearchEmail();
    ::close(refusedFd);
    EXPECT_EQ(s.view.examined, "5/5");
    EXPECT_EQ(s.view.errors, std::vector<std::string>{});
    EXPECT_EQ(s.view.skips.Text(), "Skipped: 1 time-out, 2 connection error");
    // The same address three times is kept once; the escaped blank goes at
    // the end.
    EXPECT_EQ(s.results.Texts(), (std::vector<std::string>{"last@s.example.org", "same@s.example.org"}));
}

TEST(HarvestSession, DisconnectOnEndHangsUpBeforeTheCleanUp)
{
    ScriptServer srv({NoRobots(), Serve("<p>%20a@s.example.org</p>")});
    Sessions s(srv);
    fill(s.sites, {0});
    s.view.settings.DisconnectOnEnd = true;
    std::vector<std::string> atHangUp;
    s.view.onHangUp = [&] { atHangUp = s.results.Texts(); };
    s.harvest.SearchEmail();
    EXPECT_EQ(s.view.hangUps, 1);
    EXPECT_EQ(atHangUp, std::vector<std::string>{"%20a@s.example.org"});
    EXPECT_EQ(s.results.Texts(), std::vector<std::string>{"a@s.example.org"});
}

namespace {

std::vector<std::string> logged;
void recordMessage(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    logged.push_back(std::string(context.category ? context.category : "") + ": " + text.toStdString());
}

} // namespace

// A skipped site is counted for the user; a developer can have it told with
// its reason by turning the harvest's logging category on.
TEST(HarvestSession, SkippedSitesAreLoggedOnlyWhenTheCategoryIsOn)
{
    uint16_t refused = 0;
    const int fd = testutil::bindLoopback(-1, refused);
    ASSERT_GE(fd, 0);
    ScriptServer srv({});
    Sessions s(srv);
    s.http.Proxy.clear();
    const std::string url = "http://127.0.0.1:" + std::to_string(refused) + "/a.html";
    s.sites.Add(url);
    s.sites.SetChecked(0, true);

    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
    s.harvest.SearchEmail();
    const std::vector<std::string> byDefault = logged;
    QLoggingCategory::setFilterRules(QStringLiteral("corvina.*=true"));
    s.harvest.SearchEmail();
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    ::close(fd);

    EXPECT_EQ(byDefault, std::vector<std::string>{});
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("corvina.harvest: site " + url + " skipped (connection error): robots.txt: "),
              std::string::npos)
        << logged[0];
    EXPECT_EQ(s.view.examined, "1/1");
}

// Finds under no public domain go unless the setting, read at each use,
// keeps them; an escaped domain beyond ASCII comes out in UTF-8.
TEST(HarvestSession, KeepsOnlyPublicDomainsUnlessTold)
{
    const std::string page = "<img src=\"logo@2x.png\"> info@caff%c3%a8-1.example.org a@b.c";
    ScriptServer srv({NoRobots(), Serve(page), NoRobots(), Serve(page)});
    Sessions s(srv);
    fill(s.sites, {0});
    int looks = 0;
    s.harvest.OnSiteDone = [&](int, int, int) { looks = s.view.resultCount; };
    s.harvest.SearchEmail();
    EXPECT_EQ(looks, 1) << "dropped as they arrive";
    EXPECT_EQ(s.results.Texts(), std::vector<std::string>{"info@caff\xC3\xA8-1.example.org"});

    s.results.Clear();
    s.view.settings.KeepAllAddresses = true;
    s.harvest.SearchEmail();
    EXPECT_EQ(s.results.Texts(),
              (std::vector<std::string>{"a@b.c", "info@caff\xC3\xA8-1.example.org", "logo@2x.png"}));
    ASSERT_TRUE(srv.waitDone(5000));
}
