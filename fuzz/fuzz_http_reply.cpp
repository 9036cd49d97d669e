// The HTTP reply reader: status line, header lines, Set-Cookie, Location and
// Content-Length, redirects and the body, fed from the input. A listening
// socket on 127.0.0.1, served on the client's own thread while the request
// waits, answers every connection with the input and closes; the client is
// pointed at it as its proxy, so a redirect anywhere comes back here too.
// A request either raises one of the program's errors or returns with the
// header and the body of the last reply making up the input exactly; kept
// values stay within their bounds; the client is left unconnected.
#include "Nmhttp.h"
#include "FuzzCheck.h"
#include "HttpPeer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TFuzzLoopbackServer& peer = FuzzHttpPeer(data, size);
    const std::string& reply = peer.reply;

    TNMHTTP http;
    http.TimeOut = 3000;
    http.Proxy = "127.0.0.1";
    http.ProxyPort = peer.port();
    http.MaxRedirects = 2;
    bool returned = false;
    try {
        http.Get("http://fuzz.invalid/start");
        returned = true;
    } catch (const Exception&) {
    }
    FUZZ_CHECK(!http.Connected());
    FUZZ_CHECK(http.LastCookie.size() <= 256);
    FUZZ_CHECK(http.LastLocation.size() <= 256);
    if (returned) {
        FUZZ_CHECK(http.Header.size() <= reply.size());
        FUZZ_CHECK(!reply.empty());
        FUZZ_CHECK(http.Header + http.Body == reply);
        // The body starts only after the header's empty line.
        if (!http.Body.empty())
            FUZZ_CHECK(!http.Header.empty() && http.Header.back() == '\n');
    }
    // The client has closed its end; the server's ends go too.
    peer.closeConnections();
    return 0;
}
