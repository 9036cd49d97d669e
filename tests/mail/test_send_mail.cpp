// The send-mail dialog driven as the user drives it: the menu items, Send,
// Stop and Cancel, against scripted SMTP servers (exact bytes) and against
// aiosmtpd (what a real server receives), and the mailto: hand-off.
#include "AppFixture.h"
#include "ScriptServer.h"
#include "SmtpSink.h"

#include "MailSession.h"
#include "RunLog.h"

#include <QDateTime>

using namespace testnet;

namespace {

class SendMail : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        frmOpzioni->EditServer->setText("127.0.0.1");
        frmOpzioni->EditNome->setText("client.example");
        frmOpzioni->EditIndirizzo->setText("ann@example.org");
        frmOpzioni->EditMittente->setText("Ann Bee");
        frmEmail->NMSMTP1->TimeOut = 10000; // the dialog's is 0: no test may hang
        frmEmail->NMSMTP1->Clock = [] { return QDateTime(QDate(2026, 12, 8), QTime(9, 15, 0), Qt::UTC); };
        frmEmail->NMSMTP1->Random = [](int range) { return 3 % range; };
    }
    void useServer(uint16_t port) { frmOpzioni->EditServer->setText(toQt("127.0.0.1:" + std::to_string(port))); }

    // Results entries; those in `ticked` are ticked.
    void results(const std::vector<std::string>& entries, const std::vector<std::string>& ticked)
    {
        TCheckListModel& items = *frmMain->CheckListBoxRisultati->Items;
        items.Clear();
        for (const auto& e : entries)
            items.Add(e);
        for (int i = 0; i < items.Count(); ++i)
            items.SetChecked(i, std::find(ticked.begin(), ticked.end(), items.Text(i)) != ticked.end());
    }
    void send() { frmEmail->BitBtn1->click(); }
    std::vector<std::string> shown() const
    {
        std::vector<std::string> out;
        for (const auto& c : desk.Messages.Calls)
            out.push_back(c.Text + " | " + c.Caption);
        return out;
    }
    // The header block of a message of this dialog to the given To value.
    std::string header(const std::string& to, const std::string& subject = "Greetings") const
    {
        return "From: Ann Bee<ann@example.org>\r\nTo: " + to + "\r\n" +
               (subject.empty() ? "" : "Subject: " + subject + "\r\n") + "X-Mailer: Corvina\r\n" +
               "Reply-To: ann@example.org\r\nDate: Tue, 08 Dec 2026 09:15:00 +0000\r\n"
               "Message-ID: <20261208091500.3333333333333333@example.org>\r\nMime-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n\r\n";
    }
};

// The server side of a run: greeting and HELO, then each message (with its
// number of recipients) accepted, then QUIT.
Script acceptMessages(const std::vector<int>& recipients, bool quit = true)
{
    Script s{Send("220 ready\r\n"), ReadUntil("\r\n"), Send("250 hello\r\n")};
    for (int n : recipients) {
        s.push_back(ReadUntil("RSET\r\n"));
        s.push_back(Send("250 ok\r\n"));
        for (int i = 0; i < n + 1; ++i) {
            s.push_back(ReadUntil(">\r\n"));
            s.push_back(Send("250 ok\r\n"));
        }
        s.push_back(ReadUntil("DATA\r\n"));
        s.push_back(Send("354 go\r\n"));
        s.push_back(ReadUntil("\r\n.\r\n"));
        s.push_back(Send("250 queued\r\n"));
    }
    if (quit) {
        s.push_back(ReadUntil("QUIT\r\n"));
        s.push_back(Send("221 bye\r\n"));
    }
    s.push_back(Close());
    return s;
}

std::string envelope(const std::string& to, const std::string& data)
{
    return "RSET\r\nMAIL FROM:<ann@example.org>\r\nRCPT TO:<" + to + ">\r\nDATA\r\n" + data + ".\r\n";
}

} // namespace

TEST_F(SendMail, MenuItemsSetTheModeAndShowTheDialog)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Corvina1", "Corvina"}, {"ProgrammaPredefinito1", "Predefinito"},
        {"Corvina2", "Corvina"}, {"ProgrammaPredefinito2", "Predefinito"}};
    EXPECT_EQ(frmEmail->ProgUsato->text(), "ProgUsato");
    for (const auto& [item, mode] : rows) {
        frmEmail->hide();
        frmEmail->ProgUsato->setText("x");
        auto* a = frmMain->findChild<QAction*>(QLatin1String(item));
        ASSERT_NE(a, nullptr) << item;
        a->trigger();
        EXPECT_EQ(frmEmail->ProgUsato->text(), mode) << item;
        EXPECT_TRUE(frmEmail->isVisible()) << item;
        EXPECT_FALSE(frmEmail->isModal());
    }
    EXPECT_NE(frmEmail->findChild<TNMSMTP*>("NMSMTP1"), nullptr);
    EXPECT_EQ(frmEmail->NMSMTP1->Port, 25);
    EXPECT_FALSE(frmEmail->NMSMTP1->ClearParams);
}

TEST_F(SendMail, OneMessagePerAddressWithProgressAndSendDisabledMeanwhile)
{
    ScriptServer srv({acceptMessages({1, 1, 1})});
    useServer(srv.port());
    results({"cid@x.org", "bob@x.org", "ann@x.org", "dee@x.org"}, {"ann@x.org", "bob@x.org", "dee@x.org"});
    frmMain->Corvina1Click();
    frmEmail->EditOggetto->setText("Greetings");
    frmEmail->Edit1->setPlainText("Hello\n.dot");
    std::vector<bool> enabled;
    frmEmail->NMSMTP1->OnSendStart = [&](QObject*) { enabled.push_back(frmEmail->BitBtn1->isEnabled()); };
    send();
    ASSERT_TRUE(srv.waitDone(10000));
    std::string expected = "HELO client.example\r\n";
    for (const char* to : {"ann@x.org", "bob@x.org", "dee@x.org"})
        expected += envelope(to, header(to) + "Hello\r\n..dot\r\n");
    EXPECT_EQ(srv.received(0), expected + "QUIT\r\n");
    EXPECT_EQ(shown(), (std::vector<std::string>{"Operation Completed! | Send Email"}));
    EXPECT_EQ(enabled, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(frmEmail->BitBtn1->isEnabled());
    EXPECT_FALSE(frmEmail->NMSMTP1->Connected());
    EXPECT_EQ(frmEmail->ProgressBar1->maximum(), 14);
    EXPECT_EQ(frmEmail->ProgressBar1->value(), 14);
}

TEST_F(SendMail, OneMessageToAllThenAgainWithOtherTicks)
{
    frmOpzioni->CheckBoxNascondi->setChecked(false);
    ScriptServer srv({acceptMessages({3}), acceptMessages({1})});
    useServer(srv.port());
    results({"a@x.org", "b@x.org", "c@x.org", "d@x.org"}, {"a@x.org", "b@x.org", "d@x.org"});
    frmMain->Corvina1Click();
    frmEmail->EditOggetto->setText("");
    frmEmail->Edit1->setPlainText("Hi");
    send();
    results({"a@x.org", "b@x.org", "c@x.org", "d@x.org"}, {"c@x.org"});
    send();
    ASSERT_TRUE(srv.waitDone(10000));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\nRSET\r\nMAIL FROM:<ann@example.org>\r\n"
                               "RCPT TO:<a@x.org>\r\nRCPT TO:<b@x.org>\r\nRCPT TO:<d@x.org>\r\nDATA\r\n" +
                                   header("a@x.org,b@x.org,d@x.org", "") + "Hi\r\n.\r\nQUIT\r\n");
    EXPECT_EQ(srv.received(1), "HELO client.example\r\n" + envelope("c@x.org", header("c@x.org", "") + "Hi\r\n") +
                                   "QUIT\r\n");
    EXPECT_EQ(shown(), (std::vector<std::string>(2, "Operation Completed! | Send Email")));
}

TEST_F(SendMail, StopDuringTheSecondOfFiveAndTheNextRunSendsAgain)
{
    ScriptServer srv({acceptMessages({1, 1}), acceptMessages({1, 1, 1, 1, 1})});
    useServer(srv.port());
    const std::vector<std::string> five{"a@x.org", "b@x.org", "c@x.org", "d@x.org", "e@x.org"};
    results(five, five);
    frmMain->Corvina1Click();
    frmEmail->Edit1->setPlainText("Hi");
    int started = 0;
    frmEmail->NMSMTP1->OnSendStart = [&](QObject*) {
        if (++started == 2)
            frmEmail->BitBtn3->click();
    };
    send();
    EXPECT_EQ(started, 2);
    // A stopped run is not a completed one.
    EXPECT_EQ(shown(), (std::vector<std::string>{"Stopped. Sent 2 of 5 messages. | Send Email"}));
    EXPECT_FALSE(frmEmail->NMSMTP1->Connected());
    EXPECT_TRUE(frmEmail->Session().StopRequested());

    // The Stop belonged to that run: the next one, without Cancel, sends all.
    send();
    ASSERT_TRUE(srv.waitDone(10000));
    EXPECT_EQ(started, 7);
    EXPECT_EQ(shown().back(), "Operation Completed! | Send Email");
    const std::string first = srv.received(0);
    EXPECT_NE(first.find("RCPT TO:<b@x.org>"), std::string::npos);
    EXPECT_EQ(first.find("RCPT TO:<c@x.org>"), std::string::npos);
    EXPECT_EQ(first.substr(first.size() - 6), "QUIT\r\n");
}

TEST_F(SendMail, NoAddressTickedLeavesTheConnectionForTheNextPress)
{
    for (bool hide : {true, false}) {
        frmOpzioni->CheckBoxNascondi->setChecked(hide);
        ScriptServer srv({acceptMessages({}), acceptMessages({1})});
        useServer(srv.port());
        results({"a@x.org"}, {});
        frmMain->Corvina1Click();
        desk.Messages.Calls.clear();
        send();
        EXPECT_EQ(shown(), (std::vector<std::string>{
                               "Must select addresses to send email on 'Search Results' | Send Email ERROR"}));
        EXPECT_TRUE(frmEmail->NMSMTP1->Connected());
        send(); // only closes
        EXPECT_FALSE(frmEmail->NMSMTP1->Connected());
        EXPECT_EQ(shown().size(), 1u);
        results({"a@x.org"}, {"a@x.org"});
        send(); // a new run
        ASSERT_TRUE(srv.waitDone(10000)) << hide;
        EXPECT_EQ(srv.received(0), "HELO client.example\r\nQUIT\r\n");
        EXPECT_EQ(srv.accepted(), 2);
        EXPECT_EQ(shown().back(), "Operation Completed! | Send Email");
    }
}

TEST_F(SendMail, EmptySenderOrUserIdAndNoMode)
{
    // No sender: the client refuses the message; the run says so and
    // closes the connection.
    frmOpzioni->EditIndirizzo->setText("");
    ScriptServer srv({acceptMessages({}), acceptMessages({})});
    useServer(srv.port());
    results({"a@x.org"}, {"a@x.org"});
    frmMain->Corvina1Click();
    send();
    EXPECT_EQ(shown(), (std::vector<std::string>{"Sent 0 of 1 message.\nError from 127.0.0.1:" +
                                                 std::to_string(srv.port()) + ": Incomplete Header | Send Email ERROR"}));
    EXPECT_FALSE(frmEmail->NMSMTP1->Connected());
    EXPECT_TRUE(frmEmail->BitBtn1->isEnabled());
    desk.Messages.Calls.clear();

    // No user ID: the server greets and is told "HELO ", then the message.
    frmOpzioni->EditIndirizzo->setText("ann@example.org");
    frmOpzioni->EditNome->setText("");
    send();
    EXPECT_EQ(shown(), (std::vector<std::string>{"Type UserID and Email Address on Options! | ERROR"}));
    send();
    ASSERT_TRUE(srv.waitDone(10000));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\nQUIT\r\n");
    EXPECT_EQ(srv.received(1), "HELO \r\nQUIT\r\n");

    // No server (Options never filled in): the same message, before any
    // connection is tried, and the next press asks again.
    frmOpzioni->EditServer->setText("");
    send();
    send();
    EXPECT_EQ(shown(), (std::vector<std::string>{"Type UserID and Email Address on Options! | ERROR",
                                                 "Type UserID and Email Address on Options! | ERROR",
                                                 "Type UserID and Email Address on Options! | ERROR"}));
    EXPECT_FALSE(frmEmail->NMSMTP1->Connected());
    EXPECT_TRUE(frmEmail->BitBtn1->isEnabled());

    // The mode label never set: Send does nothing at all.
    ScriptServer none({acceptMessages({})});
    useServer(none.port());
    frmEmail->ProgUsato->setText("ProgUsato");
    const size_t messages = desk.Messages.Calls.size();
    send();
    EXPECT_EQ(none.accepted(), 0);
    EXPECT_EQ(desk.Messages.Calls.size(), messages);
    EXPECT_TRUE(desk.Links.Opened.empty());
}

TEST_F(SendMail, CancelResetsTextsProgressAndStop)
{
    frmMain->Corvina1Click();
    frmEmail->EditOggetto->setText("s");
    frmEmail->Edit1->setPlainText("t");
    frmEmail->ProgressBar1->setValue(60);
    frmEmail->BitBtn3->click();
    EXPECT_TRUE(frmEmail->Session().StopRequested());
    frmEmail->BitBtn2->click();
    EXPECT_TRUE(frmEmail->EditOggetto->text().isEmpty());
    EXPECT_TRUE(frmEmail->Edit1->toPlainText().isEmpty());
    // An empty bar, not Qt's busy indicator (a range of 0 to 0).
    EXPECT_EQ(frmEmail->ProgressBar1->value(), 0);
    EXPECT_GT(frmEmail->ProgressBar1->maximum(), frmEmail->ProgressBar1->minimum());
    EXPECT_FALSE(frmEmail->Session().StopRequested());
    EXPECT_TRUE(frmEmail->isVisible()); // the buttons close nothing
}

TEST_F(SendMail, HandOffBuildsOneLinkThatKeepsEveryCharacter)
{
    struct Row {
        std::vector<std::string> ticked;
        const char* subject;
        const char* text;
        const char* link;
    };
    const Row rows[] = {
        {{"a@x.org"}, "", "", "mailto:a@x.org;?Subject=&Body="},
        {{"a@x.org", "b@x.org"}, "S", "T", "mailto:a@x.org;b@x.org;?Subject=S&Body=T"},
        {{}, "Fish & chips", "", "mailto:?Subject=Fish%20%26%20chips&Body="},
        {{"a@x.org"}, "100% #1?", "line one\nline=two+3",
         "mailto:a@x.org;?Subject=100%25%20%231%3F&Body=line%20one%0D%0Aline%3Dtwo%2B3"},
        // Typed text reaches the link as UTF-8.
        {{"Odd Name <o;d@x.org>"}, "\xC3\xA9t\xC3\xA9", "",
         "mailto:Odd%20Name%20%3Co%3Bd@x.org%3E;?Subject=%C3%A9t%C3%A9&Body="},
    };
    frmMain->ProgrammaPredefinito1Click();
    for (const Row& r : rows) {
        std::vector<std::string> all = r.ticked;
        all.push_back("zz@unticked.org");
        results(all, r.ticked);
        frmEmail->EditOggetto->setText(toQt(r.subject));
        frmEmail->Edit1->setPlainText(toQt(r.text));
        desk.Links.Opened.clear();
        send();
        ASSERT_EQ(desk.Links.Opened.size(), 1u);
        EXPECT_EQ(desk.Links.Opened[0], r.link);
    }
    // Many addresses: one link, none dropped.
    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back("user" + std::to_string(10000 + i) + "@x.org");
    results(many, many);
    desk.Links.Opened.clear();
    send();
    ASSERT_EQ(desk.Links.Opened.size(), 1u);
    EXPECT_EQ(std::count(desk.Links.Opened[0].begin(), desk.Links.Opened[0].end(), ';'), 2000);
    EXPECT_TRUE(desk.Messages.Calls.empty());

    // No mail program: said, naming the recipients, and logged.
    TRunLog::Install();
    TRunLog::Clear();
    desk.Links.Opens = false;
    const std::pair<std::vector<std::string>, std::string> told[] = {
        {{"a@x.org"}, " to a@x.org."},
        {{"Odd Name <o;d@x.org>", "z@x.org"}, " to Odd Name <o;d@x.org> and 1 other."},
        {many, " to user10000@x.org and 1999 others."},
        {{}, "."},
    };
    for (const auto& [ticked, end] : told) {
        results(ticked, ticked);
        desk.Messages.Calls.clear();
        send();
        const std::string text = "No mail program was found to write the message" + end;
        EXPECT_EQ(shown(), (std::vector<std::string>{text + " | Send Email ERROR"}));
        const auto entries = TRunLog::Entries();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.back().Category, "corvina.mail");
        EXPECT_EQ(entries.back().Text, text);
    }
}

TEST_F(SendMail, ServerHostMayCarryAPort)
{
    const std::tuple<const char*, const char*, int> rows[] = {
        {"mail.example.org", "mail.example.org", 25}, {"mail.example.org:587", "mail.example.org", 587},
        {"127.0.0.1:2525", "127.0.0.1", 2525},        {"host:", "host:", 25},
        {"host:99999", "host:99999", 25},             {"host:12a", "host:12a", 25}};
    for (const auto& [text, host, port] : rows) {
        std::string h;
        int p = 2525; // a port of an earlier text does not stick
        SplitServer(text, h, p);
        EXPECT_EQ(h, host) << text;
        EXPECT_EQ(p, port) << text;
    }
}

TEST_F(SendMail, RealServerReceivesTheSameMessagesInBothModes)
{
    SmtpSink sink;
    ASSERT_NE(sink.port(), 0);
    frmOpzioni->EditServer->setText(toQt(sink.server()));
    results({"one@x.org", "two@x.org", "three@x.org"}, {"one@x.org", "two@x.org", "three@x.org"});
    frmMain->Corvina1Click();
    frmEmail->EditOggetto->setText(QStringLiteral("Fish & chips, 100% \u2013 Gr\u00FC\u00DFe"));
    frmEmail->Edit1->setPlainText(QStringLiteral("Dear all,\n.leading dot\n\u00C7a va?\n\nbye"));
    send();                                              // three messages
    frmOpzioni->CheckBoxNascondi->setChecked(false);
    send();                                              // one message to all three
    ASSERT_TRUE(sink.waitMessages(4, 20000));
    EXPECT_EQ(shown(), (std::vector<std::string>(2, "Operation Completed! | Send Email")));
    const char* each[] = {"one@x.org", "three@x.org", "two@x.org"};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject m = sink.parse(i);
        const std::string to = i < 3 ? each[i] : "one@x.org,three@x.org,two@x.org";
        EXPECT_EQ(SmtpSink::header(m, "To"), to);
        EXPECT_EQ(SmtpSink::header(m, "From"), "Ann Bee<ann@example.org>");
        EXPECT_EQ(SmtpSink::header(m, "Subject", true), "Fish & chips, 100% \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F" "e");
        EXPECT_EQ(SmtpSink::header(m, "X-Mailer"), "Corvina");
        EXPECT_EQ(SmtpSink::header(m, "Reply-To"), "ann@example.org");
        EXPECT_EQ(SmtpSink::header(m, "Date"), "Tue, 08 Dec 2026 09:15:00 +0000");
        // The body starts after one empty line, as the client always sends it.
        EXPECT_EQ(m.value("unicode_text").toString().toStdString(),
                  "\nDear all,\n.leading dot\n\xC3\x87" "a va?\n\nbye\n");
        const QJsonObject env = sink.envelope(i);
        EXPECT_EQ(env.value("from").toString(), "ann@example.org");
        EXPECT_EQ(env.value("helo").toString(), "client.example");
        EXPECT_EQ(env.value("to").toArray().size(), i < 3 ? 1 : 3);
    }
}

TEST_F(SendMail, RefusalsAndErrorsEndWithASummary)
{
    auto message = [](Script& s, const std::vector<std::string>& rcpt, const std::string& end) {
        s.push_back(ReadUntil("RSET\r\n"));
        s.push_back(Send("250 ok\r\n"));
        s.push_back(ReadUntil(">\r\n"));
        s.push_back(Send("250 ok\r\n"));
        for (const std::string& reply : rcpt) {
            s.push_back(ReadUntil(">\r\n"));
            s.push_back(Send(reply));
        }
        if (!end.empty()) {
            s.push_back(ReadUntil("DATA\r\n"));
            s.push_back(Send("354 go\r\n"));
            s.push_back(ReadUntil("\r\n.\r\n"));
            s.push_back(Send(end));
        }
    };
    const std::string unknown = "550-5.1.1 unknown\r\n550 5.1.1 user\r\n";
    Script each{Send("220 ready\r\n"), ReadUntil("\r\n"), Send("250 hello\r\n")};
    message(each, {"250 ok\r\n"}, "250 queued\r\n");
    message(each, {unknown}, "");                             // b: refused, the run goes on
    message(each, {"250 ok\r\n"}, "554-5.7.1 refused\r\n554 5.7.1 policy\r\n"); // c: the run ends
    each.push_back(ReadUntil("QUIT\r\n"));
    each.push_back(Send("221 bye\r\n"));
    Script all{Send("220 ready\r\n"), ReadUntil("\r\n"), Send("250 hello\r\n")};
    message(all, {"250 ok\r\n", unknown, "250 ok\r\n"}, "250 queued\r\n");
    all.push_back(ReadUntil("QUIT\r\n"));
    all.push_back(Send("221 bye\r\n"));
    ScriptServer srv({each, all});
    useServer(srv.port());
    const std::string server = "127.0.0.1:" + std::to_string(srv.port());
    results({"a@x.org", "b@x.org", "c@x.org", "d@x.org"}, {"a@x.org", "b@x.org", "c@x.org", "d@x.org"});
    frmMain->Corvina1Click();
    frmEmail->Edit1->setPlainText("Hi");
    send();
    EXPECT_FALSE(frmEmail->NMSMTP1->Connected());
    frmOpzioni->CheckBoxNascondi->setChecked(false);
    results({"a@x.org", "b@x.org", "c@x.org"}, {"a@x.org", "b@x.org", "c@x.org"});
    send();
    ASSERT_TRUE(srv.waitDone(10000));
    EXPECT_EQ(shown(), (std::vector<std::string>{
                           "Sent 1 of 4 messages.\nRefused recipients:\nb@x.org: 550-5.1.1 unknown 550 5.1.1 user\n"
                           "Error from " + server + ": 554-5.7.1 refused 554 5.7.1 policy | Send Email ERROR",
                           "Sent 1 of 1 message.\nRefused recipients:\nb@x.org: 550-5.1.1 unknown 550 5.1.1 user"
                           " | Send Email ERROR"}));
    const std::string first = srv.received(0);
    EXPECT_EQ(first.find("RCPT TO:<d@x.org>"), std::string::npos);
    EXPECT_EQ(first.substr(first.size() - 6), "QUIT\r\n");
}

TEST_F(SendMail, FailedConnectionNamesServerAndPortAndThePortDoesNotStick)
{
    results({"a@x.org"}, {"a@x.org"});
    frmMain->Corvina1Click();
    frmOpzioni->EditServer->setText("127.0.0.1:1");
    send();
    frmOpzioni->EditServer->setText("127.0.0.1"); // nothing listens on 25 here
    send();
    EXPECT_EQ(frmEmail->NMSMTP1->Port, 25);
    const auto messages = shown();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind("Cannot connect to the mail server 127.0.0.1 on port 1: ", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1].rfind("Cannot connect to the mail server 127.0.0.1 on port 25: ", 0), 0u) << messages[1];
    EXPECT_EQ(messages[1].substr(messages[1].size() - 19), " | Send Email ERROR");
    EXPECT_FALSE(frmEmail->NMSMTP1->Connected());

    // A text with a NUL byte is not sent cut short.
    frmEmail->Edit1->setPlainText(QStringLiteral("cut") + QChar(0) + QStringLiteral("here"));
    send();
    EXPECT_EQ(shown().back(), "The message text holds a NUL byte: it cannot be sent. | Send Email ERROR");
}

// Check for Updates clicked while the dialog waits for the server's greeting
// (held back until the click is done): a request started inside that wait
// would hold it until its own wait ended, long after the greeting came. The
// menu item is disabled while the mail goes, the handler refuses when called
// all the same, no request is made, and the mail is sent.
TEST_F(SendMail, UpdateCheckDuringTheGreetingWaitStartsNothing)
{
    Script slow = acceptMessages({1});
    slow.insert(slow.begin(), WaitRelease());
    ScriptServer srv({slow});
    useServer(srv.port());
    // Answers at once, so that a check started by mistake ends quickly and
    // shows up as a connection and a message.
    ScriptServer updates({{ReadUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n1.3"), Close()}});
    frmMain->NMHTTP->Proxy = "127.0.0.1";
    frmMain->NMHTTP->ProxyPort = updates.port();
    frmMain->NMHTTP->TimeOut = 5000;
    results({"a@x.org"}, {"a@x.org"});
    frmMain->Corvina1Click();
    frmEmail->EditOggetto->setText("Greetings");
    frmEmail->Edit1->setPlainText("Hi");
    EXPECT_TRUE(frmMain->ControllapresenzadiAggiornamenti1->isEnabled());

    bool fired = false, enabledMeanwhile = true;
    testutil::WhenTrue click([&] { return srv.accepted() == 1; },
                             [&] {
                                 fired = true;
                                 enabledMeanwhile = frmMain->ControllapresenzadiAggiornamenti1->isEnabled();
                                 frmMain->ControllapresenzadiAggiornamenti1->trigger();
                                 frmMain->ControllapresenzadiAggiornamenti1Click();
                                 srv.release();
                             });
    send();
    EXPECT_TRUE(fired) << "the click came during the send";
    ASSERT_TRUE(srv.waitDone(10000));
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_EQ(updates.accepted(), 0);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Operation Completed! | Send Email"}));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\n" + envelope("a@x.org", header("a@x.org") + "Hi\r\n") + "QUIT\r\n");
    EXPECT_TRUE(frmMain->ControllapresenzadiAggiornamenti1->isEnabled());
}
