#include "Nmsmtp.h"

#include "Nms_stream.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <random>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcSmtp, "corvina.smtp", QtWarningMsg)

namespace {

constexpr size_t kMaxLine = 65536;  // longest reply line, as the session reads lines
constexpr uint16_t kWriteChunk = 65535;
const char* const kClosed = "Connection closed by the server";

// Header values and envelope addresses stay on their own line: a line break
// typed into one of them must not start a header line or an SMTP command of
// its own.
std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// "To: a,b,c": the entries as they stand, joined by ",". A line that would
// grow past width is folded after a comma, so a long list of recipients
// keeps every physical line short enough for every server.
std::string recipientLine(const char* name, const TStringList& list, size_t width)
{
    std::string out = std::string(name) + ": ";
    size_t lineStart = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string entry = oneLine(list[i]);
        if (i > 0) {
            out += ',';
            if (out.size() - lineStart + entry.size() > width) {
                out += "\r\n ";
                lineStart = out.size() - 1;
            }
        }
        out += entry;
    }
    return out;
}

const char* contentTypeOf(TSubType type)
{
    switch (type) {
    case mtEnriched: return "Content-Type: text/enriched; charset=";
    case mtSgml: return "Content-Type: text/sgml; charset=";
    case mtTabSeperated: return "Content-Type: text/tab-separated-values; charset=";
    case mtHtml: return "Content-Type: text/html; charset=";
    default: return "Content-Type: text/plain; charset=";
    }
}

// Writes one body line with CR LF, a leading "." doubled. Line breaks inside
// an entry end lines of their own, so no bare CR or LF reaches the wire.
void writeBodyLine(TMemoryStream& out, const std::string& line)
{
    std::string& data = out.Data();
    size_t start = 0;
    for (;;) {
        const size_t brk = line.find_first_of("\r\n", start);
        const size_t end = brk == std::string::npos ? line.size() : brk;
        if (end > start && line[start] == '.')
            data += '.';
        data.append(line, start, end - start);
        data += "\r\n";
        if (brk == std::string::npos)
            break;
        start = brk + (line[brk] == '\r' && brk + 1 < line.size() && line[brk + 1] == '\n' ? 2 : 1);
        if (start >= line.size())
            break;
    }
    out.Seek(0, soFromEnd);
}

// The end of the encoder's chain: appends what it is given to the body,
// doubling a "." that begins a line (a uuencoded line of 14 bytes begins
// with one, and the server would take it away). It only appends: seeking
// leaves it where it is.
class TStuffingSink : public TStream {
public:
    explicit TStuffingSink(TMemoryStream& out) : out_(out.Data()) {}
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* buffer, int64_t count) override
    {
        const char* p = static_cast<const char*>(buffer);
        int64_t from = 0;
        for (int64_t i = 0; i < count; ++i) {
            if (atLineStart_ && p[i] == '.') {
                out_.append(p + from, static_cast<size_t>(i - from));
                out_ += '.';
                from = i;
            }
            atLineStart_ = p[i] == '\n';
        }
        out_.append(p + from, static_cast<size_t>(count - from));
        written_ += count;
        return count;
    }
    int64_t Seek(int64_t, uint16_t) override { return written_; }
    int64_t GetSize() override { return written_; }

private:
    std::string& out_;
    bool atLineStart_ = true;
    int64_t written_ = 0;
};

// The file name of a path: the text after its last "/", "\" or ":".
std::string fileNameOf(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A file name as a quoted header parameter.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : oneLine(text)) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

int64_t fileSize(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

template <class F>
struct OnExit {
    F f;
    ~OnExit() { f(); }
};
template <class F>
OnExit(F) -> OnExit<F>;

} // namespace

// ------------------------------------------------------------ reply reading

bool IsSmtpContinuation(const std::string& line)
{
    return !line.empty() && (line[0] == ' ' || (line.size() >= 4 && line[3] == '-'));
}

std::string ReadSmtpReply(std::string line, const std::function<std::string()>& nextLine, int maxLines)
{
    int lines = 1;
    while (IsSmtpContinuation(line)) {
        if (++lines > maxLines)
            throw Exception("Reply too long");
        line = nextLine();
    }
    return line;
}

TSmtpReply ParseSmtpReply(std::string_view bytes, int maxLines)
{
    TSmtpReply reply;
    auto next = [&]() -> std::string {
        const std::string_view rest = bytes.substr(reply.Consumed);
        const size_t lf = rest.find('\n');
        const size_t take = lf == std::string_view::npos ? rest.size() : lf + 1;
        if (take > kMaxLine)
            throw ERangeError();
        reply.Consumed += take;
        ++reply.Lines;
        return std::string(rest.substr(0, take));
    };
    reply.FirstLine = next();
    reply.Code = ReplyCodeOf(reply.FirstLine);
    reply.LastLine = ReadSmtpReply(reply.FirstLine, next, maxLines);
    return reply;
}

// ---------------------------------------------------------------- the client

TNMSMTP::TNMSMTP(QObject* Owner) : TPowersock(Owner)
{
    Port = 25;
    auto engine = std::make_shared<std::mt19937>(std::random_device{}());
    Random = [engine](int range) { return std::uniform_int_distribution<int>(0, range - 1)(*engine); };
}

TNMSMTP::~TNMSMTP() = default;

void TNMSMTP::SetFinalHeader(const TStringList& lines)
{
    FinalHeader.Clear();
    for (const std::string& line : lines.Lines())
        FinalHeader.Add(line);
}

void TNMSMTP::ReadExtraLines(std::string& line)
{
    // Each line has its own time-out; the reply as a whole may not take
    // longer either, so a server that trickles continuation lines is cut off.
    QElapsedTimer clock;
    clock.start();
    line = ReadSmtpReply(
        line,
        [this, &clock] {
            if (TimeOut > 0 && clock.elapsed() > TimeOut)
                throw EAbortError("Socket readln aborted");
            return ReadLn();
        },
        MaxReplyLines);
    ReplyText = line;
}

void TNMSMTP::Connect()
{
    const bool mine = !FBusy;
    FBusy = true;
    OnExit clearBusy{[this, mine] {
        if (mine)
            FBusy = false;
    }};
    TPowersock::Connect();
    // The dialogue is many short writes that each wait for a reply; without
    // this, the data after DATA waits for the server's delayed ACK (some
    // 40 ms a message).
    const int one = 1;
    ::setsockopt(SocketHandle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    try {
        std::string line = ReadLn();
        const int16_t code = ReplyCodeOf(line);
        ReadExtraLines(line);
        ReplyCode = code;
        // A server that closes without a word has not greeted.
        if (line.empty())
            throw Exception(kClosed);
        if (code >= 400)
            throw Exception(line);
        for (int retry = 0;; ++retry) {
            Transaction("HELO " + oneLine(UserID));
            std::string reply = ReplyText;
            ReadExtraLines(reply);
            if (reply.empty())
                throw Exception(kClosed);
            if (ReplyCode < 300)
                break;
            if (retry > 0 || !OnAuthenticationFailed)
                throw Exception("Authentication failed");
            bool handled = false;
            OnAuthenticationFailed(handled);
            if (!handled)
                throw Exception("Authentication failed");
        }
    } catch (...) {
        try {
            Disconnect();
        } catch (const std::exception& e) {
            qCDebug(lcSmtp) << "closing after a failed connect:" << e.what();
        }
        throw;
    }
    if (mine)
        FBusy = false;
    if (OnConnect)
        OnConnect(this);
}

void TNMSMTP::Disconnect()
{
    FCanceled = false;
    std::string refusal;
    try {
        Transaction("QUIT");
        if (ReplyCode > 339)
            refusal = ReplyText;
    } catch (const std::exception& e) {
        // The connection is being closed anyway: a server that went away
        // first, or answers nonsense, is no error.
        qCDebug(lcSmtp) << "QUIT:" << e.what();
    }
    TPowersock::Disconnect();
    if (!refusal.empty())
        throw Exception(refusal);
}

void TNMSMTP::Abort() { TPowersock::Abort(); }

void TNMSMTP::AbortResume(QObject*)
{
    TPowersock::Disconnect();
    ClearInput();
}

void TNMSMTP::Expect(const std::string& command)
{
    Transaction(command);
    if (ReplyText.empty())
        throw Exception(kClosed);
    if (ReplyCode >= 400)
        throw Exception(ReplyText);
}

void TNMSMTP::SendMail()
{
    if (FBusy)
        return;
    FBusy = true;
    OnExit clearBusy{[this] { FBusy = false; }};

    AssembleMail();
    CertifyConnect();
    TPostMessage& m = PostMessage;
    for (int retry = 0;; ++retry) {
        const bool noSender = m.FromAddress.empty();
        if (!noSender && (m.ToAddress.Count() || m.ToCarbonCopy.Count() || m.ToBlindCarbonCopy.Count()))
            break;
        if (retry > 0 || !OnHeaderIncomplete)
            throw Exception("Incomplete Header");
        bool handled = false;
        OnHeaderIncomplete(handled, noSender ? hiFromAddress : hiToAddress);
        if (!handled)
            throw Exception("Incomplete Header");
    }
    if (OnSendStart)
        OnSendStart(this);

    Expect("RSET");
    Expect("MAIL FROM:<" + oneLine(m.FromAddress) + ">");
    for (const TStringList* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy}) {
        for (const std::string& entry : list->Lines()) {
            const std::string address = ExtractAddress(entry);
            if (address.empty())
                continue;
            Transaction("RCPT TO:<" + oneLine(address) + ">");
            if (ReplyCode > 300) {
                if (OnRecipientNotFound)
                    OnRecipientNotFound(entry);
                else
                    qCDebug(lcSmtp) << "recipient refused:" << entry.c_str() << ReplyText.c_str();
            }
        }
    }
    Expect("DATA");
    SendBody();
    Transaction(".");
    if (ReplyText.empty() || ReplyCode >= 400) {
        if (OnFailure)
            OnFailure(this);
        throw Exception(ReplyText.empty() ? std::string(kClosed) : ReplyText);
    }
    if (ClearParams)
        ClearParameters();
    FBusy = false;
    if (OnSuccess)
        OnSuccess(this);
}

std::string TNMSMTP::HeaderBlock() const { return FinalHeader.Text() + "\r\n\r\n"; }

void TNMSMTP::SendBody()
{
    const std::string head = HeaderBlock();
    for (size_t at = 0; at < head.size(); at += kWriteChunk)
        SendBuffer(head.data() + at, static_cast<uint16_t>(std::min<size_t>(kWriteChunk, head.size() - at)));

    // The body send is bounded like a read: it fails when no byte has left
    // for TimeOut milliseconds (a server that stopped reading).
    const TNotifyEvent owner = OnPacketSent;
    OnPacketSent = [this, owner](QObject* Sender) {
        TimerOff();
        TimerOn();
        if (owner)
            owner(Sender);
    };
    OnExit restore{[this, owner] {
        TimerOff();
        OnPacketSent = owner;
    }};
    TimerOn();
    SendStream(FBody);
}

bool TNMSMTP::Verify(const std::string& address)
{
    CertifyConnect();
    Transaction("VRFY " + oneLine(address));
    return !ReplyText.empty() && ReplyCode < 252;
}

bool TNMSMTP::ExpandList(const std::string& name)
{
    if (FBusy)
        return false;
    FBusy = true;
    OnExit clearBusy{[this] { FBusy = false; }};
    CertifyConnect();
    Transaction("EXPN " + oneLine(name));
    if (ReplyText.empty() || ReplyCode >= 400)
        return false;
    std::string line = ReplyText;
    if (OnMailListReturn)
        OnMailListReturn(line);
    ReadExtraLines(line);
    return true;
}

std::string TNMSMTP::ExtractAddress(const std::string& entry)
{
    if (entry.find('<') != std::string::npos)
        return NthWord(NthWord(entry, '<', 2), '>', 1);
    if (entry.find(':') != std::string::npos)
        return NthWord(entry, ':', 2);
    return entry;
}

void TNMSMTP::ClearParameters()
{
    PostMessage.ToAddress.Clear();
    PostMessage.ToCarbonCopy.Clear();
    PostMessage.ToBlindCarbonCopy.Clear();
    PostMessage.Attachments.Clear();
}

// ------------------------------------------------------------ the assembly

std::string TNMSMTP::NewBoundary()
{
    std::string b(20, '=');
    b += "54535";
    for (int i = 0; i < 6; ++i)
        b += static_cast<char>('a' + std::clamp(Random(25), 0, 24));
    return b + "====";
}

void TNMSMTP::AssembleMail()
{
    const TPostMessage& m = PostMessage;
    FinalHeader.Clear();
    FinalHeader.Add("From: " + oneLine(m.FromName) + "<" + oneLine(m.FromAddress) + ">");
    if (m.ToAddress.Count())
        FinalHeader.Add(recipientLine("To", m.ToAddress, FoldWidth));
    if (m.ToCarbonCopy.Count())
        FinalHeader.Add(recipientLine("CC", m.ToCarbonCopy, FoldWidth));
    FinalHeader.SetValue("Subject", oneLine(m.Subject));
    FinalHeader.SetValue("X-Mailer", oneLine(m.LocalProgram));
    if (!m.ReplyTo.empty())
        FinalHeader.SetValue("Reply-To", oneLine(m.ReplyTo));
    if (!m.Date.empty())
        FinalHeader.SetValue("Date", oneLine(m.Date));
    FinalHeader.Add("Mime-Version: 1.0");
    const bool multipart = m.Attachments.Count() > 0;
    if (multipart) {
        FBoundary = NewBoundary();
        FinalHeader.Add("Content-Type: multipart/mixed; boundary=\"" + FBoundary + "\"");
    } else {
        FinalHeader.Add(contentTypeOf(SubType) + oneLine(Charset));
    }

    FBody.Clear();
    // The body is built in one piece of memory of about its final size, so
    // a large attachment is not copied again and again as the body grows.
    int64_t estimate = 0;
    for (const std::string& line : m.Body.Lines())
        estimate += static_cast<int64_t>(line.size()) + 3;
    for (const std::string& path : m.Attachments.Lines())
        estimate += fileSize(path) / 45 * 64 + 512;
    FBody.Data().reserve(static_cast<size_t>(estimate + 256));
    if (multipart) {
        FBody.WriteString("--" + FBoundary + "\r\n" + "Content-Type: text/plain; charset=" + oneLine(Charset) +
                          "\r\n\r\n");
    }
    for (const std::string& line : m.Body.Lines())
        writeBodyLine(FBody, line);
    if (multipart) {
        for (int n = 1; n <= m.Attachments.Count(); ++n)
            SendAttachments(n);
        FBody.WriteString("--" + FBoundary + "--\r\n");
    }
}

void TNMSMTP::SendAttachments(int n)
{
    const std::string path = PostMessage.Attachments[n - 1];
    const std::string name = quoted(fileNameOf(path));
    const bool uu = EncodeType == uuCode;
    // Mail programs decode a part by its label, so a uuencoded part says so
    // and carries the begin and end lines its decoders look for.
    FBody.WriteString("--" + FBoundary + "\r\nContent-Type: application/octet-stream; name=" + name +
                      "\r\nContent-Transfer-Encoding: " + (uu ? "x-uuencode" : "base64") +
                      "\r\nContent-Disposition: attachment; filename=" + name + "\r\n\r\n");

    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(path, fmOpenRead);
    } catch (const EStreamError&) {
        if (OnAttachmentNotFound)
            OnAttachmentNotFound(path);
        throw;
    }
    if (OnEncodeStart)
        OnEncodeStart(path);
    if (uu)
        FBody.WriteString("begin 644 " + oneLine(fileNameOf(path)) + "\r\n");
    {
        TStuffingSink sink(FBody);
        TS_BufferStream buffered(&sink);
        TNMUUProcessor coder;
        coder.Method = EncodeType;
        coder.InputStream = file.get();
        coder.OutputStream = &buffered;
        coder.Encode();
        buffered.FlushBuffer();
    }
    FBody.Seek(0, soFromEnd);
    if (uu)
        FBody.WriteString("end\r\n");
    if (OnEncodeEnd)
        OnEncodeEnd(path);
}
