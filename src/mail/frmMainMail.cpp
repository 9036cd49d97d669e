// The main window's mail menu items: each opens the send-mail dialog in its
// mode.
#include "frmEmail.h"
#include "frmMain.h"

void TfrmMain::Corvina1Click(QObject*) { frmEmail->ShowInMode(QStringLiteral("Corvina")); }

void TfrmMain::ProgrammaPredefinito1Click(QObject*) { frmEmail->ShowInMode(QStringLiteral("Predefinito")); }
