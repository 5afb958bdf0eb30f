#include "http/libproxy_http_proxy.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

class ScriptedLibproxyHttpProxy : public LibproxyHttpProxy {
 public:
  bool QueryProxy(const std::string&, std::vector<std::string>* proxies) override {
    ++queries;
    *proxies = answer;
    return succeed;
  }
  bool succeed = true;
  std::vector<std::string> answer;
  int queries = 0;
};

TEST(LibproxyHttpProxyTest, TurnsTheAnswerIntoAProxyText) {
  struct Case {
    std::vector<std::string> answer;
    const char* expected;
  };
  const Case cases[] = {
      {{"direct://"}, ""},
      {{"http://p1:3128"}, "p1:3128"},
      {{"http://p1:3128/"}, "p1:3128"},
      {{"socks://s:1080", "http://p2:80", "http://p3:80"}, "p2:80"},
      {{"socks://s:1080", "direct://"}, ""},
  };
  for (const Case& c : cases) {
    ScriptedLibproxyHttpProxy proxy;
    proxy.answer = c.answer;
    EXPECT_EQ(c.expected, proxy.GetProxy("http://h/x")) << c.answer.front();
  }
}

TEST(LibproxyHttpProxyTest, AFailedQueryAnswersDirectForGood) {
  ScriptedLibproxyHttpProxy proxy;
  proxy.succeed = false;
  EXPECT_EQ("", proxy.GetProxy("http://h/x"));
  proxy.succeed = true;
  proxy.answer = {"http://p1:3128"};
  EXPECT_EQ("", proxy.GetProxy("http://h/x"));
  EXPECT_EQ(1, proxy.queries);
}

TEST(LibproxyHttpProxyTest, RealLibproxyWithoutSettingsConnectsDirectly) {
  ::unsetenv("http_proxy");
  ::unsetenv("HTTP_PROXY");
  LibproxyHttpProxy proxy;
  EXPECT_EQ("", proxy.GetProxy("http://127.0.0.1/x"));
}

}  // namespace
}  // namespace zarn
