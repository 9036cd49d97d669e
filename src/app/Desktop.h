// What the program asks of the desktop, behind small interfaces so that tests
// can replace each with a recording fake: modal message boxes, the standard
// file dialogs, opening an address with the desktop's handler, and the
// dial-up connection layer.
//
// Each interface has one installed instance (the real one by default);
// Set...(nullptr) puts the real one back.
#pragma once

#include "DialUp.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLoggingCategory;
class QWidget;

// ---- message boxes ----

enum class TMsgButtons { OK, YesNo };
enum class TMsgIcon { None, Information, Warning, Error, Question };
enum class TModalResult { mrNone, mrOk, mrCancel, mrYes, mrNo };

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // Shows a modal message box and returns the button chosen.
    virtual TModalResult Show(QWidget* owner, const std::string& text, const std::string& caption,
                              TMsgButtons buttons, TMsgIcon icon) = 0;
};

IMessageBoxes& MessageBoxes();
void SetMessageBoxes(IMessageBoxes* boxes);

// The usual call: text, caption, buttons.
TModalResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons = TMsgButtons::OK,
                        QWidget* owner = nullptr, TMsgIcon icon = TMsgIcon::Information);

// ---- file dialogs ----

enum class TFileDialogKind { Save, Open };

// What a file dialog is opened with and what it gives back. The filter is
// written as pairs "description|pattern|description|pattern"; FilterIndex
// counts its pairs from 1.
struct TFileDialogParams {
    std::string Title;
    std::string Filter;
    int FilterIndex = 1;
    std::string FileName;
    std::string InitialDir;
    std::string DefaultExt;
};

class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    // Runs the dialog. On a choice, sets FileName (and FilterIndex to the
    // chosen filter) and returns true; on cancel returns false and leaves the
    // parameters as they were.
    virtual bool Execute(QWidget* owner, TFileDialogKind kind, TFileDialogParams& params) = 0;
};

IFileDialogs& FileDialogs();
void SetFileDialogs(IFileDialogs* dialogs);

// How a caller turns the chosen name into the name it writes (adding an
// extension, say).
using TFileNameAdjustment = std::function<std::string(const std::string&)>;

// A save or open dialog as a component of a window: its settings persist
// from one use to the next.
class TFileDialog : public TFileDialogParams {
public:
    TFileDialog(TFileDialogKind kind, QWidget* owner) : Kind(kind), Owner(owner) {}
    // Runs the dialog. A save dialog asks before an existing file is
    // replaced, about the name that will really be written (the chosen name
    // after adjust): "No" shows the dialog again. FileName stays the name
    // chosen in the dialog.
    bool Execute(const TFileNameAdjustment& adjust = {});

    TFileDialogKind Kind;
    QWidget* Owner;
};

// Splits "desc|pattern|desc|pattern" into Qt's "desc (pattern);;..." form.
std::string QtFileFilter(const std::string& filter);

// ---- opening an address with the desktop's default handler ----

class ILinkOpener {
public:
    virtual ~ILinkOpener() = default;
    // Hands the address, unchanged, to the desktop's "open" handler; false
    // when no handler took it (no web browser or mail program installed).
    virtual bool Open(QWidget* owner, const std::string& address) = 0;
};

ILinkOpener& LinkOpener();
void SetLinkOpener(ILinkOpener* opener);
inline bool OpenLink(const std::string& address, QWidget* owner = nullptr) { return LinkOpener().Open(owner, address); }

// What is said when no handler took the address: "No mail program was found
// to write the message to a@b.org and 2 others." for a mailto: link, "No web
// browser was found to open <address>." for anything else.
std::string NoLinkHandlerText(const std::string& address);

// Opens the address; when no handler takes it, logs NoLinkHandlerText on
// the caller's category and shows it in a message box with the caption.
// Returns whether the address was opened.
bool OpenLinkOrTell(const std::string& address, QWidget* owner, const std::string& caption,
                    const QLoggingCategory& category);

// ---- dial-up connections ----
// The dial-up layer (IDialUp, DialUp(), SetDialUp()) lives with the harvest
// logic in DialUp.h, so that the sessions can hang up without widgets.
