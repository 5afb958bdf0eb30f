#include "testing/loopback_port.h"

#include <gtest/gtest.h>

#include "testing/http_test_server.h"

namespace zarn {
namespace {

TEST(LoopbackPortTest, AFreePortAcceptsNothingAndAServersPortAccepts) {
  EXPECT_FALSE(PortAccepts(FreePort()));
  HttpTestServer server;
  EXPECT_TRUE(PortAccepts(server.Port()));
}

}  // namespace
}  // namespace zarn
