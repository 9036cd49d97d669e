#include "Nmsmtp.h"

#include "Nmurl.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <unistd.h>
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
// grow past width (with the comma that follows its last entry) is folded
// after a comma, so a long list of recipients keeps every physical line
// within the limit of a line on the wire.
std::string recipientLine(const char* name, const TStringList& list, size_t width)
{
    std::string out = std::string(name) + ": ";
    size_t lineStart = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string entry = oneLine(list[i]);
        if (i > 0) {
            out += ',';
            const size_t comma = i + 1 < list.Count() ? 1 : 0;
            if (out.size() - lineStart + entry.size() + comma > width) {
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

constexpr size_t kMaxWireLine = 998; // longest line a message may carry, without its CR LF
constexpr size_t kQpWidth = 76;      // longest quoted-printable line, soft break included
constexpr size_t kWordBytes = 39;    // text bytes per encoded word: 52 Base64 characters

// The body entries as the lines they make: line breaks inside an entry end
// lines of their own (a break at its very end adds no empty line), so no
// bare CR or LF reaches the wire.
std::vector<std::string> bodyLines(const TStringList& body)
{
    std::vector<std::string> out;
    for (const std::string& line : body.Lines()) {
        size_t start = 0;
        for (;;) {
            const size_t brk = line.find_first_of("\r\n", start);
            out.push_back(line.substr(start, brk == std::string::npos ? std::string::npos : brk - start));
            if (brk == std::string::npos)
                break;
            start = brk + (line[brk] == '\r' && brk + 1 < line.size() && line[brk + 1] == '\n' ? 2 : 1);
            if (start >= line.size())
                break;
        }
    }
    return out;
}

bool beyondAscii(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Appends one line with CR LF, a leading "." doubled.
void appendStuffed(std::string& out, const char* line, size_t count)
{
    if (count > 0 && line[0] == '.')
        out += '.';
    out.append(line, count);
    out += "\r\n";
}

// One text line quoted-printable, in lines of at most 76 characters joined
// by soft breaks; "=", bytes beyond ASCII, control bytes and a blank or tab
// that ends the line are written as "=XX".
void appendQuotedPrintable(std::string& out, const std::string& line)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string physical;
    for (size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        const bool plain = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        char piece[3];
        size_t len = 1;
        piece[0] = static_cast<char>(c);
        if (!plain) {
            piece[0] = '=';
            piece[1] = hex[c >> 4];
            piece[2] = hex[c & 15];
            len = 3;
        }
        // Room for a soft break "=" unless this piece ends the line.
        if (physical.size() + len > (last ? kQpWidth : kQpWidth - 1)) {
            physical += '=';
            appendStuffed(out, physical.data(), physical.size());
            physical.clear();
        }
        physical.append(piece, len);
    }
    appendStuffed(out, physical.data(), physical.size());
}

// The length of the UTF-8 sequence that begins with c (1 for a byte that
// cannot begin one, so text that is not UTF-8 is still cut somewhere).
size_t utf8Length(unsigned char c)
{
    if (c >= 0xF0 && c <= 0xF7)
        return 4;
    if (c >= 0xE0)
        return c <= 0xEF ? 3 : 1;
    if (c >= 0xC0)
        return 2;
    return 1;
}

// The text as encoded words "=?charset?B?...?=", each holding whole
// characters, separated by a fold (CR LF and a blank) so every line of the
// header stays short.
std::string encodedWords(const std::string& text, const std::string& charset)
{
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size()) {
            const size_t n = std::min(utf8Length(static_cast<unsigned char>(text[end])), text.size() - end);
            if (end + n - at > kWordBytes && end > at)
                break;
            end += n;
        }
        std::string encoded;
        EncodeLines(reinterpret_cast<const unsigned char*>(text.data() + at), end - at, uuMime, encoded);
        encoded.erase(std::remove_if(encoded.begin(), encoded.end(), [](char c) { return c == '\r' || c == '\n'; }),
                      encoded.end());
        if (!out.empty())
            out += "\r\n ";
        out += "=?" + charset + "?B?" + encoded + "?=";
        at = end;
    }
    return out;
}

// Whether a header value must go out as encoded words: it has bytes beyond
// ASCII, or its line would be longer than a line may be.
bool needsWords(const std::string& name, const std::string& value)
{
    return beyondAscii(value) || name.size() + 2 + value.size() > kMaxWireLine;
}

// The name=value parameter of a file name: quoted as it stands when ASCII,
// else percent-encoded UTF-8 in the extended form (name*=utf-8''...).
std::string fileParameter(const char* name, const std::string& file);

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

std::string fileParameter(const char* name, const std::string& file)
{
    const std::string one = oneLine(file);
    if (!beyondAscii(one))
        return std::string(name) + "=" + quoted(one);
    return std::string(name) + "*=utf-8''" + PercentEncode(one, "-._~");
}

// The character set of a text beyond ASCII: the one set, unless that is
// ASCII, which cannot carry it.
std::string charsetFor(const std::string& charset)
{
    const std::string one = oneLine(charset);
    return one.empty() || CompareText(one, "us-ascii") == 0 ? std::string("utf-8") : one;
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

std::string SmtpReplyLine(const std::string& reply)
{
    std::string out;
    TStringList lines;
    lines.SetText(reply);
    for (const std::string& line : lines.Lines()) {
        if (line.empty())
            continue;
        if (!out.empty())
            out += ' ';
        out += line;
    }
    return out;
}

std::string SmtpDate(const QDateTime& when)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int zone = std::abs(offset);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", days[d.dayOfWeek() - 1], d.day(),
                  months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+',
                  zone / 60, zone % 60);
    return text;
}

// ------------------------------------------------------------ the body stream

namespace {
constexpr size_t kFileBlock = 45 * 1456; // input bytes encoded at a time: whole encoded lines
} // namespace

TMailBodyStream::~TMailBodyStream() { Clear(); }

void TMailBodyStream::Clear()
{
    for (Piece& p : pieces_)
        if (p.fd >= 0)
            ::close(p.fd);
    pieces_.clear();
    size_ = pos_ = inPiece_ = fileRead_ = 0;
    piece_ = 0;
    block_.clear();
    blockAt_ = 0;
}

void TMailBodyStream::AddFile(int fd, const std::string& path, int64_t size, UUMethods method)
{
    Piece p;
    p.fd = fd;
    p.path = path;
    p.fileSize = size;
    p.method = method;
    p.size = EncodedLinesSize(size, method);
    // A uuencoded line of 14 bytes begins with "." (its length character),
    // which is doubled on the wire; only the last line can be that short.
    if (method == uuCode && size % 45 == 14)
        ++p.size;
    size_ += p.size;
    pieces_.push_back(std::move(p));
}

int64_t TMailBodyStream::Write(const void* buffer, int64_t count)
{
    if (pieces_.empty() || pieces_.back().fd >= 0)
        pieces_.emplace_back();
    Piece& p = pieces_.back();
    p.text.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    p.size += count;
    size_ += count;
    return count;
}

bool TMailBodyStream::NextFileBlock(Piece& p)
{
    const size_t want = static_cast<size_t>(std::min<int64_t>(kFileBlock, p.fileSize - fileRead_));
    if (want == 0)
        return false;
    std::string raw(want, '\0');
    size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(p.fd, raw.data() + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EStreamError("Cannot read file \"" + p.path + "\". " + std::strerror(errno));
        if (n == 0)
            throw EStreamError("File \"" + p.path + "\" became shorter while it was being sent");
        got += static_cast<size_t>(n);
    }
    largestBlock_ = std::max(largestBlock_, want);
    fileRead_ += static_cast<int64_t>(want);
    std::string encoded;
    encoded.reserve(want / 45 * 64 + 70);
    EncodeLines(reinterpret_cast<const unsigned char*>(raw.data()), want, p.method, encoded);
    block_.clear();
    blockAt_ = 0;
    if (p.method == uuCode) {
        // Only a line's first character can be ".".
        for (size_t at = 0; at < encoded.size();) {
            const size_t end = encoded.find('\n', at) + 1;
            if (encoded[at] == '.')
                block_ += '.';
            block_.append(encoded, at, end - at);
            at = end;
        }
    } else {
        block_ = std::move(encoded);
    }
    return true;
}

int64_t TMailBodyStream::Read(void* buffer, int64_t count)
{
    char* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count && piece_ < pieces_.size()) {
        Piece& p = pieces_[piece_];
        if (inPiece_ >= p.size) {
            ++piece_;
            inPiece_ = fileRead_ = 0;
            block_.clear();
            blockAt_ = 0;
            if (piece_ < pieces_.size() && pieces_[piece_].fd >= 0 &&
                ::lseek(pieces_[piece_].fd, 0, SEEK_SET) < 0)
                throw EStreamError("Cannot read file \"" + pieces_[piece_].path + "\". " + std::strerror(errno));
            continue;
        }
        int64_t n = 0;
        if (p.fd < 0) {
            n = std::min<int64_t>(count - done, p.size - inPiece_);
            std::memcpy(out + done, p.text.data() + inPiece_, static_cast<size_t>(n));
        } else {
            if (blockAt_ >= block_.size() && !NextFileBlock(p))
                throw EStreamError("File \"" + p.path + "\" changed while it was being sent");
            n = std::min<int64_t>({count - done, static_cast<int64_t>(block_.size() - blockAt_), p.size - inPiece_});
            std::memcpy(out + done, block_.data() + blockAt_, static_cast<size_t>(n));
            blockAt_ += static_cast<size_t>(n);
        }
        inPiece_ += n;
        pos_ += n;
        done += n;
    }
    return done;
}

int64_t TMailBodyStream::Seek(int64_t offset, uint16_t origin)
{
    const int64_t target = origin == soFromBeginning ? offset : origin == soFromCurrent ? pos_ + offset : size_ + offset;
    if (target == pos_)
        return pos_;
    if (target != 0)
        throw EStreamError("Stream seek error");
    pos_ = inPiece_ = fileRead_ = 0;
    piece_ = 0;
    block_.clear();
    blockAt_ = 0;
    if (!pieces_.empty() && pieces_[0].fd >= 0 && ::lseek(pieces_[0].fd, 0, SEEK_SET) < 0)
        throw EStreamError("Cannot read file \"" + pieces_[0].path + "\". " + std::strerror(errno));
    return 0;
}

std::string TMailBodyStream::DataString()
{
    Seek(0, soFromBeginning);
    std::string out(static_cast<size_t>(size_), '\0');
    const int64_t got = Read(out.data(), size_);
    out.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    Seek(0, soFromBeginning);
    return out;
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

void TNMSMTP::ReadExtraLines(std::string& line, std::string* received)
{
    // Each line has its own time-out; the reply as a whole may not take
    // longer either, so a server that trickles continuation lines is cut off.
    QElapsedTimer clock;
    clock.start();
    line = ReadSmtpReply(
        line,
        [this, &clock, received] {
            if (TimeOut > 0 && clock.elapsed() > TimeOut)
                throw ETimeOutError("Socket readln aborted");
            std::string next = ReadLn();
            if (received)
                *received += next;
            return next;
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

void TNMSMTP::Command(const std::string& command)
{
    Transaction(command);
    const int16_t code = ReplyCode;
    std::string line = ReplyText;
    LastReply = line;
    // The continuation lines, each kept for the whole reply.
    ReadExtraLines(line, &LastReply);
    ReplyCode = code;
}

void TNMSMTP::Expect(const std::string& command, int first, int last)
{
    Command(command);
    if (ReplyText.empty())
        throw Exception(kClosed);
    if (ReplyCode < first || ReplyCode > last)
        throw Exception(LastReply);
}

void TNMSMTP::SendMail()
{
    if (FBusy)
        return;
    FBusy = true;
    OnExit clearBusy{[this] { FBusy = false; }};
    Refused.clear();

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

    Expect("RSET", 200, 299);
    Expect("MAIL FROM:<" + oneLine(m.FromAddress) + ">", 200, 299);
    int accepted = 0;
    for (const TStringList* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy}) {
        for (const std::string& entry : list->Lines()) {
            const std::string address = ExtractAddress(entry);
            if (address.empty())
                continue;
            Command("RCPT TO:<" + oneLine(address) + ">");
            if (ReplyText.empty())
                throw Exception(kClosed);
            if (ReplyCode >= 200 && ReplyCode < 300) {
                ++accepted;
                continue;
            }
            Refused.push_back({entry, LastReply});
            if (OnRecipientNotFound)
                OnRecipientNotFound(entry);
            else
                qCDebug(lcSmtp) << "recipient refused:" << entry.c_str() << LastReply.c_str();
        }
    }
    // With no recipient left there is nothing to send: the server would
    // refuse DATA, and the next message starts with RSET anyway.
    if (accepted == 0)
        throw ESmtpNoRecipient("Every recipient was refused: " + SmtpReplyLine(LastReply));
    Expect("DATA", 300, 399);
    SendBody();
    Command(".");
    // Only a 2xx reply accepts the message; no reply or one without a code
    // leaves it unsent.
    if (ReplyText.empty() || ReplyCode < 200 || ReplyCode >= 300) {
        if (OnFailure)
            OnFailure(this);
        throw Exception(ReplyText.empty() ? std::string(kClosed) : LastReply);
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
    Command("VRFY " + oneLine(address));
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

std::string TNMSMTP::NewMessageId(const QDateTime& when)
{
    static const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string id = "<" + when.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + ".";
    for (int i = 0; i < 16; ++i)
        id += letters[std::clamp(Random(36), 0, 35)];
    // The domain: the one set, else the sender's, else the HELO name; only
    // the characters a domain has.
    std::string domain = MessageIdDomain;
    if (domain.empty()) {
        const size_t at = PostMessage.FromAddress.rfind('@');
        if (at != std::string::npos)
            domain = PostMessage.FromAddress.substr(at + 1);
    }
    if (domain.empty())
        domain = UserID;
    std::string clean;
    for (char c : domain)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-')
            clean += c;
    return id + "@" + (clean.empty() ? std::string("localhost") : clean) + ">";
}

void TNMSMTP::AssembleMail()
{
    const TPostMessage& m = PostMessage;
    const bool multipart = m.Attachments.Count() > 0;
    // The boundary is drawn first, so its letters do not depend on the rest.
    if (multipart)
        FBoundary = NewBoundary();

    // The text as lines; one beyond ASCII, or longer than a line on the
    // wire may be, makes the text quoted-printable in a named character set.
    const std::vector<std::string> text = bodyLines(m.Body);
    for (const std::string& line : text)
        if (line.find('\0') != std::string::npos)
            throw Exception("The message text holds a NUL byte");
    const bool quotedPrintable = std::any_of(text.begin(), text.end(), [](const std::string& line) {
        return line.size() > kMaxWireLine || beyondAscii(line);
    });
    const std::string textCharset = quotedPrintable ? charsetFor(Charset) : oneLine(Charset);
    const std::string wordCharset = charsetFor(Charset);

    FinalHeader.Clear();
    const std::string name = oneLine(m.FromName);
    const std::string address = "<" + oneLine(m.FromAddress) + ">";
    if (!name.empty() && needsWords("From", name + address)) {
        // An encoded word is a word of its own: a blank (or a fold, when
        // the line would grow long) parts it from the address.
        std::string line = "From: " + encodedWords(name, wordCharset);
        const size_t lastLine = line.rfind('\n');
        const size_t lastLength = line.size() - (lastLine == std::string::npos ? 0 : lastLine + 1);
        line += (lastLength + 1 + address.size() > 78 ? "\r\n " : " ") + address;
        FinalHeader.Add(line);
    } else {
        FinalHeader.Add("From: " + name + address);
    }
    if (m.ToAddress.Count())
        FinalHeader.Add(recipientLine("To", m.ToAddress, FoldWidth));
    if (m.ToCarbonCopy.Count())
        FinalHeader.Add(recipientLine("CC", m.ToCarbonCopy, FoldWidth));
    const std::string subject = oneLine(m.Subject);
    if (!subject.empty() && needsWords("Subject", subject))
        FinalHeader.Add("Subject: " + encodedWords(subject, wordCharset));
    else
        FinalHeader.SetValue("Subject", subject);
    FinalHeader.SetValue("X-Mailer", oneLine(m.LocalProgram));
    if (!m.ReplyTo.empty())
        FinalHeader.SetValue("Reply-To", oneLine(m.ReplyTo));
    const QDateTime now = Clock ? Clock() : QDateTime::currentDateTime();
    FinalHeader.SetValue("Date", m.Date.empty() ? SmtpDate(now) : oneLine(m.Date));
    FinalHeader.SetValue("Message-ID", NewMessageId(now));
    FinalHeader.Add("Mime-Version: 1.0");
    if (multipart) {
        FinalHeader.Add("Content-Type: multipart/mixed; boundary=\"" + FBoundary + "\"");
    } else {
        FinalHeader.Add(contentTypeOf(SubType) + textCharset);
        if (quotedPrintable)
            FinalHeader.Add("Content-Transfer-Encoding: quoted-printable");
    }

    FBody.Clear();
    std::string body;
    if (multipart) {
        body = "--" + FBoundary + "\r\n" + "Content-Type: text/plain; charset=" + textCharset + "\r\n" +
               (quotedPrintable ? "Content-Transfer-Encoding: quoted-printable\r\n" : "") + "\r\n";
    }
    for (const std::string& line : text) {
        if (quotedPrintable)
            appendQuotedPrintable(body, line);
        else
            appendStuffed(body, line.data(), line.size());
    }
    FBody.WriteString(body);
    if (multipart) {
        for (int n = 1; n <= m.Attachments.Count(); ++n)
            SendAttachments(n);
        FBody.WriteString("--" + FBoundary + "--\r\n");
    }
}

void TNMSMTP::SendAttachments(int n)
{
    const std::string path = PostMessage.Attachments[n - 1];
    const std::string file = fileNameOf(path);
    const bool uu = EncodeType == uuCode;

    // Only a regular file is read: a device or a pipe could give bytes for
    // ever, or block. Opening without blocking keeps a FIFO without a
    // writer from holding the program before it is seen to be one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st{};
    std::string problem;
    if (fd < 0)
        problem = std::strerror(errno);
    else if (::fstat(fd, &st) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        problem = "Not a regular file";
    if (!problem.empty()) {
        if (fd >= 0)
            ::close(fd);
        if (OnAttachmentNotFound)
            OnAttachmentNotFound(path);
        throw EFOpenError("Cannot open file \"" + path + "\". " + problem);
    }
    // A regular file never blocks; reads wait for the disk as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    // Mail programs decode a part by its label, so a uuencoded part says so
    // and carries the begin and end lines its decoders look for.
    FBody.WriteString("--" + FBoundary + "\r\nContent-Type: application/octet-stream; " +
                      fileParameter("name", file) + "\r\nContent-Transfer-Encoding: " +
                      (uu ? "x-uuencode" : "base64") + "\r\nContent-Disposition: attachment; " +
                      fileParameter("filename", file) + "\r\n\r\n");
    if (OnEncodeStart)
        OnEncodeStart(path);
    if (uu)
        FBody.WriteString("begin 644 " + oneLine(file) + "\r\n");
    // The file is encoded while the body is sent, block by block.
    FBody.AddFile(fd, path, static_cast<int64_t>(st.st_size), EncodeType);
    if (uu)
        FBody.WriteString(std::string(1, UUTABLE[0]) + "\r\nend\r\n");
    if (OnEncodeEnd)
        OnEncodeEnd(path);
}
