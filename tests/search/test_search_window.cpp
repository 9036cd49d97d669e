// The main window's search and harvest buttons: the settings read from the
// Options dialog at the moment of use, what the window shows, the dial-up
// hang-up's message, and closing the window while a page is being fetched.
#include "AppFixture.h"
#include "FakeSessionView.h"

#include "frmMainSessions.h"

#include <QDeadlineTimer>
#include <QStatusBar>

using namespace testnet;
using namespace enginetest;

namespace {

class SearchWindow : public AppFixture {
protected:
    void useProxy(const ScriptServer& srv)
    {
        frmMain->NMHTTP->Proxy = "127.0.0.1";
        frmMain->NMHTTP->ProxyPort = srv.port();
    }
    std::string text(QLabel* label) { return fromQt(label->text()); }
};

} // namespace

TEST_F(SearchWindow, SearchStopAndNewSearchThroughTheButtons)
{
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 9, "1.230")), Serve(ResultPage(TEngine::Google, 9, 3))});
    useProxy(srv);
    frmOpzioni->EditDominio->setText(".it");
    frmMain->EditParolaChiave->setEditText("corvi neri");
    frmMain->cmdCerca->click();
    EXPECT_EQ(text(frmMain->LabelTrovati), "9");
    EXPECT_EQ(text(frmMain->LabelTotPag), "1230");
    EXPECT_EQ(frmMain->ProgressBar2->maximum(), 1230);
    EXPECT_EQ(frmMain->ProgressBar2->value(), 9);
    EXPECT_EQ(frmMain->EditParolaChiave->count(), 1);
    frmMain->cmdSucc->click();
    EXPECT_EQ(text(frmMain->LabelTrovati), "12");
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLine(srv, 1), "GET http://www.google.com/search?as_q=corvi+neri&as_sitesearch=.it&start=9 HTTP/1.0");

    frmMain->BitBtn1->click();
    EXPECT_EQ(frmMain->cmdSucc->text(), "Resume...");
    EXPECT_EQ(frmMain->cmdSucc->toolTip(), "Resume Searching pages");
    EXPECT_FALSE(frmMain->cmdCerca->isEnabled());
    EXPECT_TRUE(frmMain->cmdSucc->isEnabled());

    frmMain->cmdNuovaRic->click();
    EXPECT_EQ(frmMain->CheckListBoxTrovati->Count(), 0);
    EXPECT_EQ(frmMain->EditParolaChiave->currentText(), "");
    EXPECT_EQ(text(frmMain->LabelTrovati), "0");
    EXPECT_EQ(text(frmMain->LabelTotPag), "0");
    EXPECT_EQ(text(frmMain->LabelProgress), "0");
    EXPECT_EQ(frmMain->cmdSucc->text(), "&Next...");
    EXPECT_EQ(frmMain->cmdSucc->toolTip(), "Search next pages");
    EXPECT_TRUE(frmMain->cmdCerca->isEnabled());
}

TEST_F(SearchWindow, SettingsAreReadFromTheOptionsDialogWhenUsed)
{
    const struct {
        int item;
        TSearchMode mode;
    } modes[] = {{0, TSearchMode::Automatic}, {1, TSearchMode::AllPages}, {2, TSearchMode::MaxPagesEachTime}};
    for (const auto& m : modes) {
        frmOpzioni->RadioGroup2->SetItemIndex(m.item);
        EXPECT_EQ(SessionSettings().Mode, m.mode);
    }
    EXPECT_EQ(SessionSettings().MaxPages, "50");
    EXPECT_EQ(SessionSettings().DelaySeconds, 1.0);
    // A delay that is no number of seconds counts as the default.
    for (const char* bad : {"", "soon", "-2", "inf"}) {
        frmOpzioni->EditPausa->setText(QString::fromLatin1(bad));
        EXPECT_EQ(SessionSettings().DelaySeconds, 1.0) << bad;
    }
    frmOpzioni->EditPausa->setText(" 0.25 ");
    EXPECT_EQ(SessionSettings().DelaySeconds, 0.25);
    frmOpzioni->EditNumMax->setText("7");
    frmOpzioni->CheckBoxTestoSemplice->setChecked(true);
    frmOpzioni->CheckBoxDisconnRic->setChecked(true);
    EXPECT_FALSE(SessionSettings().KeepAllAddresses);
    frmOpzioni->CheckBoxTuttiIndirizzi->setChecked(true);
    const TSessionSettings s = SessionSettings();
    EXPECT_EQ(s.MaxPages, "7");
    EXPECT_TRUE(s.PlainTextOnly);
    EXPECT_TRUE(s.DisconnectOnEnd);
    EXPECT_TRUE(s.KeepAllAddresses);
}

// A JSON engine from the selector: its address from Options at the moment of
// the query, its refusal shown in the error box and the action ended quietly.
TEST_F(SearchWindow, AJsonEngineTakesItsAddressFromOptionsAndShowsARefusal)
{
    ScriptServer srv({Serve(R"({"number_of_results": 40, "results": [{"url": "http://a.example/"}]})"),
                      {ReadUntil("\r\n\r\n"), Send("HTTP/1.0 403 Forbidden\r\n\r\nForbidden"), Close()}});
    useProxy(srv);
    frmMain->EditMotore->setCurrentIndex(2);
    frmOpzioni->EditSearxng->setText("http://sx.example:8080");
    frmMain->EditParolaChiave->setEditText("corvi");
    frmMain->cmdCerca->click();
    EXPECT_EQ(text(frmMain->LabelTrovati), "1");
    EXPECT_EQ(text(frmMain->LabelTotPag), "40");
    frmMain->cmdSucc->click();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLine(srv, 1), "GET http://sx.example:8080/search?q=corvi&format=json&pageno=2 HTTP/1.0");
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    EXPECT_NE(desk.Messages.Calls[0].Text.find("search: formats: [html, json]"), std::string::npos);
    EXPECT_EQ(desk.Messages.Calls[0].Caption, "ERROR");
    EXPECT_EQ(text(frmMain->LabelTrovati), "1");
    EXPECT_TRUE(frmMain->cmdSucc->isEnabled());
}

TEST_F(SearchWindow, HarvestMessagesAndTheHangUpGoThroughTheDesktop)
{
    frmMain->cmdTrovaEmail->click();
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    EXPECT_EQ(desk.Messages.Calls[0].Text, "Must select on 'Siti Trovati' sites to examine");
    EXPECT_EQ(desk.Messages.Calls[0].Caption, "ERROR");
    EXPECT_EQ(text(frmMain->LabelProgress), "0/0");

    ScriptServer srv({Robots("User-agent: *\nDisallow: /private/\n"), Serve("<p>%20info@corvina.example.org</p>")});
    useProxy(srv);
    frmOpzioni->EditPausa->setText(QStringLiteral("0"));
    frmMain->CheckListBoxTrovati->Items->Add("http://s.example/private/b.html");
    frmMain->CheckListBoxTrovati->Items->Add("http://s.example/a.html");
    frmMain->CheckListBoxTrovati->SetChecked(0, true);
    frmMain->CheckListBoxTrovati->SetChecked(1, true);
    frmOpzioni->CheckBoxDisconnRic->setChecked(true);
    frmMain->cmdTrovaEmail->click();
    EXPECT_EQ(text(frmMain->LabelProgress), "2/2");
    // The site robots.txt refuses is told in the status bar; every request
    // names the program.
    EXPECT_EQ(frmMain->statusBar()->currentMessage(), QStringLiteral("Skipped: 1 robots.txt"));
    ASSERT_TRUE(srv.waitDone(5000));
    ASSERT_EQ(RequestLines(srv), (std::vector<std::string>{"GET http://s.example/robots.txt HTTP/1.0",
                                                          "GET http://s.example/a.html HTTP/1.0"}));
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(srv.received(i).find("\r\nUser-Agent: Corvina/"), std::string::npos) << srv.received(i);
    EXPECT_EQ(text(frmMain->LabelEmailTrovate), "1");
    EXPECT_EQ(frmMain->CheckListBoxRisultati->Items->Texts(), std::vector<std::string>{"info@corvina.example.org"});
    EXPECT_EQ(desk.DialUp.Calls, std::vector<std::string>{"enum"});
    ASSERT_EQ(desk.Messages.Calls.size(), 2u);
    EXPECT_EQ(desk.Messages.Calls[1].Text, "There are no active connections.");
    EXPECT_EQ(desk.Messages.Calls[1].Caption, "Corvina");
    EXPECT_EQ(desk.Messages.Calls[1].Buttons, TMsgButtons::OK);
}

TEST_F(SearchWindow, ChangingTheEngineMovesTheFocusToTheKeyWords)
{
    frmMain->show();
    frmMain->activateWindow();
    QApplication::processEvents();
    frmMain->EditMotore->setFocus();
    frmMain->EditMotore->setEditText("http://www.google.co");
    EXPECT_TRUE(frmMain->EditParolaChiave->hasFocus());
    EXPECT_EQ(frmMain->CheckListBoxTrovati->Count(), 0);
}

// Closing the window while a page is being fetched stops the session and ends
// the wait at once, so the program does not linger without a window.
TEST_F(SearchWindow, ClosingTheWindowDuringAFetchEndsTheWaitAndStopsBothSessions)
{
    struct Row {
        const char* what;
        std::function<void()> press;
        int sitesAtOnce;
        int connections; // made before the close, none after it
    };
    const std::vector<Row> rows = {
        {"harvest", [] { frmMain->cmdTrovaEmail->click(); }, 1, 1},
        {"harvest, two sites at once", [] { frmMain->cmdTrovaEmail->click(); }, 2, 2},
        {"looping search", [] { frmMain->cmdCerca->click(); }, 1, 1},
    };
    for (const Row& r : rows) {
        RestartWindows();
        ScriptServer srv({{ReadUntil("\r\n\r\n"), Hold()}, {ReadUntil("\r\n\r\n"), Hold()}});
        useProxy(srv);
        frmMain->NMHTTP->TimeOut = 120000;
        frmOpzioni->RadioGroup2->SetItemIndex(1);
        frmOpzioni->SpinSitiInsieme->setValue(r.sitesAtOnce);
        for (const char* url : {"http://a.example/", "http://b.example/"})
            frmMain->CheckListBoxTrovati->Items->Add(url);
        frmMain->CheckListBoxTrovati->SetChecked(0, true);
        frmMain->CheckListBoxTrovati->SetChecked(1, true);
        frmMain->show();
        bool closed = false;
        QObject::connect(frmMain, &TfrmMain::Closed, [&] { closed = true; });
        // Once every fetch has its connection (the server plays them one at
        // a time, so the second waits in the listening queue); a program that
        // never makes them all is closed after a while, and fails below.
        const QDeadlineTimer giveUp(20000);
        testutil::WhenTrue close([&] { return srv.connected() == r.connections || giveUp.hasExpired(); },
                                 [] { frmMain->close(); });
        r.press();
        EXPECT_TRUE(closed) << r.what;
        // The close ended the first connection; the server then takes any
        // other that was made.
        testutil::waitUntil([&] { return srv.accepted() >= r.connections; });
        EXPECT_EQ(srv.accepted(), r.connections) << r.what << ": no fetch after the close";
        EXPECT_FALSE(frmMain->NMHTTP->Connected()) << r.what;
        EXPECT_TRUE(frmMain->Sessions().Search.StopRequested()) << r.what;
        EXPECT_TRUE(frmMain->Sessions().Harvest.StopRequested()) << r.what;
    }
}

// Search Email pressed while a search waits for its result page: the
// program is busy, so the press starts nothing. (Before, the harvest ran
// inside the search's wait: each site's fetch was refused with "Request in
// progress", counted as examined, and the previous page's address was
// scanned again into Results.)
TEST_F(SearchWindow, SearchEmailPressedDuringASearchFetchStartsNothing)
{
    ScriptServer srv({ServeHeld(ResultPage(TEngine::Google, 0, 3))});
    useProxy(srv);
    TCheckListModel& sites = *frmMain->CheckListBoxTrovati->Items;
    for (const char* s : {"http://a.example.org/", "http://b.example.org/", "http://c.example.org/"})
        sites.Add(s);
    for (int i = 0; i < sites.Count(); ++i)
        sites.SetChecked(i, true);
    frmMain->EditSorgente->SetText("scrivete a vecchia@pagina.example.org");
    frmMain->EditParolaChiave->setEditText("corvi neri");

    bool pressed = false, enabledDuringFetch = true, enabledBefore = false;
    enabledBefore = frmMain->cmdTrovaEmail->isEnabled();
    // While the result page is being fetched (its answer waits for the presses).
    testutil::WhenTrue press([&] { return srv.accepted() == 1; },
                             [&] {
                                 pressed = true;
                                 enabledDuringFetch = frmMain->cmdTrovaEmail->isEnabled() ||
                                                      frmMain->cmdSucc->isEnabled() || frmMain->cmdCerca->isEnabled() ||
                                                      frmMain->ControllapresenzadiAggiornamenti1->isEnabled();
                                 frmMain->cmdTrovaEmail->click();
                                 frmMain->cmdTrovaEmailClick(); // even past the disabled button
                                 frmMain->ControllapresenzadiAggiornamenti1Click();
                                 srv.release();
                             });
    frmMain->cmdCerca->click();
    ASSERT_TRUE(srv.waitDone(5000));

    ASSERT_TRUE(pressed);
    EXPECT_TRUE(enabledBefore);
    EXPECT_FALSE(enabledDuringFetch);
    EXPECT_EQ(srv.accepted(), 1) << "a site or the update file was fetched during the search";
    EXPECT_EQ(text(frmMain->LabelProgress), "0");
    EXPECT_EQ(frmMain->CheckListBoxRisultati->Count(), 0);
    EXPECT_EQ(text(frmMain->LabelTrovati), "6");
    // Free again: the buttons are as the search left them.
    EXPECT_TRUE(frmMain->cmdTrovaEmail->isEnabled());
    EXPECT_TRUE(frmMain->cmdCerca->isEnabled());
    EXPECT_TRUE(frmMain->cmdSucc->isEnabled());
}
