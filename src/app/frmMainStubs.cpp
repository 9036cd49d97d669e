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

// Visit page, online help, update check.
void TfrmMain::VisitaPaginaWeb1Click(QObject*) {}
void TfrmMain::HelpinLinea1Click(QObject*) {}
void TfrmMain::ControllapresenzadiAggiornamenti1Click(QObject*) {}
