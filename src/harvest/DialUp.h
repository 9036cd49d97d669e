// The dial-up connection layer: list the active dial-up connections, read
// one's state, hang one up and describe an error number; and the hang-up
// routine that a search or a harvest runs when it ends with "Disconnect on
// search end" set.
//
// The layer has one installed instance (the system's by default); tests put
// a recording fake in its place with SetDialUp, and SetDialUp(nullptr) puts
// the system's back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using TRasHandle = std::uintptr_t;

struct TRasConn {
    TRasHandle Handle = 0;
    std::string EntryName;
    std::string DeviceName;
};

enum class TRasConnState { Other, Connecting, Connected, Disconnected };

// The table that receives the active connections holds this many.
constexpr int kRasMaxConnections = 30;
// The error numbers of the layer; 0 is success.
constexpr int kRasSuccess = 0;
constexpr int kRasErrorInvalidHandle = 6;
constexpr int kRasErrorBufferTooSmall = 603;
constexpr int kRasErrorNotSupported = 50;
// An error description holds at most this many characters.
constexpr size_t kRasErrorTextMax = 100;

class IDialUp {
public:
    virtual ~IDialUp() = default;
    // Lists the active connections, at most max of them; more than max gives
    // kRasErrorBufferTooSmall. Returns 0 or an error number.
    virtual int EnumConnections(std::vector<TRasConn>& connections, int max) = 0;
    virtual int GetConnectStatus(TRasHandle handle, TRasConnState& state) = 0;
    virtual int HangUp(TRasHandle handle) = 0;
    // The description of an error number, at most kRasErrorTextMax characters.
    virtual std::string GetErrorString(int error) = 0;
};

IDialUp& DialUp();
void SetDialUp(IDialUp* dialUp);

// The descriptions of the layer's own error numbers (cut to the limit).
std::string RasErrorText(int error);

// The text shown when the listing finds no active connection.
inline const std::string kNoActiveConnections = "There are no active connections.";

// Hangs up every listed connection that is in the connected state, in the
// order listed, leaving connections in any other state alone. Every failure
// of the layer is shown once through show (its error text) and ends the
// routine; an empty listing shows kNoActiveConnections. Does not wait for a
// line to close.
void HangUpDialUp(IDialUp& dialUp, const std::function<void(const std::string&)>& show);
