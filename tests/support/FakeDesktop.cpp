#include "FakeDesktop.h"

TModalResult FakeMessageBoxes::Show(QWidget*, const std::string& text, const std::string& caption,
                                    TMsgButtons buttons, TMsgIcon icon)
{
    Calls.push_back({text, caption, buttons, icon});
    if (!NextAnswers.empty()) {
        const TModalResult r = NextAnswers.front();
        NextAnswers.pop_front();
        return r;
    }
    return buttons == TMsgButtons::YesNo ? TModalResult::mrYes : TModalResult::mrOk;
}

bool FakeFileDialogs::Execute(QWidget*, TFileDialogKind kind, TFileDialogParams& params)
{
    Calls.push_back({kind, params});
    if (NextAnswers.empty())
        return false;
    const std::optional<Answer> a = NextAnswers.front();
    NextAnswers.pop_front();
    if (!a)
        return false;
    params.FileName = a->FileName;
    if (a->FilterIndex > 0)
        params.FilterIndex = a->FilterIndex;
    return true;
}

bool FakeLinkOpener::Open(QWidget*, const std::string& address)
{
    Opened.push_back(address);
    return Opens;
}

int FakeDialUp::EnumConnections(std::vector<TRasConn>& connections, int max)
{
    Calls.push_back("enum");
    connections.clear();
    if (EnumError)
        return EnumError;
    if (static_cast<int>(Connections.size()) > max)
        return kRasErrorBufferTooSmall;
    for (const auto& c : Connections)
        connections.push_back(c.Conn);
    return kRasSuccess;
}

int FakeDialUp::GetConnectStatus(TRasHandle handle, TRasConnState& state)
{
    Calls.push_back("status " + std::to_string(handle));
    if (auto it = StatusErrors.find(handle); it != StatusErrors.end() && it->second)
        return it->second;
    for (const auto& c : Connections)
        if (c.Conn.Handle == handle) {
            state = c.State;
            return kRasSuccess;
        }
    return kRasErrorInvalidHandle;
}

int FakeDialUp::HangUp(TRasHandle handle)
{
    Calls.push_back("hangup " + std::to_string(handle));
    if (auto it = HangUpErrors.find(handle); it != HangUpErrors.end() && it->second)
        return it->second;
    HungUp.push_back(handle);
    return kRasSuccess;
}

std::string FakeDialUp::GetErrorString(int error)
{
    Calls.push_back("error " + std::to_string(error));
    return RasErrorText(error);
}

FakeDesktop::FakeDesktop()
{
    SetMessageBoxes(&Messages);
    SetFileDialogs(&Files);
    SetLinkOpener(&Links);
    SetDialUp(&DialUp);
}

FakeDesktop::~FakeDesktop()
{
    SetMessageBoxes(nullptr);
    SetFileDialogs(nullptr);
    SetLinkOpener(nullptr);
    SetDialUp(nullptr);
}
