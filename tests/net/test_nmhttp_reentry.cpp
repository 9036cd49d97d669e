// A request asked for while another waits (from a timer, or a button
// pressed during the wait) is refused before it touches the first, which
// then finishes intact.
#include <gtest/gtest.h>

#include "Nmhttp.h"
#include "ScriptServer.h"
#include "TestUtil.h"

using namespace testnet;

TEST(NmhttpReentry, ASecondRequestDuringAWaitIsRefusedAndTheFirstFinishesIntact)
{
    const std::string body(5000, 'b');
    ScriptServer srv({{ReadUntil("\r\n\r\n"), WaitRelease(), Send("HTTP/1.0 200 OK\r\n\r\n" + body), Close()}});
    TNMHTTP http;
    http.TimeOut = 10000;
    int successes = 0;
    http.OnSuccess = [&](CmdType) { ++successes; };

    struct Nested {
        const char* what;
        std::function<void()> call;
    };
    const std::vector<Nested> nested = {
        {"Get", [&] { http.Get("http://10.9.8.7:81/other"); }},
        {"Post", [&] { http.Post("http://10.9.8.7:81/other", "x=1"); }},
        {"Copy", [&] { http.Copy("http://10.9.8.7:81/other", "/dest"); }},
    };
    std::vector<std::string> refusals;
    std::string hostDuring, requestDuring, sendDataDuring;
    int portDuring = 0;
    bool connectedDuring = false;
    // Once the request has arrived: the client waits for the answer, which
    // the server holds back until the nested calls are done.
    testutil::WhenTrue nestedCalls([&] { return srv.received(0).find("\r\n\r\n") != std::string::npos; }, [&] {
        for (const Nested& n : nested) {
            try {
                n.call();
                refusals.push_back(std::string(n.what) + ": accepted");
            } catch (const Exception& e) {
                refusals.push_back(std::string(n.what) + ": " + e.Message);
            }
        }
        hostDuring = http.Host;
        portDuring = http.Port;
        requestDuring = http.RequestHeader.Text();
        sendDataDuring = http.SendData;
        connectedDuring = http.Connected();
        srv.release();
    });
    const std::string url = "http://127.0.0.1:" + std::to_string(srv.port()) + "/first";
    http.Get(url);

    EXPECT_TRUE(nestedCalls.fired());
    EXPECT_EQ(refusals, (std::vector<std::string>{"Get: Request in progress", "Post: Request in progress",
                                                   "Copy: Request in progress"}));
    EXPECT_EQ(hostDuring, "127.0.0.1");
    EXPECT_EQ(portDuring, srv.port());
    EXPECT_EQ(requestDuring.substr(0, requestDuring.find("\r\n")), "GET /first HTTP/1.0");
    EXPECT_EQ(sendDataDuring, "");
    EXPECT_TRUE(connectedDuring);
    EXPECT_EQ(http.Body.size(), body.size());
    EXPECT_TRUE(http.Body == body);
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(srv.accepted(), 1);
    EXPECT_FALSE(http.Requesting());
}

TEST(NmhttpReentry, AFailedRequestLeavesTheClientFreeForTheNext)
{
    ScriptServer srv({{ReadUntil("\r\n\r\n"), Reset()}, {ReadUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\nok"), Close()}});
    TNMHTTP http;
    http.TimeOut = 5000;
    const std::string url = "http://127.0.0.1:" + std::to_string(srv.port()) + "/";
    EXPECT_ANY_THROW(http.Get(url));
    EXPECT_FALSE(http.Requesting());
    http.Get(url);
    EXPECT_EQ(http.Body, "ok");
}
