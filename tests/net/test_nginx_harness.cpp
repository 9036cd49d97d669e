#include "NginxServer.h"

#include <gtest/gtest.h>

// The harness itself: nginx comes up on a free port and goes away again, so
// the client tests can rely on it.
TEST(NginxHarness, StartsAndStops)
{
    NginxServer nginx("location = /gone { return 404; }");
    ASSERT_TRUE(nginx.ok()) << nginx.error();
    EXPECT_GT(nginx.port(), 0);
    nginx.put("a/b.txt", "hello");
    EXPECT_EQ(nginx.url("/a/b.txt"), "http://127.0.0.1:" + std::to_string(nginx.port()) + "/a/b.txt");
}
