// The SMTP client component and its message record.
//
// One Connect greets the server and says HELO; each SendMail assembles the
// message of PostMessage (header lines into FinalHeader, the body with its
// attachments into a body stream) and runs RSET, MAIL FROM, one RCPT per
// recipient, DATA, the header block, the body and "."; Disconnect says QUIT
// and closes. Any number of messages can go over one connection.
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
// Every reply is read whole, continuation lines included, so a multi-line
// refusal never leaves lines behind for the next command to read. A message
// counts as sent only when the server answers its end of data with a 2xx
// reply.
//
// Text beyond ASCII: a From name or Subject with bytes beyond ASCII goes
// out as encoded words; a body with such bytes, or with a line longer than
// 998 bytes, is sent quoted-printable and labelled with a character set
// (UTF-8 unless Charset names another). No line on the wire is longer than
// 998 bytes. Attachments are read from their files block by block while
// the body is sent, so memory stays small for files of any size.
//
// Waits, time-outs and cancelling are those of TPowersock. With a TimeOut,
// the body send also ends when no byte has left for TimeOut milliseconds and
// a multi-line reply must be complete within TimeOut; a reply of more than
// MaxReplyLines lines ends the command in any case. So a stalled or endless
// server cannot hold the client for ever. A server that closes the
// connection instead of replying is a failure ("Connection closed by the
// server"), never an acceptance.
#pragma once

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    std::string Date;            // the Date value, used as it stands; empty: the client's clock
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

// SendMail when the server refused every recipient: nothing was sent.
class ESmtpNoRecipient : public Exception {
public:
    using Exception::Exception;
};

// A server reply as one line of text: its lines without their line ends,
// joined by blanks.
std::string SmtpReplyLine(const std::string& reply);

// "Tue, 08 Dec 2026 17:00:34 +0100": a date with time and zone, in English
// whatever the locale.
std::string SmtpDate(const QDateTime& when);

// The body of a message as it goes on the wire after the header block. Text
// is held in memory; an attachment is an open file, read and encoded block
// by block as the stream is read, so a large file never sits in memory.
// Only rewinding is supported besides reading on.
class TMailBodyStream : public TStream {
public:
    TMailBodyStream() = default;
    ~TMailBodyStream() override;
    TMailBodyStream(const TMailBodyStream&) = delete;
    TMailBodyStream& operator=(const TMailBodyStream&) = delete;

    void Clear();
    // Takes fd (a regular file of size bytes, now owned) as an encoded part.
    void AddFile(int fd, const std::string& path, int64_t size, UUMethods method);
    int64_t Read(void* buffer, int64_t count) override;
    // Appends text.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, uint16_t origin) override;
    int64_t GetSize() override { return size_; }
    // The whole stream as bytes (rewound before and after).
    std::string DataString();
    // The most file bytes held at once so far.
    size_t LargestFileBlock() const { return largestBlock_; }

private:
    struct Piece {
        std::string text;
        int fd = -1;
        std::string path;
        int64_t fileSize = 0;
        UUMethods method = uuMime;
        int64_t size = 0; // bytes this piece gives
    };
    bool NextFileBlock(Piece& p);

    std::vector<Piece> pieces_;
    int64_t size_ = 0;
    int64_t pos_ = 0;
    size_t piece_ = 0;       // piece being read
    int64_t inPiece_ = 0;    // bytes of it read
    int64_t fileRead_ = 0;   // bytes of its file read
    std::string block_;      // encoded bytes of the current file block
    size_t blockAt_ = 0;
    size_t largestBlock_ = 0;
};

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
    // An attachment's part is set up (its file open and checked); the file
    // itself is encoded later, block by block, as the body is sent.
    TFileItem OnEncodeStart;
    TFileItem OnEncodeEnd;
    // An attachment cannot be opened, or is no regular file.
    TFileItem OnAttachmentNotFound;

    // Source of the boundary letters and the Message-ID's random part (a
    // seeded generator by default).
    TRandomSource Random;
    // The clock of the Date line (the system's local time by default).
    std::function<QDateTime()> Clock;
    // The domain of the Message-ID; empty: the sender address's domain,
    // else the HELO name.
    std::string MessageIdDomain;
    // Most lines one reply may have before the command fails.
    int MaxReplyLines = 1000;
    // Recipient lines that would grow longer than this are folded after a
    // comma between recipients of the To and CC lines.
    size_t FoldWidth = 998;
    // The recipients the server refused in the last SendMail: the entry as
    // it stands in its list and the server's whole reply. When it refused
    // them all, SendMail raises ESmtpNoRecipient without sending DATA.
    struct TRefusal {
        std::string Entry;
        std::string Reply;
    };
    std::vector<TRefusal> Refused;
    // The whole last reply, every line with its line end.
    std::string LastReply;

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
    // Reads the rest of the reply whose first line is line, leaving its last
    // line in line and ReplyText; every line read is also added to received.
    void ReadExtraLines(std::string& line, std::string* received = nullptr);
    void AssembleMail();
    void SendAttachments(int n);

    // ---- state ----
    bool Busy() const { return FBusy; }
    const std::string& Boundary() const { return FBoundary; }
    TMailBodyStream& BodyStream() { return FBody; }
    // The bytes that follow DATA, without the final ".": the header lines,
    // the empty line, the body.
    std::string HeaderBlock() const;

private:
    bool FBusy = false;
    TMailBodyStream FBody;
    std::string FBoundary;

    std::string NewBoundary();
    std::string NewMessageId(const QDateTime& when);
    // Sends a command and reads its whole reply; ReplyCode is the code of
    // its first line, ReplyText its last line, LastReply all of it.
    void Command(const std::string& command);
    // Command, then a reply without a code from first to last, or with no
    // reply at all, raises with the reply.
    void Expect(const std::string& command, int first, int last);
    void SendBody();
};
