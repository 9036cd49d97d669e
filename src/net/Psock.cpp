#include "Psock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimerEvent>

namespace {

constexpr size_t kBufferSize = 65536;

// Number of live components on this thread; the first one reports the
// SocketInfo lines. Components on a worker thread count apart from the
// window's.
thread_local int g_socketUsers = 0;

std::function<void(std::exception_ptr)>& appExceptionHandler()
{
    static std::function<void(std::exception_ptr)> handler;
    return handler;
}

std::string dotted(uint32_t netAddr, char sep)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&netAddr);
    return std::to_string(b[0]) + sep + std::to_string(b[1]) + sep + std::to_string(b[2]) + sep + std::to_string(b[3]);
}

intptr_t makeLong(uint16_t low, uint16_t high) { return static_cast<intptr_t>(low) | (static_cast<intptr_t>(high) << 16); }

// Adds n to a 32-bit byte counter; past 2 GiB it wraps around instead of
// overflowing.
void addCount(int32_t& counter, int64_t n)
{
    counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + static_cast<uint32_t>(n));
}

} // namespace

const TWinsockMessage WinsockMessage[51] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
    {0, "Unrecognized error code"},
};

// The one translation from the system's errno values to the table's numbers.
// The table numbers are the BSD names with a base of 10000; EPIPE (a send on a
// connection the peer has dropped) is reported as a reset, ENOMEM as no buffer
// space, EPERM as permission denied. An errno with no row becomes
// 20000 + errno, which is still above 10000 and so is never taken for success.
int MapSocketError(int err)
{
    switch (err) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES:
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EAGAIN: return 10035; // EWOULDBLOCK is the same value
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET:
    case EPIPE: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return 20000 + err;
    }
}

// Resolver failures: an unknown name is "Host not found", a temporary
// failure "Non-Authoritative Host not found", a name without an IPv4 address
// "Valid name, no data record", everything else the non-recoverable row.
int MapResolverError(int eaiCode, int err)
{
    switch (eaiCode) {
    case 0: return 0;
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return 11004;
#endif
    case EAI_MEMORY: return 10055;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SYSTEM: return err ? MapSocketError(err) : 11003;
    default: return 11003;
    }
}

THostLookup SystemResolve(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &res);
    const int sysErr = errno;
    THostLookup answer;
    if (rc != 0) {
        answer.Error = MapResolverError(rc, sysErr);
        return answer;
    }
    for (addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family == AF_INET) {
            answer.Addr = reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(res);
    if (answer.Addr == 0)
        answer.Error = 11004;
    return answer;
}

namespace {

// Lookup threads still running, across every socket; each ends when its
// resolver answers. Past the bound a new lookup is refused at once rather
// than adding threads without end while names hang.
constexpr int kMaxLookupThreads = 256;
std::atomic<int> g_lookupThreads{0};

bool StartLookupThread(std::function<void()> work)
{
    if (g_lookupThreads.fetch_add(1) >= kMaxLookupThreads) {
        g_lookupThreads.fetch_sub(1);
        return false;
    }
    try {
        std::thread([work = std::move(work)] {
            work();
            g_lookupThreads.fetch_sub(1);
        }).detach();
    } catch (const std::system_error&) {
        g_lookupThreads.fetch_sub(1);
        return false;
    }
    return true;
}

} // namespace

void SetApplicationExceptionHandler(std::function<void(std::exception_ptr)> handler)
{
    appExceptionHandler() = std::move(handler);
}

void HandleApplicationException(std::exception_ptr e)
{
    if (appExceptionHandler())
        appExceptionHandler()(e);
}

// ---------------------------------------------------------------- TThreadTimer

TThreadTimer::TThreadTimer(QObject* Owner) : QObject(Owner) {}

TThreadTimer::~TThreadTimer()
{
    FEnabled = false;
    if (FTimerId)
        killTimer(FTimerId);
    FTimerId = 0;
}

void TThreadTimer::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(uint32_t value)
{
    if (value == FInterval)
        return;
    FInterval = value;
    UpdateTimer();
}

void TThreadTimer::Restart()
{
    if (FTimerId)
        UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler)
{
    FOnTimer = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer()
{
    if (FTimerId)
        killTimer(FTimerId);
    FTimerId = 0;
    if (FInterval != 0 && FEnabled && FOnTimer) {
        const int ms = static_cast<int>(std::min<uint32_t>(FInterval, 0x7FFFFFFF));
        FTimerId = startTimer(ms, Qt::PreciseTimer);
        if (FTimerId == 0)
            throw Exception("No Timer");
    }
}

void TThreadTimer::Timer()
{
    if (FOnTimer)
        FOnTimer(this);
}

void TThreadTimer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != FTimerId) {
        QObject::timerEvent(event);
        return;
    }
    try {
        Timer();
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
}

// ------------------------------------------------------------------ TPowersock

// A host lookup on a thread of its own. The completion is posted to the
// component, so it is delivered on the component's own thread (the window's,
// or a harvest worker's) while that thread services its queue. Receiver is
// read by the lookup thread and cleared by the component, both under the
// lock, when it gives the lookup up or goes: nothing is posted after that.
// Owner is read and cleared on the component's thread only.
struct TPowersock::LookupJob {
    TPowersock* Owner = nullptr;
    std::mutex Lock;
    QObject* Receiver = nullptr;
    unsigned Seq = 0;
    std::string Name;
};

void TPowersock::DropLookup()
{
    if (FLookup) {
        FLookup->Owner = nullptr;
        std::lock_guard lock(FLookup->Lock);
        FLookup->Receiver = nullptr;
    }
    FLookup.reset();
}

TPowersock::TPowersock(QObject* Owner) : QObject(Owner), FBuffer(kBufferSize)
{
    FEpoll = epoll_create1(EPOLL_CLOEXEC);
    if (FEpoll < 0)
        throw ESockError("Initializaton of windows sockets failed");
    FNotifier = new QSocketNotifier(FEpoll, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { DrainNotifications(); });

    FTimer = new TThreadTimer(this);
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer([this](QObject* sender) { TimerFired(sender); });
    try {
        InitWinsock();
    } catch (...) {
        ::close(FEpoll);
        throw;
    }
}

TPowersock::~TPowersock()
{
    // Marked first: the owner's handlers are not called from here on, not
    // even with "Destroy", since the owner may already be half torn down.
    FDestroying = true;
    StatusMessage(8, "Destroy");
    TPowersock::Abort();
    Cancel();
    DropLookup();
    delete FTimer;
    FTimer = nullptr;
    FClosingForGood = true;
    try {
        RequestCloseSocket();
    } catch (...) {
    }
    delete FNotifier;
    FNotifier = nullptr;
    if (FEpoll >= 0)
        ::close(FEpoll);
    if (g_socketUsers > 0)
        --g_socketUsers;
}

void TPowersock::InitWinsock()
{
    StatusMessage(8, "Initializing Winsock");
    ++g_socketUsers;
    try {
        if (g_socketUsers == 1) {
            rlimit rl{};
            long maxSockets = 1024;
            if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
                maxSockets = static_cast<long>(rl.rlim_cur);
            FSocketInfo.Add("Version= 1.1");
            FSocketInfo.Add("High Version= 2.2");
            FSocketInfo.Add("Description= BSD sockets over the Linux TCP/IP stack");
            FSocketInfo.Add("System= Running");
            FSocketInfo.Add("Max Sockets= " + std::to_string(maxSockets));
            FSocketInfo.Add("Max Udp pack size= 65507");
        }
        FSocket = MakeSocket(true);
    } catch (...) {
        --g_socketUsers;
        throw ESockError("Initializaton of windows sockets failed");
    }
}

int TPowersock::MakeSocket(bool lingerZero)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        FLastSockError = MapSocketError(errno);
        std::string message;
        ErrorManager(WSAEWOULDBLOCK, message);
        return -1;
    }
    if (lingerZero) {
        linger lg{1, 0};
        setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    }
    FWatched = false;
    FConnecting = false;
    FListening = false;
    FPeerClosed = false;
    ++FSocketGeneration;
    return s;
}

// The socket joins the component's epoll set only once it is connecting or
// listening: a fresh socket reports a hang-up, which must not be taken for
// the peer's close. Edge-triggered, so a wait wakes once per new arrival.
void TPowersock::WatchSocket()
{
    if (FSocket < 0 || FWatched)
        return;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLPRI | EPOLLET;
    ev.data.fd = FSocket;
    if (epoll_ctl(FEpoll, EPOLL_CTL_ADD, FSocket, &ev) == 0)
        FWatched = true;
}

void TPowersock::UnwatchSocket()
{
    if (FWatched && FSocket >= 0)
        epoll_ctl(FEpoll, EPOLL_CTL_DEL, FSocket, nullptr);
    FWatched = false;
}

// Turns what the epoll set reports into notification records and hands them
// to Wndproc; runs only while the event queue is serviced.
void TPowersock::DrainNotifications()
{
    struct Record {
        unsigned msg;
        int socket;
        unsigned generation;
        uint16_t event;
        uint16_t error;
    };
    std::vector<Record> records;
    epoll_event evs[8];
    int n = epoll_wait(FEpoll, evs, 8, 0);
    for (int i = 0; i < n; ++i) {
        const int s = evs[i].data.fd;
        const uint32_t e = evs[i].events;
        if (s != FSocket || !FWatched)
            continue;
        const unsigned gen = FSocketGeneration;
        if (FListening) {
            if (e & EPOLLIN)
                records.push_back({FListenSecondMode ? WM_LOOKUPEVENT : WM_SOCKETEVENT, s, gen, FD_ACCEPT, 0});
            continue;
        }
        uint16_t closeError = 0;
        if (FConnecting) {
            if (!(e & (EPOLLOUT | EPOLLERR | EPOLLHUP)))
                continue;
            int soerr = 0;
            socklen_t len = sizeof soerr;
            getsockopt(s, SOL_SOCKET, SO_ERROR, &soerr, &len);
            FConnecting = false;
            if (soerr == ECONNRESET || soerr == EPIPE) {
                // Connected, then reset before this notification was seen:
                // report the connection and then its reset.
                FPendingError = MapSocketError(soerr);
                closeError = static_cast<uint16_t>(FPendingError);
                soerr = 0;
            }
            const int code = MapSocketError(soerr);
            records.push_back({WM_SOCKETEVENT, s, gen, FD_CONNECT, static_cast<uint16_t>(code)});
            if (code != 0)
                continue;
        }
        if (e & EPOLLERR) {
            int soerr = 0;
            socklen_t len = sizeof soerr;
            getsockopt(s, SOL_SOCKET, SO_ERROR, &soerr, &len);
            if (soerr) {
                // The error is handed out by the system once; keep it for
                // the next read so a reset is never mistaken for a close.
                // An error already kept (a TLS failure, which made the
                // client's alert and so the peer's reset) stays: it is the
                // cause.
                if (!FPendingError)
                    FPendingError = MapSocketError(soerr);
                closeError = static_cast<uint16_t>(MapSocketError(soerr));
            }
        }
        const bool hangup = (e & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
        if (e & EPOLLPRI)
            records.push_back({WM_SOCKETEVENT, s, gen, FD_OOB, 0});
        if (e & EPOLLIN) {
            char c;
            if (!hangup || SockRecv(&c, 1, true) > 0)
                records.push_back({WM_SOCKETEVENT, s, gen, FD_READ, 0});
        }
        if (hangup && !FPeerClosed) {
            FPeerClosed = true;
            records.push_back({WM_SOCKETEVENT, s, gen, FD_CLOSE, closeError});
        }
    }
    for (const Record& r : records) {
        if (r.generation != FSocketGeneration)
            break; // the socket was replaced by an earlier record
        Wndproc(r.msg, r.socket, makeLong(r.event, r.error));
    }
}

void TPowersock::Wndproc(unsigned msg, intptr_t /*wParam*/, intptr_t lParam)
{
    const auto event = static_cast<uint16_t>(lParam & 0xFFFF);
    const auto error = static_cast<uint16_t>((lParam >> 16) & 0xFFFF);
    FNotifyOk = error == 0;
    try {
        if (msg == WM_SOCKETEVENT) {
            switch (event) {
            case FD_READ:
                if (OnReadReady) {
                    try {
                        OnReadReady(this);
                    } catch (...) {
                    }
                }
                break;
            case FD_ACCEPT:
                FConnected = true;
                if (AcceptHook)
                    AcceptHook();
                break;
            case FD_CONNECT:
                FConnectResult = error;
                if (error == 0) {
                    FConnected = true;
                    if (OnConnect)
                        OnConnect(this);
                }
                break;
            case FD_CLOSE:
                if (!DataAvailable())
                    RequestCloseSocket();
                break;
            default:
                break;
            }
        } else if (msg == WM_LOOKUPEVENT) {
            FEventMark = true;
            if (event == FD_ACCEPT) {
                FConnected = true;
                if (!FDestroying && OnDisconnect)
                    OnDisconnect(this);
            }
        }
    } catch (...) {
    }
}

void TPowersock::ServiceQueue(bool wait)
{
    QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

long TPowersock::SockRecv(char* buf, size_t len, bool peek)
{
    if (FSocket < 0) {
        FLastSockError = FPendingError ? FPendingError : WSAENOTCONN;
        return -1;
    }
    if (FSsl)
        return TlsRecv(buf, len, peek);
    ssize_t n;
    do {
        n = ::recv(FSocket, buf, len, MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
    } while (n < 0 && errno == EINTR);
    if (n > 0 || (n == 0 && len == 0))
        return static_cast<long>(n);
    if (n == 0) {
        if (FPendingError) {
            FLastSockError = FPendingError;
            return -1;
        }
        return 0;
    }
    const int code = MapSocketError(errno);
    if (code == WSAENOTCONN && FPendingError) {
        FLastSockError = FPendingError;
        return -1;
    }
    if (code != WSAEWOULDBLOCK && code != WSAENOTCONN)
        FPendingError = code; // every later read of this session sees it too
    FLastSockError = code;
    return -1;
}

long TPowersock::SockSend(const char* buf, size_t len)
{
    if (FSocket < 0) {
        FLastSockError = WSAENOTCONN;
        return -1;
    }
    if (FSsl)
        return TlsSend(buf, len);
    ssize_t n;
    do {
        n = ::send(FSocket, buf, len, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int err = errno;
        FLastSockError = MapSocketError(err);
        // The system says "broken pipe" both for a socket that was never
        // connected and for one the peer dropped; tell the two apart.
        if (err == EPIPE)
            FLastSockError = FPendingError ? FPendingError : FConnected ? WSAECONNRESET : WSAENOTCONN;
    }
    return static_cast<long>(n);
}

int TPowersock::LastSockError() const { return FLastSockError; }

void TPowersock::SetLastSockError(int code) { FLastSockError = code; }

void TPowersock::RaiseSocketError()
{
    std::string message;
    ErrorManager(WSAEWOULDBLOCK, message);
}

// ---------------------------------------------------------- errors and status

std::string TPowersock::SocketErrorStr(uint16_t errNo)
{
    StatusMessage(8, "Looking Up Error Message");
    std::string out;
    if (errNo == 0)
        return out;
    for (const TWinsockMessage& row : WinsockMessage) {
        if (row.Number == 0)
            break;
        if (row.Number == errNo)
            return std::to_string(errNo) + ":" + row.Text;
    }
    return "Unknown Error No. " + std::to_string(errNo);
}

void TPowersock::ErrorManager(uint16_t expected, std::string& message)
{
    FLastErrorNo = FLastSockError;
    message.clear();
    if (FLastErrorNo != expected && FLastErrorNo > 10000) {
        const auto errNo = static_cast<uint16_t>(FLastErrorNo);
        message = FLastErrorNo == WSATLSFAILURE ? "TLS error: " + FTlsError : SocketErrorStr(errNo);
        if (OnError)
            OnError(this, errNo, message);
        throw ESockError(message);
    }
}

void TPowersock::SetWSAError(int errNo, const std::string& message)
{
    StatusMessage(8, "Setting Winsock Error");
    FLastErrorNo = errNo;
    FLastSockError = errNo;
    if (OnError)
        OnError(this, static_cast<uint16_t>(errNo), message.empty() ? SocketErrorStr(static_cast<uint16_t>(errNo)) : message);
}

int TPowersock::GetLastErrorNo()
{
    StatusMessage(8, "Getting LastError Number");
    return FLastErrorNo;
}

void TPowersock::SetLastErrorNo(int value)
{
    StatusMessage(8, "Setting LastError Number");
    FLastErrorNo = value;
}

void TPowersock::StatusMessage(uint8_t level, const std::string& text)
{
    if (level > ReportLevel)
        return;
    FStatusText = text;
    if (!FDestroying && OnStatus) {
        try {
            OnStatus(this, FStatusText);
        } catch (...) {
        }
    }
}

// ---------------------------------------------------------------- time-outs

namespace {
int64_t nowMs() { return QDeadlineTimer::current().deadline(); }
} // namespace

void TPowersock::ArmTimer(int limit)
{
    FTimedOut = false;
    if (limit < 0)
        throw ERangeError();
    FTimerLimit = limit;
    int64_t interval = limit;
    FTimerIsDeadline = false;
    if (FDeadline != 0) {
        // What is left of the deadline bounds this wait too; a deadline
        // already past ends it at the first service of the queue.
        const int64_t left = std::max<int64_t>(FDeadline - nowMs(), 1);
        if (interval == 0 || left <= interval) {
            interval = left;
            FTimerIsDeadline = true;
        }
    }
    FTimer->SetInterval(static_cast<uint32_t>(interval));
    FTimer->SetEnabled(true);
}

void TPowersock::TimerOn()
{
    StatusMessage(8, "Timer On");
    ArmTimer(TimeOut);
}

void TPowersock::ConnectTimerOn()
{
    StatusMessage(8, "Timer On");
    ArmTimer(ConnectTimeOut < 0 ? TimeOut : ConnectTimeOut);
}

void TPowersock::TimerActivity()
{
    // Only a running idle limit starts afresh; once it has fired the wait
    // ends anyway.
    if (!FTimer || !FTimer->Enabled() || FTimedOut || FTimerLimit == 0)
        return;
    const uint32_t before = FTimer->Interval();
    ArmTimer(FTimerLimit);
    if (FTimer->Interval() == before)
        FTimer->Restart();
}

void TPowersock::SetDeadline(int ms)
{
    FDeadlinePassed = false;
    FDeadline = ms > 0 ? nowMs() + ms : 0;
}

void TPowersock::RaiseAborted(const std::string& message)
{
    const bool timedOut = FTimedOut;
    FTimedOut = false;
    FCanceled = false;
    if (timedOut)
        throw ETimeOutError(message);
    throw ECancelError(message);
}

void TPowersock::PacketReceived()
{
    if (OnPacketRecvd)
        OnPacketRecvd(this);
}

void TPowersock::TimerOff()
{
    StatusMessage(8, "Timer Off");
    if (FTimer)
        FTimer->SetEnabled(false);
}

void TPowersock::TimerFired(QObject* /*Sender*/)
{
    StatusMessage(8, "Timer Triggered");
    TimerOff();
    if (FDeadline != 0 && (FTimerIsDeadline || nowMs() >= FDeadline))
        FDeadlinePassed = true;
    FTimedOut = true;
    FEventMark = true;
    Abort();
}

namespace {
// Stops the time-out timer however the guarded block ends.
struct TimerGuard {
    std::function<void()> off;
    ~TimerGuard() { off(); }
};
} // namespace

// ------------------------------------------------------------------- session

void TPowersock::RequestCloseSocket()
{
    StatusMessage(4, "Request Close Socket");
    FConnected = false;
    TlsFree();
    if (FSocket < 0)
        return;
    UnwatchSocket();
    const int rc = ::close(FSocket);
    FSocket = -1;
    FConnecting = false;
    FListening = false;
    FPeerClosed = false;
    if (rc != 0 && errno != EINTR) {
        FLastSockError = MapSocketError(errno);
        std::string message;
        ErrorManager(WSAEWOULDBLOCK, message);
    }
    // The new socket is made before OnDisconnect, so a handler that connects
    // again finds it ready.
    if (!FClosingForGood)
        FSocket = MakeSocket(false);
    if (!FDestroying && OnDisconnect)
        OnDisconnect(this);
}

void TPowersock::ResolveRemoteHost()
{
    StatusMessage(8, "Resolve Host");
    const std::string via = ProxyRoute().first;
    const std::string name = via.empty() ? Host : via;
    in_addr parsed{};
    if (inet_aton(name.c_str(), &parsed) != 0 && parsed.s_addr != INADDR_NONE) {
        FRemoteAddr = parsed.s_addr;
        return;
    }
    FRemoteAddr = 0;
    ConnectTimerOn();
    TimerGuard guard{[this] { TimerOff(); }};
    FEventMark = false;

    auto job = std::make_shared<LookupJob>();
    job->Owner = this;
    job->Receiver = this;
    job->Seq = ++FLookupSeq;
    job->Name = name;
    DropLookup();
    FLookup = job;
    FLookupAddr = 0;
    // Each lookup gets a thread of its own rather than one of a shared pool:
    // the system resolver cannot be interrupted, and a name that never
    // answers would otherwise hold a pool thread past this wait's time-out
    // and starve the lookups of the sites after it. The number of lookups
    // still running is bounded all the same.
    if (!StartLookupThread([job, resolve = Resolver] {
            const THostLookup answer = resolve(job->Name);
            std::lock_guard lock(job->Lock);
            if (!job->Receiver)
                return;
            QMetaObject::invokeMethod(
                job->Receiver,
                [job, answer] {
                    if (job->Owner)
                        job->Owner->LookupDone(job->Seq, answer.Addr, answer.Error);
                },
                Qt::QueuedConnection);
        })) {
        DropLookup();
        throw ESockError("Host Lookup Failed: too many lookups without an answer");
    }

    while (!FEventMark && !FTimedOut && !FCanceled)
        ServiceQueue(true);
    // A lookup that is given up must not report later, when its answer
    // could be taken for another wait's notification.
    DropLookup();

    if (FTimedOut)
        throw ETimeOutError("Host Lookup Timed Out");
    if (FCanceled)
        throw ECancelError("Host Lookup Canceled");
    if (FNotifyOk && FLookupAddr != 0) {
        FRemoteAddr = FLookupAddr;
        if (OnHostResolved)
            OnHostResolved(this);
        return;
    }
    throw ESockError("Host Lookup Failed");
}

void TPowersock::LookupDone(unsigned seq, uint32_t addr, int err)
{
    if (seq != FLookupSeq)
        return;
    FLookup.reset();
    FLookupAddr = addr;
    if (err)
        FLastErrorNo = err;
    Wndproc(WM_LOOKUPEVENT, 0, makeLong(0, static_cast<uint16_t>(err)));
}

void TPowersock::Connect()
{
    StatusMessage(8, "Connecting");
    FCanceled = false;
    if (FConnected)
        throw ESockError("Already connected");
    FPendingError = 0;
    for (int retry = 0;; ++retry) {
        try {
            ResolveRemoteHost();
        } catch (const EAbortError&) {
            throw; // timed out or canceled: no other address is tried
        } catch (const ESockError&) {
        }
        if (FRemoteAddr != 0)
            break;
        if (retry > 0 || !OnInvalidHost)
            throw EHostNotFoundError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw EHostNotFoundError("Null Remote Address");
    }
    const auto via = ProxyRoute();
    FRemotePort = htons(static_cast<uint16_t>(via.first.empty() ? Port : via.second));

    FEventMark = false;
    FNotifyOk = true;
    FConnectResult = -1;
    if (FSocket < 0)
        FSocket = MakeSocket(false);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = FRemotePort;
    sa.sin_addr.s_addr = FRemoteAddr;
    FPeerClosed = false;
    // Requests go out whole (a header, its empty line, a TLS record each):
    // holding back the last small piece until the peer acknowledges the
    // one before (Nagle) would only meet the peer's delayed acknowledgement
    // and cost 40 ms per request.
    const int noDelay = 1;
    setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    int rc;
    do {
        rc = ::connect(FSocket, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    const int connectErr = rc == 0 ? 0 : errno;
    if (connectErr == 0 || connectErr == EINPROGRESS) {
        FConnecting = true;
        WatchSocket(); // reports the outcome as a connect notification
    } else if (connectErr == ECONNREFUSED || connectErr == ETIMEDOUT || connectErr == EHOSTUNREACH ||
               connectErr == ENETUNREACH) {
        // An outcome the system knew at once arrives as the connect
        // notification, as an asynchronous one would.
        const int code = MapSocketError(connectErr);
        const int s = FSocket;
        QMetaObject::invokeMethod(
            this,
            [this, s, code] {
                if (s == FSocket)
                    Wndproc(WM_SOCKETEVENT, s, makeLong(FD_CONNECT, static_cast<uint16_t>(code)));
            },
            Qt::QueuedConnection);
    } else {
        FLastSockError = MapSocketError(connectErr);
        RaiseSocketError();
    }

    ConnectTimerOn();
    {
        TimerGuard guard{[this] { TimerOff(); }};
        while (FConnectResult < 0 && !FConnected && !FTimedOut && !FCanceled && FNotifyOk)
            ServiceQueue(true);
    }
    // Success is judged by the connect notification itself: a reset that
    // follows it at once is reported by the next read, not as a failed
    // connect.
    const bool failed = FConnectResult > 0 || (FConnectResult < 0 && !FNotifyOk);
    if (!FTimedOut && !FCanceled && !failed)
        return;
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (FTimedOut)
        throw EConnectTimeOutError("Connection Timed out");
    if (FCanceled)
        throw ECancelError("Connection Canceled");
    throw EConnectError("Connection Failed");
}

void TPowersock::Disconnect()
{
    StatusMessage(8, "Disconnecting");
    FPendingError = 0;
    RequestCloseSocket();
}

void TPowersock::CertifyConnect()
{
    StatusMessage(8, "Checking Connection");
    for (int pass = 0; !FConnected; ++pass) {
        if (pass > 0 || !OnConnectionRequired)
            throw Exception("Not Connected");
        bool handled = false;
        OnConnectionRequired(handled);
        if (!handled)
            throw Exception("Not Connected");
    }
}

void TPowersock::Cancel()
{
    StatusMessage(8, "Canceling");
    FCanceled = true;
}

void TPowersock::Abort()
{
    StatusMessage(8, "Abort");
    Cancel();
}

// ------------------------------------------------------------------- sending

void TPowersock::SendBuffer(const char* data, uint16_t count)
{
    StatusMessage(4, "Sending Buffer");
    TimerOn();
    TimerGuard guard{[this] { TimerOff(); }};
    if (!FCanceled) {
        size_t remain = count;
        if (count == 0) {
            const void* zero = std::memchr(data, 0, kBufferSize);
            remain = zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : kBufferSize;
            if (remain > 65535)
                throw ERangeError();
        }
        size_t offset = 0;
        while (remain > 0 && !FCanceled) {
            const long n = SockSend(data + offset, remain);
            if (n == 0)
                break;
            if (n < 0) {
                if (LastSockError() != WSAEWOULDBLOCK)
                    RaiseSocketError();
                // The peer is not taking bytes: wait for room while the
                // queue is serviced, so the time-out and Cancel still work.
                ServiceQueue(true);
                continue;
            }
            offset += static_cast<size_t>(n);
            remain -= static_cast<size_t>(n);
            TimerActivity();
        }
    }
    if (FCanceled)
        RaiseAborted("Socket send aborted");
}

void TPowersock::Write(const std::string& text)
{
    StatusMessage(8, "Write");
    if (text.size() >= kBufferSize)
        throw ERangeError();
    std::memcpy(FBuffer.data(), text.data(), text.size());
    FBuffer[text.size()] = 0;
    SendBuffer(FBuffer.data(), 0);
}

void TPowersock::Writeln(const std::string& text)
{
    StatusMessage(8, "Writeln");
    Write(text + "\r\n");
}

bool TPowersock::SendChunk(const char* data, size_t count)
{
    size_t offset = 0;
    while (offset < count) {
        const long n = SockSend(data + offset, count - offset);
        bool wouldBlock = false;
        if (n == 0)
            return false;
        if (n > 0) {
            offset += static_cast<size_t>(n);
            addCount(SentCount, n);
            if (OnPacketSent)
                OnPacketSent(this);
        } else if (LastSockError() == WSAEWOULDBLOCK) {
            wouldBlock = true;
        } else {
            RaiseSocketError();
        }
        ServiceQueue(wouldBlock);
        if (FCanceled)
            break;
    }
    return true;
}

void TPowersock::SendFile(const std::string& fileName)
{
    StatusMessage(8, "SendFile");
    {
        TFileStream file(fileName, fmOpenRead);
        const int64_t size = file.GetSize();
        while (file.GetPosition() < size && !FCanceled) {
            const int64_t got = file.Read(FBuffer.data(), static_cast<int64_t>(kBufferSize));
            if (got <= 0)
                break;
            SendChunk(FBuffer.data(), static_cast<size_t>(got));
        }
    }
    if (FCanceled)
        RaiseAborted("Socket send aborted");
}

void TPowersock::SendStream(TStream& stream)
{
    StatusMessage(8, "SendStream");
    stream.SetPosition(0);
    if (!FCanceled) {
        SentCount = 0;
        const int64_t size = stream.GetSize();
        TransferSize = static_cast<int32_t>(size);
        while (stream.GetPosition() < size && !FCanceled) {
            const int64_t want = std::min<int64_t>(size - stream.GetPosition(), static_cast<int64_t>(kBufferSize));
            const int64_t got = stream.Read(FBuffer.data(), want);
            if (got <= 0)
                break;
            if (!SendChunk(FBuffer.data(), static_cast<size_t>(got)))
                return;
        }
    }
    if (FCanceled)
        RaiseAborted("Socket send aborted");
}

// ----------------------------------------------------------------- receiving

std::string TPowersock::Read(uint16_t count)
{
    StatusMessage(8, "Read( " + std::to_string(count) + " )");
    size_t want = count;
    if (count > 0) {
        do {
            const long n = SockRecv(FBuffer.data(), kBufferSize, true);
            if (n >= static_cast<long>(count))
                break;
            if (n == 0 || (n < 0 && LastSockError() == WSAENOTCONN))
                return {}; // the peer has closed (the socket may have been replaced)
            if (n < 0 && LastSockError() != WSAEWOULDBLOCK)
                RaiseSocketError();
            if (n > 0 && FPeerClosed) {
                // The peer has closed: no more bytes will come, so take what
                // is there instead of waiting for ever.
                want = static_cast<size_t>(n);
                break;
            }
            ServiceQueue(true);
        } while (!FCanceled);
    } else {
        const long n = SockRecv(FBuffer.data(), kBufferSize, true);
        if (n < 0 && LastSockError() != WSAEWOULDBLOCK && LastSockError() != WSAENOTCONN)
            RaiseSocketError();
        want = n > 0 ? static_cast<size_t>(n) : 0;
        if (want == 0)
            return {};
    }
    if (FCanceled)
        RaiseAborted("Socket send aborted");
    const long got = SockRecv(FBuffer.data(), want, false);
    if (got <= 0)
        return {};
    return std::string(FBuffer.data(), static_cast<size_t>(got));
}

std::string TPowersock::ReadLn()
{
    StatusMessage(8, "ReadLn");
    TimerOn();
    TimerGuard guard{[this] { TimerOff(); }};
    std::string result;
    size_t consumed = 0;
    char* buf = FBuffer.data();
    do {
        if (consumed >= kBufferSize)
            throw ERangeError();
        const long n = SockRecv(buf + consumed, kBufferSize - consumed, true);
        bool wait = false;
        if (n == 0)
            return result; // peer closed; a partial last line is kept
        if (n < 0) {
            FLastErrorNo = LastSockError();
            if (FLastErrorNo == WSAENOTCONN)
                return result;
            if (FLastErrorNo != WSAEWOULDBLOCK)
                RaiseSocketError();
            wait = true;
        } else {
            const char* lf = static_cast<const char*>(std::memchr(buf + consumed, '\n', static_cast<size_t>(n)));
            if (lf) {
                // The cancel mark is tested before the line is taken, so a
                // cancel made before this call ends this read, not the next
                // wait, and the line stays waiting in the socket.
                if (FCanceled)
                    break;
                const size_t take = static_cast<size_t>(lf - (buf + consumed)) + 1;
                const long got = SockRecv(buf + consumed, take, false);
                if (got > 0)
                    result.append(buf + consumed, static_cast<size_t>(got));
                return result;
            }
            const long got = SockRecv(buf + consumed, static_cast<size_t>(n), false);
            if (got > 0) {
                result.append(buf + consumed, static_cast<size_t>(got));
                consumed += static_cast<size_t>(got);
                TimerActivity();
            }
        }
        ServiceQueue(wait);
    } while (!FCanceled);
    RaiseAborted("Socket readln aborted");
}

void TPowersock::ReceiveInto(CaptureKind kind, TStream* stream, std::string* text, int64_t size)
{
    const bool timed = kind != ckAppendFile;
    ReceivedCount = 0;
    if (timed)
        TimerOn();
    TimerGuard guard{[this, timed] {
        if (timed)
            TimerOff();
    }};
    for (;;) {
        if (kind == ckCaptureStream && size != -1 && stream->GetSize() >= size)
            break;
        if (kind == ckCaptureString && size != -1 && static_cast<int64_t>(text->size()) >= size)
            break;
        const long n = SockRecv(FBuffer.data(), kBufferSize, false);
        bool wait = false;
        if (n > 0) {
            if (text)
                text->append(FBuffer.data(), static_cast<size_t>(n));
            else
                stream->WriteBuffer(FBuffer.data(), n);
            addCount(ReceivedCount, n);
            PacketReceived();
            if (timed)
                TimerActivity(); // the idle limit: a reply that keeps arriving is never cut
        } else if (n == 0) {
            if (kind != ckAppendFile)
                break;
            if (FPeerClosed) {
                // The close was noticed while bytes were still waiting, so
                // the socket was kept open for them; all are in now.
                RequestCloseSocket();
                break;
            }
            wait = true;
        } else {
            FLastErrorNo = LastSockError();
            // A capture ends quietly when the socket was closed and replaced:
            // nothing more will come. AppendFile ends on the close itself, so
            // for it not-connected means it was started without a connection.
            if (FLastErrorNo == WSAENOTCONN && kind != ckAppendFile)
                break;
            if (FLastErrorNo == WSAEWOULDBLOCK)
                wait = true;
            else
                RaiseSocketError();
        }
        if (kind == ckCaptureStream && size == -1)
            break;
        ServiceQueue(wait);
        if (FCanceled)
            RaiseAborted(kind == ckCaptureStream || kind == ckCaptureString ? "Socket capture aborted"
                                                                            : "Socket send aborted");
        if (kind == ckAppendFile && !FConnected)
            break;
    }
}

void TPowersock::AppendFile(const std::string& fileName)
{
    StatusMessage(8, "Append File");
    TFileStream file(fileName, fmOpenWrite);
    file.Seek(0, soFromEnd);
    ReceiveInto(ckAppendFile, &file, nullptr, -1);
}

void TPowersock::CaptureFile(const std::string& fileName)
{
    StatusMessage(8, "CaptureFile");
    TFileStream file(fileName, fmCreate);
    ReceiveInto(ckCaptureFile, &file, nullptr, -1);
}

void TPowersock::CaptureStream(TStream& stream, int64_t size)
{
    StatusMessage(8, "Capture Stream");
    stream.Seek(0, soFromEnd);
    ReceiveInto(ckCaptureStream, &stream, nullptr, size);
}

void TPowersock::CaptureString(std::string& text, int64_t size)
{
    StatusMessage(8, "Capture String");
    text.clear();
    ReceiveInto(ckCaptureString, nullptr, &text, size);
}

void TPowersock::FilterHeader(TStream& stream)
{
    StatusMessage(8, "FilterHeader");
    for (;;) {
        const std::string line = ReadLn();
        if (!line.empty())
            stream.WriteString(line);
        if (line.empty() || line == "\n" || line == "\r\n")
            break;
    }
}

std::string TPowersock::Transaction(const std::string& command)
{
    StatusMessage(8, "Transaction");
    ReplyCode = 0;
    Writeln(command);
    ReplyText = ReadLn();
    if (!ReplyText.empty()) {
        StatusMessage(1, ReplyText);
        ReplyCode = ReplyCodeOf(ReplyText);
    }
    return ReplyText;
}

int16_t ReplyCodeOf(const std::string& line)
{
    size_t digits = 0;
    while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    if (digits == 0)
        return 0;
    const long long value = std::stoll(line.substr(0, digits));
    if (value > 32767)
        throw ERangeError();
    return static_cast<int16_t>(value);
}

// ------------------------------------------------------------- small queries

bool TPowersock::DataAvailable()
{
    StatusMessage(8, "Data Available");
    char c;
    return SockRecv(&c, 1, true) > 0;
}

int TPowersock::ClearInput()
{
    StatusMessage(8, "Clearing Input");
    const long n = SockRecv(FBuffer.data(), kBufferSize, false);
    return n < 0 ? -1 : static_cast<int>(n);
}

std::string TPowersock::GetRemoteIP()
{
    StatusMessage(8, "Getting Remote IP");
    return dotted(FRemoteAddr, '.');
}

std::string TPowersock::GetLocalIP()
{
    StatusMessage(8, "Getting Local IP");
    char name[201] = {};
    if (gethostname(name, 200) != 0)
        std::strcpy(name, "localhost");
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    const int rc = getaddrinfo(name, nullptr, &hints, &res);
    if (rc != 0 || !res)
        throw ESockError(SocketErrorStr(static_cast<uint16_t>(MapResolverError(rc, errno))));
    const uint32_t addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    const auto* b = reinterpret_cast<const unsigned char*>(&addr);
    return Format("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
}

std::string TPowersock::GetLocalAddress()
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (FSocket >= 0)
        getsockname(FSocket, reinterpret_cast<sockaddr*>(&sa), &len);
    return dotted(sa.sin_addr.s_addr, ',');
}

std::string TPowersock::GetPortString()
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (FSocket >= 0)
        getsockname(FSocket, reinterpret_cast<sockaddr*>(&sa), &len);
    const uint16_t port = ntohs(sa.sin_port);
    return Format(",%d,%d", port >> 8, port & 0xFF);
}

void TPowersock::Close(int handle)
{
    StatusMessage(8, "Closing Socket");
    if (handle >= 0)
        ::close(handle);
}

void TPowersock::Listen(bool secondMode)
{
    StatusMessage(8, "Listening");
    if (FSocket < 0)
        FSocket = MakeSocket(false);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(Port));
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(FSocket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(FSocket, 1) != 0) {
        FLastSockError = MapSocketError(errno);
        RaiseSocketError();
    }
    FEventMark = false;
    FNotifyOk = true;
    FListening = true;
    FListenSecondMode = secondMode;
    WatchSocket();
}

int TPowersock::Accept()
{
    StatusMessage(4, "Accepting");
    // A first-mode accept notification sets only Connected; waiting for it
    // too keeps Accept from waiting for ever in that mode.
    while (!FEventMark && !FConnected && !FCanceled)
        ServiceQueue(true);
    if (FCanceled) {
        FCanceled = false;
        throw ECancelError("Accepting Canceled");
    }
    if (!FNotifyOk)
        throw ESockError("Error creating Data Connection");
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int s = ::accept4(FSocket, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0) {
        FLastSockError = MapSocketError(errno);
        RaiseSocketError();
        return -1;
    }
    FRemoteAddr = peer.sin_addr.s_addr;
    FRemotePort = peer.sin_port;
    return s;
}

// ------------------------------------------------------------ text functions

std::string NthWord(const std::string& text, char sep, int n)
{
    if (text.empty() || n < 1)
        return {};
    size_t start = 0;
    for (int field = 1;; ++field) {
        const size_t end = text.find(sep, start);
        if (field == n)
            return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

int NthPos(const std::string& text, char ch, int n)
{
    const int missing = static_cast<int>(text.size()) + 1;
    if (n < 1)
        return missing;
    int seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ch && ++seen == n)
            return i + 1 == text.size() ? missing : static_cast<int>(i) + 1;
    }
    return missing;
}

void StreamLn(TStream& stream, const std::string& text)
{
    stream.WriteString(text + "\r\n");
}
