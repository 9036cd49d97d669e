#include "Nmhttp.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <sys/mman.h>

#include "Classes.h"
#include "Idn.h"
#include "Nmurl.h"
#include "Nmuue.h"

namespace {

constexpr size_t kMaxHeaderValue = 256; // Location and Set-Cookie values kept
constexpr size_t kMaxRequestPath = 256;
constexpr size_t kWriteLimit = 65536;   // Write and SendBuffer take less than this

bool contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

// The line without its terminator ("\r\n" or "\n").
std::string withoutLineEnd(const std::string& line)
{
    size_t end = line.size();
    if (end > 0 && line[end - 1] == '\n') {
        --end;
        if (end > 0 && line[end - 1] == '\r')
            --end;
    }
    return line.substr(0, end);
}

// The value of a header line whose name and one blank take `skip` bytes,
// without the line end, at most 256 bytes.
std::string valueAt(const std::string& line, size_t skip)
{
    const std::string bare = withoutLineEnd(line);
    return bare.substr(std::min(skip, bare.size()), kMaxHeaderValue);
}

// A URL taken from a page may hold line breaks or tabs; they are dropped,
// as browsers do, so they cannot split the request.
std::string withoutBreaks(const std::string& url)
{
    std::string out;
    out.reserve(url.size());
    for (char c : url)
        if (c != '\t' && c != '\r' && c != '\n')
            out += c;
    return out;
}

// Blanks and other control bytes in the request target are written as %XX
// so that they cannot end the request line early, and so are the bytes from
// 0x80 up (key words typed beyond ASCII), which a request line may not carry
// raw; other bytes go as they are.
std::string escapeTarget(const std::string& target)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(target.size());
    for (char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x21 || u >= 0x7F) {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// A value for a header line. CR, LF and zero bytes are dropped: a value
// taken from a reply (a cookie may hold a bare CR) must not start a line of
// its own in every later request, nor cut the request short.
std::string headerValue(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value)
        if (c != '\r' && c != '\n' && c != '\0')
            out += c;
    return out;
}

// A port number: decimal digits only, 1 to 65535. Anything else ("$50",
// "0x50", "-1", "0", "99999", which the connect would cut to 16 bits) is
// refused.
bool TryPortNumber(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

// The port of a URL; a conversion error, before any connection is tried,
// when it is not a valid port number.
int PortNumber(const std::string& text)
{
    int port = 0;
    if (!TryPortNumber(text, port))
        throw EConvertError("'" + text + "' is not a valid port number");
    return port;
}

bool sendsBody(CmdType cmd)
{
    return cmd == CmdPOST || cmd == CmdPUT || cmd == CmdPATCH || cmd == CmdTRACE || cmd == CmdWRAPPED;
}

bool announcesLength(CmdType cmd) { return sendsBody(cmd) || cmd == CmdLINK || cmd == CmdUNLINK; }

// Base64 (MIME) of the text as one line: the coder ends every 45 input
// bytes with CR LF, and none of them may reach the header line.
std::string base64Line(const std::string& text)
{
    std::string encoded;
    for (char c : EncodeBuffer(text, uuMime))
        if (c != '\r' && c != '\n')
            encoded += c;
    return encoded;
}

// Gives the body room for at least `want` bytes. A large body is kept in
// huge pages where the system offers them: filling hundreds of megabytes of
// fresh memory page by page costs more than receiving it.
void reserveBody(std::string& body, size_t want)
{
    if (want <= body.capacity())
        return;
    // Made afresh rather than by reserve, which would at least double the
    // room and so overshoot the bound of a capped body.
    std::string fresh;
    fresh.reserve(want);
    fresh.append(body);
    body.swap(fresh);
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (body.capacity() >= 2 * kHuge) {
        const auto begin = reinterpret_cast<uintptr_t>(body.data());
        const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
        const uintptr_t last = (begin + body.capacity()) & ~(kHuge - 1);
        if (last > first)
            madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#endif
}

} // namespace

std::string HttpMethodWord(CmdType cmd)
{
    static const char* const words[] = {"GET",  "OPTIONS", "HEAD", "POST",   "PUT",   "PATCH", "COPY",
                                        "MOVE", "DELETE",  "LINK", "UNLINK", "TRACE", ""};
    const int i = static_cast<int>(cmd);
    return i >= 0 && i <= static_cast<int>(CmdWRAPPED) ? words[i] : "";
}

TNMHTTP::TNMHTTP(QObject* Owner) : TPowersock(Owner) {}

TNMHTTP::~TNMHTTP() = default;

void TNMHTTP::PacketReceived()
{
    if (FCapturingString) {
        if (static_cast<int64_t>(Body.size()) > MaxBodySize) {
            Cancel(); // the capture ends with "Socket capture aborted"
        } else if (Body.capacity() - Body.size() < kWriteLimit) {
            // Amortised growth, but never beyond the bound and one more read,
            // and straight there once doubling would reach the bound: the old
            // and the new block live together while the text moves, so a
            // body cut at the bound peaks at one and a half times it.
            const size_t bound = static_cast<size_t>(std::max<int64_t>(MaxBodySize, 0));
            size_t want = std::max<size_t>(2 * Body.capacity(), size_t(1) << 20);
            if (want >= bound)
                want = bound + kWriteLimit;
            reserveBody(Body, want);
        }
    }
    TPowersock::PacketReceived();
}

std::string TNMHTTP::ServerPrefix() const
{
    std::string prefix = RequestSecure ? "https://" : "http://";
    prefix += Host;
    if (Port != (RequestSecure ? 443 : 80)) {
        prefix += ':';
        prefix += IntToStr(Port);
    }
    return prefix;
}

void TNMHTTP::Abort()
{
    FEventMark = true;
    Cancel();
}

std::pair<std::string, int> TNMHTTP::ProxyRoute() const
{
    if (RequestSecure)
        return {SecureProxy, SecureProxyPort};
    return {Proxy, ProxyPort};
}

// ------------------------------------------------------------------ requests

void TNMHTTP::RefuseWhileRequesting() const
{
    if (FRequesting)
        throw Exception("Request in progress");
}

void TNMHTTP::Request(CmdType cmd, const std::string& url)
{
    RefuseWhileRequesting();
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(FRequesting);
    RequestURL = url;
    Cmd = cmd;
    // One deadline over the whole exchange, every redirect included.
    struct Deadline {
        TNMHTTP& http;
        Deadline(TNMHTTP& h, int ms) : http(h) { http.SetDeadline(ms); }
        ~Deadline() { http.ClearDeadline(); }
    } deadline(*this, PageDeadline);
    try {
        HTTPConnect();
    } catch (const ETimeOutError&) {
        if (!DeadlinePassed())
            throw;
        const std::string limit =
            PageDeadline % 1000 == 0 ? IntToStr(PageDeadline / 1000) + " s" : IntToStr(PageDeadline) + " ms";
        throw ETimeOutError("Longest wait for one page passed (" + limit + ")");
    }
}

void TNMHTTP::Get(const std::string& URL) { Request(CmdGET, URL); }
void TNMHTTP::Options(const std::string& URL) { Request(CmdOPTIONS, URL); }
void TNMHTTP::Head(const std::string& URL) { Request(CmdHEAD, URL); }
void TNMHTTP::Delete(const std::string& URL) { Request(CmdDELETE, URL); }

void TNMHTTP::Post(const std::string& URL, const std::string& PostData)
{
    RefuseWhileRequesting();
    if (URLEncodePost && !OutputFileMode) {
        TNMURL coder;
        coder.InputString = PostData;
        SendData = coder.GetEncodeString();
    } else {
        SendData = PostData;
    }
    Request(CmdPOST, URL);
}

void TNMHTTP::Put(const std::string& URL, const std::string& PutData)
{
    RefuseWhileRequesting();
    SendData = PutData;
    Request(CmdPUT, URL);
}

void TNMHTTP::Patch(const std::string& URL, const std::string& PatchData)
{
    RefuseWhileRequesting();
    SendData = PatchData;
    Request(CmdPATCH, URL);
}

void TNMHTTP::Trace(const std::string& URL, const std::string& TraceData)
{
    RefuseWhileRequesting();
    SendData = TraceData;
    Request(CmdTRACE, URL);
}

void TNMHTTP::Wrapped(const std::string& URL, const std::string& WrappedData)
{
    RefuseWhileRequesting();
    SendData = WrappedData;
    Request(CmdWRAPPED, URL);
}

void TNMHTTP::Copy(const std::string& URL, const std::string& Destination)
{
    RefuseWhileRequesting();
    DestinationURI = Destination;
    Request(CmdCOPY, URL);
}

void TNMHTTP::Move(const std::string& URL, const std::string& Destination)
{
    RefuseWhileRequesting();
    DestinationURI = Destination;
    Request(CmdMOVE, URL);
}

void TNMHTTP::Link(const std::string& URL, const std::string& Destination)
{
    RefuseWhileRequesting();
    DestinationURI = Destination;
    SendData = "Send.dat";
    Request(CmdLINK, URL);
}

void TNMHTTP::UnLink(const std::string& URL, const std::string& Destination)
{
    RefuseWhileRequesting();
    DestinationURI = Destination;
    SendData = "Send.dat";
    Request(CmdUNLINK, URL);
}

// ---------------------------------------------------------------- exchange

void TNMHTTP::HTTPConnect()
{
    int repeats = 0;
    for (;;) {
        ParseURL();
        AssembleHTTPHeader();
        if (OnAboutToSend)
            OnAboutToSend(this);
        try {
            Connect();
            if (RequestSecure) {
                if (!SecureProxy.empty())
                    OpenTunnel();
                StartTLS(Host);
            }
            SendHTTP();
            ReplyCode = 0;
            RemoveHeader();
            if (InputFileMode) {
                CaptureFile(Body);
            } else if (BodyStream) {
                Body.clear();
                CaptureStream(*BodyStream, INT64_MAX); // until the server closes
            } else {
                // Make room for the announced length at once, so a large body
                // is not copied again and again while it grows.
                Body.clear(); // as the capture does first; nothing old is copied
                if (TransferSize > 0)
                    reserveBody(Body, static_cast<size_t>(std::min<int64_t>(TransferSize, MaxBodySize)) + kWriteLimit);
                FCapturingString = true;
                try {
                    CaptureString(Body, -1);
                } catch (const ECancelError&) {
                    FCapturingString = false;
                    // The bound canceled the capture: a bound, not a cancel.
                    if (static_cast<int64_t>(Body.size()) > MaxBodySize)
                        throw EAbortError("Socket capture aborted");
                    throw;
                } catch (...) {
                    FCapturingString = false;
                    throw;
                }
                FCapturingString = false;
                // Do not keep the room of an earlier large body for a small one.
                if (Body.capacity() > (size_t(1) << 20) && Body.capacity() / 4 > Body.size())
                    Body.shrink_to_fit();
            }
            if (ReplyCode < 299) {
                if (OnSuccess)
                    OnSuccess(Cmd);
                StatusMessage(2, "Transaction Completed");
            } else if (ReplyCode <= 399) {
                if (ReplyCode == 300 || ReplyCode == 301 || ReplyCode == 302)
                    RequestURL = LastLocation;
            } else if (OnFailure) {
                OnFailure(Cmd);
            }
            Disconnect();
        } catch (...) {
            try {
                Disconnect();
            } catch (...) {
            }
            throw;
        }

        if (ReplyCode >= 300 && ReplyCode <= 398) {
            bool handled = false;
            if (!LastCookie.empty())
                Cookies.Store(Host, LastCookie); // Host: still the one that replied
            if (OnRedirect) {
                OnRedirect(handled);
                if (handled)
                    return;
            }
            // A location without any "/" is taken on the same server; the
            // port is named when it is not the one "http://" implies.
            if (RequestURL.find('/') == std::string::npos)
                RequestURL = ServerPrefix() + "/" + RequestURL;
        }
        if (ReplyCode == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (ReplyCode < 299 || ReplyCode > 399)
            return;
        if (++repeats > MaxRedirects)
            throw Exception("Too many redirects");
    }
}

void TNMHTTP::ParseURL()
{
    // A host name beyond ASCII is asked for in its ASCII form.
    RequestURL = UrlWithAceHost(withoutBreaks(RequestURL));
    if (RequestURL.empty())
        throw Exception("Empty URL");
    if (Port == 0)
        Port = 80;

    const bool hasSlashes = contains(RequestURL, "//");
    if (hasSlashes)
        RequestPath = RequestURL.substr(static_cast<size_t>(NthPos(RequestURL, '/', 3)) - 1);
    else if (RequestURL.find('/') != std::string::npos)
        RequestPath = RequestURL.substr(RequestURL.find('/'));
    else
        RequestPath.clear();
    if (RequestPath.size() > kMaxRequestPath)
        RequestPath.resize(kMaxRequestPath);

    // Only a text before the first ":" that holds no "/", "?" or "#" can be
    // a scheme: the colon of "/search?q=a:b" (a relative location) keeps the
    // server's port and scheme, as any relative location does.
    const size_t colon = RequestURL.find(':');
    if (colon != std::string::npos && RequestURL.find_first_of("/?#") > colon) {
        const std::string scheme = RequestURL.substr(0, colon);
        RequestSecure = SameText(scheme, "https");
        if (SameText(scheme, "gopher"))
            Port = 70;
        else if (SameText(scheme, "ftp"))
            Port = 21;
        else if (RequestSecure)
            Port = 443;
        else
            Port = 80;
    }

    std::string hostPart;
    if (hasSlashes)
        hostPart = NthWord(RequestURL, '/', 3);
    else if (RequestURL[0] != '/')
        hostPart = NthWord(RequestURL, '/', 1);
    const size_t portColon = hostPart.find(':');
    if (portColon != std::string::npos) {
        Port = PortNumber(hostPart.substr(portColon + 1));
        hostPart.resize(portColon);
    }
    if (!hostPart.empty())
        Host = hostPart;

    if (RequestPath.empty()) {
        RequestPath.assign(1, '/');
        RequestURL += "/";
    }
}

void TNMHTTP::AssembleHTTPHeader()
{
    RequestHeader.Clear();
    if (Cmd != CmdWRAPPED) {
        // A proxy needs the whole URL. One without a scheme (a relative
        // location, "host/path") is completed from Host, Port and the path.
        std::string target = RequestPath;
        if (!Proxy.empty() && !RequestSecure)
            target = RequestURL.find("://") != std::string::npos
                         ? RequestURL
                         : ServerPrefix() + RequestPath;
        RequestHeader.Add(HttpMethodWord(Cmd) + " " + escapeTarget(target) + " HTTP/1.0");
    }
    // Through a CONNECT tunnel the request is the server's own.
    if (!Proxy.empty() && !RequestSecure) {
        RequestHeader.Add("Proxy-Connection: Keep-Alive");
        RequestHeader.Add("Host: " + headerValue(Host));
    }
    // A host taken from a redirect may hold a zero byte, which would end the
    // request there (it is sent up to its first zero byte).
    RequestHeader.SetValue("Host", headerValue(Host));
    RequestHeader.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    RequestHeader.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    if (!HeaderInfo.LocalMailAddress.empty())
        RequestHeader.SetValue("From", headerValue(HeaderInfo.LocalMailAddress));
    if (!HeaderInfo.LocalProgram.empty())
        RequestHeader.SetValue("User-Agent", headerValue(HeaderInfo.LocalProgram));
    std::string cookie = HeaderInfo.Cookie;
    if (const std::string kept = Cookies.For(Host); !kept.empty())
        cookie += (cookie.empty() ? "" : "; ") + kept;
    if (!cookie.empty())
        RequestHeader.SetValue("Cookie", headerValue(cookie));
    if (!HeaderInfo.Referer.empty())
        RequestHeader.SetValue("Referer", headerValue(HeaderInfo.Referer));
    if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty())
        RequestHeader.SetValue("Authorization", "Basic " + base64Line(HeaderInfo.UserId + ":" + HeaderInfo.Password));
    RequestHeader.Add("Content-type: application/x-www-form-urlencoded");
    if (Cmd == CmdCOPY || Cmd == CmdMOVE)
        RequestHeader.Add("URI-header: " + headerValue(DestinationURI));
    else if (Cmd == CmdLINK || Cmd == CmdUNLINK)
        RequestHeader.Add("Link: " + headerValue(DestinationURI));
    if (announcesLength(Cmd)) {
        int64_t length = static_cast<int64_t>(SendData.size());
        if (OutputFileMode) {
            TFileStream file(SendData, fmOpenRead);
            length = file.GetSize();
        }
        RequestHeader.Add("Content-Length: " + IntToStr(length));
    }
}

void TNMHTTP::SendHTTP()
{
    Write(RequestHeader.Text());
    Writeln("");
    if (!sendsBody(Cmd))
        return;
    if (OutputFileMode) {
        SendFile(SendData);
        return;
    }
    // The body goes with its exact length, zero bytes included, so that it
    // always matches the Content-Length announced; like Write it must be
    // shorter than 64 KiB.
    StatusMessage(8, "Write");
    if (SendData.size() >= kWriteLimit)
        throw ERangeError();
    // An empty body still goes through SendBuffer (count 0: up to the zero
    // that ends the text), which sends nothing but reports "Sending Buffer".
    SendBuffer(SendData.c_str(), static_cast<uint16_t>(SendData.size()));
}

void TNMHTTP::RemoveHeader()
{
    TransferSize = 0;
    LastCookie.clear();
    std::unique_ptr<TFileStream> file;
    if (OutputFileMode)
        file = std::make_unique<TFileStream>(Header, fmCreate);
    else
        Header.clear();
    auto store = [&](const std::string& line) {
        if (file)
            file->WriteString(line);
        else
            Header += line;
    };

    // Each line's silence is bounded by ReadLn (the idle limit), the header
    // as a whole in size here and in time by PageDeadline.
    int64_t headerSize = 0;
    auto next = [&]() {
        std::string line = ReadLn();
        headerSize += static_cast<int64_t>(line.size());
        if (headerSize > MaxHeaderSize)
            throw EAbortError("Socket readln aborted");
        return line;
    };

    const std::string status = next();
    if (status.empty()) {
        // Not one byte came back: the server dropped the request. That is a
        // broken transfer, not an empty page.
        SetWSAError(WSAECONNRESET, "");
        throw ESockError(SocketErrorStr(WSAECONNRESET));
    }
    int32_t code = 0;
    // The line end is not part of the number, so a status line without
    // reason text ("HTTP/1.0 404" and CR LF) still gives its status.
    if (TryStrToInt(withoutLineEnd(NthWord(status, ' ', 2)), code)) {
        if (code < INT16_MIN || code > INT16_MAX)
            throw ERangeError();
        ReplyCode = static_cast<int16_t>(code);
    } else {
        ReplyCode = 0;
    }
    store(status);

    for (;;) {
        const std::string line = next();
        const std::string name = UpperCase(NthWord(line, ' ', 1));
        if (name == "SET-COOKIE:") {
            LastCookie = valueAt(line, 12);
        } else if (name == "LOCATION:") {
            LastLocation = valueAt(line, 10);
        } else if (name == "CONTENT-LENGTH:") {
            // The first character and the digits right after it.
            const std::string rest = line.size() > 16 ? line.substr(16) : std::string();
            size_t end = rest.empty() ? 0 : 1;
            while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9')
                ++end;
            int32_t length = 0;
            TransferSize = TryStrToInt(rest.substr(0, end), length) ? length : 0;
        }
        store(line);
        if (line.empty() || line == "\n" || line == "\r\n")
            break;
    }
}

// ------------------------------------------------------------------- proxy

void TNMHTTP::OpenTunnel()
{
    const std::string authority = escapeTarget(headerValue(Host)) + ":" + IntToStr(Port);
    Write("CONNECT " + authority + " HTTP/1.0\r\nHost: " + authority + "\r\n\r\n");
    // The proxy's reply header, bounded in size as the server's is (and in
    // time by the same limits); nothing of it is kept.
    const std::string status = ReadLn();
    int64_t size = static_cast<int64_t>(status.size());
    for (std::string line = status; !line.empty() && line != "\n" && line != "\r\n";) {
        line = ReadLn();
        size += static_cast<int64_t>(line.size());
        if (size > MaxHeaderSize)
            throw EAbortError("Socket readln aborted");
    }
    int32_t code = 0;
    if (!TryStrToInt(withoutLineEnd(NthWord(status, ' ', 2)), code) || code < 200 || code > 299)
        throw ESockError("Proxy refused the tunnel to " + authority + ": " +
                         (status.empty() ? std::string("no reply") : withoutLineEnd(status).substr(0, kMaxHeaderValue)));
}

bool ParseHttpProxy(const std::string& text, std::string& host, int& port)
{
    std::string s = text;
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.pop_back();
    size_t start = 0;
    while (start < s.size() && static_cast<unsigned char>(s[start]) <= ' ')
        ++start;
    s.erase(0, start);
    const size_t scheme = s.find("://");
    if (scheme != std::string::npos) {
        if (!SameText(s.substr(0, scheme), "http"))
            return false; // only plain HTTP proxies are spoken to
        s.erase(0, scheme + 3);
    }
    s = s.substr(0, s.find('/'));
    const size_t at = s.rfind('@');
    if (at != std::string::npos)
        s.erase(0, at + 1);
    std::string h = s;
    int p = 80;
    const size_t colon = s.find(':');
    if (colon != std::string::npos) {
        h = s.substr(0, colon);
        if (!TryPortNumber(s.substr(colon + 1), p))
            return false;
    }
    if (h.empty() || h.find_first_of("[] \t") != std::string::npos)
        return false;
    host = h;
    port = p;
    return true;
}

bool UseHttpProxyFromEnvironment(TNMHTTP& http)
{
    bool set = false;
    std::string host;
    int port = 0;
    const char* plain = std::getenv("http_proxy");
    if (plain && ParseHttpProxy(plain, host, port)) {
        http.Proxy = host;
        http.ProxyPort = port;
        set = true;
    }
    const char* secure = std::getenv("https_proxy");
    if (!secure || !*secure)
        secure = std::getenv("HTTPS_PROXY");
    if (secure && ParseHttpProxy(secure, host, port)) {
        http.SecureProxy = host;
        http.SecureProxyPort = port;
        set = true;
    }
    return set;
}
