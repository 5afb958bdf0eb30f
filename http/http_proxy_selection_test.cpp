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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, SelectProxyForUrl(c.url, c.proxies, c.bypass))
        << c.url << " | " << c.proxies << " | " << c.bypass;
  }
}

TEST(HttpProxySelectionTest, SplitsListsAndMatchesCaseSensitively) {
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), SplitProxyList(" a;;b  ;c; "));
  EXPECT_TRUE(SplitProxyList("").empty());
  EXPECT_FALSE(MatchesProxyBypassEntry("Exact.Host", "exact.host"));
}

TEST(HttpProxySelectionTest, InvalidBypassEntryThrowsButTheManualProxyGoesDirect) {
  EXPECT_THROW(MatchesProxyBypassEntry("h", "("), boost::xpressive::regex_error);
  EXPECT_THROW(SelectProxyForUrl("http://h/", "p:1", "x;("), boost::xpressive::regex_error);

  ManualHttpProxy proxy("p:1", "x;(");
  EXPECT_EQ("", proxy.GetProxy("http://h/"));
  EXPECT_EQ("p:1", ManualHttpProxy("p:1", "x").GetProxy("http://h/"));
}

}  // namespace
}  // namespace zarn
