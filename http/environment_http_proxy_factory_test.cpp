#include "http/environment_http_proxy_factory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
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

// IPv6 addresses in the normal form of the bypass rules.
const std::string kLoopback6 = "0000:0000:0000:0000:0000:0000:0000:0001";
const std::string kFe80A = "fe80:0000:0000:0000:0000:0000:0000:000a";

struct TranslationCase {
  const char* noProxy;
  std::optional<std::string> bypass;  // the translation; none: not compared
  std::vector<const char*> bypassed;
  std::vector<const char*> proxied;
};

// Every entry the translation emits compiles, bypasses what its item names and nothing
// else; an item that cannot be translated is skipped without spoiling the others.
void ExpectTranslations(const std::vector<TranslationCase>& cases) {
  for (const TranslationCase& c : cases) {
    SCOPED_TRACE(c.noProxy);
    const std::string bypass = EnvironmentHttpProxyFactory::TranslateNoProxy(c.noProxy);
    if (c.bypass) {
      EXPECT_EQ(*c.bypass, bypass);
    }
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

TEST(EnvironmentHttpProxyFactoryTest, TranslatesNoProxyIntoBypassPatterns) {
  ExpectTranslations({
      {"localhost,127.0.0.1,[::1]",
       "localhost;*.localhost;127.0.0.1;" + kLoopback6,
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
      {"::1", kLoopback6, {"http://[::1]/"}, {"http://[::2]/", "http://127.0.0.1/"}},
      {"[::1]:8080", kLoopback6, {"http://[::1]:8080/", "http://[::1]/"}, {"http://[::11]/"}},
      {"[0:0::1] FE80::A",
       kLoopback6 + ";" + kFe80A,
       {"http://[::1]/", "http://[0:0::1]/", "http://[fe80::a]/"},
       {"http://[fe80::b]/"}},
      // A five-digit port is a port like any other.
      {"example.com:45000,[::1]:45000,10.1.2.4:65535",
       "example.com;*.example.com;" + kLoopback6 + ";10.1.2.4",
       {"http://example.com:45000/", "http://[::1]:45000/", "http://10.1.2.4/"},
       {"http://example.org:45000/", "http://[::2]:45000/"}},
      // An address is bypassed however the URL spells it, as libcurl reads it.
      {"10.0.0.1,::1,fe80::a",
       std::nullopt,
       {"http://10.1/", "http://012.0.0.1/", "http://0xa.0.0.1/", "http://167772161/",
        "http://[0:0:0:0:0:0:0:1]/", "http://[0000::0001]/", "http://[FE80:0::A]/",
        "http://[fe80::a%25eth0]/"},
       {"http://10.0.0.10/", "http://10.0.0.1.example/", "http://4294967296/", "http://[::1:0]/"}},
      {"a(b,[::1,[zz]:1,[::1]x,host:port,host:,*.*,..,a..b,ex*ample.com,"
       "fe80::1%eth0,::1:zz,host,",
       "host;*.host",
       {"http://host/"},
       {"http://a/", "http://[::1]/", "http://example.com/"}},
  });
}

// A range bypasses every address in it, however the URL spells it, and no address or name
// beside it.
TEST(EnvironmentHttpProxyFactoryTest, TranslatesAddressRangesIntoBypassPatterns) {
  ExpectTranslations({
      {"10.0.0.0/8",
       std::nullopt,
       {"http://10.0.0.0/", "http://10.255.255.255/", "http://10.1.2.3:8080/", "http://10.1/",
        "http://012.1.2.3/", "http://0xa0000ff/"},
       {"http://9.255.255.255/", "http://11.0.0.0/", "http://110.0.0.1/", "http://10.example/",
        "http://[::a00:1]/"}},
      {"192.168.0.0/16",
       std::nullopt,
       {"http://192.168.0.0/", "http://192.168.255.255/", "http://192.168.7.42/"},
       {"http://192.167.255.255/", "http://192.169.0.0/", "http://92.168.0.1/"}},
      {"172.16.0.0/12",
       std::nullopt,
       {"http://172.16.0.0/", "http://172.31.255.255/", "http://172.20.1.1/"},
       {"http://172.15.255.255/", "http://172.32.0.0/", "http://172.160.0.1/"}},
      {"100.64.0.0/10",
       std::nullopt,
       {"http://100.64.0.0/", "http://100.127.255.255/"},
       {"http://100.63.255.255/", "http://100.128.0.0/"}},
      {"198.18.0.0/15",
       std::nullopt,
       {"http://198.18.0.0/", "http://198.19.255.255/"},
       {"http://198.17.255.255/", "http://198.20.0.0/"}},
      {"192.0.2.128/25",
       std::nullopt,
       {"http://192.0.2.128/", "http://192.0.2.255/", "http://192.0.2.200/"},
       {"http://192.0.2.127/", "http://192.0.3.0/", "http://192.0.2.25/"}},
      {"203.0.113.7/32",
       std::nullopt,
       {"http://203.0.113.7/"},
       {"http://203.0.113.6/", "http://203.0.113.8/", "http://203.0.113.70/"}},
      {"10.1.2.3/8",  // bits past the length count for nothing
       std::nullopt,
       {"http://10.0.0.0/", "http://10.255.0.1/"},
       {"http://11.1.2.3/"}},
      {"0.0.0.0/0",
       std::nullopt,
       {"http://0.0.0.0/", "http://255.255.255.255/", "http://10.1.2.3/"},
       {"http://[::1]/", "http://h/", "http://1.2.3.256/"}},
      {"fd00::/8",
       std::nullopt,
       {"http://[fd00::]/", "http://[fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff]/",
        "http://[FD12:3456::1]:8080/", "http://[fd12:0:0:0:0:0:0:1]/", "http://[fd00::1%25eth0]/"},
       {"http://[fc00::]/", "http://[fe00::]/", "http://[::fd00]/", "http://10.0.0.1/"}},
      {"fe80::/10",
       std::nullopt,
       {"http://[fe80::1]/", "http://[febf:ffff::1]/"},
       {"http://[fe7f:ffff::]/", "http://[fec0::]/"}},
      {"2001:db8::/32",
       std::nullopt,
       {"http://[2001:db8::]/", "http://[2001:0DB8:ffff::1]/", "http://[2001:db8:0:0:0:0:0:1]/"},
       {"http://[2001:db9::]/", "http://[2001:db7:ffff::]/"}},
      {"2001:db8::/33",
       std::nullopt,
       {"http://[2001:db8:7fff:ffff::]/"},
       {"http://[2001:db8:8000::]/"}},
      {"[2001:db8:1234::]/48",
       std::nullopt,
       {"http://[2001:db8:1234::1]/", "http://[2001:db8:1234:ffff::]/"},
       {"http://[2001:db8:1235::]/", "http://[2001:db8:1233:ffff::]/"}},
      {"::ffff:10.0.0.0/104",
       std::nullopt,
       {"http://[::ffff:10.1.2.3]/", "http://[::ffff:a01:203]/"},
       {"http://[::ffff:11.0.0.0]/", "http://10.1.2.3/"}},
      {"::1/128", std::nullopt, {"http://[::1]/", "http://[0:0:0:0:0:0:0:1]/"}, {"http://[::2]/"}},
      {"::/0",
       std::nullopt,
       {"http://[::]/", "http://[ffff::1]/"},
       {"http://10.0.0.1/", "http://h/"}},
      // Bad ranges are skipped; the others still hold.
      {"10.0.0.0/33,::/129,10.0.0.0/,/8,10.0.0.0/8x,10.0.0.0/-1,10.0.0/8,[10.0.0.0]/8,"
       "fd00::/8:80,10.0.0.0/8/8,host/8,10.0.0.0/0008,fe80::%eth0/10,host",
       "host;*.host",
       {"http://host/"},
       {"http://10.0.0.1/", "http://[fd00::1]/", "http://[fe80::1]/"}},
  });
}

// Every value of the byte or hexadecimal digit that a prefix ends in: bypassed exactly
// when it lies in the range.
TEST(EnvironmentHttpProxyFactoryTest, RangesEndingInsideAByteOrDigitHoldExactly) {
  for (int length : {1, 7, 9, 13, 22, 27, 31}) {
    const std::string bypass =
        EnvironmentHttpProxyFactory::TranslateNoProxy("170.170.170.170/" + std::to_string(length));
    const int byte = (length - 1) / 8;
    const unsigned mask = 0xffu << (8 - (length - 8 * byte)) & 0xffu;
    for (unsigned value = 0; value < 256; ++value) {
      std::string address;
      for (int i = 0; i < 4; ++i) {
        if (i > 0) address += '.';
        address += std::to_string(i < byte ? 170 : i == byte ? value : 0);
      }
      const bool inside = (value & mask) == (170 & mask);
      EXPECT_EQ(inside, MatchesProxyBypassList(*NormalAddress(address), bypass))
          << address << "/" << length;
    }
  }
  for (int length : {1, 2, 3, 61, 126}) {
    const std::string bypass = EnvironmentHttpProxyFactory::TranslateNoProxy(
        "aaaa:aaaa:aaaa:aaaa:aaaa:aaaa:aaaa:aaaa/" + std::to_string(length));
    const int digit = (length - 1) / 4;
    const unsigned mask = 0xfu << (4 - (length - 4 * digit)) & 0xfu;
    for (unsigned value = 0; value < 16; ++value) {
      std::string address;
      for (int i = 0; i < 32; ++i) {
        if (i > 0 && i % 4 == 0) address += ':';
        address += i < digit ? 'a' : i == digit ? "0123456789abcdef"[value] : '0';
      }
      const bool inside = (value & mask) == (0xau & mask);
      EXPECT_EQ(inside, MatchesProxyBypassList(*NormalAddress(address), bypass))
          << address << "/" << length;
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
