#include "transfer/manifest/node_host.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(NodeHostTest, AcceptsNamesAndAddressesWithPorts) {
  const char* cases[] = {
      "localhost",
      "node-1.cdn.example",
      "NODE.Example.COM",
      "h1:81",
      "127.0.0.1",
      "127.0.0.1:18081",
      "0.0.0.0:1",
      "255.255.255.255:65535",
      "[::1]",
      "[::1]:8080",
      "[2001:db8::7]:80",
      "[::ffff:10.0.0.1]",
      "a.b-c.d9",
      "x",
      "1a.example",
      "example.com0x",
  };
  for (const char* host : cases) EXPECT_TRUE(IsValidNodeHost(host)) << host;
}

// Each would change where a chunk request goes, or what it sends.
TEST(NodeHostTest, RefusesEverythingElse) {
  const char* cases[] = {
      "",
      "host/evil?x=",  // a path and a query into the URL
      "user:pw@host",  // credentials: an Authorization header
      "host#",         // a fragment: GET /
      "host?x",
      "host path",
      " host",
      "host ",
      "host\t",
      "ho\x01st",
      "h\xc3\xa9.example",
      "host:",
      "host:0",
      "host:65536",
      "host:80:81",
      "host:+80",
      "host:080x",
      "host:123456",
      "-host",
      "host-.example",
      "a..b",
      ".host",
      "host.",
      "under_score",
      "http://host",
      "1.2.3",
      "127.1",
      "256.0.0.1",
      "010.0.0.1",
      "0x7f.0.0.1",
      "0x7f",
      "1234",
      "1.2.3.4.5",
      "[::1",
      "::1",
      "[::1]x",
      "[::1]:",
      "[::1]:0",
      "[fe80::1%25eth0]",
      "[1.2.3.4]",
      "[]",
  };
  for (const char* host : cases) EXPECT_FALSE(IsValidNodeHost(host)) << host;
  EXPECT_FALSE(IsValidNodeHost(std::string(64, 'a') + ".example"));
  EXPECT_TRUE(IsValidNodeHost(std::string(63, 'a') + ".example"));
  std::string longName;
  for (int i = 0; i < 64; ++i) longName += "abc.";
  EXPECT_FALSE(IsValidNodeHost(longName + "example"));
}

}  // namespace
}  // namespace zarn
