// The list box and its model keep one current entry between them; keys and
// clicks tick and pick entries as the user expects.
#include "AppFixture.h"

#include "AccessibilityEvents.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QTest>
#include <QToolTip>

namespace {

using ListBox = AppFixture;

void press(QWidget* w, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
}

int viewRow(TCheckListBox* box)
{
    return box->currentIndex().isValid() ? box->currentIndex().row() : -1;
}

TCheckListBox* filled()
{
    TCheckListBox* box = frmMain->CheckListBoxRisultati;
    for (const char* t : {"delta@x.it", "Alpha@x.it", "charlie@x.it", "bravo@x.it"})
        box->Items->Add(t);
    box->Items->Flush();
    return box;
}

} // namespace

TEST_F(ListBox, CurrentEntryFollowsTheModelAndTheView)
{
    TCheckListBox* box = filled();
    ASSERT_EQ(box->model()->rowCount(), 4);
    EXPECT_EQ(box->Items->Text(0), "Alpha@x.it");

    box->SetItemIndex(2);
    EXPECT_EQ(viewRow(box), 2);
    EXPECT_TRUE(box->selectionModel()->isRowSelected(2, {}));

    box->setCurrentIndex(box->model()->index(1, 0));  // as a click on the text does
    EXPECT_EQ(box->ItemIndex(), 1);
    EXPECT_FALSE(box->Checked(1)) << "picking an entry does not tick it";

    // Removing the current entry leaves no entry current, in the view too.
    box->Items->Delete(1);
    EXPECT_EQ(box->ItemIndex(), -1);
    EXPECT_EQ(viewRow(box), -1);

    // Removing an entry before the current one moves both along.
    box->SetItemIndex(2);
    box->Items->Delete(0);
    EXPECT_EQ(box->ItemIndex(), 1);
    EXPECT_EQ(viewRow(box), 1);

    // Adding entries keeps the current entry on the same text.
    const std::string current = box->Items->Text(1);
    box->Items->Add("aaa@x.it");
    box->Items->Flush();
    EXPECT_EQ(box->Items->Text(box->ItemIndex()), current);
    EXPECT_EQ(viewRow(box), box->ItemIndex());

    box->Items->Clear();
    EXPECT_EQ(box->ItemIndex(), -1);
    EXPECT_EQ(viewRow(box), -1);
}

TEST_F(ListBox, SpaceFlipsTheCurrentTickAndFocusPicksNothing)
{
    TCheckListBox* box = filled();
    // Getting the focus does not make an entry current.
    box->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(box->ItemIndex(), -1);
    press(box, Qt::Key_Space);
    for (int i = 0; i < box->Count(); ++i)
        EXPECT_FALSE(box->Checked(i));

    box->SetItemIndex(3);
    press(box, Qt::Key_Space);
    EXPECT_TRUE(box->Checked(3));
    EXPECT_EQ(box->model()->index(3, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    press(box, Qt::Key_Space);
    EXPECT_FALSE(box->Checked(3));
    EXPECT_EQ(box->ItemIndex(), 3);

    // The tick box of an entry ticks it, through the model as a view does.
    box->model()->setData(box->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(box->Checked(0));
    EXPECT_EQ(box->ItemIndex(), 3);

    // Assistive tools read each entry's text and tick.
    EXPECT_EQ(box->model()->index(0, 0).data(Qt::AccessibleTextRole).toString(), "Alpha@x.it");
    EXPECT_TRUE(box->model()->flags(box->model()->index(0, 0)) & Qt::ItemIsUserCheckable);
}

TEST_F(ListBox, ARightClickKeepsTheCurrentEntryForTheContextMenu)
{
    TCheckListBox* sites = frmMain->CheckListBoxTrovati;
    sites->Items->Assign({"http://a.example/", "http://b.example/", "http://c.example/"});
    QApplication::processEvents();
    const QPoint onB = sites->visualRect(sites->model()->index(1, 0)).center();
    const QPoint onC = sites->visualRect(sites->model()->index(2, 0)).center();
    ASSERT_FALSE(onC.isNull());

    QTest::mouseClick(sites->viewport(), Qt::LeftButton, {}, onB);
    ASSERT_EQ(sites->ItemIndex(), 1) << "a click on the text picks the entry";
    QTest::mouseClick(sites->viewport(), Qt::RightButton, {}, onC);
    EXPECT_EQ(sites->ItemIndex(), 1) << "a right click picks nothing";
    EXPECT_FALSE(sites->Checked(2));

    frmMain->VisitaPaginaWeb2->trigger();
    EXPECT_EQ(desk.Links.Opened, std::vector<std::string>{"http://b.example/"});
    frmMain->Eliminadallalista1->trigger();
    EXPECT_EQ(sites->Items->Texts(), (std::vector<std::string>{"http://a.example/", "http://c.example/"}));
}


TEST_F(ListBox, AssistiveToolsSeeEachTickAndHearItChange)
{
    TCheckListBox* box = filled();
    box->SetChecked(2, true);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->tableInterface(), nullptr);
    QAccessibleInterface* cell = list->tableInterface()->cellAt(2, 0);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "charlie@x.it");
    EXPECT_TRUE(cell->state().checkable);
    EXPECT_TRUE(cell->state().checked);
    // An unticked entry is a tick box all the same.
    EXPECT_TRUE(list->tableInterface()->cellAt(1, 0)->state().checkable);
    EXPECT_FALSE(list->tableInterface()->cellAt(1, 0)->state().checked);
    for (int row = 0; row < box->Count(); ++row) {
        QAccessibleInterface* entry = list->child(row);
        ASSERT_NE(entry, nullptr);
        EXPECT_TRUE(entry->state().checkable) << row;
        EXPECT_EQ(entry->state().checked, box->Checked(row)) << row;
    }

    std::vector<AccessibilityEvents::Event> ticks;
    {
        AccessibilityEvents events;
        ASSERT_TRUE(events.active());
        box->SetItemIndex(1);
        press(box, Qt::Key_Space);          // the keyboard ticks
        box->Items->SetChecked(2, false);   // a bulk action unticks
        box->Items->SetText(0, "changed");  // not a change of tick
        for (const auto& e : events.about(box))
            if (e.type == QAccessible::StateChanged && e.changed.checked)
                ticks.push_back(e);
    }
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_EQ(ticks[0].row, 1);
    EXPECT_TRUE(ticks[0].now.checked);
    EXPECT_EQ(ticks[1].row, 2);
    EXPECT_FALSE(ticks[1].now.checked);
}

TEST_F(ListBox, ALongEntryShowsWholeInItsTooltip)
{
    TCheckListBox* box = frmMain->CheckListBoxRisultati;
    std::string row;
    for (int i = 0; i < 40; ++i)
        row += "someone" + std::to_string(i) + "@example.it; ";
    box->Items->Assign({row});
    QApplication::processEvents();
    const QRect rect = box->visualRect(box->model()->index(0, 0));
    ASSERT_LT(box->viewport()->width(), box->fontMetrics().horizontalAdvance(QString::fromStdString(row)))
        << "the entry is wider than the list";
    const QPoint at = rect.center();
    QHelpEvent help(QEvent::ToolTip, at, box->viewport()->mapToGlobal(at));
    QApplication::sendEvent(box->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QString::fromStdString(row));
    QToolTip::hideText();
}
