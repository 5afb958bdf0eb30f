#include "http/environment_http_proxy_factory.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_request.h"
#include "http/http_session.h"
#include "http/http_stringstream_writer.h"
#include "http/libproxy_http_proxy.h"
#include "http/manual_http_proxy.h"
#include "http/round_robin_http_session_factory.h"
#include "testing/http_test_server.h"
#include "testing/loopback_port.h"

extern char** environ;

namespace zarn {
namespace {

EnvironmentHttpProxyFactory FactoryOver(const std::map<std::string, std::string>& variables) {
  return EnvironmentHttpProxyFactory(5000, 5000, 5000, 5000, [variables](const std::string& n) {
    auto found = variables.find(n);
    return found == variables.end() ? std::string() : found->second;
  });
}

TEST(EnvironmentHttpProxyFactoryTest, ChoosesTheKindFromTheVariables) {
  auto empty = FactoryOver({}).Create();
  EXPECT_NE(nullptr, dynamic_cast<EmptyHttpProxy*>(empty.get()));
  auto blank = FactoryOver({{"http_proxy", ""}, {"no_proxy", "a"}}).Create();
  EXPECT_NE(nullptr, dynamic_cast<EmptyHttpProxy*>(blank.get()));
  for (const char* value : {"pac+http://wpad.example/proxy.pac", "wpad://"}) {
    auto automatic = FactoryOver({{"http_proxy", value}}).Create();
    EXPECT_NE(nullptr, dynamic_cast<LibproxyHttpProxy*>(automatic.get())) << value;
  }

  auto lower = FactoryOver({{"http_proxy", "http://p1:3128/"}, {"HTTP_PROXY", "p2:1"},
                            {"no_proxy", ".skip.example"}, {"NO_PROXY", "other"}})
                   .Create();
  ASSERT_NE(nullptr, dynamic_cast<ManualHttpProxy*>(lower.get()));
  EXPECT_EQ("http://p1:3128/", lower->GetProxy("http://host/x"));
  EXPECT_EQ("", lower->GetProxy("http://a.skip.example/x"));
  EXPECT_EQ("http://p1:3128/", lower->GetProxy("http://other/x"));

  auto upper = FactoryOver({{"HTTP_PROXY", "p2:1"}, {"NO_PROXY", "other"}}).Create();
  EXPECT_EQ("p2:1", upper->GetProxy("http://host/x"));
  EXPECT_EQ("", upper->GetProxy("http://other/x"));
}

TEST(EnvironmentHttpProxyFactoryTest, TranslatesNoProxyIntoBypassPatterns) {
  struct Case {
    const char* noProxy;
    const char* bypass;
  };
  const Case cases[] = {
      {"", ""},
      {"example.com", "example.com;*.example.com"},
      {".example.com", "example.com;*.example.com"},
      {"a.com, b.org\tlocalhost", "a.com;*.a.com;b.org;*.b.org;localhost;*.localhost"},
      {"*", "*"},
      {"10.0.0.0/8,127.0.0.1", "127.0.0.1;*.127.0.0.1"},
      {"host:8080", "host;*.host"},
      {", ,", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.bypass, EnvironmentHttpProxyFactory::TranslateNoProxy(c.noProxy)) << c.noProxy;
  }
}



// A tinyproxy forward proxy on 127.0.0.1, started from a generated configuration and
// stopped with the object.
class Tinyproxy {
 public:
  Tinyproxy() {
    std::string base = std::filesystem::temp_directory_path() / "tinyproxy-XXXXXX";
    folder_ = ::mkdtemp(base.data());
    for (int attempt = 0; attempt < 5 && pid_ == 0; ++attempt) Start();
  }
  ~Tinyproxy() {
    Kill();
    std::filesystem::remove_all(folder_);
  }
  bool Running() const { return pid_ != 0; }
  std::uint16_t Port() const { return port_; }

 private:
  void Start() {
    port_ = FreePort();
    const std::string config = folder_ + "/tinyproxy.conf";
    std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\n"
                          << "LogLevel Critical\nLogFile \"" << folder_ << "/log\"\n"
                          << "MaxClients 20\n";
    std::string program = "tinyproxy", foreground = "-d", option = "-c", path = config;
    char* argv[] = {program.data(), foreground.data(), option.data(), path.data(), nullptr};
    if (::posix_spawnp(&pid_, "tinyproxy", nullptr, nullptr, argv, environ) != 0) {
      pid_ = 0;
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (PortAccepts(port_)) return;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) break;  // exited: port taken?
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling a subprocess
    }
    Kill();
  }
  void Kill() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

  std::string folder_;
  pid_t pid_ = 0;
  std::uint16_t port_ = 0;
};

class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { ::unsetenv(name_); }

 private:
  const char* name_;
};

// The user's proxy, named in the environment, carries the session's requests; a host on
// no_proxy is reached directly.
TEST(EnvironmentHttpProxyFactoryTest, RequestsGoThroughTheProxyOfTheEnvironment) {
  Tinyproxy proxy;
  ASSERT_TRUE(proxy.Running());
  HttpTestServer server;
  server.ServeFile("/file", "content");
  ScopedVariable httpProxy("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.Port()));

  for (const char* noProxy : {"", "localhost, 127.0.0.1"}) {
    SCOPED_TRACE(noProxy);
    ScopedVariable bypass("no_proxy", noProxy);
    EnvironmentHttpProxyFactory proxies(5000, 5000, 5000, 5000);
    CurlHttpRequestFactory requests(&proxies);
    auto session = RoundRobinHttpSessionFactory().Create();
    std::stringstream body;
    HttpStringstreamWriter writer(&body);
    HttpRequestParams params(server.Url("/file"), &writer);
    params.timeout = 60;

    const HttpRequestStatus status = requests.CreateForSession(params, session)->Perform();

    ASSERT_EQ(HttpRequestResult::Succeeded, status.result) << status.message;
    EXPECT_EQ("content", body.str());
    const HttpTestRequest seen = server.Requests().back();
    const bool viaProxy = seen.Header("Via").find("tinyproxy") != std::string::npos;
    EXPECT_EQ(*noProxy == '\0', viaProxy) << seen.Header("Via");
  }
}

}  // namespace
}  // namespace zarn
