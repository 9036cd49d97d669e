// The main window's list operations and list files: bulk ticking, erasing,
// the word search and modify dialogs opened from the menus, and saving and
// loading the two lists.
#include "frmMain.h"
#include "frmOpzioni.h"
#include "ListFiles.h"
#include "frmCercaParola.h"
#include "frmMainSessions.h"
#include "frmModificaSel.h"

#include "SysUtils.h"

namespace {

void setCounter(QLabel* counter, int count)
{
    counter->setText(QString::number(count));
}

void tickAll(TCheckListBox* list, bool ticked)
{
    TCheckListModel& items = *list->Items;
    const int n = items.Count();
    for (int i = 0; i < n; ++i)
        items.SetChecked(i, ticked);
}

void reverseTicks(TCheckListBox* list)
{
    TCheckListModel& items = *list->Items;
    const int n = items.Count();
    for (int i = 0; i < n; ++i)
        items.SetChecked(i, !items.Checked(i));
}

// Removes the current entry, if there is one; afterwards no entry is current.
void eraseCurrent(TCheckListBox* list, QLabel* counter)
{
    TCheckListModel& items = *list->Items;
    const int current = items.ItemIndex();
    if (current >= 0)
        items.Delete(current);
    items.SetItemIndex(-1);
    setCounter(counter, items.Count());
}

// Removes every ticked entry, runs of ticked neighbours included, in one pass
// (entry by entry would take minutes on a list of a million entries).
void eraseTicked(TCheckListBox* list, QLabel* counter)
{
    TCheckListModel& items = *list->Items;
    items.DeleteChecked();
    setCounter(counter, items.Count());
}

void showDialog(QWidget* dialog)
{
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

// ---- list operations ----

void TfrmMain::selezionaTutti1Click(QObject*) { tickAll(CheckListBoxTrovati, true); }
void TfrmMain::SelezionaTutti3Click(QObject*) { tickAll(CheckListBoxRisultati, true); }
void TfrmMain::DeselezionaTutti1Click(QObject*) { tickAll(CheckListBoxTrovati, false); }
void TfrmMain::DeselezionaTutti3Click(QObject*) { tickAll(CheckListBoxRisultati, false); }
void TfrmMain::InvertiSelezione1Click(QObject*) { reverseTicks(CheckListBoxTrovati); }
void TfrmMain::InvertiSelezione2Click(QObject*) { reverseTicks(CheckListBoxRisultati); }
void TfrmMain::Eliminadallalista3Click(QObject*) { eraseCurrent(CheckListBoxTrovati, LabelTrovati); }
void TfrmMain::Elimina1Click(QObject*) { eraseCurrent(CheckListBoxRisultati, LabelEmailTrovate); }
void TfrmMain::Eraseselectedfromlist1Click(QObject*) { eraseTicked(CheckListBoxTrovati, LabelTrovati); }
void TfrmMain::Eraseselectedfromlist2Click(QObject*) { eraseTicked(CheckListBoxRisultati, LabelEmailTrovate); }

// The word-search dialog opens with the box of the list it was called from
// ticked; the other box keeps its state.
void TfrmMain::Searchword1Click(QObject*)
{
    frmCercaParola->CheckBoxSiti->setChecked(true);
    showDialog(frmCercaParola);
}

void TfrmMain::Searchword2Click(QObject*)
{
    frmCercaParola->CheckBoxRisultati->setChecked(true);
    showDialog(frmCercaParola);
}

void TfrmMain::Modifyselected1Click(QObject*)
{
    TCheckListModel& items = *CheckListBoxRisultati->Items;
    const int current = items.ItemIndex();
    if (current < 0) {
        MessageBox("Select an item!", "ERROR", TMsgButtons::OK, this, TMsgIcon::Error);
        return;
    }
    frmModificaSel->OriginalText = items.Text(current);
    frmModificaSel->Edit1->setText(toQt(frmModificaSel->OriginalText));
    showDialog(frmModificaSel);
}

// ---- list files ----

void TfrmMain::SalvaSitiTrovatisufile1Click(QObject*)
{
    if (!SaveDialog.Execute())
        return;
    SaveListText(*CheckListBoxTrovati->Items, SaveDialog.FileName);
}

void TfrmMain::ApriSitiTrovatidaFile1Click(QObject*)
{
    if (!OpenDialog.Execute())
        return;
    // Raises before the list changes when the file cannot be read, so the
    // list, the counter and the buttons then stay as they were.
    const int count = LoadListText(*CheckListBoxTrovati->Items, OpenDialog.FileName);
    Sessions().Search.SiteListLoaded();
    setCounter(LabelTrovati, count);
}

void TfrmMain::SalvalistaemailsuFile1Click(QObject*)
{
    SaveDialog.FilterIndex = 1;
    if (!SaveDialog.Execute([](const std::string& name) { return AdjustFileName(name, "txt"); }))
        return;
    // The saving format is read now, not when the dialog was opened.
    const bool onRow = frmOpzioni->RadioGroup1->ItemIndex() == 1;
    SaveAddressText(*CheckListBoxRisultati->Items, SaveDialog.FileName, onRow);
}

void TfrmMain::AprilistaemaildaFile1Click(QObject*)
{
    OpenDialog.FilterIndex = 1;
    if (!OpenDialog.Execute())
        return;
    setCounter(LabelEmailTrovate, LoadListText(*CheckListBoxRisultati->Items, OpenDialog.FileName));
}

void TfrmMain::WindowsAdrdessBookFile1Click(QObject*)
{
    SaveDialog.FilterIndex = 2;
    if (!SaveDialog.Execute([](const std::string& name) { return AdjustFileName(name, "csv"); }))
        return;
    // Writes the header line and the list without touching the list itself.
    SaveAddressBook(*CheckListBoxRisultati->Items, SaveDialog.FileName);
}

void TfrmMain::WindowsAdrdessBookFile2Click(QObject*)
{
    OpenDialog.FilterIndex = 2;
    if (!OpenDialog.Execute())
        return;
    setCounter(LabelEmailTrovate, LoadAddressBook(*CheckListBoxRisultati->Items, OpenDialog.FileName));
}
