// The dial-up layer of Linux, over NetworkManager's D-Bus API on the system
// bus.
//
// Dial-up connections are NetworkManager's active connections of the kinds
// that dial a line: mobile broadband ("gsm", "cdma"), "pppoe", and Bluetooth
// connections of the dial-up networking profile ("bluetooth" whose settings
// have the bluetooth type "dun"). Wired, wireless, VPN and Bluetooth PAN
// connections are not listed.
//
// Failure rules:
// - No system bus, or no NetworkManager on it: the listing succeeds with no
//   connection (a machine on a permanent line); logged to corvina.dialup.
// - Any other failed D-Bus call gives kRasErrorDBus; GetErrorString then
//   describes the latest such failure by the D-Bus error message (its name
//   when the message is empty), cut to kRasErrorTextMax bytes on a UTF-8
//   character boundary.
// - More than max dial-up connections: kRasErrorBufferTooSmall, nothing
//   listed.
// - Handles stand for the active-connection object paths of the latest
//   listing; a handle of an earlier listing is kRasErrorInvalidHandle.
// - An active connection that vanished after the listing reads as
//   disconnected, and hanging up one that is no longer active succeeds; a
//   Bluetooth connection whose settings cannot be read is not listed.
// - Every call waits at most the time-out given (a few seconds by default),
//   since the hang-up routine blocks the window.
#pragma once

#include "DialUp.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>

#include <map>
#include <optional>

// The layer's error number for a failed D-Bus call.
constexpr int kRasErrorDBus = 1000;
// How long one D-Bus call may take, in milliseconds.
constexpr int kNmCallTimeoutMs = 3000;

class TNmDialUp : public IDialUp {
public:
    // On the system bus.
    TNmDialUp();
    // On a bus of the caller's (tests connect to a private one).
    explicit TNmDialUp(const QDBusConnection& bus, int timeoutMs = kNmCallTimeoutMs);

    int EnumConnections(std::vector<TRasConn>& connections, int max) override;
    int GetConnectStatus(TRasHandle handle, TRasConnState& state) override;
    int HangUp(TRasHandle handle) override;
    std::string GetErrorString(int error) override;

private:
    enum class TKind { DialUp, Other, Gone };

    QDBusConnection bus() const;
    // Sends a call and waits for its reply, at most timeoutMs_; an error reply
    // (a time-out among them) comes back as it is.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QList<QVariant>& args = {}) const;
    // Records a failed call as the latest D-Bus error; returns kRasErrorDBus.
    int fail(const QDBusMessage& reply, const char* what);
    // Reads the kind and names of the active connection at path; 0 or an
    // error number.
    int classify(const QString& path, TKind& kind, TRasConn& conn);

    std::optional<QDBusConnection> bus_;
    int timeoutMs_ = kNmCallTimeoutMs;
    std::map<TRasHandle, QString> paths_;
    TRasHandle nextHandle_ = 1;
    std::string lastError_;
};
