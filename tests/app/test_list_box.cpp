// The list box and its model keep one current entry between them; keys and
// clicks tick and pick entries as the user expects.
#include "AppFixture.h"

#include <QApplication>
#include <QKeyEvent>

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
