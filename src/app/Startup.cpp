#include "Startup.h"

#include "Desktop.h"
#include "frmAbout.h"
#include "frmMain.h"
#include "frmOpzioni.h"
#include "frmSplash.h"
#include "frmCercaParola.h"
#include "frmModificaSel.h"
#include "frmEmail.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <chrono>
#include <thread>

static void initResources()
{
    // The pictures are compiled into this static library.
    Q_INIT_RESOURCE(corvina);
}

void HoldSplashWindow(const std::function<std::time_t()>& clock, const std::function<void()>& nap)
{
    const std::time_t first = clock();
    while (clock() <= first + 2) {
        if (nap)
            nap();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void CreateApplicationWindows(const TStartupOptions& options)
{
    initResources();

    new TfrmSplash;
    frmSplash->show();
    // Paint it now, since nothing is serviced during the hold: wait (briefly)
    // for the window system to map it, then paint.
    QElapsedTimer mapping;
    mapping.start();
    while (frmSplash->windowHandle() && !frmSplash->windowHandle()->isExposed() && mapping.elapsed() < 500) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    frmSplash->repaint();
    QApplication::processEvents();
    if (options.HoldSplash)
        HoldSplashWindow();

    QApplication::setApplicationName(QStringLiteral("Corvina"));

    auto* main = new TfrmMain(options.ProgramFile);
    main->showMaximized();
    new TfrmOpzioni;
    new TfrmAbout;
    new TfrmEmail;
    new TfrmCercaParola;
    new TfrmModificaSel;

    frmSplash->hide();
    frmSplash->close();
}

void ShowStartupError(const std::string& message)
{
    if (frmSplash)
        frmSplash->hide();
    MessageBox(message, "Corvina", TMsgButtons::OK, nullptr, TMsgIcon::Error);
}

void DestroyApplicationWindows()
{
    delete frmModificaSel;
    delete frmCercaParola;
    delete frmEmail;
    delete frmAbout;
    delete frmOpzioni;
    delete frmMain;
    delete frmSplash;
}
