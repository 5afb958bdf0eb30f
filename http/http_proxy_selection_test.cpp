#include "http/http_proxy_selection.h"

#include <gtest/gtest.h>

#include <boost/xpressive/regex_error.hpp>

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
