// The HTTP/1.0 client component. One call of a request method performs the
// whole exchange before it returns: it splits the URL, assembles the request,
// connects, sends, reads the reply header and the body (until the server
// closes), reports the result through events, closes the connection and
// repeats the exchange for redirect statuses.
//
// An https URL (port 443 unless named) goes over TLS: after the connect the
// client starts TLS on the socket (Psock.h: the server's certificate and
// host name are verified, CACertFile adds a trusted CA) and then speaks
// HTTP/1.0 inside it. Through a proxy, https goes in a CONNECT tunnel to
// SecureProxy; Proxy serves http URLs only.
//
//   TNMHTTP http;
//   http.TimeOut = 10000;                // no byte for 10 s ends the request
//   http.PageDeadline = 60000;           // and so does a minute in all
//   UseHttpProxyFromEnvironment(http);   // optional: http_proxy, https_proxy
//   http.Get("https://host/page.htm");   // raises on network failures
//   use(http.ReplyCode, http.Header, http.Body);
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "CookieJar.h"
#include "Nmextstr.h"
#include "Psock.h"

// Declared for HTTP errors; an HTTP failure status is reported through
// OnFailure, so no operation raises it.
class HTTPException : public Exception {
public:
    using Exception::Exception;
};

// The kind of request (values 0 to 12).
enum CmdType {
    CmdGET,
    CmdOPTIONS,
    CmdHEAD,
    CmdPOST,
    CmdPUT,
    CmdPATCH,
    CmdCOPY,
    CmdMOVE,
    CmdDELETE,
    CmdLINK,
    CmdUNLINK,
    CmdTRACE,
    CmdWRAPPED,
};

using TResultEvent = std::function<void(CmdType Cmd)>;

// Optional values of the request header; empty values are not sent.
class THeaderInfo {
public:
    std::string LocalMailAddress; // From
    std::string LocalProgram;     // User-Agent
    std::string Cookie;           // Cookie sent to every host; set only by the owner
    std::string Referer;          // Referer
    std::string UserId;           // with Password: the Authorization line
    std::string Password;
};

class TNMHTTP : public TPowersock {
    Q_OBJECT
public:
    explicit TNMHTTP(QObject* Owner = nullptr);
    ~TNMHTTP() override;

    // ---- published properties ----
    using TPowersock::OnPacketRecvd; // a chunk of the reply body arrived
    using TPowersock::OnPacketSent; // a chunk of a request body file was sent
    std::string Body = "Default.htm";
    std::string Header = "Head.txt";
    THeaderInfo HeaderInfo;
    bool InputFileMode = false;  // the reply body goes to the file named by Body
    bool OutputFileMode = false; // request data names a file; the reply header goes to the file named by Header
    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess;
    TResultEvent OnFailure;
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded;
    using TPowersock::Proxy;     // proxy of http URLs
    using TPowersock::ProxyPort;
    // Proxy of https URLs, reached with a CONNECT tunnel through which TLS
    // runs end to end; empty: https URLs go straight to the server.
    std::string SecureProxy;
    int SecureProxyPort = 0;

    // ---- internal values, public for the owner and the tests ----
    CmdType Cmd = CmdGET;
    std::string RequestURL;
    std::string RequestPath;
    // The request in progress goes over TLS: its URL's scheme is https. A
    // URL without a scheme (a relative location, "host/path") keeps the
    // scheme of the previous request, as it keeps its port.
    bool RequestSecure = false;
    std::string SendData;
    std::string DestinationURI;
    TExStringList RequestHeader; // request line and header lines of the request in progress
    bool URLEncodePost = true;
    std::string LastLocation;
    std::string LastCookie;
    // The cookies redirects set (their last Set-Cookie line), each sent only
    // to the host that set it or to the domain it names (CookieJar.h),
    // after HeaderInfo.Cookie.
    TCookieJar Cookies;

    // When set (and InputFileMode is off), the body goes to this stream as it
    // arrives instead of into Body, and MaxBodySize does not apply; the
    // stream sees the body of every reply, redirects included (ReplyCode
    // tells them apart). Not owned.
    TStream* BodyStream = nullptr;

    // Largest body kept in string mode; a longer one ends the request with
    // EAbortError "Socket capture aborted" (not one of its subclasses: no
    // time-out, no cancel), so a hostile server cannot
    // exhaust the memory. Files (InputFileMode) are not bounded.
    int64_t MaxBodySize = int64_t(256) * 1024 * 1024;
    // Largest reply header read; a longer one ends the request with
    // EAbortError "Socket readln aborted", so a hostile server cannot
    // exhaust the memory.
    int64_t MaxHeaderSize = int64_t(1024) * 1024;
    // The longest one request method may take, redirects, lookups, connects
    // and tunnels included, in milliseconds; 0 = no limit. TimeOut bounds
    // the silence of each wait and ConnectTimeOut each lookup and connect;
    // this bounds the page, so a server that trickles its reply or
    // redirects again and again within those limits cannot hold the caller
    // for ever. Passing it raises ETimeOutError "Longest wait for one page
    // passed (N s)" (N ms when not whole seconds); what arrived stays in
    // Header and Body.
    int PageDeadline = 0;
    // How often the exchange may be repeated for statuses 299 to 399 before
    // the request fails with "Too many redirects".
    int MaxRedirects = 20;

    // ---- steps of the exchange ----
    virtual void HTTPConnect();
    virtual void ParseURL();
    virtual void AssembleHTTPHeader();
    virtual void RemoveHeader();
    virtual void SendHTTP();

    // ---- request methods ----
    virtual void Options(const std::string& URL);
    virtual void Get(const std::string& URL);
    virtual void Post(const std::string& URL, const std::string& PostData);
    virtual void Put(const std::string& URL, const std::string& PutData);
    virtual void Head(const std::string& URL);
    virtual void Patch(const std::string& URL, const std::string& PatchData);
    virtual void Delete(const std::string& URL);
    virtual void Trace(const std::string& URL, const std::string& TraceData);
    virtual void Copy(const std::string& URL, const std::string& Destination);
    virtual void Move(const std::string& URL, const std::string& Destination);
    virtual void Link(const std::string& URL, const std::string& Destination);
    virtual void UnLink(const std::string& URL, const std::string& Destination);
    virtual void Wrapped(const std::string& URL, const std::string& WrappedData);

    // True while a request method runs. A request method called meanwhile
    // (from a timer or a nested button press) raises "Request in progress"
    // before it changes anything of the request in progress.
    bool Requesting() const { return FRequesting; }

    // Ends the running wait (from a handler, a Stop button or the time-out).
    void Abort() override;

protected:
    // SecureProxy for an https request, Proxy otherwise.
    std::pair<std::string, int> ProxyRoute() const override;
    // Checks the string-mode bound before the owner's OnPacketRecvd.
    void PacketReceived() override;

private:
    bool FCapturingString = false;
    // A request is in progress: its waits service the event queue, so a
    // handler may ask for another one, which is refused untouched.
    bool FRequesting = false;
    void RefuseWhileRequesting() const;

    void Request(CmdType cmd, const std::string& url);
    // "http://" + Host, and ":" + Port unless it is 80 ("https://" and 443
    // for an https request).
    std::string ServerPrefix() const;
    // Asks the connected proxy for a tunnel to Host:Port; raises ESockError
    // when it refuses.
    void OpenTunnel();
};

// The method word of a request line; empty for CmdWRAPPED.
std::string HttpMethodWord(CmdType cmd);

// Reads a proxy given as "http://host:port/", "http://host:port", "host:port"
// or "host" (port 80), with an optional "user:password@" that is ignored.
// False, with host and port unchanged, for an empty or malformed text.
bool ParseHttpProxy(const std::string& text, std::string& host, int& port);

// Sets http.Proxy and http.ProxyPort from the environment variable
// http_proxy, and http.SecureProxy and http.SecureProxyPort from https_proxy
// (or HTTPS_PROXY), each when it is set and well formed; returns whether it
// set either. A variable that is unset, empty or malformed leaves its pair as
// it is.
bool UseHttpProxyFromEnvironment(TNMHTTP& http);
