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

// Mail.
void TfrmMain::Corvina1Click(QObject*) {}
void TfrmMain::ProgrammaPredefinito1Click(QObject*) {}
