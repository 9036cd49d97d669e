#include "DialUp.h"

#include "NmDialUp.h"

namespace {

// NetworkManager's layer on the system bus; made at its first use.
IDialUp& systemDialUp()
{
    static TNmDialUp system;
    return system;
}

IDialUp* currentDialUp = nullptr;

} // namespace

IDialUp& DialUp() { return currentDialUp ? *currentDialUp : systemDialUp(); }
void SetDialUp(IDialUp* dialUp) { currentDialUp = dialUp; }

std::string RasErrorText(int error)
{
    std::string text;
    switch (error) {
    case kRasSuccess: text = "The operation completed successfully."; break;
    case kRasErrorInvalidHandle: text = "The connection handle is invalid."; break;
    case kRasErrorNotSupported: text = "Dial-up networking is not supported on this system."; break;
    case kRasErrorBufferTooSmall: text = "The buffer is too small for all active connections."; break;
    default: text = "Dial-up error " + std::to_string(error) + "."; break;
    }
    if (text.size() > kRasErrorTextMax)
        text.resize(kRasErrorTextMax);
    return text;
}

void HangUpDialUp(IDialUp& dialUp, const std::function<void(const std::string&)>& show)
{
    auto fail = [&](int error) {
        std::string text = dialUp.GetErrorString(error);
        if (text.size() > kRasErrorTextMax)
            text.resize(kRasErrorTextMax);
        show(text);
    };
    std::vector<TRasConn> connections;
    if (const int error = dialUp.EnumConnections(connections, kRasMaxConnections); error != kRasSuccess)
        return fail(error);
    if (connections.empty())
        return show(kNoActiveConnections);
    for (const TRasConn& conn : connections) {
        TRasConnState state = TRasConnState::Other;
        if (const int error = dialUp.GetConnectStatus(conn.Handle, state); error != kRasSuccess)
            return fail(error);
        if (state != TRasConnState::Connected)
            continue;
        if (const int error = dialUp.HangUp(conn.Handle); error != kRasSuccess)
            return fail(error);
    }
}
