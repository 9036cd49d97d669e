// The SMTP reply reader, twice over. Cut from the input as bytes: it either
// raises one of the program's errors or gives a reply whose first line
// starts the input, whose last line is no continuation and ends the bytes it
// took, within the line bound. And played by a server on 127.0.0.1 that
// answers the connection with the input (greeting and every later reply at
// once) to a client that connects, sends one message and says QUIT: every
// outcome is a return or one of the program's errors, the client's busy
// mark is cleared, and Disconnect leaves it unconnected.
#include "Nmsmtp.h"
#include "FuzzCheck.h"
#include "LoopbackServer.h"

namespace {

TFuzzLoopbackServer* g_server = nullptr;

void checkParsedReply(const std::string& bytes)
{
    constexpr int kMaxLines = 50;
    TSmtpReply reply;
    try {
        reply = ParseSmtpReply(bytes, kMaxLines);
    } catch (const Exception&) {
        return;
    }
    FUZZ_CHECK(reply.Consumed <= bytes.size());
    FUZZ_CHECK(reply.Lines >= 1 && reply.Lines <= kMaxLines);
    FUZZ_CHECK(bytes.compare(0, reply.FirstLine.size(), reply.FirstLine) == 0);
    FUZZ_CHECK(reply.LastLine.size() <= reply.Consumed);
    FUZZ_CHECK(bytes.compare(reply.Consumed - reply.LastLine.size(), reply.LastLine.size(), reply.LastLine) == 0);
    FUZZ_CHECK(!IsSmtpContinuation(reply.LastLine));
    if (reply.Lines == 1)
        FUZZ_CHECK(reply.FirstLine == reply.LastLine && reply.Consumed == reply.FirstLine.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static TFuzzLoopbackServer server([](const std::string&) { return true; });
    g_server = &server;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, std::min<size_t>(size, 16384));
    checkParsedReply(bytes);

    g_server->reply = bytes;
    TNMSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = g_server->port();
    smtp.TimeOut = 2000;
    smtp.UserID = "fuzz.invalid";
    try {
        smtp.Connect();
        smtp.PostMessage.FromAddress = "me@fuzz.invalid";
        smtp.PostMessage.ToAddress.Add("you@fuzz.invalid");
        smtp.PostMessage.ToCarbonCopy.Add("Other <cc@fuzz.invalid>");
        smtp.PostMessage.Subject = "fuzz";
        smtp.PostMessage.Body.Add("line");
        smtp.PostMessage.Body.Add(".dot");
        smtp.SendMail();
    } catch (const Exception&) {
    }
    FUZZ_CHECK(!smtp.Busy());
    try {
        smtp.Disconnect();
    } catch (const Exception&) {
    }
    FUZZ_CHECK(!smtp.Connected());
    g_server->closeConnections();
    return 0;
}
