// The HTTP client against a real, independent server (nginx on a free port).
#include <gtest/gtest.h>

#include "Nmhttp.h"
#include "NginxServer.h"

TEST(NmhttpNginx, BinaryFileMissingPageAndRedirects)
{
    NginxServer nginx("location = /old { return 301 /target; }\n"
                      "location = /rel { absolute_redirect off; return 302 /target; }");
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    std::string binary;
    for (int round = 0; round < 700; ++round)
        for (int b = 0; b < 256; ++b)
            binary += static_cast<char>((b + round) & 0xFF);
    nginx.put("data/all.bin", binary);
    nginx.put("target", "the target\n");

    TNMHTTP http;
    http.TimeOut = 10000;
    std::vector<std::string> events;
    http.OnSuccess = [&](CmdType) { events.push_back("success"); };
    http.OnFailure = [&](CmdType) { events.push_back("failure"); };

    http.Get(nginx.url("/data/all.bin"));
    EXPECT_EQ(http.ReplyCode, 200);
    EXPECT_EQ(http.TransferSize, static_cast<int32_t>(binary.size()));
    ASSERT_EQ(http.Body.size(), binary.size());
    EXPECT_TRUE(http.Body == binary); // every byte value, exactly
    EXPECT_EQ(http.Header.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(http.Header.substr(http.Header.size() - 4), "\r\n\r\n");

    http.Get(nginx.url("/no/such/page"));
    EXPECT_EQ(http.ReplyCode, 404);
    EXPECT_NE(http.Body.find("404 Not Found"), std::string::npos);

    http.Get(nginx.url("/old"));
    EXPECT_EQ(http.ReplyCode, 200);
    EXPECT_EQ(http.Body, "the target\n");
    EXPECT_EQ(http.LastLocation.substr(http.LastLocation.size() - 7), "/target");

    http.LastLocation.clear();
    http.Get(nginx.url("/rel"));
    EXPECT_EQ(http.LastLocation, "/target");
    EXPECT_EQ(http.Body, "the target\n");
    EXPECT_EQ(events, (std::vector<std::string>{"success", "failure", "success", "success"}));

    // A HEAD reply has no body; nginx closes after the header.
    http.Head(nginx.url("/target"));
    EXPECT_EQ(http.ReplyCode, 200);
    EXPECT_EQ(http.Body, "");
}
