// The SMTP client component and its message record.
//
// One Connect greets the server and says HELO; each SendMail assembles the
// message of PostMessage (header lines into FinalHeader, the body with its
// attachments into an in-memory stream) and runs RSET, MAIL FROM, one RCPT
// per recipient, DATA, the header block, the body and "."; Disconnect says
// QUIT and closes. Any number of messages can go over one connection.
//
//   TNMSMTP smtp;
//   smtp.Host = "mail.example.org"; smtp.UserID = "myhost";
//   smtp.Connect();
//   smtp.PostMessage.FromAddress = "me@example.org";
//   smtp.PostMessage.ToAddress.Add("you@example.org");
//   smtp.PostMessage.Body.SetText("Hello");
//   smtp.SendMail();       // raises with the server's reply when refused
//   smtp.Disconnect();
//
// Waits, time-outs and cancelling are those of TPowersock. With a TimeOut,
// the body send also ends when no byte has left for TimeOut milliseconds and
// a multi-line reply must be complete within TimeOut; a reply of more than
// MaxReplyLines lines ends the command in any case. So a stalled or endless
// server cannot hold the client for ever. A server that closes the
// connection instead of replying is a failure ("Connection closed by the
// server"), never an acceptance.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Classes.h"
#include "Nmextstr.h"
#include "Nmuue.h"
#include "Psock.h"

// Text type of a message without attachments.
enum TSubType { mtPlain, mtEnriched, mtSgml, mtTabSeperated, mtHtml };

// The fields of one message.
class TPostMessage {
public:
    std::string FromAddress;     // MAIL FROM and the From line
    std::string FromName;        // display name of the From line
    TStringList ToAddress;       // one entry per recipient
    TStringList ToCarbonCopy;
    TStringList ToBlindCarbonCopy; // envelope only, never in a header line
    TStringList Body;            // the text, one entry per line
    TStringList Attachments;     // full paths of the files to attach
    std::string Subject;
    std::string LocalProgram;    // the X-Mailer value
    std::string Date;            // the Date value, used as it stands
    std::string ReplyTo;

    void SetLinesTo(const TStringList& lines) { ToAddress = lines; }
    void SetLinesCC(const TStringList& lines) { ToCarbonCopy = lines; }
    void SetLinesBCC(const TStringList& lines) { ToBlindCarbonCopy = lines; }
    void SetLinesBody(const TStringList& lines) { Body = lines; }
    void SetLinesAttachments(const TStringList& lines) { Attachments = lines; }
};

// hiType of OnHeaderIncomplete: the sender address is empty; or there is a
// sender but no recipient in any list.
enum : int { hiFromAddress = 1, hiToAddress = 2 };

using THeaderInComplete = std::function<void(bool& handled, int hiType)>;
using TRecipientNotFound = std::function<void(const std::string& Recipient)>;
using TMailListReturn = std::function<void(const std::string& MailAddress)>;
using TFileItem = std::function<void(const std::string& Filename)>;
// A uniform choice among range values: 0 .. range - 1.
using TRandomSource = std::function<int(int range)>;

// ---- reply reading, usable without a connection ----

// Whether a reply goes on after this line: it begins with a blank or its
// fourth character is "-".
bool IsSmtpContinuation(const std::string& line);

// Reads the continuation lines of a multi-line reply whose line so far is
// `line`, taking each next line from nextLine (an empty line means the
// server has closed, which ends the reply). Returns the last line read. More
// than maxLines lines in all raise Exception "Reply too long".
std::string ReadSmtpReply(std::string line, const std::function<std::string()>& nextLine, int maxLines);

// One reply cut from received bytes, as the client reads it from the wire:
// lines end after their line feed; a line without one takes the rest.
struct TSmtpReply {
    int16_t Code = 0;       // from the first line's leading digits
    std::string FirstLine;  // with its line end
    std::string LastLine;   // with its line end
    int Lines = 0;
    size_t Consumed = 0;    // bytes of input the reply took
};
// Parses the first reply in bytes. Raises ERangeError for a code beyond
// 32767 or a line longer than 65536 bytes, and Exception "Reply too long"
// for more than maxLines lines.
TSmtpReply ParseSmtpReply(std::string_view bytes, int maxLines = 1000);

class TNMSMTP : public TPowersock {
    Q_OBJECT
public:
    explicit TNMSMTP(QObject* Owner = nullptr);
    ~TNMSMTP() override;

    // ---- published properties ----
    std::string UserID;          // the name sent after "HELO "
    TPostMessage PostMessage;
    TExStringList FinalHeader;   // header lines of the message being sent
    UUMethods EncodeType = uuMime;
    bool ClearParams = true;
    TSubType SubType = mtPlain;
    std::string Charset = "us-ascii";
    TNotifyEvent OnConnect;      // greeting and HELO accepted
    TNotifyEvent OnSendStart;    // the message is assembled; FinalHeader may still change
    TNotifyEvent OnSuccess;
    TNotifyEvent OnFailure;
    using TPowersock::OnPacketSent;
    using TPowersock::OnConnectionRequired;
    THandlerEvent OnAuthenticationFailed;
    THeaderInComplete OnHeaderIncomplete;
    TRecipientNotFound OnRecipientNotFound;
    TMailListReturn OnMailListReturn;
    TFileItem OnEncodeStart;
    TFileItem OnEncodeEnd;
    TFileItem OnAttachmentNotFound;

    // Source of the boundary letters (a seeded generator by default).
    TRandomSource Random;
    // Most lines one reply may have before the command fails.
    int MaxReplyLines = 1000;
    // Header lines longer than this are folded after a comma between
    // recipients of the To and CC lines.
    size_t FoldWidth = 78;

    void SetFinalHeader(const TStringList& lines);

    // ---- operations ----
    void Connect() override;
    void Disconnect() override;
    void Abort() override;
    void SendMail();
    bool Verify(const std::string& address);
    bool ExpandList(const std::string& name);
    static std::string ExtractAddress(const std::string& entry);
    void ClearParameters();
    void AbortResume(QObject* Sender = nullptr);
    void ReadExtraLines(std::string& line);
    void AssembleMail();
    void SendAttachments(int n);

    // ---- state ----
    bool Busy() const { return FBusy; }
    const std::string& Boundary() const { return FBoundary; }
    TMemoryStream& BodyStream() { return FBody; }
    // The bytes that follow DATA, without the final ".": the header lines,
    // the empty line, the body.
    std::string HeaderBlock() const;

private:
    bool FBusy = false;
    TMemoryStream FBody;
    std::string FBoundary;

    std::string NewBoundary();
    // A reply at or past 400, or no reply at all, raises.
    void Expect(const std::string& command);
    void SendBody();
};
