// The TCP client session component under the HTTP and SMTP clients, and the
// event-queue timer that bounds its waits.
//
// Every call that has to wait (host lookup, connect, line reads, captures,
// sends that find the socket full) services the Qt event queue until its own
// condition, its time-out or a cancel ends it. An idle wait blocks on the
// event queue: the socket is watched by an edge-triggered epoll set behind one
// QSocketNotifier, so a wait wakes only when something new happens (bytes
// arrive, the peer closes, the socket becomes writable, a timer ticks or an
// event is posted), never because unread bytes are still sitting in the
// socket.
//
// The waits need a QCoreApplication (or QApplication) on the calling thread.
//
// Each limit has one meaning. ConnectTimeOut bounds the host lookup and the
// connect; TimeOut is the idle limit of the other timed waits (line reads,
// captures, sends, the TLS handshake as a whole), started afresh by every
// byte that moves, so a reply that keeps arriving is never cut by it; a
// deadline (SetDeadline, a client's page deadline) bounds every timed wait
// of a longer task at once. A wait that a limit ends raises ETimeOutError, a
// cancel ECancelError, each with the wait's own message; nothing tells them
// apart by the message. Errors are kept by each component, never by the
// process or the thread.
//
// Socket and resolver failures are reported with the error numbers of the
// WinsockMessage table; MapSocketError and MapResolverError (Psock.cpp) are
// the one place where the system's codes are translated.
//
// StartTLS turns a connected session into a TLS session (OpenSSL, under this
// same non-blocking socket and the same waits): from then on every read and
// write goes through the TLS layer, so the HTTP client's line reads and
// captures work unchanged. The peer's certificate chain and host name are
// always verified against the system's CA store (SSL_CERT_FILE and
// SSL_CERT_DIR are honoured), plus CACertFile when set.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QObject>

#include "Classes.h"
#include "SysUtils.h"

class QSocketNotifier;
struct ssl_st;

// What the TLS layer's socket functions share with their component: the
// socket they read and write, and the errno of their last failure, read right
// after the TLS call that made it.
struct TTlsSocketLink {
    int Socket = -1;
    int LastErrno = 0;
};

// Socket errors, connect and lookup failures.
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// A read, send or capture ended by a cancel or a time-out, or a reply cut at
// one of the clients' size bounds.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// A wait ended by one of the limits: the connect limit, the idle limit or a
// client's deadline. The message is the one of the wait that ended ("Host
// Lookup Timed Out", "Connection Timed out", "Socket readln aborted", ...).
class ETimeOutError : public EAbortError {
public:
    using EAbortError::EAbortError;
};

// A wait ended by Cancel or Abort (a Stop button, a bound of the client).
class ECancelError : public EAbortError {
public:
    using EAbortError::EAbortError;
};

// No address for the host: the lookup failed, also after OnInvalidHost.
class EHostNotFoundError : public ESockError {
public:
    using ESockError::ESockError;
};

// The connection could not be made: refused, unreachable ("Connection
// Failed"), or not made in time ("Connection Timed out").
class EConnectError : public ESockError {
public:
    using ESockError::ESockError;
};
class EConnectTimeOutError : public ETimeOutError {
public:
    using ETimeOutError::ETimeOutError;
};

// The TLS peer's certificate (its chain or its name) was refused, or the
// extra CA file to check it against cannot be read.
class ECertificateError : public ESockError {
public:
    using ESockError::ESockError;
};

// Event types. The Sender is the component that fires the event.
using TNotifyEvent = std::function<void(QObject* Sender)>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;
using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;
using TOnErrorEvent = std::function<void(QObject* Sender, uint16_t Errno, const std::string& Errmsg)>;

// Notification numbers understood by TPowersock::Wndproc.
enum : unsigned {
    WM_SOCKETEVENT = 1125, // first word: socket; second: event | error << 16
    WM_LOOKUPEVENT = 1126, // host lookup done (or accept in second mode)
};

// Event codes carried in the low half of a notification's second word.
enum : uint16_t {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
};

// Error numbers the component itself tests.
enum : int {
    WSAEWOULDBLOCK = 10035,
    WSAENOTCONN = 10057,
    WSAECONNRESET = 10054,
    // Not a socket error: the TLS layer failed (a protocol error, a bad
    // record); the message names the reason instead of a table row.
    WSATLSFAILURE = 30000,
};

struct TWinsockMessage {
    int32_t Number;
    const char* Text;
};
// The error table, searched in order; the last row (number 0) ends it and is
// never matched.
extern const TWinsockMessage WinsockMessage[51];

// Translates a system errno value into the table's number (0 for 0).
int MapSocketError(int err);
// Translates a getaddrinfo failure (EAI_*; err is errno for EAI_SYSTEM).
int MapResolverError(int eaiCode, int err);

// The answer of a host lookup: an IPv4 address in network order, or 0 with
// the error number of the failure (11001 "Host not found", ...).
struct THostLookup {
    uint32_t Addr = 0;
    int Error = 0;
};
// Looks a name up. It runs on a thread of its own for each lookup, so one
// that never answers holds only that thread: it must be safe to call from
// any thread.
using THostResolver = std::function<THostLookup(const std::string& name)>;
// The system's resolver (getaddrinfo, IPv4).
THostLookup SystemResolve(const std::string& name);

// Where an exception raised by a timer handler goes. The default handler
// drops it silently, which is what the main window's own handler does.
void SetApplicationExceptionHandler(std::function<void(std::exception_ptr)> handler);
void HandleApplicationException(std::exception_ptr e);

// A periodic timer on the Qt event queue: it ticks only while the queue is
// serviced. Setting Enabled or Interval to the value it already has changes
// nothing, so re-arming a running timer does not restart its period.
class TThreadTimer : public QObject {
public:
    explicit TThreadTimer(QObject* Owner = nullptr);
    ~TThreadTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    uint32_t Interval() const { return FInterval; }
    void SetInterval(uint32_t value);
    // Starts the period afresh when the timer runs (an idle limit after
    // activity); does nothing when it is stopped.
    void Restart();
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent handler);

    // Whether the platform timer is currently running.
    bool Running() const { return FTimerId != 0; }

protected:
    void UpdateTimer();
    // Fires OnTimer; the step subclasses may override.
    virtual void Timer();
    void timerEvent(QTimerEvent* event) override;

private:
    bool FEnabled = true;
    uint32_t FInterval = 1000;
    TNotifyEvent FOnTimer;
    int FTimerId = 0;
};

class TPowersock : public QObject {
    Q_OBJECT
public:
    explicit TPowersock(QObject* Owner = nullptr);
    ~TPowersock() override;
    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    // ---- published properties ----
    std::string Host;   // server name or numeric IPv4 address
    int Port = 0;       // server TCP port
    // The idle limit, in milliseconds: a timed wait ends when nothing has
    // happened on the socket for this long (no byte received, no byte sent).
    // A reply that keeps arriving is never cut by it. 0 = none.
    int TimeOut = 0;
    // The limit of the host lookup and of the connect, in milliseconds;
    // -1 = the same as TimeOut, 0 = none.
    int ConnectTimeOut = -1;
    // How names are looked up; tests put in their own.
    THostResolver Resolver = SystemResolve;
    int ReportLevel = 0; // status texts of this level or lower reach OnStatus
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;

    // ---- public state ----
    int32_t SentCount = 0;
    int32_t ReceivedCount = 0;
    int32_t TransferSize = 0;
    int16_t ReplyCode = 0;
    std::string ReplyText;
    TOnErrorEvent OnError;
    TNotifyEvent OnReadReady;

    bool Connected() const { return FConnected; }
    const std::string& StatusText() const { return FStatusText; }
    const TStringList& SocketInfo() const { return FSocketInfo; }
    int GetLastErrorNo();
    void SetLastErrorNo(int value);
    // The socket handle the component currently holds (-1 when none).
    int SocketHandle() const { return FSocket; }

    // ---- session ----
    virtual int Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual std::string Transaction(const std::string& command);
    virtual void Abort();
    void CertifyConnect();
    void Cancel();

    // ---- sending ----
    void SendBuffer(const char* data, uint16_t count);
    void Write(const std::string& text);
    void Writeln(const std::string& text);
    void SendFile(const std::string& fileName);
    void SendStream(TStream& stream);

    // ---- receiving ----
    std::string Read(uint16_t count);
    std::string ReadLn();
    void AppendFile(const std::string& fileName);
    void CaptureFile(const std::string& fileName);
    void CaptureStream(TStream& stream, int64_t size);
    void CaptureString(std::string& text, int64_t size);
    void FilterHeader(TStream& stream);

    // ---- small queries ----
    bool DataAvailable();
    int ClearInput();
    void ResolveRemoteHost();
    std::string GetRemoteIP();
    std::string GetLocalIP();
    std::string GetLocalAddress();
    std::string GetPortString();
    void Close(int handle);
    void Listen(bool secondMode);

    // ---- TLS ----
    // A PEM file of CA certificates trusted besides the system's store.
    std::string CACertFile;
    // Starts TLS on the connected socket: the handshake (with SNI for a host
    // name) and the verification of the peer's chain and of hostName. Waits
    // like a read, bounded as a whole by TimeOut (and the deadline). Raises
    // ECertificateError ("Certificate of HOST rejected: certificate has
    // expired") or ESockError ("TLS handshake with HOST failed: wrong
    // version number") naming the problem, or ETimeOutError "TLS Handshake
    // Timed out" / ECancelError "TLS Handshake Canceled". Ends with the
    // socket still connected; the owner disconnects.
    void StartTLS(const std::string& hostName);
    // True while the connection carries TLS (after a successful StartTLS).
    bool Secure() const;

    // ---- errors and status ----
    std::string SocketErrorStr(uint16_t errNo);
    void ErrorManager(uint16_t expected, std::string& message);
    void SetWSAError(int errNo, const std::string& message);
    void StatusMessage(uint8_t level, const std::string& text);

    // Acts on one notification (number, socket, event | error << 16).
    void Wndproc(unsigned msg, intptr_t wParam, intptr_t lParam);

protected:
    // Fields that the clients publish (with a using-declaration).
    std::string Proxy;
    int ProxyPort = 0;
    TNotifyEvent OnPacketRecvd; // fired by PacketReceived
    TNotifyEvent OnPacketSent;
    THandlerEvent OnConnectionRequired;
    // Called for an accept notification on the socket-event path.
    std::function<void()> AcceptHook;
    // The proxy the next Connect goes through (host, port); an empty host
    // means straight to Host:Port. Proxy and ProxyPort unless a client
    // routes some requests elsewhere.
    virtual std::pair<std::string, int> ProxyRoute() const { return {Proxy, ProxyPort}; }
    // A chunk of a capture arrived (ReceivedCount counts it): fires
    // OnPacketRecvd. A client that checks each chunk overrides it.
    virtual void PacketReceived();

    // A deadline over several operations (a client's whole request): while
    // it is set, every timed wait ends at it at the latest, with
    // ETimeOutError, and DeadlinePassed() tells that the deadline, not one
    // wait's own limit, ended it. ms 0 clears it.
    void SetDeadline(int ms);
    void ClearDeadline() { SetDeadline(0); }
    bool DeadlinePassed() const { return FDeadlinePassed; }

    // Marks.
    bool FCanceled = false;     // set by Cancel, Abort and a time-out
    bool FTimedOut = false;     // set when the time-out timer fires
    bool FEventMark = false;    // lookup done, accept signalled, client Abort
    bool FNotifyOk = true;      // the last notification carried no error
    bool FClosingForGood = false;

    void InitWinsock();
    void RequestCloseSocket();
    // Arms the time-out timer with the idle limit (or, for the lookup and the
    // connect, the connect limit), cut to what is left of the deadline.
    void TimerOn();
    void ConnectTimerOn();
    // Activity on the socket: the idle limit starts afresh.
    void TimerActivity();
    void TimerOff();
    // Raises the end of a wait that the cancel mark ended: ETimeOutError
    // when a limit fired, ECancelError otherwise; both marks are cleared.
    [[noreturn]] void RaiseAborted(const std::string& message);
    void TimerFired(QObject* Sender);
    TThreadTimer* TimeoutTimer() const { return FTimer; }

private:
    struct LookupJob;
    // Forgets the lookup under way: its answer is no longer posted here.
    void DropLookup();

    bool FConnected = false;
    bool FDestroying = false;
    std::string FStatusText;
    TStringList FSocketInfo;
    int FLastErrorNo = 0;

    int FSocket = -1;
    unsigned FSocketGeneration = 0; // counts the sockets made, to tell stale records
    int FEpoll = -1;
    QSocketNotifier* FNotifier = nullptr;
    bool FWatched = false;     // the socket is in the epoll set
    bool FConnecting = false;  // a connect is outstanding
    int FConnectResult = -1;   // error of the last connect notification; -1 none yet
    bool FListening = false;
    bool FListenSecondMode = false;
    bool FPeerClosed = false;  // the peer's close was seen on this socket
    int FPendingError = 0;     // a reset seen by a notification, reported by the next read
    uint32_t FRemoteAddr = 0;  // network byte order; 0 = not resolved
    uint16_t FRemotePort = 0;  // network byte order
    std::vector<char> FBuffer; // the 64 KiB I/O buffer

    // TLS state of the current socket: FSsl is made by StartTLS and freed
    // with the socket. Decrypted bytes that a peek has read ahead wait in
    // FTlsIn (from FTlsInPos) and are handed out before anything new.
    enum class TlsState { None, Handshake, Up, Failed };
    ssl_st* FSsl = nullptr;
    TlsState FTlsState = TlsState::None;
    std::string FTlsIn;
    size_t FTlsInPos = 0;
    std::string FTlsError; // reason of the last TLS failure

    std::shared_ptr<LookupJob> FLookup;
    unsigned FLookupSeq = 0;
    uint32_t FLookupAddr = 0;

    TThreadTimer* FTimer = nullptr;
    int FTimerLimit = 0;           // the limit the running timed wait was armed with
    int64_t FDeadline = 0;         // monotonic ms when the deadline passes; 0 = none
    bool FDeadlinePassed = false;
    bool FTimerIsDeadline = false; // the running timer was cut to the deadline
    // The pending last socket error, as a table number: set by the failing
    // receive or send, read right after it.
    int FLastSockError = 0;
    TTlsSocketLink FTlsLink;

    void ArmTimer(int limit);
    int MakeSocket(bool lingerZero);
    void WatchSocket();
    void UnwatchSocket();
    void DrainNotifications();
    void LookupDone(unsigned seq, uint32_t addr, int err);
    // Services the event queue once; with wait it blocks until something
    // arrives.
    void ServiceQueue(bool wait);
    // Non-blocking receive and send; on failure -1 with the table's number
    // stored as the pending last socket error.
    long SockRecv(char* buf, size_t len, bool peek);
    long SockSend(const char* buf, size_t len);
    // The same over TLS (PsockTls.cpp).
    long TlsRecv(char* buf, size_t len, bool peek);
    long TlsSend(const char* buf, size_t len);
    // One SSL_read into buf: bytes, 0 when the peer has closed, -1 with the
    // last socket error set (would-block when TLS needs more bytes).
    long TlsRead(char* buf, size_t len);
    // -1 with the last socket error set, for a read or send while TLS is
    // not up: WSATLSFAILURE after a failure, else not connected.
    long TlsNotUp();
    // The TLS layer failed under a read or send: keeps OpenSSL's reason,
    // marks the session failed and leaves WSATLSFAILURE pending and as the
    // last socket error; returns -1.
    long TlsFailed();
    void TlsFree();
    int LastSockError() const;
    void SetLastSockError(int code);
    void RaiseSocketError();
    enum CaptureKind { ckAppendFile, ckCaptureFile, ckCaptureStream, ckCaptureString };
    void ReceiveInto(CaptureKind kind, TStream* stream, std::string* text, int64_t size);
    // Sends one chunk as SendFile and SendStream do; returns false when a
    // send took nothing.
    bool SendChunk(const char* data, size_t count);
};

// The n-th field (from 1) of text split at every sep; empty when missing.
std::string NthWord(const std::string& text, char sep, int n);
// The number formed by the leading digits of a reply line (at most ten are
// read), 0 when it has none; a number beyond 32767 raises ERangeError.
int16_t ReplyCodeOf(const std::string& line);
// Position (from 1) of the n-th ch in text; length + 1 when there is none or
// when it is the last character.
int NthPos(const std::string& text, char ch, int n);
// Writes text and CR LF to the stream.
void StreamLn(TStream& stream, const std::string& text);
