#include "transfer/manifest/node_host.h"

#include <Poco/URI.h>
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "http/curl_http_request.h"
#include "http/http_request_params.h"
#include "http/http_stringstream_writer.h"
#include "testing/http_test_server.h"

namespace zarn {
namespace {

const char kPath[] = "/packages/P/K/1.0/bin/run.exe";

// What libcurl reads from a URL: one part (the port also when it is the default one), or
// "" when it has none.
std::string CurlPart(const std::string& url, CURLUPart part) {
  CURLU* handle = curl_url();
  char* text = nullptr;
  std::string value;
  if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    value = "(refused)";
  } else if (curl_url_get(handle, part, &text, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    value = text;
  }
  curl_free(text);
  curl_url_cleanup(handle);
  return value;
}

// A name of `length` bytes in labels of at most 63 bytes, made of `letter` (one or more
// bytes) and of 'a' where the letter does not fit.
std::string LongName(std::size_t length, const std::string& letter = "a") {
  std::string name;
  std::size_t label = 0;
  while (name.size() < length) {
    const std::string next = name.size() + letter.size() <= length ? letter : "a";
    if (label + next.size() > 63) {
      name += '.';
      label = 0;
    } else {
      name += next;
      label += next.size();
    }
  }
  return name;
}

// Each accepted host, put before a chunk's path, stays the URL's authority: the host and
// port that Poco::URI and libcurl read are the node's, the path is the chunk's, and there
// is no user info, query or fragment.
TEST(NodeHostTest, AcceptsNamesAndAddressesThatKeepTheUrl) {
  struct Case {
    std::string host;
    std::string uriHost;  // as Poco::URI gives it: lower case, no brackets
    unsigned short port;
  };
  const Case cases[] = {
      {"localhost", "localhost", 80},
      {"node-1.cdn.example", "node-1.cdn.example", 80},
      {"NODE.Example.COM", "node.example.com", 80},
      {"h1:81", "h1", 81},
      {"cdn_1.example", "cdn_1.example", 80},
      {"_node._tcp.example:8080", "_node._tcp.example", 8080},
      {"node.example.", "node.example.", 80},
      {"node.example.:18081", "node.example.", 18081},
      {"127.0.0.1", "127.0.0.1", 80},
      {"127.0.0.1:18081", "127.0.0.1", 18081},
      {"0.0.0.0:1", "0.0.0.0", 1},
      {"255.255.255.255:65535", "255.255.255.255", 65535},
      {"[::1]", "::1", 80},
      {"[::1]:8080", "::1", 8080},
      {"[2001:db8::7]:80", "2001:db8::7", 80},
      {"[::ffff:10.0.0.1]", "::ffff:10.0.0.1", 80},
      {"x", "x", 80},
      {"1a.example", "1a.example", 80},
      {"example.com0x", "example.com0x", 80},
      {"-node.example", "-node.example", 80},
      {LongName(253), LongName(253), 80},  // the longest name, rooted or with a port
      {LongName(253) + ".", LongName(253) + ".", 80},
      {LongName(253) + ".:65535", LongName(253) + ".", 65535},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_TRUE(IsValidNodeHost(c.host));
    const std::string url = "http://" + c.host + kPath;
    const Poco::URI uri(url);
    EXPECT_EQ(c.uriHost, uri.getHost());
    EXPECT_EQ(c.port, uri.getPort());
    EXPECT_EQ(kPath, uri.getPath());
    EXPECT_EQ("", uri.getUserInfo());
    EXPECT_EQ("", uri.getRawQuery());
    EXPECT_EQ("", uri.getFragment());
    EXPECT_EQ(kPath, CurlPart(url, CURLUPART_PATH));
    EXPECT_EQ(std::to_string(c.port), CurlPart(url, CURLUPART_PORT));
    EXPECT_EQ("", CurlPart(url, CURLUPART_USER));
    EXPECT_EQ("", CurlPart(url, CURLUPART_QUERY));
    EXPECT_EQ("", CurlPart(url, CURLUPART_FRAGMENT));
  }
  EXPECT_TRUE(IsValidNodeHost(std::string(64, 'a') + ".example"));
  EXPECT_TRUE(IsValidNodeHost("h\xc3\xa9.example"));  // an internationalised name, as UTF-8
  EXPECT_TRUE(IsValidNodeHost(LongName(253, "\xc3\xa9") + ":80"));
}

// Each would change where a chunk request goes, or what it sends, or names no host.
TEST(NodeHostTest, RefusesWhatChangesTheUrlOrNamesNoHost) {
  const std::string cases[] = {
      "",
      "host/evil?x=",  // a path and a query into the URL
      "user:pw@host",  // credentials: an Authorization header
      "user@host",
      "host#",  // a fragment: GET /
      "host?x",
      "host\\evil",  // a path to parsers that read '\' as '/'
      "a%2fb",       // an escape
      "host%",
      "ho[st",
      "host]",
      "host path",
      " host",
      "host ",
      "host\t",
      "ho\x01st",
      "ho\x7fst",
      std::string("host\0", 5),
      std::string("[::1\0]", 6),
      "host\r\nX-Evil: 1",
      "host:",
      "host:0",
      "host:65536",
      "host:80:81",
      "host:+80",
      "host:080x",
      "host:123456",
      "host:8 0",
      "1.2.3",  // names that resolvers read as other addresses than they show
      "127.1",
      "10.1:80",
      "256.0.0.1",
      "010.0.0.1",
      "0x7f.0.0.1",
      "0x7f.1",
      "0x7f",
      "1234",
      "1.2.3.4.5",
      "a.1.",
      ":80",
      "http://host",
      "[::1",
      "::1",
      "[::1]x",
      "[::1]:",
      "[::1]:0",
      "[::1]:65536",
      "[fe80::1%25eth0]",
      "[1.2.3.4]",
      "[]",
      "[::1]]",
      LongName(254),  // longer than any name a resolver looks up
      LongName(254) + ".",
      LongName(254) + ":80",
      LongName(254, "\xc3\xa9"),
      std::string(6400, 'a'),
  };
  for (const std::string& host : cases) EXPECT_FALSE(IsValidNodeHost(host)) << host;
}

// libcurl reaches a node whose name holds '_' (a name below localhost, which libcurl
// resolves to the loopback address itself).
TEST(NodeHostTest, LibcurlReachesANameWithAnUnderscore) {
  HttpTestServer server;
  server.ServeFile(kPath, "chunk");
  const std::string host = "cdn_1.localhost:" + std::to_string(server.Port());
  ASSERT_TRUE(IsValidNodeHost(host));
  std::stringstream body;
  HttpStringstreamWriter writer(&body);
  HttpRequestParams params("http://" + host + kPath, &writer);
  params.timeout = 30;
  CurlHttpRequest request(params, "");

  const HttpRequestStatus status = request.Perform();

  ASSERT_EQ(HttpRequestResult::Succeeded, status.result) << status.message;
  EXPECT_EQ("chunk", body.str());
  ASSERT_EQ(1u, server.RequestCount());
  EXPECT_EQ(kPath, server.Requests()[0].path);
  EXPECT_EQ(host, server.Requests()[0].Header("Host"));
}

}  // namespace
}  // namespace zarn
