// The main window's search and harvest buttons: the settings read from the
// Options dialog at the moment of use, what the window shows, the dial-up
// hang-up's message, and closing the window while a page is being fetched.
#include "AppFixture.h"
#include "FakeSessionView.h"

#include "frmMainSessions.h"

#include <QTimer>

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

TEST_F(SearchWindow, HarvestMessagesAndTheHangUpGoThroughTheDesktop)
{
    frmMain->cmdTrovaEmail->click();
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    EXPECT_EQ(desk.Messages.Calls[0].Text, "Must select on 'Siti Trovati' sites to examine");
    EXPECT_EQ(desk.Messages.Calls[0].Caption, "ERROR");
    EXPECT_EQ(text(frmMain->LabelProgress), "0/0");

    ScriptServer srv({Serve("<p>%20info@corvina.example.org</p>")});
    useProxy(srv);
    frmMain->CheckListBoxTrovati->Items->Add("http://s.example/a.html");
    frmMain->CheckListBoxTrovati->SetChecked(0, true);
    frmOpzioni->CheckBoxDisconnRic->setChecked(true);
    frmMain->cmdTrovaEmail->click();
    EXPECT_EQ(text(frmMain->LabelProgress), "1/1");
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
    };
    const std::vector<Row> rows = {
        {"harvest", [] { frmMain->cmdTrovaEmail->click(); }},
        {"looping search", [] { frmMain->cmdCerca->click(); }},
    };
    for (const Row& r : rows) {
        RestartWindows();
        ScriptServer srv({{ReadUntil("\r\n\r\n"), Hold()}, {ReadUntil("\r\n\r\n"), Hold()}});
        useProxy(srv);
        frmMain->NMHTTP->TimeOut = 120000;
        frmOpzioni->RadioGroup2->SetItemIndex(1);
        for (const char* url : {"http://a.example/", "http://b.example/"})
            frmMain->CheckListBoxTrovati->Items->Add(url);
        frmMain->CheckListBoxTrovati->SetChecked(0, true);
        frmMain->CheckListBoxTrovati->SetChecked(1, true);
        frmMain->show();
        bool closed = false;
        QObject::connect(frmMain, &TfrmMain::Closed, [&] { closed = true; });
        QTimer::singleShot(200, [] { frmMain->close(); });
        r.press();
        EXPECT_TRUE(closed) << r.what;
        EXPECT_EQ(srv.accepted(), 1) << r.what << ": no fetch after the close";
        EXPECT_FALSE(frmMain->NMHTTP->Connected()) << r.what;
        EXPECT_TRUE(frmMain->Sessions().Search.StopRequested()) << r.what;
        EXPECT_TRUE(frmMain->Sessions().Harvest.StopRequested()) << r.what;
    }
}
