#include "http/environment_http_proxy_factory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_selection.h"
#include "http/http_request.h"
#include "http/http_session.h"
#include "http/http_stringstream_writer.h"
#include "http/libproxy_http_proxy.h"
#include "http/manual_http_proxy.h"
#include "http/round_robin_http_session_factory.h"
#include "testing/http_test_server.h"
#include "testing/tinyproxy.h"

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

  auto lower = FactoryOver({{"http_proxy", "http://p1:3128/"},
                            {"HTTP_PROXY", "p2:1"},
                            {"no_proxy", ".skip.example"},
                            {"NO_PROXY", "other"}})
                   .Create();
  ASSERT_NE(nullptr, dynamic_cast<ManualHttpProxy*>(lower.get()));
  EXPECT_EQ("http://p1:3128/", lower->GetProxy("http://host/x"));
  EXPECT_EQ("", lower->GetProxy("http://a.skip.example/x"));
  EXPECT_EQ("http://p1:3128/", lower->GetProxy("http://other/x"));

  auto upper = FactoryOver({{"HTTP_PROXY", "p2:1"}, {"NO_PROXY", "other"}}).Create();
  EXPECT_EQ("p2:1", upper->GetProxy("http://host/x"));
  EXPECT_EQ("", upper->GetProxy("http://other/x"));
}

// Every entry the translation emits compiles, bypasses what its item names and nothing
// else; an item that cannot be translated is skipped without spoiling the others.
TEST(EnvironmentHttpProxyFactoryTest, TranslatesNoProxyIntoBypassPatterns) {
  struct Case {
    const char* noProxy;
    const char* bypass;
    std::vector<const char*> bypassed;
    std::vector<const char*> proxied;
  };
  const Case cases[] = {
      {"localhost,127.0.0.1,[::1]",
       "localhost;*.localhost;127.0.0.1;::1",
       {"http://localhost/x", "http://a.localhost/x", "http://127.0.0.1:8080/x",
        "http://[::1]:80/x"},
       {"http://127.0.0.2/x", "http://localhostx/x", "http://[::2]/x", "http://h/x"}},
      {"", "", {}, {"http://h/x"}},
      {", ,", "", {}, {"http://h/x"}},
      {"example.com",
       "example.com;*.example.com",
       {"http://example.com/", "http://www.example.com/", "http://EXAMPLE.com/"},
       {"http://example.org/", "http://notexample.com/", "http://exampleXcom/"}},
      {".example.com",
       "example.com;*.example.com",
       {"http://example.com/", "http://a.b.example.com/"},
       {"http://xexample.com/"}},
      {"*.example.com", "*.example.com", {"http://www.example.com/"}, {"http://example.com/"}},
      {"Example.COM:8080 example.net.",
       "example.com;*.example.com;example.net;*.example.net",
       {"http://example.com:9/", "http://example.net/"},
       {"http://example.org/"}},
      {"a.com, b.org\tlocalhost",
       "a.com;*.a.com;b.org;*.b.org;localhost;*.localhost",
       {"http://a.com/", "http://x.b.org/", "http://localhost/"},
       {"http://c.com/"}},
      {"*", "*", {"http://anything/", "http://[::1]/"}, {}},
      {"10.1.2.3,10.1.2.4:80",
       "10.1.2.3;10.1.2.4",
       {"http://10.1.2.3/", "http://10.1.2.4:81/"},
       {"http://10.1.2.30/", "http://110.1.2.3/", "http://x.10.1.2.3/"}},
      {"::1", "::1", {"http://[::1]/"}, {"http://[::2]/", "http://127.0.0.1/"}},
      {"[::1]:8080", "::1", {"http://[::1]:8080/", "http://[::1]/"}, {"http://[::11]/"}},
      {"[0:0::1] FE80::A",
       "::1;0:0::1;fe80::a",
       {"http://[::1]/", "http://[0:0::1]/", "http://[fe80::a]/"},
       {"http://[fe80::b]/"}},
      {"10.0.0.0/8,a(b,[::1,[zz]:1,[::1]x,host:port,host:,*.*,..,a..b,ex*ample.com,"
       "fe80::1%eth0,::1:zz,host,",
       "host;*.host",
       {"http://host/"},
       {"http://10.1.1.1/", "http://a/", "http://[::1]/", "http://example.com/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.noProxy);
    const std::string bypass = EnvironmentHttpProxyFactory::TranslateNoProxy(c.noProxy);
    EXPECT_EQ(c.bypass, bypass);
    for (const std::string& entry : SplitProxyList(bypass)) {
      EXPECT_NO_THROW(MatchesProxyBypassEntry("h", entry)) << entry;
    }
    for (const char* url : c.bypassed) {
      EXPECT_EQ("", SelectProxyForUrl(url, "p:1", bypass)) << url;
    }
    for (const char* url : c.proxied) {
      EXPECT_EQ("p:1", SelectProxyForUrl(url, "p:1", bypass)) << url;
    }
  }
}

class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { ::unsetenv(name_); }

 private:
  const char* name_;
};

// The user's proxy, named in the environment, carries the session's requests with its
// credentials intact; a host on no_proxy is reached directly.
TEST(EnvironmentHttpProxyFactoryTest, RequestsGoThroughTheProxyOfTheEnvironment) {
  Tinyproxy proxy;
  ASSERT_TRUE(proxy.Running());
  const std::string hostPort = "127.0.0.1:" + std::to_string(proxy.Port());
  struct Case {
    std::string httpProxy;
    const char* noProxy;
    const char* serverAddress;
    bool viaProxy;
    const char* authorization;  // what reaches the server through tinyproxy
  };
  const Case cases[] = {
      {proxy.Url(), "", "127.0.0.1", true, ""},
      {proxy.Url(), "localhost, 127.0.0.1", "127.0.0.1", false, ""},
      {proxy.Url(), "localhost,127.0.0.1,[::1]", "127.0.0.2", true, ""},
      {proxy.Url(), "localhost,127.0.0.1,[::1]", "127.0.0.1", false, ""},
      {hostPort, "", "127.0.0.1", true, ""},
      {"http://u:p=w@" + hostPort, "", "127.0.0.1", true, "Basic dTpwPXc="},
      {"http://u:p;w@" + hostPort, "", "127.0.0.1", true, "Basic dTpwO3c="},
      {"http://u:p@w@" + hostPort, "", "127.0.0.1", true, "Basic dTpwQHc="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.httpProxy + " | " + c.noProxy + " | " + c.serverAddress);
    HttpTestServer server(c.serverAddress);
    server.ServeFile("/file", "content");
    ScopedVariable httpProxy("http_proxy", c.httpProxy);
    ScopedVariable bypass("no_proxy", c.noProxy);
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
    EXPECT_EQ(c.viaProxy, seen.Header("Via").find("tinyproxy") != std::string::npos)
        << seen.Header("Via");
    EXPECT_EQ(c.authorization, seen.Header("Proxy-Authorization"));
  }
}

}  // namespace
}  // namespace zarn
