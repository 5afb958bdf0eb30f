#include "testing/nginx_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "http/curl_http_request.h"
#include "http/http_request_params.h"
#include "http/http_stringstream_writer.h"
#include "storage/testing/test_folder.h"
#include "testing/loopback_port.h"

namespace zarn {
namespace {

// The body, or "failed". `firstThree` asks for bytes 0-2 only.
std::string Get(const std::string& host, const std::string& path, bool firstThree = false) {
  std::stringstream body;
  HttpStringstreamWriter writer(&body);
  HttpRequestParams params("http://" + host + path, &writer);
  if (firstThree) {
    params.rangeBegin = 0;
    params.rangeEnd = 2;
  }
  CurlHttpRequest request(params, "");
  const HttpRequestStatus status = request.Perform();
  return status.result == HttpRequestResult::Succeeded ? body.str() : "failed";
}

class NginxServerTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    // A private folder, as every test folder is: readable by nginx's workers only when
    // they run as the test's user.
    ::chmod(root_.path().c_str(), 0700);
    root_.WriteFile("file.bin", "0123456789");
  }
  TestFolder root_;
};

// Every port serves the folder, with one process or with workers, and the access log
// records each request with its range.
TEST_P(NginxServerTest, ServesTheFolderOnEveryPortAndLogsRanges) {
  NginxServer::Options options;
  options.ports = 3;
  options.workers = GetParam();
  options.accessLog = true;
  NginxServer nginx(root_.path(), options);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Get(nginx.Host(i), "/file.bin"), "0123456789") << i;
  EXPECT_EQ(Get(nginx.Host(0), "/file.bin", true), "012");
  EXPECT_EQ(Get(nginx.Host(0), "/missing"), "failed");
  nginx.Stop();  // flushes the log
  std::ifstream log(nginx.AccessLog());
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"/file.bin - 200", "/file.bin - 200", "/file.bin - 200",
                                      "/file.bin bytes=0-2 206", "/missing - 404"}));
}
INSTANTIATE_TEST_SUITE_P(Workers, NginxServerTest, ::testing::Values(0, 2));

// Stop ends the master and its workers; Kill ends a single-process server at once, as a
// node that dies with its connections.
TEST(NginxServerEndTest, StopAndKillCloseEveryPortAndTheFolderGoesWithTheServer) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  TestFolder root;
  for (const int workers : {2, 0}) {
    NginxServer::Options options;
    options.ports = 2;
    options.workers = workers;
    std::string prefix;
    {
      NginxServer nginx(root.path(), options);
      prefix = nginx.Prefix();
      workers > 0 ? nginx.Stop() : nginx.Kill();
      EXPECT_FALSE(PortAccepts(nginx.Port(0))) << workers;
      EXPECT_FALSE(PortAccepts(nginx.Port(1))) << workers;
    }
    EXPECT_FALSE(std::ifstream(prefix + "/nginx.conf").good());
  }
}

}  // namespace
}  // namespace zarn
