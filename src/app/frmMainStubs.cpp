// Main-window handlers whose work is not built yet. Each does nothing; move a
// handler out of this file when its work is written.
#include "frmMain.h"

// Mail.
void TfrmMain::Corvina1Click(QObject*) {}
void TfrmMain::ProgrammaPredefinito1Click(QObject*) {}
