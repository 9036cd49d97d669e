// The main window as the program starts: controls, menus, keys.
#include "AppFixture.h"

#include "Engines.h"
#include "frmMainSessions.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QContextMenuEvent>
#include <QTest>

#include <tuple>

#include <unistd.h>

namespace {

using MainWindow = AppFixture;

QAction* action(const char* name)
{
    auto* a = frmMain->findChild<QAction*>(QLatin1String(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

void press(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(w, &up);
}

} // namespace

TEST_F(MainWindow, StartsEmptyWithCountersAtZeroAndAllButtonsEnabled)
{
    EXPECT_EQ(frmMain->windowTitle(), "Corvina");
    EXPECT_TRUE(frmMain->isVisible());
    EXPECT_TRUE(frmMain->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(frmMain->CheckListBoxTrovati->Count(), 0);
    EXPECT_EQ(frmMain->CheckListBoxRisultati->Count(), 0);
    EXPECT_EQ(frmMain->CheckListBoxTrovati->ItemIndex(), -1);
    EXPECT_EQ(frmMain->EditSorgente->Length(), 0);
    EXPECT_FALSE(frmMain->EditSorgente->isVisible());
    EXPECT_TRUE(frmMain->EditSorgente->HorzScrollBar && frmMain->EditSorgente->VertScrollBar);
    for (QLabel* counter : {frmMain->LabelTrovati, frmMain->LabelTotPag, frmMain->LabelEmailTrovate, frmMain->LabelProgress})
        EXPECT_EQ(counter->text(), "0") << counter->objectName().toStdString();
    for (QProgressBar* bar : {frmMain->ProgressBar1, frmMain->ProgressBar2}) {
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 100);
        EXPECT_EQ(bar->value(), 0);
    }
    EXPECT_EQ(frmMain->NMHTTP->TimeOut, 10000);

    EXPECT_EQ(frmMain->EditMotore->count(), 4);
    EXPECT_EQ(fromQt(frmMain->EditMotore->itemText(0)), kGoogleEntry);
    EXPECT_EQ(fromQt(frmMain->EditMotore->itemText(1)), kAltaVistaEntry);
    EXPECT_EQ(fromQt(frmMain->EditMotore->itemText(2)), kSearxngEntry);
    EXPECT_EQ(fromQt(frmMain->EditMotore->itemText(3)), kMojeekEntry);
    EXPECT_EQ(fromQt(frmMain->EditMotore->currentText()), kGoogleEntry);
    EXPECT_TRUE(frmMain->EditMotore->isEditable());
    EXPECT_EQ(frmMain->EditParolaChiave->count(), 0);
    EXPECT_TRUE(frmMain->EditParolaChiave->currentText().isEmpty());
    EXPECT_TRUE(frmMain->EditParolaChiave->isEditable());

    // The dialogs exist and stay hidden.
    for (QWidget* w : std::initializer_list<QWidget*>{frmOpzioni, frmAbout, frmEmail, frmCercaParola, frmModificaSel}) {
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    }
    ASSERT_NE(frmSplash, nullptr);
    EXPECT_FALSE(frmSplash->isVisible());
}

TEST_F(MainWindow, ButtonsCarryCaptionHintPictureAndHandCursor)
{
    struct Row {
        const char* name;
        const char* caption;
        const char* hint;
    };
    const Row rows[] = {
        {"cmdCerca", "&Search !", "Search for sites containing key words"},
        {"cmdSucc", "&Next...", "Search next pages"},
        {"cmdNuovaRic", "New Search", "New Search"},
        {"BitBtn1", "Stop Search", "Stop searching pages"},
        {"cmdTrovaEmail", "Search &Email", "Search for Email in Founded Sites"},
        {"BitBtn2", "Stop SearchEmail", "Stop searching Email"},
    };
    for (const Row& r : rows) {
        auto* b = frmMain->findChild<QPushButton*>(QLatin1String(r.name));
        ASSERT_NE(b, nullptr) << r.name;
        EXPECT_EQ(b->text().toStdString(), r.caption);
        EXPECT_EQ(b->toolTip().toStdString(), r.hint);
        EXPECT_TRUE(b->isEnabled()) << r.name;
        EXPECT_FALSE(b->icon().isNull()) << r.name;
        EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor) << r.name;
    }
    EXPECT_TRUE(frmMain->cmdCerca->isDefault());
    ASSERT_FALSE(frmMain->Image1->pixmap().isNull());
    EXPECT_EQ(frmMain->Image1->pixmap().size(), QSize(338, 62));

    // Controls are found by their names, and labelled for assistive tools.
    for (const char* name : {"EditMotore", "EditParolaChiave", "CheckListBoxTrovati", "CheckListBoxRisultati",
                             "ProgressBar1", "ProgressBar2", "LabelTrovati", "LabelTotPag", "LabelEmailTrovate",
                             "LabelProgress", "EditSorgente"})
        EXPECT_NE(frmMain->findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(frmMain->EditMotore->accessibleName(), "Search Engine");
    EXPECT_EQ(frmMain->EditParolaChiave->accessibleName(), "Key Words");
    EXPECT_EQ(frmMain->CheckListBoxTrovati->accessibleName(), "Founded Sites");
    EXPECT_EQ(frmMain->CheckListBoxRisultati->accessibleName(), "Search Results");
    EXPECT_EQ(frmMain->LabelSitiTrovati->buddy(), frmMain->CheckListBoxTrovati);
    EXPECT_EQ(frmMain->LabelParolaChiave->buddy(), frmMain->EditParolaChiave);
    EXPECT_EQ(frmMain->ProgressBar2->accessibleName(), "Scanning");
    EXPECT_EQ(frmMain->ProgressBar1->accessibleName(), "Search Progression");
    // Each counter is labelled by the caption before it.
    EXPECT_EQ(frmMain->LabelFounded1->buddy(), frmMain->LabelTrovati);
    EXPECT_EQ(frmMain->LabelTotalPages->buddy(), frmMain->LabelTotPag);
    EXPECT_EQ(frmMain->LabelFounded2->buddy(), frmMain->LabelEmailTrovate);
    EXPECT_EQ(frmMain->LabelExaminedPages->buddy(), frmMain->LabelProgress);
}

TEST_F(MainWindow, TheCommandBandKeepsItsPlaceWhenButtonsOfferAResume)
{
    frmMain->show();
    QApplication::processEvents();
    auto places = [] {
        std::vector<QRect> r;
        for (QWidget* w : std::initializer_list<QWidget*>{frmMain->cmdCerca, frmMain->cmdSucc, frmMain->cmdNuovaRic,
                                                          frmMain->BitBtn1, frmMain->cmdTrovaEmail, frmMain->BitBtn2,
                                                          frmMain->Image1})
            r.push_back(w->geometry());
        return r;
    };
    const std::vector<QRect> before = places();
    frmMain->Sessions().View.NextOffersResume();
    frmMain->Sessions().View.HarvestOffersResume();
    QApplication::processEvents();
    EXPECT_EQ(frmMain->cmdTrovaEmail->text(), "Resume Search");
    EXPECT_EQ(places(), before);
    for (QPushButton* b : {frmMain->cmdSucc, frmMain->cmdTrovaEmail})
        EXPECT_GE(b->width(), b->sizeHint().width()) << "caption cut: " << b->text().toStdString();
}

TEST(Gauge, ShowsNothingToCountAsEmptyAndAnOverrunAsFull)
{
    struct Row {
        int maximum, position;
        int shownMaximum, shownValue;
    };
    const Row rows[] = {
        {113, 10, 113, 10},
        {113, 120, 113, 113}, // more sites than the engine's total
        {0, 0, 1, 0},         // nothing ticked: no busy indicator
        {0, 10, 1, 0},        // no total read from the page
    };
    for (const Row& r : rows) {
        QProgressBar bar;
        bar.setValue(50);
        SetGauge(&bar, r.maximum, r.position);
        EXPECT_EQ(bar.minimum(), 0);
        EXPECT_EQ(bar.maximum(), r.shownMaximum) << r.maximum << " " << r.position;
        EXPECT_EQ(bar.value(), r.shownValue) << r.maximum << " " << r.position;
    }
    QProgressBar bar;
    SetGauge(&bar, 20, 5);
    SetGaugePosition(&bar, 30);
    EXPECT_EQ(bar.value(), 20);
}

TEST_F(MainWindow, SearchEmailWithNothingTickedLeavesAStillEmptyBar)
{
    frmMain->cmdTrovaEmail->click();
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    EXPECT_EQ(desk.Messages.Calls[0].Text, "Must select on 'Siti Trovati' sites to examine");
    EXPECT_EQ(frmMain->ProgressBar1->value(), 0);
    EXPECT_GT(frmMain->ProgressBar1->maximum(), frmMain->ProgressBar1->minimum());
    EXPECT_EQ(frmMain->LabelProgress->text(), "0/0");
}

TEST_F(MainWindow, AnAltKeyWhoseButtonIsDisabledTypesNothingIntoTheBoxes)
{
    frmMain->show();
    frmMain->cmdSucc->setEnabled(false);
    frmMain->cmdTrovaEmail->setEnabled(false);
    for (QComboBox* box : {frmMain->EditParolaChiave, frmMain->EditMotore}) {
        box->setEditText("corvi neri");
        for (Qt::Key key : {Qt::Key_N, Qt::Key_E}) {
            const QString text = QString(QChar(key)).toLower();
            QKeyEvent down(QEvent::KeyPress, key, Qt::AltModifier, text);
            QApplication::sendEvent(box->lineEdit(), &down);
            QKeyEvent up(QEvent::KeyRelease, key, Qt::AltModifier, text);
            QApplication::sendEvent(box->lineEdit(), &up);
        }
        EXPECT_EQ(box->currentText().toStdString(), "corvi neri") << box->objectName().toStdString();
    }
    // Plain typing still reaches the box.
    frmMain->EditParolaChiave->setEditText("corvi");
    QTest::keyClicks(frmMain->EditParolaChiave->lineEdit(), " neri");
    EXPECT_EQ(frmMain->EditParolaChiave->currentText().toStdString(), "corvi neri");
}

TEST_F(MainWindow, MainMenuHasEveryItemInOrder)
{
    auto captions = [](QMenu* m) {
        std::vector<std::string> out;
        for (QAction* a : m->actions())
            out.push_back(a->text().toStdString());
        return out;
    };
    std::vector<std::string> tops;
    for (QAction* a : frmMain->menuBar()->actions())
        tops.push_back(a->text().toStdString());
    EXPECT_EQ(tops, (std::vector<std::string>{"&File", "&Options", "&Founded Sites", "Search Results", "&Help"}));
    EXPECT_EQ(captions(frmMain->File1), std::vector<std::string>{"&Exit"});
    EXPECT_EQ(captions(frmMain->Opzioni1), std::vector<std::string>{"&Options..."});
    EXPECT_EQ(captions(frmMain->SitiTrovati1),
              (std::vector<std::string>{"&Save Founded Sites on File...", "&Open Founded Sites from File...",
                                        "&Erase from list", "Erase selected from list", "&Select All", "&Unselect All",
                                        "&Reverse Selection", "Visit &Web Page...", "Search word..."}));
    EXPECT_EQ(captions(frmMain->Risultati1),
              (std::vector<std::string>{"&Save Email list on", "&Open Email list from", "&Send Email with",
                                        "&Erase from list", "Erase selected from list", "&Select All", "&Unselect All",
                                        "&Reverse Selection", "Search word...", "Modify selected"}));
    EXPECT_EQ(captions(frmMain->SaveEmaillistOn1), (std::vector<std::string>{"Text File", "Windows Adrdess Book File"}));
    EXPECT_EQ(captions(frmMain->OpenEmaillistFrom1),
              (std::vector<std::string>{"Text File", "Windows Adrdess Book File"}));
    EXPECT_EQ(captions(frmMain->SendEmailWith1), (std::vector<std::string>{"&Corvina", "Predefined Program"}));
    EXPECT_EQ(captions(frmMain->Help1),
              (std::vector<std::string>{"&Informations on Corvina...", "Online Help", "Check for Updates...", "Show &Log..."}));

    EXPECT_EQ(captions(frmMain->PopupMenu1),
              (std::vector<std::string>{"&Seleziona Tutti", "&Deseleziona Tutti", "&Inverti Selezione",
                                        "Visita Pagina &Web...", "&Salva Siti Trovati su File...",
                                        "&Apri Siti Trovati da File...", "Elimina dalla lista",
                                        "Erase selected from list"}));
    EXPECT_EQ(captions(frmMain->PopupMenu2),
              (std::vector<std::string>{"&Invia Email utilizzando", "&Elimina dalla lista", "Erase selected from list",
                                        "&Seleziona Tutti", "&Deseleziona Tutti", "&Inverti Selezione",
                                        "&Salva lista email su File...", "&Apri lista email da File..."}));
    EXPECT_EQ(captions(frmMain->InviaEmailutilizzando1),
              (std::vector<std::string>{"&Corvina", "&Programma Predefinito"}));

    // Only the two context-menu erase items carry a shortcut: Del.
    for (QAction* a : frmMain->findChildren<QAction*>()) {
        const bool del = a == frmMain->Eliminadallalista1 || a == frmMain->Eliminadallalista2;
        EXPECT_EQ(a->shortcut(), del ? QKeySequence(Qt::Key_Delete) : QKeySequence()) << a->objectName().toStdString();
    }
    // Items are found by name.
    for (const char* name : {"Esci1", "OpzionidiSalvataggio1", "Corvina1", "ProgrammaPredefinito1", "Modifyselected1",
                             "ControllapresenzadiAggiornamenti1", "SelezionaTutti4", "Eliminadallalista2"})
        action(name);
}

TEST_F(MainWindow, MenuItemsOpenTheirDialogsWithoutBlocking)
{
    frmMain->OpzionidiSalvataggio1->trigger();
    EXPECT_TRUE(frmOpzioni->isVisible());
    EXPECT_FALSE(frmOpzioni->isModal());
    frmMain->InformazionisuCorvina1->trigger();
    EXPECT_TRUE(frmAbout->isVisible());
    EXPECT_FALSE(frmAbout->isModal());
    EXPECT_TRUE(frmMain->isEnabled());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Exit closes the main window; nothing is asked.
    frmMain->Esci1->trigger();
    EXPECT_FALSE(frmMain->isVisible());
    EXPECT_TRUE(desk.Messages.Calls.empty());
}

TEST_F(MainWindow, EnterOutsideAButtonPressesSearchAndDelErasesFromTheFocusedList)
{
    // Every search goes to a loopback port that refuses it, never further.
    uint16_t refused = 0;
    const int fd = testutil::bindLoopback(-1, refused);
    ASSERT_GE(fd, 0);
    frmMain->NMHTTP->Proxy = "127.0.0.1";
    frmMain->NMHTTP->ProxyPort = refused;
    int searches = 0;
    QObject::connect(frmMain->cmdCerca, &QPushButton::clicked, [&] { ++searches; });
    frmMain->EditParolaChiave->setEditText("corvi");
    press(frmMain->EditParolaChiave->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(frmMain->EditParolaChiave->count(), 1) << "Search remembers the key words once; Enter adds none";
    press(frmMain->EditMotore->lineEdit(), Qt::Key_Enter);
    EXPECT_EQ(searches, 2);
    press(frmMain->CheckListBoxTrovati, Qt::Key_Return);
    EXPECT_EQ(searches, 3);
    // The keypad's Enter carries the keypad modifier and is Enter all the same.
    press(frmMain->EditParolaChiave->lineEdit(), Qt::Key_Enter, Qt::KeypadModifier);
    press(frmMain->CheckListBoxRisultati, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(searches, 5);
    // On another button, Enter presses that button instead.
    int nexts = 0;
    QObject::connect(frmMain->cmdSucc, &QPushButton::clicked, [&] { ++nexts; });
    press(frmMain->cmdSucc, Qt::Key_Return);
    EXPECT_EQ(nexts, 1);
    EXPECT_EQ(searches, 5);

    int sitesDel = 0, resultsDel = 0;
    QObject::connect(frmMain->CheckListBoxTrovati, &TCheckListBox::DeleteKeyPressed, [&] { ++sitesDel; });
    QObject::connect(frmMain->CheckListBoxRisultati, &TCheckListBox::DeleteKeyPressed, [&] { ++resultsDel; });
    press(frmMain->CheckListBoxTrovati, Qt::Key_Delete);
    press(frmMain->CheckListBoxRisultati, Qt::Key_Delete);
    press(frmMain->CheckListBoxRisultati, Qt::Key_Delete);
    EXPECT_EQ(sitesDel, 1);
    EXPECT_EQ(resultsDel, 2);
    // The keypad's Del (Num Lock off) as well; Shift+Del is not Del.
    press(frmMain->CheckListBoxTrovati, Qt::Key_Delete, Qt::KeypadModifier);
    press(frmMain->CheckListBoxTrovati, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(sitesDel, 2);
    ::close(fd);
}

TEST_F(MainWindow, TheTextBoxesKeepWhatIsTyped)
{
    // With earlier key words as entries, typing the start of one of them
    // gives exactly the typed text, in both boxes.
    frmMain->EditParolaChiave->addItem("category theory");
    frmMain->EditParolaChiave->setEditText("");
    frmMain->EditMotore->setEditText("");
    for (QComboBox* box : {frmMain->EditParolaChiave, frmMain->EditMotore}) {
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(box->lineEdit(), &in);
    }
    QTest::keyClicks(frmMain->EditParolaChiave->lineEdit(), "cat");
    QTest::keyClicks(frmMain->EditMotore->lineEdit(), "http://www.a");
    EXPECT_EQ(frmMain->EditParolaChiave->currentText(), "cat");
    EXPECT_EQ(frmMain->EditMotore->currentText(), "http://www.a");
}

TEST(ProgramDirectory, IsThePathUpToAndIncludingTheLastSlash)
{
    EXPECT_EQ(ProgramDirectoryOf("/usr/local/bin/corvina"), "/usr/local/bin/");
    EXPECT_EQ(ProgramDirectoryOf("/corvina"), "/");
    EXPECT_EQ(ProgramDirectoryOf("corvina"), "");
    EXPECT_EQ(ProgramDirectoryOf(""), "");
    EXPECT_EQ(ProgramDirectoryOf("a/b/"), "a/b/");
}

TEST_F(MainWindow, ProgramDirectoryComesFromTheProgramFile)
{
    EXPECT_EQ(frmMain->ProgramDir, programDir.path() + "/");
}

TEST_F(MainWindow, FileDialogsShareTheListFilterAndGoThroughTheDesktop)
{
    EXPECT_EQ(frmMain->SaveDialog.Filter, "Text File (*.txt)|*.txt|Windows Address Book File (*.csv)|*.csv");
    // Opening also offers every file, last, for a list saved without an
    // extension.
    EXPECT_EQ(frmMain->OpenDialog.Filter, frmMain->SaveDialog.Filter + "|All files (*)|*");
    EXPECT_EQ(QtFileFilter(frmMain->SaveDialog.Filter), "Text File (*.txt);;Windows Address Book File (*.csv)");
    EXPECT_EQ(QtFileFilter(frmMain->OpenDialog.Filter),
              "Text File (*.txt);;Windows Address Book File (*.csv);;All files (*)");
    EXPECT_EQ(QtFileFilter("Any|*.a;*.b"), "Any (*.a *.b)");

    desk.Files.NextAnswers.push_back(FakeFileDialogs::Answer{"/tmp/list.csv", 2});
    desk.Files.NextAnswers.push_back(std::nullopt);
    ASSERT_TRUE(frmMain->SaveDialog.Execute());
    EXPECT_EQ(frmMain->SaveDialog.FileName, "/tmp/list.csv");
    EXPECT_EQ(frmMain->SaveDialog.FilterIndex, 2);
    EXPECT_FALSE(frmMain->OpenDialog.Execute());
    EXPECT_TRUE(frmMain->OpenDialog.FileName.empty());
    ASSERT_EQ(desk.Files.Calls.size(), 2u);
    EXPECT_EQ(desk.Files.Calls[0].Kind, TFileDialogKind::Save);
    EXPECT_EQ(desk.Files.Calls[1].Kind, TFileDialogKind::Open);

    // The dial-up layer of this platform has no connection to offer.
    SetDialUp(nullptr);
    std::vector<TRasConn> conns{TRasConn{}};
    EXPECT_EQ(DialUp().EnumConnections(conns, kRasMaxConnections), kRasSuccess);
    EXPECT_TRUE(conns.empty());
    EXPECT_LE(DialUp().GetErrorString(kRasErrorBufferTooSmall).size(), kRasErrorTextMax);
}

TEST_F(MainWindow, OwnsOneHttpClientWithItsStartingProperties)
{
    TNMHTTP* http = frmMain->NMHTTP;
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(frmMain->findChild<TNMHTTP*>(QStringLiteral("NMHTTP")), http);
    EXPECT_EQ(http->Port, 0);
    EXPECT_EQ(http->TimeOut, 10000);
    EXPECT_EQ(http->ReportLevel, 0);
    EXPECT_EQ(http->Proxy, "");
    EXPECT_EQ(http->ProxyPort, 0);
    EXPECT_FALSE(http->InputFileMode);
    EXPECT_FALSE(http->OutputFileMode);
    EXPECT_EQ(http->Body, "Default.htm");
    EXPECT_EQ(http->Header, "Head.txt");

    // With http_proxy set, the client sends everything through that proxy;
    // a value that is not a proxy address is ignored.
    qputenv("http_proxy", "http://127.0.0.1:3128/");
    RestartWindows();
    EXPECT_EQ(frmMain->NMHTTP->Proxy, "127.0.0.1");
    EXPECT_EQ(frmMain->NMHTTP->ProxyPort, 3128);
    qputenv("http_proxy", "http://:x/");
    RestartWindows();
    EXPECT_EQ(frmMain->NMHTTP->Proxy, "");
    EXPECT_EQ(frmMain->NMHTTP->ProxyPort, 0);
}

TEST_F(MainWindow, TheFocusStartsInTheKeyWordsAndTheCountersAreNoTabStops)
{
    QApplication::setActiveWindow(frmMain);
    QWidget* focus = frmMain->focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(focus == frmMain->EditParolaChiave || focus == frmMain->EditParolaChiave->lineEdit())
        << focus->objectName().toStdString();

    // Tab goes round the window without stopping on a counter.
    const std::vector<QLabel*> counters{frmMain->LabelTrovati, frmMain->LabelTotPag, frmMain->LabelEmailTrovate,
                                        frmMain->LabelProgress};
    for (QLabel* c : counters) {
        EXPECT_FALSE(c->focusPolicy() & Qt::TabFocus) << c->objectName().toStdString();
        EXPECT_FALSE(c->textInteractionFlags() & Qt::TextSelectableByKeyboard) << "no bare caret";
    }
    QWidget* w = focus;
    for (int step = 0; step < 40; ++step) {
        w = w->nextInFocusChain();
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()) {
            EXPECT_TRUE(std::find(counters.begin(), counters.end(), w) == counters.end())
                << w->objectName().toStdString();
        }
    }

    // A screen reader still finds each counter, named and labelled by its
    // caption, with its figure as the value.
    frmMain->LabelTotPag->setText(QStringLiteral("1250"));
    frmMain->LabelProgress->setText(QStringLiteral("3/7"));
    const std::tuple<QLabel*, QLabel*, const char*, const char*> captioned[] = {
        {frmMain->LabelTrovati, frmMain->LabelFounded1, "Founded", "0"},
        {frmMain->LabelTotPag, frmMain->LabelTotalPages, "Total Pages", "1250"},
        {frmMain->LabelEmailTrovate, frmMain->LabelFounded2, "Founded", "0"},
        {frmMain->LabelProgress, frmMain->LabelExaminedPages, "Examined Pages", "3/7"}};
    for (auto [counter, caption, name, value] : captioned) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(counter);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->text(QAccessible::Name).toStdString(), name);
        EXPECT_EQ(iface->text(QAccessible::Value).toStdString(), value);
        QAccessibleTextInterface* text = iface->textInterface();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(0, text->characterCount()).toStdString(), value) << "what a screen reader reads";
        EXPECT_FALSE(iface->text(QAccessible::Description).isEmpty()) << "which list it counts";
        bool labelled = false;
        for (const auto& [other, relation] : iface->relations(QAccessible::Label))
            labelled = labelled || other->object() == caption;
        EXPECT_TRUE(labelled) << counter->objectName().toStdString();
    }
}

TEST_F(MainWindow, ShiftF10OpensAListsContextMenuAsTheMenuKeyDoes)
{
    frmMain->CheckListBoxTrovati->Items->Assign({"http://a.example/", "http://b.example/"});
    frmMain->CheckListBoxRisultati->Items->Assign({"a@x.it"});
    frmMain->CheckListBoxTrovati->SetItemIndex(1);
    const std::pair<TCheckListBox*, QMenu*> lists[] = {{frmMain->CheckListBoxTrovati, frmMain->PopupMenu1},
                                                       {frmMain->CheckListBoxRisultati, frmMain->PopupMenu2}};
    for (auto [list, menu] : lists) {
        SCOPED_TRACE(list->objectName().toStdString());
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
        // The Menu key reaches the focused list as a context-menu request
        // from the keyboard.
        QContextMenuEvent fromMenuKey(QContextMenuEvent::Keyboard, QPoint(2, 2), list->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(list, &fromMenuKey);
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
        // F10 alone, or with Ctrl, opens nothing.
        QTest::keyClick(list, Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_FALSE(menu->isVisible());
    }
    // At the current entry, so its items act on what is highlighted.
    QTest::keyClick(frmMain->CheckListBoxTrovati, Qt::Key_F10, Qt::ShiftModifier);
    const QRect entry = frmMain->CheckListBoxTrovati->visualRect(frmMain->CheckListBoxTrovati->model()->index(1, 0));
    EXPECT_TRUE(QRect(frmMain->CheckListBoxTrovati->viewport()->mapToGlobal(entry.topLeft()), entry.size())
                    .adjusted(-4, -4, 4, 4)
                    .contains(frmMain->PopupMenu1->pos()))
        << frmMain->PopupMenu1->pos().x() << "," << frmMain->PopupMenu1->pos().y();
    frmMain->PopupMenu1->hide();
}

TEST_F(MainWindow, NewSearchPutsTheFocusInTheKeyWords)
{
    frmMain->EditParolaChiave->setEditText("corvi");
    frmMain->cmdNuovaRic->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(frmMain->focusWidget(), frmMain->cmdNuovaRic);
    QTest::keyClick(frmMain->cmdNuovaRic, Qt::Key_Space);
    EXPECT_TRUE(frmMain->EditParolaChiave->currentText().isEmpty());
    QWidget* focus = frmMain->focusWidget();
    EXPECT_TRUE(focus == frmMain->EditParolaChiave || focus == frmMain->EditParolaChiave->lineEdit())
        << (focus ? focus->objectName().toStdString() : "none");
}

TEST_F(MainWindow, BothAltFsReachTheirMenus)
{
    QApplication::setActiveWindow(frmMain);
    ASSERT_TRUE(QTest::qWaitForWindowActive(frmMain, 20000));
    frmMain->EditParolaChiave->setFocus();
    // Alt+F is "&File" and "&Founded Sites": pressed again it goes on to the
    // other one.
    QTest::keyClick(frmMain->EditParolaChiave->lineEdit(), Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(testutil::waitUntil([] { return frmMain->File1->isVisible(); }));
    QTest::keyClick(frmMain->File1, Qt::Key_Escape);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(testutil::waitUntil([] { return frmMain->SitiTrovati1->isVisible(); }));
    EXPECT_FALSE(frmMain->File1->isVisible());
    frmMain->SitiTrovati1->hide();
}

TEST_F(MainWindow, KeyWordsAndTheEngineComeBackAtTheNextStart)
{
    frmMain->EditMotore->setCurrentIndex(1);
    frmMain->Sessions().View.RememberKeyWords("corvi, neri");
    frmMain->Sessions().View.RememberKeyWords("gazze");
    RestartWindows();
    ASSERT_EQ(frmMain->EditParolaChiave->count(), 2);
    EXPECT_EQ(frmMain->EditParolaChiave->itemText(0), "corvi, neri");
    EXPECT_EQ(frmMain->EditParolaChiave->itemText(1), "gazze");
    EXPECT_TRUE(frmMain->EditParolaChiave->currentText().isEmpty()) << "the box starts empty";
    EXPECT_EQ(fromQt(frmMain->EditMotore->currentText()), kAltaVistaEntry);

    // An engine address typed in, and a program closed by its window.
    frmMain->EditMotore->setEditText("http://www.example.org/");
    frmMain->close();
    RestartWindows();
    EXPECT_EQ(frmMain->EditMotore->currentText(), "http://www.example.org/");
    EXPECT_EQ(frmMain->EditMotore->count(), 4) << "the engines' entries, and no more";
    EXPECT_EQ(frmMain->EditParolaChiave->count(), 2);
}
