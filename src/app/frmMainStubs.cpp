// Main-window handlers whose work is not built yet. Each does nothing; move a
// handler out of this file when its work is written.
#include "frmMain.h"

// Search session.
void TfrmMain::cmdCercaClick(QObject*) {}
void TfrmMain::cmdSuccClick(QObject*) {}
void TfrmMain::cmdNuovaRicClick(QObject*) {}
void TfrmMain::BitBtn1Click(QObject*) {}
void TfrmMain::EditMotoreChange(QObject*) {}

// Harvest session.
void TfrmMain::cmdTrovaEmailClick(QObject*) {}
void TfrmMain::BitBtn2Click(QObject*) {}

// List operations.
void TfrmMain::Eliminadallalista3Click(QObject*) {}
void TfrmMain::Eraseselectedfromlist1Click(QObject*) {}
void TfrmMain::selezionaTutti1Click(QObject*) {}
void TfrmMain::DeselezionaTutti1Click(QObject*) {}
void TfrmMain::InvertiSelezione1Click(QObject*) {}
void TfrmMain::Searchword1Click(QObject*) {}
void TfrmMain::Elimina1Click(QObject*) {}
void TfrmMain::Eraseselectedfromlist2Click(QObject*) {}
void TfrmMain::SelezionaTutti3Click(QObject*) {}
void TfrmMain::DeselezionaTutti3Click(QObject*) {}
void TfrmMain::InvertiSelezione2Click(QObject*) {}
void TfrmMain::Searchword2Click(QObject*) {}
void TfrmMain::Modifyselected1Click(QObject*) {}

// List files.
void TfrmMain::SalvaSitiTrovatisufile1Click(QObject*) {}
void TfrmMain::ApriSitiTrovatidaFile1Click(QObject*) {}
void TfrmMain::SalvalistaemailsuFile1Click(QObject*) {}
void TfrmMain::WindowsAdrdessBookFile1Click(QObject*) {}
void TfrmMain::AprilistaemaildaFile1Click(QObject*) {}
void TfrmMain::WindowsAdrdessBookFile2Click(QObject*) {}

// Mail.
void TfrmMain::Corvina1Click(QObject*) {}
void TfrmMain::ProgrammaPredefinito1Click(QObject*) {}

// Visit page, online help, update check.
void TfrmMain::VisitaPaginaWeb1Click(QObject*) {}
void TfrmMain::HelpinLinea1Click(QObject*) {}
void TfrmMain::ControllapresenzadiAggiornamenti1Click(QObject*) {}
