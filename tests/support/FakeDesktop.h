// Recording fakes for what the program asks of the desktop. A FakeDesktop
// installs all four fakes while it lives and puts the real ones back after.
//
//   FakeDesktop desk;
//   desk.Messages.NextAnswers.push_back(TModalResult::mrYes);
//   ... run a handler ...
//   ASSERT_EQ(desk.Messages.Calls.size(), 1u);
//   EXPECT_EQ(desk.Messages.Calls[0].Text, "Select an item!");
#pragma once

#include "Desktop.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

class FakeMessageBoxes : public IMessageBoxes {
public:
    struct Call {
        std::string Text;
        std::string Caption;
        TMsgButtons Buttons;
        TMsgIcon Icon;
    };
    std::vector<Call> Calls;
    // Answers given in turn; when empty, OK (or Yes for Yes/No boxes).
    std::deque<TModalResult> NextAnswers;

    TModalResult Show(QWidget* owner, const std::string& text, const std::string& caption, TMsgButtons buttons,
                      TMsgIcon icon) override;
};

class FakeFileDialogs : public IFileDialogs {
public:
    struct Call {
        TFileDialogKind Kind;
        TFileDialogParams Params;  // as the dialog was opened
    };
    std::vector<Call> Calls;
    // A chosen file name (and optionally filter index) per call; std::nullopt
    // or an empty queue is a cancel.
    struct Answer {
        std::string FileName;
        int FilterIndex = 0;  // 0: keep the dialog's
    };
    std::deque<std::optional<Answer>> NextAnswers;

    bool Execute(QWidget* owner, TFileDialogKind kind, TFileDialogParams& params) override;
};

class FakeLinkOpener : public ILinkOpener {
public:
    std::vector<std::string> Opened;
    // What Open answers: false plays a desktop without a browser or mail
    // program. The address is recorded either way.
    bool Opens = true;
    bool Open(QWidget* owner, const std::string& address) override;
};

// A dial-up layer with connections the test sets up.
class FakeDialUp : public IDialUp {
public:
    struct Connection {
        TRasConn Conn;
        TRasConnState State = TRasConnState::Connected;
    };
    std::vector<Connection> Connections;
    // Error numbers to return instead of success (0: none).
    int EnumError = 0;
    std::map<TRasHandle, int> StatusErrors;
    std::map<TRasHandle, int> HangUpErrors;

    std::vector<std::string> Calls;  // "enum", "status <h>", "hangup <h>", "error <n>"
    std::vector<TRasHandle> HungUp;

    int EnumConnections(std::vector<TRasConn>& connections, int max) override;
    int GetConnectStatus(TRasHandle handle, TRasConnState& state) override;
    int HangUp(TRasHandle handle) override;
    std::string GetErrorString(int error) override;
};

class FakeDesktop {
public:
    FakeDesktop();
    ~FakeDesktop();
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    FakeMessageBoxes Messages;
    FakeFileDialogs Files;
    FakeLinkOpener Links;
    FakeDialUp DialUp;
};
