// The mail run of the send-mail dialog, without the window: one message per
// ticked address, or one message to all of them, through the dialog's SMTP
// client; and the mailto: link handed to the desktop's mail program.
//
// The window implements IMailView; the session reads the settings, the
// texts and the ticks through it at the moment of sending and tells it what
// to show. A run where every message went ends with "Operation Completed!";
// any other run (a refused recipient, a server error, Stop) ends with a
// summary: how many messages went of how many, the refused recipients with
// the server's reasons, and the error that ended it. A connection that
// cannot be made is reported with the server and port it was tried on.
#pragma once

#include "Nmsmtp.h"

#include <string>
#include <vector>

// The outgoing-mail settings, as typed in the Options dialog.
struct TMailSettings {
    std::string Server;      // host name or address, optionally ":port"
    std::string UserID;      // the HELO name
    std::string FromAddress;
    std::string FromName;
    bool HideRecipients = true; // one message per address
};

class IMailView {
public:
    virtual ~IMailView() = default;
    virtual TMailSettings Settings() = 0;
    virtual std::string Subject() = 0;
    virtual std::string MessageText() = 0;
    // The Results list, read entry by entry during the run (the user may
    // change it meanwhile).
    virtual int EntryCount() = 0;
    virtual bool EntryTicked(int index) = 0;
    virtual std::string EntryText(int index) = 0;
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // A run starts (true) or ends (false): Send is not pressed twice.
    virtual void SetRunning(bool running) = 0;
};

class TMailSession {
public:
    TMailSession(TNMSMTP& smtp, IMailView& view) : smtp_(smtp), view_(view) {}

    // Send in the built-in mode. A connection left open by an earlier run is
    // only closed.
    void Send();
    // The stop request: the one-message-per-address walk ends before its
    // next address. Every run starts with it clear.
    void Stop() { stop_ = true; }
    void ClearStop() { stop_ = false; }
    bool StopRequested() const { return stop_; }
    bool Running() const { return running_; }

private:
    // What a run did, for its closing message.
    struct TRunResult {
        int Sent = 0;      // messages the server accepted
        int Planned = 0;   // messages the run was to send
        std::vector<TNMSMTP::TRefusal> Refused;
        std::string Error; // what ended the run early
    };
    void SendEach(int& count, TRunResult& result);
    void SendAll(int& count, TRunResult& result);
    // One SendMail; false when the run must end.
    bool SendOne(TRunResult& result);
    void Report(const TRunResult& result);

    TNMSMTP& smtp_;
    IMailView& view_;
    bool stop_ = false;
    bool running_ = false;
};

// Splits "host:port" (a port of digits after the last ":") from a server
// text; without one the port is 25, the SMTP port.
void SplitServer(const std::string& server, std::string& host, int& port);

// "mailto:" + each address and ";" + "?Subject=" + subject + "&Body=" +
// body, with every character that a link would read as something else
// percent-encoded, so the mail program gets exactly what was typed. Line
// breaks of the body become CR LF.
std::string BuildMailtoLink(const std::vector<std::string>& addresses, const std::string& subject,
                            const std::string& body);
