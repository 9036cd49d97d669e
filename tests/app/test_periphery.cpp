// Visit Web Page, Online Help and the update check.
#include "AppFixture.h"

#include "CorvinaInfo.h"
#include "ScriptServer.h"
#include "frmHelp.h"
#include "frmLog.h"
#include "frmMainPeriphery.h"
#include "RunLog.h"

#include <QDir>
#include <QTest>
#include <QLocale>
#include <QTextBrowser>
#include <QUrl>

using namespace testnet;

namespace {

using Periphery = AppFixture;

} // namespace

TEST_F(Periphery, VisitWebPageOpensOnlyTheCurrentWebAddress)
{
    struct Row {
        const char* entry;
        bool opened;
    };
    const Row rows[] = {
        {"http://www.example.com/page.htm", true},
        {"HTTPS://secure.example.com/", true},
        {"file:///etc/passwd", false},
        {"/usr/bin/xterm", false},
        {"javascript:alert(1)", false},
        {"ftp://files.example.com/", false},
        {"mailto:someone@example.com", false},
        {"http://", false},
        {"www.example.com", false},
    };
    TCheckListModel& items = *frmMain->CheckListBoxTrovati->Items;
    for (const Row& r : rows) {
        items.Clear();
        items.Add("http://aaa.example.com/");
        items.Add(r.entry);
        items.Add("http://zzz.example.com/");
        items.Flush();
        for (int i = 0; i < items.Count(); ++i)
            if (items.Text(i) == r.entry)
                items.SetItemIndex(i);
        desk.Links.Opened.clear();
        frmMain->VisitaPaginaWeb1->trigger();
        frmMain->VisitaPaginaWeb2->trigger();  // the context menu's item
        if (r.opened)
            EXPECT_EQ(desk.Links.Opened, std::vector<std::string>(2, r.entry)) << r.entry;
        else
            EXPECT_TRUE(desk.Links.Opened.empty()) << r.entry;
    }

    // No current entry: nothing.
    items.SetItemIndex(-1);
    desk.Links.Opened.clear();
    frmMain->VisitaPaginaWeb1->trigger();
    EXPECT_TRUE(desk.Links.Opened.empty());
    EXPECT_TRUE(desk.Messages.Calls.empty());
}

TEST(HelpPage, TheInstalledPageIsOpenedAndTheWebPageOtherwise)
{
    testutil::TempDir prefix;
    testutil::TempDir emptyData;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(emptyData.path()));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(emptyData.path()));
    const std::string bin = prefix.path() + "/bin/";
    QDir().mkpath(QString::fromStdString(bin));
    EXPECT_EQ(HelpPageAddress(bin), kOnlineHelpPage);

    const std::string page = prefix.path() + "/" + std::string(kHelpPageRelative);
    QDir().mkpath(QFileInfo(QString::fromStdString(page)).absolutePath());
    testutil::writeFile(page, "<html></html>");
    const QUrl url(QString::fromStdString(HelpPageAddress(bin)));
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toLocalFile().toStdString(), page);

    // Found through the system's data folders too.
    testutil::writeFile(page, "<html></html>");
    const std::string shareDir = prefix.path() + "/share";
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(shareDir));
    EXPECT_EQ(QUrl(QString::fromStdString(HelpPageAddress("/nowhere/bin/"))).toLocalFile().toStdString(), page);
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_DIRS");
}

TEST_F(Periphery, OnlineHelpOpensTheHelpPageBuiltBesideTheProgram)
{
    // The build tree keeps the help page where an installation keeps it.
    frmMain->ProgramDir = QCoreApplication::applicationDirPath().toStdString() + "/../src/app/";
    frmMain->HelpinLinea1->trigger();
    ASSERT_EQ(desk.Links.Opened.size(), 1u);
    const QUrl url(QString::fromStdString(desk.Links.Opened[0]));
    ASSERT_TRUE(url.isLocalFile()) << desk.Links.Opened[0];
    EXPECT_TRUE(testutil::readFile(url.toLocalFile().toStdString()).find("Corvina Help") != std::string::npos);
}

TEST(UpdateVersion, ReadsADecimalNumberWithBlanksAndLineEndsAround)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_FLOAT_EQ(UpdateVersionOf("1.4"), 1.4f);
    EXPECT_FLOAT_EQ(UpdateVersionOf("1.4\n"), 1.4f);
    EXPECT_FLOAT_EQ(UpdateVersionOf("1.4\r\n"), 1.4f);
    EXPECT_FLOAT_EQ(UpdateVersionOf("  2 \t\r\n"), 2.0f);
    for (const char* bad : {"abc", "1.4beta", "1.4\n1.5", "<html>", "\n"})
        EXPECT_THROW(UpdateVersionOf(bad), EConvertError) << bad;
    // A comma locale reads its own form, and a file written with a point.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    EXPECT_FLOAT_EQ(UpdateVersionOf("1,4"), 1.4f);
    EXPECT_FLOAT_EQ(UpdateVersionOf("1.4"), 1.4f);
    QLocale::setDefault(QLocale::c());
}

TEST_F(Periphery, UpdateCheckAsksOnlyForANewerVersion)
{
    QLocale::setDefault(QLocale::c());
    struct Row {
        std::string body;
        // The box shown ("" for none) and, for the question, the answer.
        std::string message;
        TModalResult answer;
        bool opensHomePage;
    };
    const std::string question = "There are Updates! Do you want to go to the Web Site?";
    const std::string none = "There are no Updates!";
    const Row rows[] = {
        {"1.3", none, TModalResult::mrOk, false},
        {"1.2", none, TModalResult::mrOk, false},
        {"", none, TModalResult::mrOk, false},
        {"1.4", question, TModalResult::mrYes, true},
        {"1.4", question, TModalResult::mrNo, false},
        {"1.4\r\n", question, TModalResult::mrYes, true},
        {"1.30001\n", question, TModalResult::mrNo, false},
        {"not a number", "", TModalResult::mrOk, false},
    };
    for (const Row& r : rows) {
        ScriptServer srv({{ReadUntil("\r\n\r\n"),
                           Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(r.body.size()) + "\r\n\r\n" +
                                r.body),
                           Close()}});
        frmMain->NMHTTP->Proxy = "127.0.0.1";
        frmMain->NMHTTP->ProxyPort = srv.port();
        desk.Messages.Calls.clear();
        desk.Links.Opened.clear();
        desk.Messages.NextAnswers = {r.answer};
        frmMain->ControllapresenzadiAggiornamenti1->trigger();
        ASSERT_TRUE(srv.waitDone(5000));
        EXPECT_EQ(srv.received(0).substr(0, srv.received(0).find("\r\n")),
                  "GET http://" + std::string(kUpdateFileAddress) + " HTTP/1.0");
        if (r.message.empty()) {
            EXPECT_TRUE(desk.Messages.Calls.empty()) << r.body;
        } else {
            ASSERT_EQ(desk.Messages.Calls.size(), 1u) << r.body;
            EXPECT_EQ(desk.Messages.Calls[0].Text, r.message);
            EXPECT_EQ(desk.Messages.Calls[0].Caption, "Corvina Update");
            EXPECT_EQ(desk.Messages.Calls[0].Buttons, r.message == question ? TMsgButtons::YesNo : TMsgButtons::OK);
        }
        if (r.opensHomePage)
            EXPECT_EQ(desk.Links.Opened, std::vector<std::string>{std::string(kMakerHomePage)}) << r.body;
        else
            EXPECT_TRUE(desk.Links.Opened.empty()) << r.body;
    }
}

TEST_F(Periphery, AFailedUpdateRequestShowsNothing)
{
    ScriptServer srv({{ReadUntil("\r\n\r\n"), Reset()}});
    frmMain->NMHTTP->Proxy = "127.0.0.1";
    frmMain->NMHTTP->ProxyPort = srv.port();
    frmMain->ControllapresenzadiAggiornamenti1->trigger();
    srv.waitDone(5000);
    EXPECT_TRUE(desk.Messages.Calls.empty());
    EXPECT_TRUE(desk.Links.Opened.empty());
}

// A failed check says so in the status bar and in Help > Show Log..., with
// the address it asked; still no message box.
TEST_F(Periphery, AFailedUpdateCheckIsShownInTheStatusBarAndTheLog)
{
    TRunLog::Install();
    TRunLog::Clear();
    ScriptServer srv({{ReadUntil("\r\n\r\n"), Reset()}});
    frmMain->NMHTTP->Proxy = "127.0.0.1";
    frmMain->NMHTTP->ProxyPort = srv.port();
    frmMain->ControllapresenzadiAggiornamenti1->trigger();
    srv.waitDone(5000);
    const QString expected = QStringLiteral("update check from %1 failed").arg(QLatin1String(kUpdateFileAddress));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return frmMain->LabelUltimoErrore->text().contains(QStringLiteral("Connection reset by peer")); }, 5000))
        << frmMain->LabelUltimoErrore->text().toStdString();
    EXPECT_TRUE(desk.Messages.Calls.empty());

    frmMain->ShowLog1->trigger();
    auto* log = frmMain->findChild<TfrmLog*>(QStringLiteral("frmLog"));
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isVisible());
    EXPECT_TRUE(log->LogText->toPlainText().contains(QStringLiteral("corvina.app: ") + expected))
        << log->LogText->toPlainText().toStdString();
    log->hide();
}

// A desktop with no web browser: Visit Web Page and the update check's home
// page say so (and the log keeps it); Online Help offers the installed page
// in the program's own viewer, or only says so when no page is installed.
TEST_F(Periphery, WithoutABrowserTheLinksSaySoAndHelpOffersItsOwnViewer)
{
    TRunLog::Install();
    TRunLog::Clear();
    desk.Links.Opens = false;
    TCheckListModel& items = *frmMain->CheckListBoxTrovati->Items;
    items.Add("http://www.example.com/page.htm");
    items.Flush();
    items.SetItemIndex(0);
    frmMain->VisitaPaginaWeb1->trigger();
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    const std::string visit = "No web browser was found to open http://www.example.com/page.htm.";
    EXPECT_EQ(desk.Messages.Calls[0].Text, visit);
    EXPECT_EQ(desk.Messages.Calls[0].Caption, "Corvina");
    const auto entries = TRunLog::Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().Category, "corvina.app");
    EXPECT_EQ(entries.back().Text, visit);

    // The installed page: No leaves it, Yes shows it in the viewer.
    frmMain->ProgramDir = QCoreApplication::applicationDirPath().toStdString() + "/../src/app/";
    for (TModalResult answer : {TModalResult::mrNo, TModalResult::mrYes}) {
        desk.Messages.Calls.clear();
        desk.Messages.NextAnswers = {answer};
        frmMain->HelpinLinea1->trigger();
        ASSERT_EQ(desk.Messages.Calls.size(), 1u);
        const auto& box = desk.Messages.Calls[0];
        EXPECT_EQ(box.Buttons, TMsgButtons::YesNo);
        EXPECT_EQ(box.Caption, "Corvina Help");
        EXPECT_EQ(box.Text.rfind("No web browser was found to open file://", 0), 0u) << box.Text;
        EXPECT_NE(box.Text.find("Show the help page in Corvina's own viewer?"), std::string::npos) << box.Text;
        auto* help = frmMain->findChild<TfrmHelp*>(QStringLiteral("frmHelp"));
        if (answer == TModalResult::mrNo) {
            EXPECT_TRUE(help == nullptr || !help->isVisible());
            continue;
        }
        ASSERT_NE(help, nullptr);
        EXPECT_TRUE(help->isVisible());
        auto* browser = help->findChild<QTextBrowser*>(QStringLiteral("TextBrowser1"));
        ASSERT_NE(browser, nullptr);
        EXPECT_TRUE(browser->source().isLocalFile());
        EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Corvina Help")));
        EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Searching")));
        help->hide();
    }

    // No page installed: only the page on the web, so only the message.
    testutil::TempDir emptyData;
    testutil::SavedEnv env({"XDG_DATA_HOME", "XDG_DATA_DIRS"});
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(emptyData.path()));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(emptyData.path()));
    frmMain->ProgramDir = emptyData.path() + "/bin/";
    desk.Messages.Calls.clear();
    frmMain->HelpinLinea1->trigger();
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    EXPECT_EQ(desk.Messages.Calls[0].Text, "No web browser was found to open " + std::string(kOnlineHelpPage) + ".");
    EXPECT_EQ(desk.Messages.Calls[0].Buttons, TMsgButtons::OK);
}
