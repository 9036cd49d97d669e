// Shared by the fuzz targets that feed one of the program's HTTP clients
// from a loopback server: it starts the event queue and the server, which
// answers a connection once the request header (up to its empty line) is
// in. Included by one source file a target, as it defines the target's
// LLVMFuzzerInitialize.
#pragma once

#include "LoopbackServer.h"

#include <algorithm>

namespace {

TFuzzLoopbackServer* g_httpPeer = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static TFuzzLoopbackServer server(
        [](const std::string& request) { return request.find("\r\n\r\n") != std::string::npos; });
    g_httpPeer = &server;
    return 0;
}

// The server, set to answer every connection with the input, cut to 16 KB
// so that it sits in the loopback buffers at once.
inline TFuzzLoopbackServer& FuzzHttpPeer(const uint8_t* data, size_t size)
{
    g_httpPeer->reply = FuzzBytes(data, std::min<size_t>(size, 16384));
    return *g_httpPeer;
}
