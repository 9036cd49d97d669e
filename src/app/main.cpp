// Program entry: splash, windows, event loop.
#include "Desktop.h"
#include "Guard.h"
#include "RunLog.h"
#include "Startup.h"
#include "frmMain.h"

#include <exception>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    // The program ends when the main window closes, even if a dialog is open.
    app.setQuitOnLastWindowClosed(false);
    // The run's failures are kept for Help > Show Log... and the status bar.
    TRunLog::Install();
    try {
        CreateApplicationWindows();
        QObject::connect(frmMain, &TfrmMain::Closed, &app, &QApplication::quit, Qt::QueuedConnection);
        app.exec();
    } catch (const std::exception& e) {
        ShowStartupError(e.what());
    } catch (...) {
        ShowStartupError("Unknown error");
    }
    DestroyApplicationWindows();
    return 0;
}
