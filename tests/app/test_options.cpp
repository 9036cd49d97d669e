// The Options dialog: its settings and defaults, and user.dat.
#include "AppFixture.h"

#include "UserDat.h"
#include "frmOpzioni.h"

#include "Classes.h"
#include "Engines.h"
#include "frmMainSessions.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QTabBar>
#include <QTest>
#include <QDir>
#include <QLineEdit>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

using Options = AppFixture;

std::vector<std::string> mailFields()
{
    return {fromQt(frmOpzioni->EditServer->text()), fromQt(frmOpzioni->EditNome->text()),
            fromQt(frmOpzioni->EditIndirizzo->text()), fromQt(frmOpzioni->EditMittente->text())};
}

using V = std::vector<std::string>;

} // namespace

TEST_F(Options, SettingsStartFromTheirDefaults)
{
    EXPECT_EQ(frmOpzioni->windowTitle(), "Options");
    ASSERT_EQ(frmOpzioni->PageControl1->count(), 4);
    EXPECT_EQ(frmOpzioni->PageControl1->tabText(0), "Saving");
    EXPECT_EQ(frmOpzioni->PageControl1->tabText(1), "E-mail");
    EXPECT_EQ(frmOpzioni->PageControl1->tabText(2), "Search");
    EXPECT_EQ(frmOpzioni->PageControl1->tabText(3), "Engines");
    EXPECT_EQ(frmOpzioni->PageControl1->currentIndex(), 2);

    EXPECT_EQ(frmOpzioni->RadioGroup1->title(), "Saving Format");
    ASSERT_EQ(frmOpzioni->RadioGroup1->Count(), 2);
    EXPECT_EQ(frmOpzioni->RadioGroup1->Item(0)->text(), "Columned");
    EXPECT_EQ(frmOpzioni->RadioGroup1->Item(1)->text(), "On Row with Separator");
    EXPECT_EQ(frmOpzioni->RadioGroup1->ItemIndex(), 1);
    EXPECT_EQ(frmOpzioni->EditSeparatore->text(), ";");
    EXPECT_EQ(frmOpzioni->LabelSeparatore->text(), "Separator");

    EXPECT_EQ(frmOpzioni->GroupBox1->title(), "Outgoing E-mail");
    EXPECT_EQ(mailFields(), V(4));
    EXPECT_EQ(frmOpzioni->LabelServer->text(), "Outgoing E-mail Server");
    EXPECT_EQ(frmOpzioni->LabelNome->text(), "User ID");
    EXPECT_EQ(frmOpzioni->LabelIndirizzo->text(), "Email Address");
    EXPECT_EQ(frmOpzioni->LabelMittente->text(), "Sender Name");
    EXPECT_EQ(frmOpzioni->EditServer->accessibleName(), "Outgoing E-mail Server");
    EXPECT_EQ(frmOpzioni->CheckBoxNascondi->text(), "Hide recipients addresses");
    EXPECT_TRUE(frmOpzioni->CheckBoxNascondi->isChecked());

    EXPECT_EQ(frmOpzioni->RadioGroup2->title(), "Search Options");
    ASSERT_EQ(frmOpzioni->RadioGroup2->Count(), 3);
    EXPECT_EQ(frmOpzioni->RadioGroup2->Item(0)->text(), "Automatic Search (search for pages and emails)");
    EXPECT_EQ(frmOpzioni->RadioGroup2->Item(1)->text(), "Search All pages");
    EXPECT_EQ(frmOpzioni->RadioGroup2->Item(2)->text(), "Search for max 15 pages each time");
    EXPECT_EQ(frmOpzioni->RadioGroup2->ItemIndex(), 2);
    // Each item is found by its own name.
    EXPECT_EQ(frmOpzioni->findChild<QRadioButton*>("RadioGroup1_Item1"), frmOpzioni->RadioGroup1->Item(1));
    EXPECT_EQ(frmOpzioni->findChild<QRadioButton*>("RadioGroup2_Item2"), frmOpzioni->RadioGroup2->Item(2));
    EXPECT_EQ(frmOpzioni->CheckBoxTestoSemplice->text(), "Search only in plain text files (*.html, *.txt)");
    EXPECT_FALSE(frmOpzioni->CheckBoxTestoSemplice->isChecked());
    EXPECT_EQ(frmOpzioni->CheckBoxDisconnRic->text(), "Disconnect on search end");
    EXPECT_FALSE(frmOpzioni->CheckBoxDisconnRic->isChecked());
    EXPECT_EQ(frmOpzioni->CheckBoxTuttiIndirizzi->text(), "Keep every address found, also under unknown domains");
    EXPECT_FALSE(frmOpzioni->CheckBoxTuttiIndirizzi->isChecked());
    EXPECT_EQ(frmOpzioni->LabelNumMax->text(), "Max Pages to Search");
    EXPECT_EQ(frmOpzioni->EditNumMax->text(), "50");
    EXPECT_EQ(frmOpzioni->LabelTimeOut->text(), "Search TimeOut (msec.)");
    EXPECT_EQ(frmOpzioni->EditTimeOut->text(), "10000");
    EXPECT_EQ(frmOpzioni->LabelPausa->text(), "Delay between requests to one host (s)");
    EXPECT_EQ(frmOpzioni->EditPausa->text(), "1");
    EXPECT_EQ(frmOpzioni->LabelDominio->text(), "Search only on this domain");
    EXPECT_EQ(frmOpzioni->LabelDominioEsempio->text(), "(ex   .com )");
    EXPECT_TRUE(frmOpzioni->EditDominio->text().isEmpty());
    EXPECT_EQ(frmOpzioni->EditSearxng->text(), "http://127.0.0.1:8888/");
    EXPECT_TRUE(frmOpzioni->EditMojeekKey->text().isEmpty());
    EXPECT_EQ(frmOpzioni->BitBtn1->text(), "OK");
    EXPECT_TRUE(frmOpzioni->BitBtn1->isDefault());

    // Without user.dat nothing is written until OK.
    EXPECT_FALSE(QFileInfo::exists(toQt(UserDat())));
}

TEST(UserDatFile, LinesBecomeFieldsWithoutTheirLineEnds)
{
    EXPECT_EQ(ParseUserDat(""), (TUserDatValues{}));
    EXPECT_EQ(ParseUserDat("smtp.x.it\r\n"), (TUserDatValues{"smtp.x.it", "", "", ""}));
    EXPECT_EQ(ParseUserDat("a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n"), (TUserDatValues{"a", "b", "c", "d"}));
    // A last line without a line end keeps every character.
    EXPECT_EQ(ParseUserDat("a\r\nb\r\nc\r\nname"), (TUserDatValues{"a", "b", "c", "name"}));
    EXPECT_EQ(ParseUserDat("x"), (TUserDatValues{"x", "", "", ""}));
    // LF alone ends a line as well; blanks and bytes above 127 are kept.
    EXPECT_EQ(ParseUserDat("a b \n\n\xe8\xe9\n"), (TUserDatValues{"a b ", "", "\xe8\xe9", ""}));
    EXPECT_EQ(FormatUserDat({"s", "", "a@b.it", "N"}), "s\r\n\r\na@b.it\r\nN\r\n");
    const TUserDatValues round{"smtp", "", "me@x.it", "Me \xe0"};
    EXPECT_EQ(ParseUserDat(FormatUserDat(round)), round);
}

class OptionsWithFile : public AppFixture {
protected:
    void BeforeStartup() override { WriteUserDat(Contents()); }
    virtual std::string Contents() const = 0;
};

class OptionsOneLine : public OptionsWithFile {
    std::string Contents() const override { return "mail.example.org\r\n"; }
};
TEST_F(OptionsOneLine, FillsOnlyTheMailServer)
{
    EXPECT_EQ(mailFields(), (V{"mail.example.org", "", "", ""}));
}

class OptionsLongFile : public OptionsWithFile {
    std::string Contents() const override { return "s\r\nu\r\na@x.it\r\nSender\r\nfifth\r\nsixth\r\n"; }
};
TEST_F(OptionsLongFile, IgnoresLinesAfterTheFourth)
{
    EXPECT_EQ(mailFields(), (V{"s", "u", "a@x.it", "Sender"}));
}

class OptionsNoFinalLineEnd : public OptionsWithFile {
    std::string Contents() const override { return "s\r\nu\r\na@x.it\r\nSender"; }
};
TEST_F(OptionsNoFinalLineEnd, KeepsTheWholeLastLine)
{
    EXPECT_EQ(mailFields(), (V{"s", "u", "a@x.it", "Sender"}));
}

TEST_F(Options, OkWritesTheFileAndARestartBringsItBack)
{
    const std::string longest(253, 'w');
    frmOpzioni->EditServer->setText(toQt(longest));
    frmOpzioni->EditNome->setText("");
    frmOpzioni->EditIndirizzo->setText("me@example.org");
    frmOpzioni->EditMittente->setText(QString::fromUtf8("Ren\xc3\xa9 \xc5\x81\xc3\xb3" "d\xc5\xba"));
    frmOpzioni->show();
    frmOpzioni->BitBtn1->click();
    EXPECT_FALSE(frmOpzioni->isVisible());
    // Typed text beyond ASCII is written as UTF-8, not as "?".
    EXPECT_EQ(testutil::readFile(UserDat()),
              longest + "\r\n\r\nme@example.org\r\nRen\xc3\xa9 \xc5\x81\xc3\xb3" "d\xc5\xba\r\n");

    // A longer value cannot be typed: it would not fit the file's lines.
    frmOpzioni->EditNome->setText(toQt(std::string(300, 'u')));
    EXPECT_EQ(frmOpzioni->EditNome->text().size(), 253);
    frmOpzioni->EditMittente->setText(toQt(std::string(254, 'm')));
    EXPECT_EQ(frmOpzioni->EditMittente->text().size(), 253);

    EXPECT_FALSE(QFileInfo::exists(toQt(OldUserDat()))) << "a program folder that can be written to keeps none";

    RestartWindows();
    EXPECT_EQ(mailFields(), (V{longest, "", "me@example.org", "Ren\xc3\xa9 \xc5\x81\xc3\xb3" "d\xc5\xba"}));
    // The other settings are back at their defaults.
    EXPECT_TRUE(frmOpzioni->CheckBoxNascondi->isChecked());
    EXPECT_EQ(frmOpzioni->EditTimeOut->text(), "10000");
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 10000);
}

TEST_F(Options, OkCopiesTheTimeOutOnlyWhenItIsANumber)
{
    frmOpzioni->show();
    frmOpzioni->EditTimeOut->setText("30000");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 30000);
    EXPECT_FALSE(frmOpzioni->isVisible());

    // Empty: the time-out stays as it was, the dialog closes.
    frmOpzioni->show();
    frmOpzioni->EditTimeOut->setText("");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 30000);
    EXPECT_FALSE(frmOpzioni->isVisible());

    // Not a number: refused with a message before anything is written; the
    // dialog stays open and the time-out unchanged.
    frmOpzioni->show();
    frmOpzioni->EditServer->setText("after.example.org");
    frmOpzioni->EditTimeOut->setText("10 s");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 30000);
    EXPECT_TRUE(frmOpzioni->isVisible());
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    EXPECT_EQ(desk.Messages.Calls[0].Text, kTimeOutRefused);
    EXPECT_EQ(desk.Messages.Calls[0].Caption, "ERROR");
    EXPECT_EQ(ParseUserDat(testutil::readFile(UserDat()))[0], "");
    frmOpzioni->EditTimeOut->setText("30000");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(ParseUserDat(testutil::readFile(UserDat()))[0], "after.example.org");
    frmOpzioni->show();

    // Closing by the title bar neither writes nor applies anything, but the
    // values stay in force for this run.
    frmOpzioni->EditTimeOut->setText("5000");
    frmOpzioni->CheckBoxNascondi->setChecked(false);
    frmOpzioni->EditServer->setText("unsaved.example.org");
    frmOpzioni->close();
    EXPECT_FALSE(frmOpzioni->isVisible());
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 30000);
    EXPECT_EQ(ParseUserDat(testutil::readFile(UserDat()))[0], "after.example.org");
    frmMain->OpzionidiSalvataggio1->trigger();
    EXPECT_FALSE(frmOpzioni->CheckBoxNascondi->isChecked());
    EXPECT_EQ(frmOpzioni->EditServer->text(), "unsaved.example.org");
}

// A program directory that cannot be written to (here: it is not a
// directory at all, which stops even a privileged user): nothing changes
// for user.dat, which lives in the configuration folder.
class OptionsReadOnlyProgramDir : public AppFixture {
protected:
    void BeforeStartup() override { testutil::writeFile(programDir.file("bin"), "not a directory"); }
    std::string ProgramFile() const override { return programDir.path() + "/bin/corvina"; }
};

TEST_F(OptionsReadOnlyProgramDir, AFileThatCannotBeWrittenClosesTheDialogSilently)
{
    // The configuration directory cannot be made either.
    testutil::writeFile(config.file("blocked"), "x");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.file("blocked")));
    frmOpzioni->show();
    frmOpzioni->EditServer->setText("smtp.example.org");
    frmOpzioni->EditTimeOut->setText("20000");
    frmOpzioni->BitBtn1->click();
    EXPECT_FALSE(frmOpzioni->isVisible());
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 10000) << "nothing saved, nothing applied";
    EXPECT_TRUE(desk.Messages.Calls.empty());
}

TEST(UserDatLocation, AnOldFileBesideTheProgramMovesOnceIntoTheConfigurationFolder)
{
    struct Row {
        const char* name;
        const char* old;     // beside the program; nullptr: none
        const char* config;  // in the configuration folder; nullptr: none
        const char* read;    // the mail server read; nullptr: nothing read
        bool oldStays;
    };
    const Row rows[] = {
        {"old only: moved", "old.example.org\r\nid\r\n", nullptr, "old.example.org", false},
        {"config only", nullptr, "config.example.org\r\n", "config.example.org", false},
        {"both: the configuration one wins, the old stays", "old.example.org\r\n", "config.example.org\r\n",
         "config.example.org", true},
        {"neither", nullptr, nullptr, nullptr, false},
    };
    // As the program names itself at start (this test may run alone).
    QCoreApplication::setApplicationName(QStringLiteral("Corvina"));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        // Folders named in letters beyond ASCII, as the file system holds them.
        testutil::TempDir root;
        const std::string prog = root.path() + "/Programmi \xc3\xa8 \xd0\x94/";
        const std::string conf = root.path() + "/\xd0\x94\xd0\xbc\xd0\xb8\xd1\x82\xd1\x80\xd0\xb8\xd0\xb9";
        ASSERT_EQ(::mkdir(prog.c_str(), 0755), 0);
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(conf));
        ASSERT_EQ(UserDatConfigPath(), conf + "/Corvina/user.dat");
        if (r.old)
            testutil::writeFile(prog + "user.dat", r.old);
        if (r.config) {
            QDir().mkpath(toQt(conf + "/Corvina"));
            testutil::writeFile(UserDatConfigPath(), r.config);
        }
        TUserDatValues v;
        EXPECT_EQ(LoadUserDat(prog, v), r.read != nullptr);
        if (r.read) {
            EXPECT_EQ(v[0], r.read);
        }
        struct stat st {};
        EXPECT_EQ(::stat((prog + "user.dat").c_str(), &st) == 0, r.oldStays);
        if (r.oldStays) {
            EXPECT_EQ(testutil::readFile(prog + "user.dat"), r.old) << "left as it was";
        }
        if (r.old && !r.config) {
            EXPECT_EQ(testutil::readFile(UserDatConfigPath()), r.old) << "moved byte for byte";
        }
        // Once moved, a second start reads the same from the configuration
        // folder.
        TUserDatValues again;
        EXPECT_EQ(LoadUserDat(prog, again), r.read != nullptr);
        EXPECT_EQ(again, v);
    }
    qunsetenv("XDG_CONFIG_HOME");
}

// A program run from the build tree, whose folder holds a user.dat of an
// older build: the E-mail page shows it, and from then on it lives with the
// user.
class OptionsOldUserDat : public AppFixture {
protected:
    void BeforeStartup() override { testutil::writeFile(OldUserDat(), "old.example.org\r\n\r\nme@x.it\r\n\r\n"); }
};
TEST_F(OptionsOldUserDat, IsReadAndMovedToTheConfigurationFolder)
{
    EXPECT_EQ(mailFields(), (V{"old.example.org", "", "me@x.it", ""}));
    EXPECT_FALSE(QFileInfo::exists(toQt(OldUserDat())));
    frmOpzioni->EditServer->setText("new.example.org");
    frmOpzioni->BitBtn1->click();
    EXPECT_FALSE(QFileInfo::exists(toQt(OldUserDat())));
    EXPECT_EQ(testutil::readFile(UserDat()), "new.example.org\r\n\r\nme@x.it\r\n\r\n");
    RestartWindows();
    EXPECT_EQ(mailFields(), (V{"new.example.org", "", "me@x.it", ""}));
}

TEST(UserDatLocation, ANameChosenInADialogReachesTheFileStreamsUnchanged)
{
    testutil::TempDir root;
    const QString chosen = toQt(root.path()) + QString::fromUtf8("/lista \xc3\xa8 \xd0\x94.txt");
    { TFileStream f(FileNameFromQt(chosen), fmCreate); }
    EXPECT_TRUE(QFileInfo::exists(chosen));
    EXPECT_EQ(FileNameToQt(FileNameFromQt(chosen)), chosen);
}

TEST_F(Options, TextBoxesHoldOneLine)
{
    // A pasted text with line breaks gives its first line, as in any
    // single-line box: user.dat keeps one line per value, and the next start
    // brings every value back to its own field.
    QApplication::clipboard()->setText("smtp.example.org\r\nsecond line");
    frmOpzioni->EditServer->paste();
    EXPECT_EQ(frmOpzioni->EditServer->text(), "smtp.example.org");
    frmOpzioni->EditNome->setText("user");
    frmOpzioni->EditNome->setCursorPosition(2);
    frmOpzioni->EditNome->insert("XY\nZ");
    EXPECT_EQ(frmOpzioni->EditNome->text(), "usXYer") << "what stood after the cursor stays";
    frmOpzioni->EditIndirizzo->setText("me@example.org\n");
    frmOpzioni->EditMittente->setText("Me\rX");
    frmOpzioni->EditDominio->setText(".it\r\nHost: x");
    EXPECT_EQ(frmOpzioni->EditDominio->text(), ".it");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(testutil::readFile(UserDat()), "smtp.example.org\r\nusXYer\r\nme@example.org\r\nMe\r\n");
    RestartWindows();
    EXPECT_EQ(mailFields(), (V{"smtp.example.org", "usXYer", "me@example.org", "Me"}));

    // The key words and the engine selector of the main window likewise.
    QApplication::clipboard()->setText("corvi\r\nneri");
    frmMain->EditParolaChiave->lineEdit()->paste();
    EXPECT_EQ(frmMain->EditParolaChiave->currentText(), "corvi");
    frmMain->EditMotore->setEditText(toQt(kGoogleEntry) + "\n/x");
    EXPECT_EQ(fromQt(frmMain->EditMotore->currentText()), kGoogleEntry);

    // And the word to search for, the modified entry and the mail subject:
    // a line break there would split a list entry or a header line.
    QApplication::clipboard()->setText("rossi\r\nbianchi");
    frmCercaParola->EditParola->paste();
    EXPECT_EQ(frmCercaParola->EditParola->text(), "rossi");
    frmModificaSel->Edit1->paste();
    EXPECT_EQ(frmModificaSel->Edit1->text(), "rossi");
    frmEmail->EditOggetto->paste();
    EXPECT_EQ(frmEmail->EditOggetto->text(), "rossi");
}

class OptionsLatin1File : public OptionsWithFile {
public:
    std::string Contents() const override { return "smtp.example.org\r\nid\r\nJos\xe9@x.it\r\nJos\xe9 P\xe9rez\r\n"; }
};
TEST_F(OptionsLatin1File, ShowsLatin1ValuesAndWritesThemBackUnchanged)
{
    EXPECT_EQ(frmOpzioni->EditMittente->text(), QString::fromUtf8("Jos\xc3\xa9 P\xc3\xa9rez"));
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(testutil::readFile(UserDat()), Contents()) << "an unedited file stays byte for byte";
    frmOpzioni->EditMittente->setText(QString::fromUtf8("Jos\xc3\xa9"));
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(ParseUserDat(testutil::readFile(UserDat()))[3], "Jos\xc3\xa9") << "an edited value is UTF-8";
    EXPECT_EQ(ParseUserDat(testutil::readFile(UserDat()))[2], "Jos\xe9@x.it");
}

TEST_F(Options, TheTimeOutConvertsOnlyAsADecimalWholeNumber)
{
    struct Row {
        const char* text;
        int timeOut;  // -1: refused with a message, nothing written, the dialog stays open
    };
    const Row rows[] = {
        {"30000", 30000}, {"+2500", 2500}, {"0", 0},     {"2147483647", 2147483647},
        {"$7530", -1},    {"0x7530", -1},  {"0X7530", -1}, {" 30000", -1}, {"30000 ", -1},
        {"3e4", -1},      {"-5", -1},      {"99999999999", -1}, {"2147483648", -1},
    };
    for (const Row& r : rows) {
        frmMain->NMHTTP->TimeOut = 10000;
        testutil::writeFile(UserDat(), "before\r\n");
        desk.Messages.Calls.clear();
        frmOpzioni->show();
        frmOpzioni->EditServer->setText("after");
        frmOpzioni->EditTimeOut->setText(QString::fromLatin1(r.text));
        frmOpzioni->BitBtn1->click();
        const bool refused = r.timeOut < 0;
        EXPECT_EQ(frmMain->NMHTTP->TimeOut, refused ? 10000 : r.timeOut) << r.text;
        EXPECT_EQ(frmOpzioni->isVisible(), refused) << r.text;
        EXPECT_EQ(desk.Messages.Calls.size(), refused ? 1u : 0u) << r.text;
        EXPECT_EQ(ParseUserDat(testutil::readFile(UserDat()))[0], refused ? "before" : "after") << r.text;
    }
}

TEST_F(Options, SearchAndSavingSettingsComeBackAfterOkAndARestart)
{
    const std::string userDatBefore = "s\r\n\r\n\r\n\r\n";
    frmOpzioni->RadioGroup1->SetItemIndex(0);
    frmOpzioni->EditSeparatore->setText(",");
    frmOpzioni->RadioGroup2->SetItemIndex(0);
    frmOpzioni->CheckBoxTestoSemplice->setChecked(true);
    frmOpzioni->CheckBoxDisconnRic->setChecked(true);
    frmOpzioni->CheckBoxTuttiIndirizzi->setChecked(true);
    frmOpzioni->EditNumMax->setText("7");
    frmOpzioni->EditTimeOut->setText("25000");
    frmOpzioni->EditPausa->setText("2.5");
    frmOpzioni->EditDominio->setText(".it");
    frmOpzioni->CheckBoxNascondi->setChecked(false);
    frmOpzioni->EditServer->setText("s");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(testutil::readFile(UserDat()), userDatBefore) << "user.dat keeps only the mail fields";
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(SettingsFilePath())));
    EXPECT_EQ(SettingsFilePath().rfind(config.path(), 0), 0u) << "kept in the user's configuration directory";

    RestartWindows();
    EXPECT_EQ(frmOpzioni->RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(frmOpzioni->EditSeparatore->text(), ",");
    EXPECT_EQ(frmOpzioni->RadioGroup2->ItemIndex(), 0);
    EXPECT_TRUE(frmOpzioni->CheckBoxTestoSemplice->isChecked());
    EXPECT_TRUE(frmOpzioni->CheckBoxDisconnRic->isChecked());
    EXPECT_TRUE(frmOpzioni->CheckBoxTuttiIndirizzi->isChecked());
    EXPECT_EQ(frmOpzioni->EditNumMax->text(), "7");
    EXPECT_EQ(frmOpzioni->EditTimeOut->text(), "25000");
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 25000) << "the client follows the time-out shown";
    EXPECT_EQ(frmOpzioni->EditPausa->text(), "2.5");
    EXPECT_EQ(frmOpzioni->EditDominio->text(), ".it");
    EXPECT_TRUE(frmOpzioni->CheckBoxNascondi->isChecked()) << "hiding recipients starts ticked every run";

    // Changes closed by the title bar are not written.
    frmOpzioni->EditNumMax->setText("99");
    frmOpzioni->close();
    RestartWindows();
    EXPECT_EQ(frmOpzioni->EditNumMax->text(), "7");
}

TEST_F(Options, TheLongestWaitForOnePageReachesTheClientAndComesBack)
{
    EXPECT_EQ(frmOpzioni->LabelAttesaPagina->text(), "Longest wait for one page");
    EXPECT_EQ(frmOpzioni->EditAttesaPagina->accessibleName(), "Longest wait for one page");
    EXPECT_EQ(frmOpzioni->EditAttesaPagina->text(), "60");
    EXPECT_EQ(frmMain->NMHTTP->PageDeadline, 60000);

    // Not a whole number of seconds that fits: refused with its message, the
    // client keeps its deadline and the dialog stays open.
    for (const char* text : {"1 min", "1.5", "-1", "2147484"}) {
        desk.Messages.Calls.clear();
        frmOpzioni->show();
        frmOpzioni->EditAttesaPagina->setText(text);
        frmOpzioni->BitBtn1->click();
        EXPECT_TRUE(frmOpzioni->isVisible()) << text;
        ASSERT_EQ(desk.Messages.Calls.size(), 1u) << text;
        EXPECT_EQ(desk.Messages.Calls[0].Text, kPageWaitRefused);
        EXPECT_EQ(frmMain->NMHTTP->PageDeadline, 60000) << text;
    }

    frmOpzioni->EditAttesaPagina->setText("90");
    frmOpzioni->BitBtn1->click();
    EXPECT_FALSE(frmOpzioni->isVisible());
    EXPECT_EQ(frmMain->NMHTTP->PageDeadline, 90000);
    RestartWindows();
    EXPECT_EQ(frmOpzioni->EditAttesaPagina->text(), "90");
    EXPECT_EQ(frmMain->NMHTTP->PageDeadline, 90000) << "the client follows the value shown";

    // 0 is no limit; a value edited by hand that is not valid gives the default.
    frmOpzioni->EditAttesaPagina->setText("0");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(frmMain->NMHTTP->PageDeadline, 0);
    StopWindows();
    testutil::writeFile(SettingsFilePath(), "[Search]\nPageDeadline=99999999\n");
    StartWindows();
    EXPECT_EQ(frmOpzioni->EditAttesaPagina->text(), "60");
    EXPECT_EQ(frmMain->NMHTTP->PageDeadline, 60000);
}

TEST_F(Options, ASettingsFileWithBadValuesLeavesTheDefaultsAndTheMailFields)
{
    for (const char* timeOut : {"$7530", "99999999999", "-5", "2147483648"}) {
        StopWindows();
        QDir().mkpath(QFileInfo(QString::fromStdString(SettingsFilePath())).absolutePath());
        testutil::writeFile(SettingsFilePath(), std::string("[Saving]\nFormat=7\n[Search]\nMode=-1\nMaxPages=9\nTimeOut=") +
                                                    timeOut + "\n");
        testutil::writeFile(UserDat(), "smtp.example.org\r\nid\r\nme@example.org\r\nMe\r\n");
        StartWindows();
        EXPECT_EQ(frmOpzioni->RadioGroup1->ItemIndex(), 1) << timeOut;
        EXPECT_EQ(frmOpzioni->RadioGroup2->ItemIndex(), 2) << timeOut;
        EXPECT_EQ(frmOpzioni->EditNumMax->text(), "9") << timeOut;
        EXPECT_EQ(frmOpzioni->EditTimeOut->text(), "10000") << timeOut;
        EXPECT_EQ(frmMain->NMHTTP->TimeOut, 10000) << timeOut;
        EXPECT_EQ(mailFields(), (V{"smtp.example.org", "id", "me@example.org", "Me"})) << timeOut;
        // OK now writes the mail fields back, not empty ones.
        frmOpzioni->BitBtn1->click();
        EXPECT_EQ(testutil::readFile(UserDat()), "smtp.example.org\r\nid\r\nme@example.org\r\nMe\r\n") << timeOut;
    }
}

TEST_F(Options, TabOnEveryPageReachesOkThroughNamedStopsOnly)
{
    const QStringList pages{"Saving", "E-mail", "Search", "Engines"};
    for (int page = 0; page < 4; ++page) {
        SCOPED_TRACE(pages[page].toStdString());
        frmOpzioni->PageControl1->setCurrentIndex(page);
        frmOpzioni->show();
        frmOpzioni->activateWindow();
        QApplication::setActiveWindow(frmOpzioni);
        ASSERT_TRUE(QTest::qWaitForWindowActive(frmOpzioni, 20000));
        frmOpzioni->PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
        bool reachedOk = false;
        QWidget* first = QApplication::focusWidget();
        ASSERT_NE(first, nullptr);
        QWidget* w = first;
        for (int step = 0; step < 20; ++step) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(iface, nullptr);
            EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty())
                << "unnamed stop: " << w->metaObject()->className() << " " << w->objectName().toStdString();
            reachedOk = reachedOk || w == frmOpzioni->BitBtn1;
            QTest::keyClick(w, Qt::Key_Tab);
            w = QApplication::focusWidget();
            ASSERT_NE(w, nullptr);
            if (w == first)
                break;
        }
        EXPECT_TRUE(reachedOk);
        EXPECT_EQ(w, first) << "the Tab cycle comes round";
    }
}

// The engines' settings: kept in the settings file (not user.dat) by OK, back
// after a restart, and read by the search as they are at the moment of use.
TEST_F(Options, EngineSettingsComeBackAfterOkAndAreReadAtTheMomentOfUse)
{
    frmOpzioni->EditSearxng->setText("http://10.1.2.3:8080/searx/");
    frmOpzioni->EditMojeekKey->setText("k3y-value");
    EXPECT_EQ(frmOpzioni->EditMojeekKey->echoMode(), QLineEdit::PasswordEchoOnEdit) << "the key is not shown";
    EXPECT_EQ(SessionSettings().SearxngAddress, "http://10.1.2.3:8080/searx/") << "in force before OK";
    EXPECT_EQ(SessionSettings().MojeekKey, "k3y-value");
    frmOpzioni->BitBtn1->click();
    EXPECT_EQ(testutil::readFile(UserDat()).find("k3y"), std::string::npos);
    RestartWindows();
    EXPECT_EQ(frmOpzioni->EditSearxng->text(), "http://10.1.2.3:8080/searx/");
    EXPECT_EQ(frmOpzioni->EditMojeekKey->text(), "k3y-value");
    frmOpzioni->EditMojeekKey->clear();
    EXPECT_EQ(SessionSettings().MojeekKey, "");
}

TEST_F(Options, TabReachesEveryFieldOfThePageShownInOrder)
{
    using Stops = std::vector<QWidget*>;
    // A radio group is one stop (Tab enters it at its chosen item).
    const auto stopOf = [](QWidget* w) -> QWidget* {
        for (TRadioGroup* g : {frmOpzioni->RadioGroup1, frmOpzioni->RadioGroup2})
            if (g->isAncestorOf(w))
                return g;
        if (frmOpzioni->PageControl1->isAncestorOf(w) && !frmOpzioni->PageControl1->currentWidget()->isAncestorOf(w))
            return frmOpzioni->PageControl1;
        return w;
    };
    TfrmOpzioni* o = frmOpzioni;
    const std::pair<int, Stops> pages[] = {
        {0, {o->PageControl1, o->RadioGroup1, o->EditSeparatore, o->BitBtn1}},
        {1, {o->PageControl1, o->EditServer, o->EditNome, o->EditIndirizzo, o->EditMittente, o->CheckBoxNascondi,
             o->BitBtn1}},
        {2, {o->PageControl1, o->RadioGroup2, o->CheckBoxTestoSemplice, o->CheckBoxDisconnRic,
             o->CheckBoxTuttiIndirizzi, o->EditNumMax, o->EditTimeOut, o->EditAttesaPagina, o->EditPausa,
             o->SpinSitiInsieme,
             o->EditDominio, o->BitBtn1}},
        {3, {o->PageControl1, o->EditSearxng, o->EditMojeekKey, o->BitBtn1}},
    };
    o->show();
    QApplication::setActiveWindow(o);
    ASSERT_TRUE(QTest::qWaitForWindowActive(o, 20000));
    for (const auto& [page, want] : pages) {
        SCOPED_TRACE(page);
        o->PageControl1->setCurrentIndex(page);
        o->PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
        Stops got;
        for (int step = 0; step < 30; ++step) {
            QWidget* w = QApplication::focusWidget();
            ASSERT_NE(w, nullptr);
            QWidget* stop = stopOf(w);
            if (!got.empty() && stop == got.front())
                break;
            got.push_back(stop);
            QTest::keyClick(w, Qt::Key_Tab);
        }
        const auto names = [](const Stops& stops) {
            std::vector<std::string> out;
            for (QWidget* w : stops)
                out.push_back(w->objectName().toStdString());
            return out;
        };
        EXPECT_EQ(names(got), names(want));
    }
}
