// An https request through a proxy: the proxy's reply to CONNECT (status
// line and header lines) and, after it, whatever the input holds where the
// server's TLS handshake should be, fed from the input by a loopback server
// on the client's own thread. No input can carry a certificate the client
// trusts, so every request must end with one of the program's errors, with
// a message, within its time-out, and leave the client unconnected.
#include "Nmhttp.h"
#include "FuzzCheck.h"
#include "HttpPeer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TFuzzLoopbackServer& peer = FuzzHttpPeer(data, size);

    TNMHTTP http;
    http.TimeOut = 3000;
    http.SecureProxy = "127.0.0.1";
    http.SecureProxyPort = peer.port();
    bool returned = false;
    std::string message;
    try {
        http.Get("https://fuzz.invalid/start");
        returned = true;
    } catch (const Exception& e) {
        message = e.Message;
    }
    FUZZ_CHECK(!returned);
    FUZZ_CHECK(!message.empty());
    FUZZ_CHECK(!http.Connected());
    FUZZ_CHECK(!http.Secure());
    peer.closeConnections();
    return 0;
}
