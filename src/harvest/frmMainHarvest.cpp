// The main window's harvest handlers.
#include "frmMain.h"
#include "frmMainSessions.h"

void TfrmMain::cmdTrovaEmailClick(QObject*)
{
    if (auto hold = TNetworkBusy::TryHold("Search Email"))
        Sessions().Harvest.SearchEmail();
}
void TfrmMain::BitBtn2Click(QObject*) { Sessions().Harvest.Stop(); }
