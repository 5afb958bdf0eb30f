#include "http/http_proxy_selection.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <boost/xpressive/regex_error.hpp>
#include <optional>
#include <string>

#include "http/manual_http_proxy.h"

namespace zarn {
namespace {

TEST(HttpProxySelectionTest, SelectsTheProxyForAUrl) {
  struct Case {
    const char* url;
    const char* proxies;
    const char* bypass;
    const char* expected;
  };
  const Case cases[] = {
      {"http://h/x", "http=p1:80;https=p2:443", "", "p1:80"},
      {"http://h/x", "https=p2:443", "", ""},
      {"http://h/x", "p3:8080 http=p1:80", "", "p1:80"},
      {"http://h/x", "http=p1:80 p3:8080", "", "p1:80"},
      {"http://h/x", "p3:8080;p4:8080", "", "p3:8080"},
      {"http://h/x", "ftp=f:21;;  p4:8080", "", "p4:8080"},
      {"http://h/x", "http=;p5:1", "", "p5:1"},  // an empty http= entry is no choice
      {"http://h/x", ":", "", ""},
      {"http://h/x", "::", "", ""},
      {"http://h/x", "", "", ""},
      {"http://h/x", "  ; ", "", ""},
      {"http://a.local/x", "p:1", "*.local;10.*", ""},
      {"http://10.1.2.3/x", "p:1", "*.local;10.*", ""},
      {"http://local/x", "p:1", "*.local;10.*", "p:1"},
      {"http://110.1.2.3/x", "p:1", "*.local;10.*", "p:1"},
      {"http://exact.host:81/x", "p:1", "exact.host", ""},
      {"http://exactxhost/x", "p:1", "exact.host", "p:1"},  // '.' is literal
      {"http://exact.host/x", "p:1", "Exact.Host", "p:1"},  // case-sensitive
      {"http://h/x", "p:1", "<local>", "p:1"},
      // User info belongs to its entry, whatever it holds.
      {"http://h/x", "http://u:p=w@p:1", "", "http://u:p=w@p:1"},
      {"http://h/x", "http://u:p;w@p:1/", "", "http://u:p;w@p:1/"},
      {"http://h/x", "http://u:p@w@p:1", "", "http://u:p%40w@p:1"},
      {"http://h/x", "http://u:p w@p:1", "", "http://u:p%20w@p:1"},
      {"http://h/x", "u:p=w@p:1", "", "u:p=w@p:1"},
      {"http://h/x", "https=s:1 http://u:a=b@p:1;q:2", "", "http://u:a=b@p:1"},
      {"http://h/x", "http=u:p@w@p:1;q:2", "", "u:p%40w@p:1"},
      {"http://h/x", "https=u:p@s:1", "", ""},
      {"http://h/x", "https=http://u:p@s:1", "", ""},
      {"http://a.local/x", "http://u:p=w@p:1", "*.local", ""},
      // An entry that is no valid pattern matches nothing; the others still decide.
      {"http://x/y", "p:1", "(;x", ""},
      {"http://h/y", "p:1", "(;x", "p:1"},
      {"http://h/y", "p:1", "[", "p:1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, SelectProxyForUrl(c.url, c.proxies, c.bypass))
        << c.url << " | " << c.proxies << " | " << c.bypass;
  }
}

TEST(HttpProxySelectionTest, SplitsListsAndMatchesCaseSensitively) {
  using List = std::vector<std::string>;
  EXPECT_EQ((List{"a", "b", "c"}), SplitProxyList(" a;;b  ;c; "));
  EXPECT_TRUE(SplitProxyList("").empty());
  EXPECT_EQ((List{"http://u:a;b c@p:1/", "q:2", "http://r:3"}),
            SplitProxyList("http://u:a;b c@p:1/;q:2 http://r:3"));
  EXPECT_EQ((List{"http://p:1", "http://u:v;w@q:2", "r@s:3"}),
            SplitProxyList("http://p:1;http://u:v;w@q:2 r@s:3"));
  EXPECT_FALSE(MatchesProxyBypassEntry("Exact.Host", "exact.host"));
}

std::optional<std::string> Optional(const char* text) {
  return text == nullptr ? std::nullopt : std::optional<std::string>(text);
}

// The address libcurl connects to, whatever the spelling: an IPv4 host in one of the
// forms libcurl reads as an address has the dotted-decimal form libcurl gives it; one that
// libcurl takes for a name has none.
TEST(HttpProxySelectionTest, NormalAddressReadsHostsAsLibcurlDoes) {
  struct Case {
    const char* host;    // as Poco::URI gives it
    const char* normal;  // nullptr: no address
  };
  const Case ipv4[] = {
      {"10.0.0.1", "10.0.0.1"},
      {"10.1", "10.0.0.1"},
      {"10.1.2", "10.1.0.2"},
      {"012.0.0.1", "10.0.0.1"},
      {"0xa.0.0.1", "10.0.0.1"},
      {"0XA.0.0.01", "10.0.0.1"},
      {"167772161", "10.0.0.1"},
      {"0x0a000001", "10.0.0.1"},
      {"0", "0.0.0.0"},
      {"00", "0.0.0.0"},
      {"4294967295", "255.255.255.255"},
      {"1.16777215", "1.255.255.255"},
      {"4294967296", nullptr},
      {"1.16777216", nullptr},
      {"1.2.65536", nullptr},
      {"256.1", nullptr},
      {"1.2.3.256", nullptr},
      {"1.2.3.4.", nullptr},
      {"1.2.3.4.5", nullptr},
      {"08.0.0.1", nullptr},
      {"0x", nullptr},
      {"0x1g", nullptr},
      {"1.2.3.4a", nullptr},
      {"example.com", nullptr},
      {"a.1", nullptr},
  };
  for (const Case& c : ipv4) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(Optional(c.normal), NormalAddress(c.host));
    CURLU* url = curl_url();
    ASSERT_NE(nullptr, url);
    char* host = nullptr;
    if (curl_url_set(url, CURLUPART_URL, (std::string("http://") + c.host + "/").c_str(), 0) ==
            CURLUE_OK &&
        curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
      EXPECT_EQ(c.normal == nullptr ? c.host : c.normal, std::string(host)) << "libcurl reads";
    }
    curl_free(host);
    curl_url_cleanup(url);
  }

  const Case ipv6[] = {
      {"::1", "0000:0000:0000:0000:0000:0000:0000:0001"},
      {"0:0:0:0:0:0:0:1", "0000:0000:0000:0000:0000:0000:0000:0001"},
      {"FE80::A", "fe80:0000:0000:0000:0000:0000:0000:000a"},
      {"fe80::1%25eth0", "fe80:0000:0000:0000:0000:0000:0000:0001"},
      {"::ffff:10.0.0.1", "0000:0000:0000:0000:0000:ffff:0a00:0001"},
      {"2001:db8:0:1::", "2001:0db8:0000:0001:0000:0000:0000:0000"},
      {"::", "0000:0000:0000:0000:0000:0000:0000:0000"},
      {":::", nullptr},
      {"fe80::1::2", nullptr},
      {"::g", nullptr},
      {"[::1]", nullptr},
  };
  for (const Case& c : ipv6) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(Optional(c.normal), NormalAddress(c.host));
  }
}

TEST(HttpProxySelectionTest, InvalidBypassEntryThrowsAloneAndTheManualProxyKeepsWorking) {
  EXPECT_THROW(MatchesProxyBypassEntry("h", "("), boost::xpressive::regex_error);
  EXPECT_FALSE(MatchesProxyBypassList("h", "x;("));
  EXPECT_TRUE(MatchesProxyBypassList("x", "(;x"));

  ManualHttpProxy proxy("p:1", "x;(");
  EXPECT_EQ("p:1", proxy.GetProxy("http://h/"));
  EXPECT_EQ("", proxy.GetProxy("http://x/"));
  EXPECT_EQ("", proxy.GetProxy("http://[/"));  // a URL that cannot be parsed goes direct
}

}  // namespace
}  // namespace zarn
