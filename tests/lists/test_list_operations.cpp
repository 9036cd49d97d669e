// Ticking, erasing, the word search and the modify dialog, run through the
// main menu, the two context menus, the Del key and the dialogs' buttons.
#include "AppFixture.h"

#include <QApplication>
#include <QTest>

#include <string>
#include <vector>

namespace {

using ListOperations = AppFixture;
using Texts = std::vector<std::string>;

void fill(TCheckListBox* list, const Texts& texts)
{
    list->Items->Assign(texts);
}

std::vector<bool> ticks(TCheckListBox* list)
{
    std::vector<bool> out;
    for (int i = 0; i < list->Count(); ++i)
        out.push_back(list->Checked(i));
    return out;
}

void setTicks(TCheckListBox* list, const std::vector<bool>& t)
{
    for (int i = 0; i < static_cast<int>(t.size()); ++i)
        list->SetChecked(i, t[static_cast<size_t>(i)]);
}

std::string text(QLabel* label) { return fromQt(label->text()); }

// One list as the menus see it: its list box, counter and the actions of
// the main menu and of its context menu for each operation.
struct ListUnderTest {
    const char* name;
    TCheckListBox* list;
    QLabel* counter;
    std::vector<QAction*> selectAll, unselectAll, reverse, erase, eraseTicked;
};

std::vector<ListUnderTest> bothLists()
{
    TfrmMain* m = frmMain;
    return {
        {"Found Sites", m->CheckListBoxTrovati, m->LabelTrovati,
         {m->selezionaTutti1, m->SelezionaTutti2}, {m->DeselezionaTutti1, m->DeselezionaTutti2},
         {m->InvertiSelezione1, m->InvertiSelezione3}, {m->Eliminadallalista3, m->Eliminadallalista1},
         {m->Eraseselectedfromlist1, m->Eraseselectedfromlist3}},
        {"Results", m->CheckListBoxRisultati, m->LabelEmailTrovate,
         {m->SelezionaTutti3, m->SelezionaTutti4}, {m->DeselezionaTutti3, m->DeselezionaTutti4},
         {m->InvertiSelezione2, m->InvertiSelezione4}, {m->Elimina1, m->Eliminadallalista2},
         {m->Eraseselectedfromlist2, m->Eraseselectedfromlist4}},
    };
}

} // namespace

TEST_F(ListOperations, TickingInBulkFromEveryMenuLeavesTheCounters)
{
    for (const ListUnderTest& l : bothLists()) {
        SCOPED_TRACE(l.name);
        // On an empty list nothing happens (and nothing fails).
        l.counter->setText(QStringLiteral("7"));
        for (auto* group : {&l.selectAll, &l.unselectAll, &l.reverse})
            for (QAction* a : *group)
                a->trigger();
        EXPECT_EQ(l.list->Count(), 0);
        EXPECT_EQ(text(l.counter), "7");

        for (QAction* a : l.selectAll) {
            fill(l.list, {"c", "a", "b"});
            setTicks(l.list, {false, true, false});
            a->trigger();
            EXPECT_EQ(ticks(l.list), (std::vector<bool>{true, true, true})) << fromQt(a->text());
        }
        for (QAction* a : l.unselectAll) {
            setTicks(l.list, {true, false, true});
            a->trigger();
            EXPECT_EQ(ticks(l.list), (std::vector<bool>{false, false, false})) << fromQt(a->text());
        }
        for (QAction* a : l.reverse) {
            setTicks(l.list, {true, false, false});
            a->trigger();
            EXPECT_EQ(ticks(l.list), (std::vector<bool>{false, true, true})) << fromQt(a->text());
        }
        // The other list is never touched.
        TCheckListBox* other = l.list == frmMain->CheckListBoxTrovati ? frmMain->CheckListBoxRisultati
                                                                        : frmMain->CheckListBoxTrovati;
        EXPECT_EQ(other->Count(), 0);
        EXPECT_EQ(text(l.counter), "7") << "ticking never rewrites a counter";
        l.list->Items->Clear();
    }
}

TEST_F(ListOperations, EraseFromListRemovesTheCurrentEntryOnly)
{
    for (const ListUnderTest& l : bothLists()) {
        SCOPED_TRACE(l.name);
        for (QAction* a : l.erase) {
            fill(l.list, {"a", "b", "c", "d"});
            setTicks(l.list, {true, false, true, false});
            l.list->SetItemIndex(1);
            a->trigger();
            EXPECT_EQ(l.list->Items->Texts(), (Texts{"a", "c", "d"})) << fromQt(a->text());
            EXPECT_EQ(ticks(l.list), (std::vector<bool>{true, true, false}));
            EXPECT_EQ(l.list->ItemIndex(), -1) << "no entry is current afterwards";
            EXPECT_EQ(text(l.counter), "3");

            // No current entry: nothing goes, but the counter is rewritten.
            l.counter->setText(QStringLiteral("99"));
            a->trigger();
            EXPECT_EQ(l.list->Items->Texts(), (Texts{"a", "c", "d"}));
            EXPECT_EQ(text(l.counter), "3");
        }
        // The last entry of a list, and an empty list.
        fill(l.list, {"only"});
        l.list->SetItemIndex(0);
        l.erase[0]->trigger();
        EXPECT_EQ(l.list->Count(), 0);
        EXPECT_EQ(text(l.counter), "0");
        l.erase[1]->trigger();
        EXPECT_EQ(text(l.counter), "0");
    }
}

TEST_F(ListOperations, DelKeyOnAFocusedListErasesItsCurrentEntry)
{
    frmMain->activateWindow();
    for (const ListUnderTest& l : bothLists()) {
        SCOPED_TRACE(l.name);
        fill(l.list, {"x1", "x2", "x3"});
        l.list->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        l.list->SetItemIndex(2);
        QTest::keyClick(l.list, Qt::Key_Delete);
        EXPECT_EQ(l.list->Items->Texts(), (Texts{"x1", "x2"}));
        EXPECT_EQ(text(l.counter), "2");
        // With no current entry the key removes nothing.
        QTest::keyClick(l.list, Qt::Key_Delete);
        EXPECT_EQ(l.list->Count(), 2);
    }
    // Each list's key worked on its own list only.
    EXPECT_EQ(frmMain->CheckListBoxTrovati->Items->Texts(), (Texts{"x1", "x2"}));
    EXPECT_EQ(frmMain->CheckListBoxRisultati->Items->Texts(), (Texts{"x1", "x2"}));
}

TEST_F(ListOperations, EraseSelectedRemovesEveryTickedEntry)
{
    for (const ListUnderTest& l : bothLists()) {
        SCOPED_TRACE(l.name);
        for (QAction* a : l.eraseTicked) {
            // A run of ticked neighbours (entries 2, 3 and 4) goes as a whole.
            fill(l.list, {"e1", "e2", "e3", "e4", "e5"});
            setTicks(l.list, {false, true, true, true, false});
            l.list->SetItemIndex(4);
            a->trigger();
            EXPECT_EQ(l.list->Items->Texts(), (Texts{"e1", "e5"})) << fromQt(a->text());
            EXPECT_EQ(ticks(l.list), (std::vector<bool>{false, false}));
            EXPECT_EQ(l.list->ItemIndex(), 1) << "the current entry stays current when it is not ticked";
            EXPECT_EQ(text(l.counter), "2");

            // Every entry ticked, first and last included.
            setTicks(l.list, {true, true});
            a->trigger();
            EXPECT_EQ(l.list->Count(), 0);
            EXPECT_EQ(text(l.counter), "0");

            // Nothing ticked: nothing goes; the counter is still rewritten.
            fill(l.list, {"k"});
            l.counter->setText(QStringLiteral("5"));
            a->trigger();
            EXPECT_EQ(l.list->Count(), 1);
            EXPECT_EQ(text(l.counter), "1");
        }
        l.list->Items->Clear();
    }
}

TEST_F(ListOperations, SearchWordOpensTheDialogWithItsListsBoxTicked)
{
    TfrmCercaParola* d = frmCercaParola;
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Word search"));
    d->LabelTrovati->setText(QStringLiteral("12"));

    frmMain->Searchword1->trigger();
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    EXPECT_TRUE(d->CheckBoxSiti->isChecked());
    EXPECT_FALSE(d->CheckBoxRisultati->isChecked());
    EXPECT_EQ(text(d->LabelTrovati), "0") << "every showing starts at 0";

    // From the Results menu as well: both boxes end up ticked.
    frmMain->Searchword2->trigger();
    EXPECT_TRUE(d->CheckBoxSiti->isChecked());
    EXPECT_TRUE(d->CheckBoxRisultati->isChecked());

    // Cancel hides; the word and the boxes are still there next time, and
    // the counter is reset again.
    d->EditParola->setText(QStringLiteral("abc"));
    d->CheckBoxSiti->setChecked(false);
    d->LabelTrovati->setText(QStringLiteral("4"));
    QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    frmMain->Searchword2->trigger();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->EditParola->text(), QStringLiteral("abc"));
    EXPECT_FALSE(d->CheckBoxSiti->isChecked()) << "only the box of the calling list is ticked";
    EXPECT_TRUE(d->CheckBoxRisultati->isChecked());
    EXPECT_EQ(text(d->LabelTrovati), "0");
}

TEST_F(ListOperations, WordSearchTicksCaseSensitiveSubstringMatchesOverBothLists)
{
    TfrmCercaParola* d = frmCercaParola;
    TCheckListBox* sites = frmMain->CheckListBoxTrovati;
    TCheckListBox* mails = frmMain->CheckListBoxRisultati;
    fill(sites, {"http://www.Rossi.it/", "http://www.rossini.it/", "http://www.verdi.it/"});
    fill(mails, {"ROSSI@x.it", "mario.rossi@x.it", "zz@x.it"});
    ASSERT_EQ(mails->Items->Texts(), (Texts{"mario.rossi@x.it", "ROSSI@x.it", "zz@x.it"}));
    setTicks(mails, {true, false, false});
    frmMain->LabelTrovati->setText(QStringLiteral("3"));
    frmMain->LabelEmailTrovate->setText(QStringLiteral("3"));

    frmMain->Searchword1->trigger();
    frmMain->Searchword2->trigger();
    d->EditParola->setText(QStringLiteral("rossi"));
    QTest::mouseClick(d->BitBtn1, Qt::LeftButton);
    // "rossi" inside "rossini" and "mario.rossi" matches; "Rossi" and
    // "ROSSI" do not. The already ticked match is ticked and counted.
    EXPECT_EQ(ticks(sites), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(ticks(mails), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(text(d->LabelTrovati), "2");
    EXPECT_TRUE(d->isVisible()) << "the dialog stays open";
    EXPECT_EQ(text(frmMain->LabelTrovati), "3");
    EXPECT_EQ(text(frmMain->LabelEmailTrovate), "3");

    // A search only adds ticks: a ticked entry that does not match keeps it.
    sites->SetChecked(2, true);
    d->EditParola->setText(QStringLiteral("Rossi"));
    QTest::keyClick(d->EditParola, Qt::Key_Return);  // Enter runs the default button
    EXPECT_EQ(ticks(sites), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(text(d->LabelTrovati), "1");

    // Only the ticked boxes' lists are searched.
    frmMain->DeselezionaTutti1->trigger();
    frmMain->DeselezionaTutti3->trigger();
    d->CheckBoxSiti->setChecked(false);
    d->EditParola->setText(QStringLiteral("@x.it"));
    d->BitBtn1->click();
    EXPECT_EQ(ticks(sites), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(ticks(mails), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(text(d->LabelTrovati), "3");

    // Neither box: "0", nothing ticked.
    frmMain->DeselezionaTutti3->trigger();
    d->CheckBoxRisultati->setChecked(false);
    d->BitBtn1->click();
    EXPECT_EQ(text(d->LabelTrovati), "0");
    EXPECT_EQ(ticks(mails), (std::vector<bool>{false, false, false}));

    // An empty word matches nothing.
    d->CheckBoxSiti->setChecked(true);
    d->CheckBoxRisultati->setChecked(true);
    d->EditParola->clear();
    d->LabelTrovati->setText(QStringLiteral("9"));
    d->BitBtn1->click();
    EXPECT_EQ(text(d->LabelTrovati), "0");
    EXPECT_EQ(sites->Items->CheckedCount() + mails->Items->CheckedCount(), 0);

    // Equal entries count one by one; a typed letter beyond ASCII is
    // looked for as UTF-8.
    fill(mails, {"caf\xc3\xa9@x.it", "caf\xc3\xa9@x.it", "cafe@x.it"});
    d->CheckBoxSiti->setChecked(false);
    ASSERT_EQ(mails->Items->Text(0), "cafe@x.it");
    d->EditParola->setText(QString::fromUtf8("f\xc3\xa9@"));
    d->BitBtn1->click();
    EXPECT_EQ(ticks(mails), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(text(d->LabelTrovati), "2");

    // A long pasted word is searched for whole, not as its first part.
    const std::string prefix(33000, 'w');
    fill(mails, {prefix + "@x.it", prefix});
    d->EditParola->setText(toQt(prefix + "@"));
    d->BitBtn1->click();
    EXPECT_EQ(text(d->LabelTrovati), "1");
    EXPECT_EQ(mails->Items->CheckedCount(), 1);
}

TEST_F(ListOperations, ModifySelectedNeedsACurrentResultsEntry)
{
    fill(frmMain->CheckListBoxRisultati, {"a@x.it", "b@x.it"});
    frmMain->CheckListBoxTrovati->Items->Assign({"http://a.it/"});
    frmMain->CheckListBoxTrovati->SetItemIndex(0);  // the other list's current entry does not count
    frmMain->Modifyselected1->trigger();
    ASSERT_EQ(desk.Messages.Calls.size(), 1u);
    EXPECT_EQ(desk.Messages.Calls[0].Text, "Select an item!");
    EXPECT_EQ(desk.Messages.Calls[0].Caption, "ERROR");
    EXPECT_EQ(desk.Messages.Calls[0].Buttons, TMsgButtons::OK);
    EXPECT_FALSE(frmModificaSel->isVisible());
    EXPECT_EQ(frmModificaSel->windowTitle(), QStringLiteral("Modify selected"));
}

TEST_F(ListOperations, ModifyReplacesTheEntryInPlace)
{
    TCheckListBox* mails = frmMain->CheckListBoxRisultati;
    TfrmModificaSel* d = frmModificaSel;
    fill(mails, {"anna@x.it", "bruno@x.it", "carla@x.it"});
    setTicks(mails, {false, true, false});
    frmMain->LabelEmailTrovate->setText(QStringLiteral("3"));
    mails->SetItemIndex(1);

    frmMain->Modifyselected1->trigger();
    EXPECT_TRUE(desk.Messages.Calls.empty());
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(d->Edit1->text(), QStringLiteral("bruno@x.it"));

    // A text that sorts elsewhere stays where the old one was, with its tick.
    d->Edit1->setText(QStringLiteral("zorro@x.it"));
    QTest::keyClick(d->Edit1, Qt::Key_Return);  // Enter is OK
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(mails->Items->Texts(), (Texts{"anna@x.it", "zorro@x.it", "carla@x.it"}));
    EXPECT_EQ(ticks(mails), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(mails->ItemIndex(), 1);
    EXPECT_EQ(text(frmMain->LabelEmailTrovate), "3");

    // OK replaces the entry current at that moment, not the one copied in;
    // the text is not checked, so an empty entry is possible; bytes beyond
    // ASCII are written as UTF-8.
    frmMain->Modifyselected1->trigger();
    mails->SetItemIndex(2);
    d->Edit1->setText(QString::fromUtf8("\xc5\x82\xc3\xb3" "d\xc5\xba@example.pl"));
    d->BitBtn1->click();
    EXPECT_EQ(mails->Items->Text(2), "\xc5\x82\xc3\xb3" "d\xc5\xba@example.pl") << "not ?\xf3" "d?@example.pl";
    EXPECT_EQ(mails->Items->Text(1), "zorro@x.it");
    mails->SetItemIndex(0);
    frmMain->Modifyselected1->trigger();
    d->Edit1->clear();
    d->BitBtn1->click();
    EXPECT_EQ(mails->Items->Text(0), "");
    EXPECT_EQ(mails->Count(), 3);

    // No current entry at the moment of OK: the dialog just closes.
    mails->SetItemIndex(1);
    frmMain->Modifyselected1->trigger();
    mails->SetItemIndex(-1);
    d->Edit1->setText(QStringLiteral("lost@x.it"));
    d->BitBtn1->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(mails->Items->Texts(), (Texts{"", "zorro@x.it", "\xc5\x82\xc3\xb3" "d\xc5\xba@example.pl"}));

    // Cancel and Esc close without a change.
    mails->SetItemIndex(1);
    frmMain->Modifyselected1->trigger();
    d->Edit1->setText(QStringLiteral("nope@x.it"));
    QTest::mouseClick(d->BitBtn2, Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    frmMain->Modifyselected1->trigger();
    d->Edit1->setText(QStringLiteral("nope@x.it"));
    QTest::keyClick(d->Edit1, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(mails->Items->Text(1), "zorro@x.it");
    EXPECT_TRUE(mails->Checked(1));

    // A Latin-1 entry shows its letters, and OK without an edit keeps its
    // bytes; an edit of it is written as UTF-8.
    mails->Items->SetText(1, "caff\xe8@x.it");
    frmMain->Modifyselected1->trigger();
    EXPECT_EQ(d->Edit1->text(), QString::fromUtf8("caff\xc3\xa8@x.it"));
    d->BitBtn1->click();
    EXPECT_EQ(mails->Items->Text(1), "caff\xe8@x.it");
    frmMain->Modifyselected1->trigger();
    d->Edit1->setText(d->Edit1->text() + "m");
    d->BitBtn1->click();
    EXPECT_EQ(mails->Items->Text(1), "caff\xc3\xa8@x.itm");

    // A long entry (a whole row file loads as one) goes through the dialog
    // whole: OK without an edit leaves it as it was.
    std::string row;
    for (int i = 0; i < 3000; ++i)
        row += "someone" + std::to_string(i) + "@example.it; ";
    ASSERT_GT(row.size(), 40000u);
    mails->Items->SetText(1, row);
    mails->SetItemIndex(1);
    frmMain->Modifyselected1->trigger();
    d->BitBtn1->click();
    EXPECT_TRUE(mails->Items->Text(1) == row) << "cut to " << mails->Items->Text(1).size() << " bytes";
}

TEST_F(ListOperations, EraseSelectedOnALongListKeepsOrderAndTheCurrentEntry)
{
    TCheckListBox* sites = frmMain->CheckListBoxTrovati;
    Texts texts;
    for (int i = 0; i < 1000; ++i)
        texts.push_back("http://s" + std::to_string(1000 + i) + ".it/");
    sites->Items->Assign(texts);
    // An edited entry out of sorted order stays where it is.
    sites->Items->SetText(1, "http://zzz.it/");
    for (int i = 2; i < 1000; i += 3)
        sites->SetChecked(i, true);
    sites->SetItemIndex(1);
    frmMain->Eraseselectedfromlist1->trigger();
    ASSERT_EQ(sites->Count(), 667);
    EXPECT_EQ(text(frmMain->LabelTrovati), "667");
    EXPECT_EQ(sites->Items->Text(0), "http://s1000.it/");
    EXPECT_EQ(sites->Items->Text(1), "http://zzz.it/");
    EXPECT_EQ(sites->Items->Text(2), "http://s1003.it/");
    EXPECT_EQ(sites->Items->Text(666), "http://s1999.it/");
    EXPECT_EQ(sites->Items->CheckedCount(), 0);
    EXPECT_EQ(sites->ItemIndex(), 1);
    ASSERT_TRUE(sites->currentIndex().isValid()) << "the list box still shows the current entry";
    EXPECT_EQ(sites->currentIndex().row(), 1);

    // The current entry ticked among many: it goes, and none is current.
    frmMain->selezionaTutti1->trigger();
    sites->SetChecked(5, false);
    sites->SetItemIndex(7);
    frmMain->Eraseselectedfromlist3->trigger();
    EXPECT_EQ(sites->Items->Texts(), Texts{"http://s1007.it/"});
    EXPECT_EQ(sites->ItemIndex(), -1);
    EXPECT_FALSE(sites->currentIndex().isValid());
    EXPECT_EQ(text(frmMain->LabelTrovati), "1");
}

TEST_F(ListOperations, WordSearchCounterIsResetByShowingNotByRestoring)
{
    fill(frmMain->CheckListBoxRisultati, {"anna@x.it", "bruno@x.it"});
    frmMain->Searchword2->trigger();
    TfrmCercaParola* d = frmCercaParola;
    d->EditParola->setText(QStringLiteral("@x.it"));
    d->BitBtn1->click();
    ASSERT_EQ(text(d->LabelTrovati), "2");

    // Minimised and restored: the count of the last search stays.
    d->showMinimized();
    QApplication::processEvents();
    d->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(text(d->LabelTrovati), "2");

    // Closed and shown again: a new showing starts at "0".
    d->BitBtn2->click();
    frmMain->Searchword2->trigger();
    EXPECT_EQ(text(d->LabelTrovati), "0");
}
