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

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// The three kinds of list file, each with its own filter of the dialogs
// (1 text, 2 address book) and its own last folder.
enum class TListKind { Sites, AddressText, AddressBook };

int filterOf(TListKind kind) { return kind == TListKind::AddressBook ? 2 : 1; }

QString folderKey(TListKind kind)
{
    switch (kind) {
    case TListKind::Sites: return QStringLiteral("Folders/Sites");
    case TListKind::AddressText: return QStringLiteral("Folders/AddressText");
    case TListKind::AddressBook: break;
    }
    return QStringLiteral("Folders/AddressBook");
}

// Runs a save or open dialog for one kind of list. It starts in the folder
// last used for that kind (the home folder at first), with that kind's
// filter, and with no file name left from another kind of list. The folder
// chosen is kept for the next time, also across starts.
bool runListDialog(TFileDialog& dialog, TListKind kind, const TFileNameAdjustment& adjust = {})
{
    QSettings file(FileNameToQt(SettingsFilePath()), QSettings::IniFormat);
    QString folder = file.value(folderKey(kind)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    dialog.InitialDir = FileNameFromQt(folder);
    dialog.FileName.clear();
    dialog.FilterIndex = filterOf(kind);
    if (!dialog.Execute(adjust))
        return false;
    file.setValue(folderKey(kind), QFileInfo(FileNameToQt(dialog.FileName)).absolutePath());
    file.sync();
    return true;
}

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
    if (!runListDialog(SaveDialog, TListKind::Sites))
        return;
    SaveListText(*CheckListBoxTrovati->Items, SaveDialog.FileName);
}

void TfrmMain::ApriSitiTrovatidaFile1Click(QObject*)
{
    if (!runListDialog(OpenDialog, TListKind::Sites))
        return;
    // Raises before the list changes when the file cannot be read, so the
    // list, the counter and the buttons then stay as they were.
    const int count = LoadListText(*CheckListBoxTrovati->Items, OpenDialog.FileName);
    Sessions().Search.SiteListLoaded();
    setCounter(LabelTrovati, count);
}

void TfrmMain::SalvalistaemailsuFile1Click(QObject*)
{
    if (!runListDialog(SaveDialog, TListKind::AddressText,
                       [](const std::string& name) { return AdjustFileName(name, "txt"); }))
        return;
    // The saving format is read now, not when the dialog was opened.
    const bool onRow = frmOpzioni->RadioGroup1->ItemIndex() == 1;
    SaveAddressText(*CheckListBoxRisultati->Items, SaveDialog.FileName, onRow);
}

void TfrmMain::AprilistaemaildaFile1Click(QObject*)
{
    if (!runListDialog(OpenDialog, TListKind::AddressText))
        return;
    setCounter(LabelEmailTrovate, LoadListText(*CheckListBoxRisultati->Items, OpenDialog.FileName));
}

void TfrmMain::WindowsAdrdessBookFile1Click(QObject*)
{
    if (!runListDialog(SaveDialog, TListKind::AddressBook,
                       [](const std::string& name) { return AdjustFileName(name, "csv"); }))
        return;
    // Writes the header line and the list without touching the list itself.
    SaveAddressBook(*CheckListBoxRisultati->Items, SaveDialog.FileName);
}

void TfrmMain::WindowsAdrdessBookFile2Click(QObject*)
{
    if (!runListDialog(OpenDialog, TListKind::AddressBook))
        return;
    setCounter(LabelEmailTrovate, LoadAddressBook(*CheckListBoxRisultati->Items, OpenDialog.FileName));
}
