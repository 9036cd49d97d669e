// Creating and destroying the program's seven windows, in start-up order.
#pragma once

#include <ctime>
#include <functional>
#include <string>

struct TStartupOptions {
    // Hold the splash window 2 to 3 seconds by the whole-second clock.
    bool HoldSplash = true;
    // The program file, whose directory an older build kept user.dat in (the
    // running program's own path when empty).
    std::string ProgramFile;
};

// Creates the splash window, shows it, holds it (when asked), sets the
// application title, creates the main window, the Options dialog, the about
// box, the send-mail dialog, the word-search dialog and the modify dialog in
// that order, then hides and closes the splash window. The main window is
// shown maximized; the dialogs stay hidden. Raises what a window's creation
// raises.
void CreateApplicationWindows(const TStartupOptions& options = {});
// Shows an error that ended the start-up in the standard error message box
// (caption "Corvina"). The splash window, which stays on top of everything,
// is hidden first so that it cannot cover the box.
void ShowStartupError(const std::string& message);
// Destroys every window still alive, the last created first.
void DestroyApplicationWindows();

// Waits, without handling any window message, until the whole-second clock
// reads more than its first reading plus 2. Sleeps in small steps.
void HoldSplashWindow(const std::function<std::time_t()>& clock = [] { return std::time(nullptr); },
                      const std::function<void()>& nap = {});
