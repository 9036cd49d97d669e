// The six list-file operations run from the menus: the shared dialogs and
// their filters, the file-name adjustment, the saving format, the resumable
// state after opening a site list, counters, and files that cannot be read
// or written.
#include "AppFixture.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

using ListFileHandlers = AppFixture;
using Texts = std::vector<std::string>;
using Answer = FakeFileDialogs::Answer;

const std::string kFilter = "Text File (*.txt)|*.txt|Windows Address Book File (*.csv)|*.csv";
const std::string kOpenFilter = kFilter + "|All files (*)|*";

std::string text(QLabel* label) { return fromQt(label->text()); }

bool exists(const std::string& path) { return QFileInfo::exists(toQt(path)); }

std::vector<bool> ticks(TCheckListBox* list)
{
    std::vector<bool> out;
    for (int i = 0; i < list->Count(); ++i)
        out.push_back(list->Checked(i));
    return out;
}

// A file dialog that runs something while it is open (as the user could,
// since no dialog blocks the other windows), then answers as the fake does.
class BusyFileDialogs : public IFileDialogs {
public:
    BusyFileDialogs(IFileDialogs& inner, std::function<void()> whileOpen) : inner_(inner), whileOpen_(whileOpen) {}
    bool Execute(QWidget* owner, TFileDialogKind kind, TFileDialogParams& params) override
    {
        whileOpen_();
        return inner_.Execute(owner, kind, params);
    }

private:
    IFileDialogs& inner_;
    std::function<void()> whileOpen_;
};

// The state of the main window that an open must leave alone when it fails.
struct MainState {
    Texts sites, mails;
    std::vector<bool> siteTicks, mailTicks;
    std::string sitesCounter, mailsCounter, succCaption, succHint;
    bool cercaEnabled, succEnabled;

    static MainState now()
    {
        TfrmMain* m = frmMain;
        return {m->CheckListBoxTrovati->Items->Texts(), m->CheckListBoxRisultati->Items->Texts(),
                ticks(m->CheckListBoxTrovati), ticks(m->CheckListBoxRisultati), text(m->LabelTrovati),
                text(m->LabelEmailTrovate), fromQt(m->cmdSucc->text()), fromQt(m->cmdSucc->toolTip()),
                m->cmdCerca->isEnabled(), m->cmdSucc->isEnabled()};
    }
    bool operator==(const MainState&) const = default;
};

void prepare()
{
    TfrmMain* m = frmMain;
    m->CheckListBoxTrovati->Items->Assign({"http://b.it/", "http://a.it/", "http://c.it/"});
    m->CheckListBoxTrovati->SetChecked(1, true);
    m->CheckListBoxRisultati->Items->Assign({"b@x.it", "a@x.it"});
    m->CheckListBoxRisultati->SetChecked(0, true);
    m->LabelTrovati->setText(QStringLiteral("3"));
    m->LabelEmailTrovate->setText(QStringLiteral("2"));
}

} // namespace

TEST_F(ListFileHandlers, SaveSitesWritesTheChosenNameFromBothMenus)
{
    TempDir dir;
    prepare();
    const MainState before = MainState::now();
    int n = 0;
    for (QAction* a : {frmMain->SalvaSitiTrovatisufile1, frmMain->SalvaSitiTrovatisufile2}) {
        SCOPED_TRACE(fromQt(a->objectName()));
        // The site list keeps exactly the chosen name, whatever its ending.
        const std::string name = dir.file("sites" + std::to_string(++n) + ".lst");
        frmMain->SaveDialog.FilterIndex = 2;  // left by an address-book dialog
        desk.Files.NextAnswers.push_back(Answer{name});
        a->trigger();
        ASSERT_FALSE(desk.Files.Calls.empty());
        const auto& call = desk.Files.Calls.back();
        EXPECT_EQ(call.Kind, TFileDialogKind::Save);
        EXPECT_EQ(call.Params.Filter, kFilter);
        EXPECT_EQ(call.Params.FilterIndex, 1) << "a site list is text";
        EXPECT_EQ(readFile(name), "http://a.it/\r\nhttp://b.it/\r\nhttp://c.it/\r\n");
        EXPECT_FALSE(exists(name + ".txt"));
    }
    EXPECT_TRUE(MainState::now() == before) << "saving changes no list, tick, counter or button";

    // Dismissing the dialog writes nothing.
    const std::string never = dir.file("never.txt");
    frmMain->SaveDialog.FileName = never;
    desk.Files.NextAnswers.push_back(std::nullopt);
    frmMain->SalvaSitiTrovatisufile1->trigger();
    EXPECT_FALSE(exists(never));

    // An empty list gives an empty file; replacing an existing file.
    frmMain->CheckListBoxTrovati->Items->Clear();
    desk.Files.NextAnswers.push_back(Answer{dir.file("sites1.lst")});
    frmMain->SalvaSitiTrovatisufile1->trigger();
    EXPECT_TRUE(exists(dir.file("sites1.lst")));
    EXPECT_EQ(readFile(dir.file("sites1.lst")), "");
    ASSERT_EQ(desk.Messages.Calls.size(), 1u) << "replacing is asked about";
    EXPECT_EQ(desk.Messages.Calls[0].Text, "sites1.lst already exists.\nDo you want to replace it?");
}

TEST_F(ListFileHandlers, OpenSitesReplacesTheListAndEntersTheResumableState)
{
    TempDir dir;
    for (int menu = 0; menu < 2; ++menu) {
        RestartWindows();  // fresh buttons each time
        QAction* a = menu == 0 ? frmMain->ApriSitiTrovatidaFile1 : frmMain->ApriSitiTrovatidaFile2;
        SCOPED_TRACE(fromQt(a->objectName()));
        prepare();
        EXPECT_EQ(fromQt(frmMain->cmdSucc->text()), "&Next...");
        frmMain->OpenDialog.FilterIndex = 2;
        writeFile(dir.file("s.txt"), "http://z.it/\r\nhttp://Y.it/\n\rhttp://x.it/\r");
        desk.Files.NextAnswers.push_back(Answer{dir.file("s.txt")});
        a->trigger();
        ASSERT_FALSE(desk.Files.Calls.empty());
        EXPECT_EQ(desk.Files.Calls.back().Kind, TFileDialogKind::Open);
        EXPECT_EQ(desk.Files.Calls.back().Params.Filter, kOpenFilter);
        EXPECT_EQ(desk.Files.Calls.back().Params.FilterIndex, 1) << "a site list is text";
        EXPECT_EQ(frmMain->CheckListBoxTrovati->Items->Texts(),
                  (Texts{"", "http://x.it/", "http://Y.it/", "http://z.it/"}));
        EXPECT_EQ(frmMain->CheckListBoxTrovati->Items->CheckedCount(), 0);
        EXPECT_EQ(text(frmMain->LabelTrovati), "4") << "the blank line counts";
        EXPECT_EQ(fromQt(frmMain->cmdSucc->text()), "Resume...");
        EXPECT_EQ(fromQt(frmMain->cmdSucc->toolTip()), "Resume Searching pages");
        EXPECT_FALSE(frmMain->cmdCerca->isEnabled());
        EXPECT_TRUE(frmMain->cmdSucc->isEnabled()) << "Next keeps its enabled state";
        // The Results list is not touched.
        EXPECT_EQ(frmMain->CheckListBoxRisultati->Items->Texts(), (Texts{"a@x.it", "b@x.it"}));
        EXPECT_EQ(text(frmMain->LabelEmailTrovate), "2");
    }

    // An empty file still gives the resumable state.
    RestartWindows();
    prepare();
    writeFile(dir.file("empty.txt"), "");
    desk.Files.NextAnswers.push_back(Answer{dir.file("empty.txt")});
    frmMain->ApriSitiTrovatidaFile1->trigger();
    EXPECT_EQ(frmMain->CheckListBoxTrovati->Count(), 0);
    EXPECT_EQ(text(frmMain->LabelTrovati), "0");
    EXPECT_EQ(fromQt(frmMain->cmdSucc->text()), "Resume...");
    EXPECT_FALSE(frmMain->cmdCerca->isEnabled());
}

TEST_F(ListFileHandlers, OpenSitesThatFailsOrIsDismissedChangesNothing)
{
    TempDir dir;
    prepare();
    const MainState before = MainState::now();
    // Dismissed.
    desk.Files.NextAnswers.push_back(std::nullopt);
    frmMain->ApriSitiTrovatidaFile1->trigger();
    EXPECT_TRUE(MainState::now() == before);
    // A directory, and a file that is not there: no message, no change.
    // "/proc/self/mem" opens, but reading it fails as a failing disk would.
    for (const std::string& bad :
         {dir.path(), dir.file("missing.txt"), dir.file("no/such/dir.txt"), std::string("/proc/self/mem")}) {
        desk.Files.NextAnswers.push_back(Answer{bad});
        frmMain->ApriSitiTrovatidaFile2->trigger();
        EXPECT_TRUE(MainState::now() == before) << bad;
    }
    EXPECT_EQ(desk.Files.Calls.size(), 5u);
    EXPECT_TRUE(desk.Messages.Calls.empty());
}

TEST_F(ListFileHandlers, SaveAddressesAsTextAdjustsTheNameAndFollowsTheSavingFormat)
{
    TempDir dir;
    prepare();
    const MainState before = MainState::now();
    frmOpzioni->RadioGroup1->SetItemIndex(0);  // columned
    struct Case {
        std::string chosen, written;
    } cases[] = {
        {dir.file("a.txt"), dir.file("a.txt")},
        {dir.file("b.TxT"), dir.file("b.TxT")},
        {dir.file("c"), dir.file("c.txt")},
        {dir.file("d.csv"), dir.file("d.csv.txt")},
        {dir.file("etxt"), dir.file("etxt")},  // only the last three characters count
    };
    for (const Case& c : cases) {
        frmMain->SaveDialog.FilterIndex = 2;
        desk.Files.NextAnswers.push_back(Answer{c.chosen});
        frmMain->SalvalistaemailsuFile1->trigger();
        EXPECT_EQ(desk.Files.Calls.back().Params.FilterIndex, 1) << "filter 1 is preset";
        EXPECT_EQ(desk.Files.Calls.back().Params.Filter, kFilter);
        EXPECT_EQ(readFile(c.written), "a@x.it\r\nb@x.it\r\n") << c.written;
    }
    EXPECT_FALSE(exists(dir.file("c")));
    EXPECT_FALSE(exists(dir.file("d.csv")));

    // The row layout (the context menu item does the same).
    frmOpzioni->RadioGroup1->SetItemIndex(1);
    desk.Files.NextAnswers.push_back(Answer{dir.file("row")});
    frmMain->SalvalistaemailsuFile2->trigger();
    EXPECT_EQ(readFile(dir.file("row.txt")), "a@x.it; b@x.it; ");
    EXPECT_TRUE(MainState::now() == before) << "saving changes no list, tick or counter";

    // The format is read when the file is written, after the dialog closed.
    BusyFileDialogs busy(desk.Files, [] { frmOpzioni->RadioGroup1->SetItemIndex(0); });
    SetFileDialogs(&busy);
    frmOpzioni->RadioGroup1->SetItemIndex(1);
    desk.Files.NextAnswers.push_back(Answer{dir.file("late.txt")});
    frmMain->SalvalistaemailsuFile1->trigger();
    SetFileDialogs(&desk.Files);
    EXPECT_EQ(readFile(dir.file("late.txt")), "a@x.it\r\nb@x.it\r\n");

    // An empty list in the row layout gives an empty file; an entry with
    // blanks and semicolons is written as it is.
    frmOpzioni->RadioGroup1->SetItemIndex(1);
    frmMain->CheckListBoxRisultati->Items->Clear();
    desk.Files.NextAnswers.push_back(Answer{dir.file("none.txt")});
    frmMain->SalvalistaemailsuFile1->trigger();
    EXPECT_TRUE(exists(dir.file("none.txt")));
    EXPECT_EQ(readFile(dir.file("none.txt")), "");

    // Dismissed: nothing written.
    desk.Files.NextAnswers.push_back(std::nullopt);
    frmMain->SalvalistaemailsuFile1->trigger();
    EXPECT_FALSE(exists(dir.file("never.txt")));
    EXPECT_TRUE(desk.Messages.Calls.empty());
}

TEST_F(ListFileHandlers, SavesThatCannotWriteLeaveEverythingAsItWas)
{
    TempDir dir;
    prepare();
    frmMain->CheckListBoxRisultati->SetItemIndex(1);
    const MainState before = MainState::now();
    const int current = frmMain->CheckListBoxRisultati->ItemIndex();
    // A directory, and a name under a missing directory (tests may run as
    // root, for whom permissions would not stop a write).
    const std::string missing = dir.file("gone/list");
    const std::string folder = dir.path() + "/sub.txt";
    QDir().mkpath(toQt(folder));
    const std::string folderCsv = dir.path() + "/sub.csv";
    QDir().mkpath(toQt(folderCsv));
    for (QAction* a : {frmMain->SalvaSitiTrovatisufile1, frmMain->SalvalistaemailsuFile1,
                       frmMain->WindowsAdrdessBookFile1}) {
        SCOPED_TRACE(fromQt(a->objectName()));
        for (const std::string& bad : {missing, a == frmMain->WindowsAdrdessBookFile1 ? folderCsv : folder}) {
            for (int format : {0, 1}) {
                frmOpzioni->RadioGroup1->SetItemIndex(format);
                desk.Files.NextAnswers.push_back(Answer{bad});
                a->trigger();
                EXPECT_TRUE(MainState::now() == before) << bad;
                EXPECT_EQ(frmMain->CheckListBoxRisultati->ItemIndex(), current);
            }
        }
    }
    EXPECT_FALSE(exists(dir.file("gone")));
    EXPECT_TRUE(desk.Messages.Calls.empty());
    // The program is still running and the next save works.
    desk.Files.NextAnswers.push_back(Answer{dir.file("ok")});
    frmMain->WindowsAdrdessBookFile1->trigger();
    EXPECT_EQ(readFile(dir.file("ok.csv")), "Posta elettronica\r\na@x.it\r\nb@x.it\r\n");
}

TEST_F(ListFileHandlers, OpenAddressesFromTextKeepsRowsAndBlankLines)
{
    TempDir dir;
    for (QAction* a : {frmMain->AprilistaemaildaFile1, frmMain->AprilistaemaildaFile2}) {
        SCOPED_TRACE(fromQt(a->objectName()));
        prepare();
        frmMain->OpenDialog.FilterIndex = 2;
        writeFile(dir.file("row.txt"), "z@x.it; y@x.it; ");
        desk.Files.NextAnswers.push_back(Answer{dir.file("row.txt")});
        a->trigger();
        EXPECT_EQ(desk.Files.Calls.back().Params.FilterIndex, 1);
        EXPECT_EQ(desk.Files.Calls.back().Kind, TFileDialogKind::Open);
        EXPECT_EQ(frmMain->CheckListBoxRisultati->Items->Texts(), Texts{"z@x.it; y@x.it; "})
            << "a row loads as one entry";
        EXPECT_EQ(text(frmMain->LabelEmailTrovate), "1");

        writeFile(dir.file("cols.txt"), "k@x.it\r\n\r\nK@x.it\r\n\xe8@x.it\n");
        desk.Files.NextAnswers.push_back(Answer{dir.file("cols.txt")});
        a->trigger();
        EXPECT_EQ(frmMain->CheckListBoxRisultati->Items->Texts(), (Texts{"", "K@x.it", "k@x.it", "\xe8@x.it"}));
        EXPECT_EQ(frmMain->CheckListBoxRisultati->Items->CheckedCount(), 0);
        EXPECT_EQ(text(frmMain->LabelEmailTrovate), "4");
        // Opening addresses leaves the search buttons and the sites alone.
        EXPECT_EQ(fromQt(frmMain->cmdSucc->text()), "&Next...");
        EXPECT_TRUE(frmMain->cmdCerca->isEnabled());
        EXPECT_EQ(frmMain->CheckListBoxTrovati->Count(), 3);
    }
    // Failures and dismissing change nothing.
    prepare();
    const MainState before = MainState::now();
    for (QAction* a : {frmMain->AprilistaemaildaFile1, frmMain->WindowsAdrdessBookFile2}) {
        for (const std::string& bad : {dir.path(), dir.file("missing.csv"), std::string("/proc/self/mem")}) {
            desk.Files.NextAnswers.push_back(Answer{bad});
            a->trigger();
            EXPECT_TRUE(MainState::now() == before) << bad;
        }
        desk.Files.NextAnswers.push_back(std::nullopt);
        a->trigger();
        EXPECT_TRUE(MainState::now() == before);
    }
    EXPECT_TRUE(desk.Messages.Calls.empty());
}

TEST_F(ListFileHandlers, AddressBookRoundTripAndSpreadsheetReading)
{
    TempDir dir;
    prepare();
    TCheckListBox* mails = frmMain->CheckListBoxRisultati;
    mails->Items->Assign({"c@x.it", "A@x.it", "b@x.it"});
    mails->SetChecked(2, true);
    // An edited entry out of sorted order stays where it is after the save.
    mails->Items->SetText(0, "zz@x.it");
    mails->SetItemIndex(0);
    const MainState before = MainState::now();

    frmMain->SaveDialog.FilterIndex = 1;
    desk.Files.NextAnswers.push_back(Answer{dir.file("book")});
    frmMain->WindowsAdrdessBookFile1->trigger();
    EXPECT_EQ(desk.Files.Calls.back().Params.FilterIndex, 2) << "filter 2 is preset";
    EXPECT_EQ(desk.Files.Calls.back().Kind, TFileDialogKind::Save);
    const std::string book = dir.file("book.csv");
    EXPECT_EQ(readFile(book), "Posta elettronica\r\nzz@x.it\r\nb@x.it\r\nc@x.it\r\n");
    EXPECT_TRUE(MainState::now() == before) << "same entries, order and ticks";
    EXPECT_EQ(mails->ItemIndex(), 0);

    // Names already ending in csv, in any case, are kept.
    desk.Files.NextAnswers.push_back(Answer{dir.file("x.CsV")});
    frmMain->WindowsAdrdessBookFile1->trigger();
    EXPECT_TRUE(exists(dir.file("x.CsV")));
    EXPECT_FALSE(exists(dir.file("x.CsV.csv")));
    // The saving format does not apply to the address book.
    frmOpzioni->RadioGroup1->SetItemIndex(1);
    desk.Files.NextAnswers.push_back(Answer{dir.file("y.txt")});
    frmMain->WindowsAdrdessBookFile1->trigger();
    EXPECT_EQ(readFile(dir.file("y.txt.csv")), readFile(book));

    // A spreadsheet-style reader sees one column headed "Posta elettronica".
    const testutil::ProcessResult py = testutil::runProcess(
        "/usr/bin/python3",
        {"-c", "import csv,sys\n"
               "with open(sys.argv[1], newline='') as f:\n"
               "    for row in csv.reader(f):\n"
               "        print(len(row), '|'.join(row))\n"
               "with open(sys.argv[1], newline='') as f:\n"
               "    print([r['Posta elettronica'] for r in csv.DictReader(f)])\n",
         book});
    ASSERT_EQ(py.exitCode, 0) << py.err;
    EXPECT_EQ(py.out, "1 Posta elettronica\n1 zz@x.it\n1 b@x.it\n1 c@x.it\n['zz@x.it', 'b@x.it', 'c@x.it']\n");

    // Loading it back gives the same entries (sorted, unticked) and the
    // counter; the header line is gone.
    mails->Items->Clear();
    frmMain->OpenDialog.FilterIndex = 1;
    desk.Files.NextAnswers.push_back(Answer{book});
    frmMain->WindowsAdrdessBookFile2->trigger();
    EXPECT_EQ(desk.Files.Calls.back().Params.FilterIndex, 2);
    EXPECT_EQ(desk.Files.Calls.back().Kind, TFileDialogKind::Open);
    EXPECT_EQ(mails->Items->Texts(), (Texts{"b@x.it", "c@x.it", "zz@x.it"}));
    EXPECT_EQ(mails->Items->CheckedCount(), 0);
    EXPECT_EQ(text(frmMain->LabelEmailTrovate), "3");

    // Only the first header line goes; lines with several columns are
    // entries as they are; the header test is case-sensitive.
    writeFile(dir.file("multi.csv"), "Nome,Posta elettronica\r\nPosta elettronica\r\nRossi,r@x.it\r\n"
                                     "posta elettronica\r\nPosta elettronica\r\n");
    desk.Files.NextAnswers.push_back(Answer{dir.file("multi.csv")});
    frmMain->WindowsAdrdessBookFile2->trigger();
    EXPECT_EQ(mails->Items->Texts(),
              (Texts{"Nome,Posta elettronica", "Posta elettronica", "posta elettronica", "Rossi,r@x.it"}));
    EXPECT_EQ(text(frmMain->LabelEmailTrovate), "4");

    // A file without a header loses nothing.
    writeFile(dir.file("plain.csv"), "q@x.it\r\np@x.it");
    desk.Files.NextAnswers.push_back(Answer{dir.file("plain.csv")});
    frmMain->WindowsAdrdessBookFile2->trigger();
    EXPECT_EQ(mails->Items->Texts(), (Texts{"p@x.it", "q@x.it"}));
    EXPECT_EQ(text(frmMain->LabelEmailTrovate), "2");
}

TEST_F(ListFileHandlers, EachKindOfListHasItsOwnFilterAndLastFolderAcrossStarts)
{
    TempDir sitesDir, textDir, bookDir;
    prepare();
    const std::string home = FileNameFromQt(QDir::homePath());
    struct Kind {
        const char* name;
        QAction* save;
        QAction* open;
        int filter;
        const TempDir& dir;
        std::string file;
    };
    const auto kinds = [&] {
        return std::vector<Kind>{
            {"sites", frmMain->SalvaSitiTrovatisufile1, frmMain->ApriSitiTrovatidaFile1, 1, sitesDir, "s.txt"},
            {"address text", frmMain->SalvalistaemailsuFile1, frmMain->AprilistaemaildaFile1, 1, textDir, "m.txt"},
            {"address book", frmMain->WindowsAdrdessBookFile1, frmMain->WindowsAdrdessBookFile2, 2, bookDir,
             "book.csv"},
        };
    };
    // At first every dialog starts in the home folder, with its own filter
    // and no name. Each kind then saves into a folder of its own; the others
    // are not moved by it, and a dismissed dialog moves nothing.
    for (const Kind& k : kinds()) {
        SCOPED_TRACE(k.name);
        for (QAction* a : {k.open, k.save}) {
            desk.Files.NextAnswers.push_back(std::nullopt);
            a->trigger();
            EXPECT_EQ(desk.Files.Calls.back().Params.InitialDir, home);
            EXPECT_EQ(desk.Files.Calls.back().Params.FilterIndex, k.filter);
            EXPECT_EQ(desk.Files.Calls.back().Params.FileName, "");
        }
    }
    for (const Kind& k : kinds()) {
        desk.Files.NextAnswers.push_back(Answer{k.dir.file(k.file), 2});
        k.save->trigger();
        ASSERT_TRUE(exists(k.dir.file(k.file))) << k.name;
    }
    // After a restart each kind's dialogs, save and open, start in its own
    // folder, with its own filter, whatever another kind's dialog showed.
    RestartWindows();
    prepare();
    for (const Kind& k : kinds()) {
        SCOPED_TRACE(k.name);
        for (QAction* a : {k.save, k.open}) {
            desk.Files.NextAnswers.push_back(std::nullopt);
            a->trigger();
            const auto& p = desk.Files.Calls.back().Params;
            EXPECT_EQ(p.InitialDir, k.dir.path());
            EXPECT_EQ(p.FilterIndex, k.filter);
            EXPECT_EQ(p.FileName, "") << "no name left from another list";
        }
    }
    // A folder that is gone gives the home folder again.
    const std::string gone = sitesDir.path() + "/gone";
    std::filesystem::create_directories(gone);
    desk.Files.NextAnswers.push_back(Answer{gone + "/x.txt"});
    frmMain->SalvaSitiTrovatisufile1->trigger();
    std::filesystem::remove_all(gone);
    desk.Files.NextAnswers.push_back(std::nullopt);
    frmMain->ApriSitiTrovatidaFile1->trigger();
    EXPECT_EQ(desk.Files.Calls.back().Params.InitialDir, home);
}

TEST_F(ListFileHandlers, ListsWrittenAndReadBackAreTheSame)
{
    TempDir dir;
    TCheckListBox* sites = frmMain->CheckListBoxTrovati;
    TCheckListBox* mails = frmMain->CheckListBoxRisultati;
    const Texts siteTexts = {"http://a.it/?q=1&r=2", "http://A.it/", "http://b.it/ x", "http://b.it/ x"};
    sites->Items->Assign(siteTexts);
    const Texts want = sites->Items->Texts();
    desk.Files.NextAnswers.push_back(Answer{dir.file("s.txt")});
    frmMain->SalvaSitiTrovatisufile1->trigger();
    sites->Items->Clear();
    desk.Files.NextAnswers.push_back(Answer{dir.file("s.txt")});
    frmMain->ApriSitiTrovatidaFile1->trigger();
    EXPECT_EQ(sites->Items->Texts(), want) << "duplicates and blanks survive";

    mails->Items->Assign({"\xe8@x.it", "a@x.it", ""});
    const Texts wantMails = mails->Items->Texts();
    frmOpzioni->RadioGroup1->SetItemIndex(0);
    desk.Files.NextAnswers.push_back(Answer{dir.file("m")});
    frmMain->SalvalistaemailsuFile1->trigger();
    mails->Items->Clear();
    desk.Files.NextAnswers.push_back(Answer{dir.file("m.txt")});
    frmMain->AprilistaemaildaFile1->trigger();
    EXPECT_EQ(mails->Items->Texts(), wantMails);
    EXPECT_EQ(text(frmMain->LabelEmailTrovate), "3");
}

TEST_F(ListFileHandlers, ASaveAsksBeforeReplacingTheFileItWillReallyWrite)
{
    TempDir dir;
    prepare();
    struct Row {
        QAction* action;
        std::string chosen, written;
    };
    const Row rows[] = {
        {frmMain->SalvalistaemailsuFile1, "notes", "notes.txt"},
        {frmMain->SalvalistaemailsuFile1, "notes.TXT", "notes.TXT"},
        {frmMain->WindowsAdrdessBookFile1, "book", "book.csv"},
        {frmMain->SalvaSitiTrovatisufile1, "sites", "sites"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.chosen);
        const std::string target = dir.file(r.written);
        writeFile(target, "precious");
        if (r.written != r.chosen) {
            EXPECT_FALSE(exists(dir.file(r.chosen))) << "the dialog itself sees no file of the chosen name";
        }

        // No: the dialog opens again; dismissing it writes nothing.
        desk.Messages.Calls.clear();
        desk.Messages.NextAnswers = {TModalResult::mrNo};
        desk.Files.Calls.clear();
        desk.Files.NextAnswers = {Answer{dir.file(r.chosen)}, std::nullopt};
        r.action->trigger();
        ASSERT_EQ(desk.Messages.Calls.size(), 1u);
        EXPECT_EQ(desk.Messages.Calls[0].Text, r.written + " already exists.\nDo you want to replace it?");
        EXPECT_EQ(desk.Messages.Calls[0].Buttons, TMsgButtons::YesNo);
        EXPECT_EQ(desk.Files.Calls.size(), 2u) << "No shows the dialog again";
        EXPECT_EQ(readFile(target), "precious");

        // Yes: replaced.
        desk.Messages.NextAnswers = {TModalResult::mrYes};
        desk.Files.NextAnswers = {Answer{dir.file(r.chosen)}};
        r.action->trigger();
        EXPECT_NE(readFile(target), "precious");
    }

    // A new name is not asked about.
    desk.Messages.Calls.clear();
    desk.Files.NextAnswers = {Answer{dir.file("fresh")}};
    frmMain->SalvalistaemailsuFile1->trigger();
    EXPECT_TRUE(exists(dir.file("fresh.txt")));
    EXPECT_TRUE(desk.Messages.Calls.empty());
}

TEST_F(ListFileHandlers, TextBeyondAsciiShowsReadableAndSavesBackByteForByte)
{
    TempDir dir;
    // One UTF-8 line, one Latin-1 line, one line of bytes valid in neither
    // reading as UTF-8.
    const std::string bytes = "caff\xc3\xa8@x.it\r\ncaff\xe8@y.it\r\n\xff\xfe\x80@z.it\r\n";
    writeFile(dir.file("in.txt"), bytes);
    desk.Files.NextAnswers.push_back(Answer{dir.file("in.txt")});
    frmMain->AprilistaemaildaFile1->trigger();
    TCheckListBox* mails = frmMain->CheckListBoxRisultati;
    ASSERT_EQ(mails->Count(), 3);
    auto shown = [mails](int row) { return mails->model()->index(row, 0).data(Qt::DisplayRole).toString(); };
    EXPECT_EQ(shown(0), QString::fromUtf8("caff\xc3\xa8@x.it"));
    EXPECT_EQ(shown(1), QString::fromUtf8("caff\xc3\xa8@y.it"));
    EXPECT_EQ(shown(2), QString::fromLatin1("\xff\xfe\x80@z.it"));

    frmOpzioni->RadioGroup1->SetItemIndex(0);
    desk.Files.NextAnswers.push_back(Answer{dir.file("out.txt")});
    frmMain->SalvalistaemailsuFile1->trigger();
    EXPECT_EQ(readFile(dir.file("out.txt")), bytes);
}
